// The web flows and the preferences window in the real program under Xvfb,
// started at their first screens by FLY_FIRST_SCREEN and driven by scripts;
// releases made by the release tool, served by nginx on loopback.
#include "support/e2e.h"

#include <filesystem>
#include <map>

#include "engine_util.h"

using namespace engine_test;

namespace {
using tree = std::map<std::string, std::string>;
const std::string kNew = "Flyvane 9.21rc2";

void build(const std::string& master, const tree& files, const std::string& args) {
  make_release_folders(master);
  for (const auto& [rel, data] : files) write_file(master + rel, data);
  sh(std::string(FLY_BUILD_DIR) + "/tools/make_release --type=web --master=" + q(master) + " " +
     args + " > /dev/null 2>&1");
}

void server_list(const std::string& site) {
  write_file(site + "serverlist9.txt", "I\n820 version\nSERVERS\n\nFINAL " + kNew +
                                           "\nSERVER files.tessalinelabs.com\n/net/\nMain\n");
}

// The program reaches the servers through the proxy at port.
void through_proxy(fly_test::e2e_env& env, int port) {
  const std::string p = std::to_string(port);
  env.args.insert(env.args.end(), {"--pref:_proxy_host=127.0.0.1", "--pref:_proxy_port=" + p,
                                   "--pref:_proxy_port_int=" + p});
}

// A file of the sandboxed HOME, found by name ("" when none).
std::string home_file(const fly_test::e2e_env& env, const std::string& name) {
  std::string p = sh("find " + q(env.home) + " -name " + q(name) + " | head -1");
  while (!p.empty() && p.back() == '\n') p.pop_back();
  return p;
}

std::string md5_of(const std::string& path) {
  return sh("md5sum < " + q(path) + " | cut -c1-32");
}

// Every name under the program's own folder but the reports any run that
// shows an alert writes there (other tests' runs, at any moment).
std::vector<std::string> program_folder() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::recursive_directory_iterator(FLY_APP_DIR))
    if (e.path().filename() != "MemoryLog.txt" && e.path().filename() != "stack_crawl.txt")
      names.push_back(e.path().string());
  std::sort(names.begin(), names.end());
  return names;
}
}  // namespace

// Scenarios 1 and 2: N-1 installed, N served; updated from the welcome
// screen to the finish, then a second run finds it up to date. The first
// names the copy relative to the folder it is started in, the second as
// the installer's own launch does, whole.
TEST(WebE2E, UpdateToTheFinishThenAlreadyUpToDate) {
  FLY_E2E_OR_SKIP();
  fly_test::e2e_env env;
  const std::string root = env.root + "web/";
  tree v1 = {{"All/Resources/same.txt", "unchanged"},
             {"All/Resources/big.bin", std::string(200000, 'x')},
             {"All/Resources/old/deeper/gone.txt", "going"}};
  tree v2 = v1;
  v2.erase("All/Resources/old/deeper/gone.txt");
  v2["All/Resources/big.bin"] = std::string(200000, 'y'), v2["All/Resources/new.txt"] = "new";
  build(root + "m1/", v1, "--out=" + q(root + "out1/") + " --name='Flyvane 9.20' --release=92101");
  sh("cd " + q(root) + " && unzip -p 'out1/Flyvane 9.20/directory.txt.zip' > directory.txt");
  build(root + "m2/", v2,
        "--out=" + q(root + "site/net/") + " --old=" + q(root + "directory.txt") +
            " --name=" + q(kNew) + " --release=92102");
  server_list(root + "site/");
  // The program starts in env.root.
  const std::string copy = std::filesystem::canonical(env.root).string() + "/copies/Flyvane 9/";
  dest_dir_path = copy;
  for (const auto& [rel, data] : v1) write_file(installed_path(rel), data);
  write_file(copy + "Output/my flight.txt", "the user's own");
  fly_test::nginx_server nginx(root + "site", root + "nginx/");
  ASSERT_TRUE(nginx.running());

  env.extra_env.push_back({"FLY_FIRST_SCREEN", "net_start"});
  env.args = {"-path", "copies/Flyvane 9"};
  through_proxy(env, nginx.port());
  const std::string script =
      "wait net_start\nclick Continue\nwait net_check_disk 60\nclick Continue\n"
      "wait net_done 120\nscreenshot done.png\nquit\n";
  const std::vector<std::string> beside = program_folder();
  fly_test::e2e_result r = fly_test::e2e_run(env, script, "update");
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  EXPECT_TRUE(r.saw_line("Finshed Web Update"));
  EXPECT_TRUE(r.saw_line("I have finished updating " + copy + "."));
  EXPECT_EQ(program_folder(), beside) << "the update wrote beside the program";
  for (const auto& [rel, data] : v2)
    EXPECT_EQ(md5_of(installed_path(rel)), md5_of(root + "m2/" + rel)) << rel;
  EXPECT_FALSE(file_exists(copy + "Resources/old"));
  EXPECT_EQ(read_file(copy + "Output/my flight.txt"), "the user's own");
  std::vector<std::string> got = fly_test::nginx_gets(root + "nginx/access.log");
  std::sort(got.begin(), got.end());
  ASSERT_EQ(got.size(), 4u);
  EXPECT_THAT(got[0] + got[1], HasSubstr("big.bin"));
  EXPECT_THAT(got[0] + got[1], HasSubstr("new.txt"));
  EXPECT_THAT(got[2], HasSubstr("directory.txt.zip"));
  EXPECT_THAT(got[3], HasSubstr("serverlist9.txt"));

  const std::string again = "wait net_start\nclick Continue\nwait net_done 60\nquit\n";
  env.args[1] = copy;
  r = fly_test::e2e_run(env, again, "again");
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  EXPECT_TRUE(r.saw_line("This copy of Flyvane (" + copy + ") is already up to date."));
  got = fly_test::nginx_gets(root + "nginx/access.log");
  ASSERT_EQ(got.size(), 6u);
  for (size_t i = 4; i < got.size(); ++i)
    EXPECT_THAT(got[i], ::testing::AnyOf(HasSubstr("serverlist9.txt"),
                                         HasSubstr("directory.txt.zip")));
}

// A server whose archive holds the right name with other content: the
// installed file stays whole, the log says which file, server and sums, and
// the finish speaks of problems.
TEST(WebE2E, AFileWithTheWrongContentIsNotInstalled) {
  FLY_E2E_OR_SKIP();
  fly_test::e2e_env env;
  const std::string root = env.root + "web/";
  const tree v1 = {{"All/Resources/big.bin", std::string(200000, 'x')}};
  tree v2 = v1;
  v2["All/Resources/big.bin"] = std::string(200000, 'y'), v2["All/Resources/new.txt"] = "new";
  build(root + "m1/", v1, "--out=" + q(root + "out1/") + " --name='Flyvane 9.20' --release=92101");
  sh("cd " + q(root) + " && unzip -p 'out1/Flyvane 9.20/directory.txt.zip' > directory.txt");
  build(root + "m2/", v2,
        "--out=" + q(root + "site/net/") + " --old=" + q(root + "directory.txt") +
            " --name=" + q(kNew) + " --release=92102");
  server_list(root + "site/");
  put_zip(root + "site/net/" + kNew + "/All/Resources/big.bin.zip", "big.bin",
          std::string(200000, 'z'));
  write_file(root + "stale.bin", std::string(200000, 'z'));
  const std::string copy = std::filesystem::canonical(env.root).string() + "/copy/";
  dest_dir_path = copy;
  for (const auto& [rel, data] : v1) write_file(installed_path(rel), data);
  fly_test::nginx_server nginx(root + "site", root + "nginx/");
  ASSERT_TRUE(nginx.running());
  env.extra_env.push_back({"FLY_FIRST_SCREEN", "net_start"});
  env.args = {"-path", copy};
  through_proxy(env, nginx.port());
  const fly_test::e2e_result r = fly_test::e2e_run(
      env,
      "wait net_start\nclick Continue\nwait net_check_disk 60\nclick Continue\n"
      "wait The installer cannot download a file. 120\nclick Understood\nwait net_done 60\nquit\n",
      "wrong");
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  EXPECT_TRUE(r.saw_line("There were problems updating Flyvane."));
  EXPECT_FALSE(r.saw_line("I have finished updating"));
  EXPECT_EQ(read_file(installed_path("All/Resources/big.bin")), std::string(200000, 'x'));
  EXPECT_EQ(read_file(installed_path("All/Resources/new.txt")), "new");
  EXPECT_THAT(r.log, HasSubstr("WARNING: files.tessalinelabs.com sent /net/" + kNew +
                               "/All/Resources/big.bin.zip for " + copy +
                               "Resources/big.bin with the MD5 " +
                               md5_of(root + "stale.bin") + " where the file list has " +
                               md5_of(root + "m2/All/Resources/big.bin")));
  EXPECT_EQ(sh("ls -A " + q(copy + "Resources")), "big.bin\nnew.txt");
}

// Scenario 5: a demo copy into a new Desktop folder, registered; a second
// one whose server drops every request is cancelled from the destination
// screen, which removes that folder only.
TEST(WebE2E, DemoIntoANewDesktopFolderAndCancelRemovesOnlyIt) {
  FLY_E2E_OR_SKIP();
  fly_test::e2e_env env;
  const std::string root = env.root + "demo/", site = root + "site/";
  tree v = {{"All/Resources/same.txt", "unchanged"},
            {"All/Resources/big.bin", std::string(200000, 'x')}};
  build(root + "m/", v,
        "--out=" + q(site + "files.tessalinelabs.com/net/") + " --name=" + q(kNew) +
            " --release=92102");
  server_list(site + "update.tessalinelabs.com/");
  write_file(env.desktop + "Keep/mine.txt", "the user's own");
  fly_test::script_server server(120, site);
  ASSERT_TRUE(server.running());
  env.extra_env.push_back({"FLY_FIRST_SCREEN", "demo_start"});
  through_proxy(env, server.port());
  const std::string script =
      "wait demo_start\nclick Continue\nclick -I agree!\nclick Continue\n"
      "wait demo_pick_dest 60\nclick Continue\nwait demo_done 120\nquit\n";
  fly_test::e2e_result r = fly_test::e2e_run(env, script, "demo");
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  // The Desktop as the program names it (HOME may end in "/").
  std::string demo = read_file(home_file(env, "flyvane_install.txt"));
  ASSERT_FALSE(demo.empty());
  demo.pop_back();
  EXPECT_EQ(sh("realpath -m " + q(demo)), sh("realpath -m " + q(env.desktop + "Flyvane 9 Demo")));
  EXPECT_TRUE(r.saw_line("I have finished installing the Flyvane 9 web demo at: " + demo + "."));
  dest_dir_path = demo;
  for (const auto& [rel, data] : v)
    EXPECT_EQ(md5_of(installed_path(rel)), md5_of(root + "m/" + rel)) << rel;

  // The second demo goes into another folder (the folder dialog answers);
  // once its destination is shown the server drops every request; Go Back
  // from the failing install, and Cancel at the question.
  const std::string other = env.root + "elsewhere";
  LIN_make_dirs(other);
  env.extra_env.push_back({"FLY_DIALOG_ANSWER", other});
  const std::string cancel =
      "wait demo_start\nclick Continue\nclick -I agree!\nclick Continue\n"
      "wait demo_pick_dest 60\nsleep 2\nclick Change Destination\nsleep 1\n"
      "click Continue\nwait demo_run_patch 30\n"
      "wait I can not download the file 60\nclick Go Back\n"
      "click Cancel\n"
      "wait demo_pick_dest 30\nquit\n";
  fly_test::e2e_process proc = fly_test::e2e_start(env, cancel);
  ASSERT_TRUE(fly_test::e2e_wait_line(proc, "screen demo_pick_dest", 60));
  write_file(site + "files.tessalinelabs.com/.drop", "");
  r = fly_test::e2e_finish(env, proc);
  EXPECT_TRUE(r.saw_line("I can not download the file")) << r.stderr_text;
  EXPECT_TRUE(r.saw_line("window 997"));  // the cancel question
  EXPECT_TRUE(r.saw_line("inside the folder '" + other + "/'"));
  EXPECT_FALSE(file_exists(other + "/Flyvane 9 Demo")) << r.stderr_text;
  EXPECT_TRUE(file_exists(other));
  EXPECT_EQ(read_file(env.desktop + "Keep/mine.txt"), "the user's own");
  for (const auto& [rel, data] : v)
    EXPECT_EQ(md5_of(installed_path(rel)), md5_of(root + "m/" + rel)) << rel;
}

// Scenario 6: the preferences window opened by the switch: the platform
// chosen from its popup (shown in the window; the file does not keep it), and
// the log, stream and proxy settings found in the preferences file after
// quitting.
TEST(WebE2E, PreferencesWindowSetsAndTheFileKeepsThem) {
  FLY_E2E_OR_SKIP();
  fly_test::e2e_env env;
  env.extra_env.push_back({"FLY_FIRST_SCREEN", "prefs"});
  const std::string script =
      "wait Linux\n"  // the host's platform at start-up
      "click Linux\n"
      "wait Macintosh\n"
      "click Macintosh\n"
      "sleep 0.3\n"
      "click Log installer actions. Turn this on to output the installer file downloads and "
      "stuff to the file log.txt.\n"
      "click Manually set the number of download streams. Typically leave this OFF, and the "
      "installer will find the best number of streams for you.\n"
      "click -proxy host\n"
      "type proxy.example.net\n"
      "click -proxy port\n"
      "type 3128\n"
      "sleep 0.3\n"
      "screenshot prefs.png\nquit\nwait dvd_start 30\nquit\n";
  const fly_test::e2e_result r = fly_test::e2e_run(env, script, "prefs");
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text;
  EXPECT_TRUE(r.saw_line("window 2 "));
  // After the popup's choice the list shows it, and the popup is gone.
  bool chosen = false, shown = false;
  for (const std::string& l : r.trace) {
    chosen = chosen || l == "script click Macintosh";
    shown = shown ||
            (chosen && l.starts_with("item key=\"Macintosh\" shown=\"Macintosh\" rect=268,"));
  }
  EXPECT_TRUE(shown);
  const std::string prefs = read_file(home_file(env, "Flyvane Installer.prf"));
  EXPECT_THAT(prefs, HasSubstr("_log_actions 1\n"));
  EXPECT_THAT(prefs, HasSubstr("_stream_count 1\n"));
  EXPECT_THAT(prefs, HasSubstr("proxy.example.net"));
  EXPECT_THAT(prefs, HasSubstr("_proxy_port_int 3128\n"));
}
