#include <chrono>
#include <thread>

#include "Files/errors.h"
#include "GenH/about.h"
#include "GenH/shell.h"
#include "Installer-f/servers.h"
#include "support/net_servers.h"
#include "support/test_util.h"

namespace {
const std::string H = "I\n820 version\nSERVERS\n\n";

about_state decide_on(const std::string& list) {
  fly_test::write_file("list.txt", list);
  about_state st;
  EXPECT_EQ(about_read_server_list("list.txt", st), 1);
  about_decide(st);
  return st;
}

template <class Done>
bool frames_until(about_state& st, Done done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    about_per_frame(st);
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  return true;
}

// A zip made by python's zipfile, which writes any entry name it is given.
void make_zip(const std::string& zip, const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string py = "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n";
  for (const auto& [name, data] : entries) py += "z.writestr(" + std::string("'") + name + "','" + data + "')\n";
  py += "z.close()\n";
  fly_test::write_file(fly_test::sandbox() + "mkzip.py", py);
  fly_test::sh("mkdir -p \"$(dirname '" + zip + "')\" && python3 " + fly_test::sandbox() +
               "mkzip.py '" + zip + "'");
}

struct launch_call {
  std::string app, arg;
  int finish;
};
std::vector<launch_call> g_launches;
int fake_launch(const std::string& app, const std::string& arg, int finish_first) {
  g_launches.push_back({app, arg, finish_first});
  return 2;
}
}  // namespace

TEST(AboutDecide, ServerListCases) {
  about_state st = decide_on(H + "FINAL 9.30\nFINAL_INSTALLER_MAC a.test /i.zip\n");
  EXPECT_EQ(st.version_str_found * 100 + st.is_latest * 10 + st.ins_state, 114);
  EXPECT_EQ(st.version_final, -1);
  EXPECT_EQ(st.err_msg, "Can't connect to the net to find latest version.");

  st = decide_on(H + "FINAL_VERSION 92102\nBETA_VERSION 99999\nBETA_INSTALLER_MAC b.test /b.zip\n");
  EXPECT_EQ(st.is_latest * 100 + st.is_beta * 10 + st.ins_state, 104);
  EXPECT_EQ(st.err_msg, "Your version of Flyvane is up to date.");

  // Newer, but the list names no installer path: the message and no download.
  st = decide_on(H + "FINAL 9.50 final\r\nFINAL_VERSION\t+95000\r\nFINAL_INSTALLER_MAC a.test\n");
  EXPECT_EQ(st.is_latest * 100 + st.is_beta * 10 + st.ins_state, 4);
  EXPECT_EQ(st.version_str_net, "9.50");  // a value ends at a blank
  EXPECT_THAT(st.err_msg, HasSubstr("new version of Flyvane available"));
  EXPECT_EQ(about_version_line(st), "The current version of Flyvane is now 9.50.");

  st = decide_on(H + "FINAL_VERSION 95000\nFINAL_INSTALLER_MAC a.test /pub/i.zip extra\n");
  EXPECT_EQ(st.ins_state, 1);
  EXPECT_EQ(st.installer_server + st.installer_path, "a.test/pub/i.zip");

  st = decide_on(H + "FINAL_VERSION 92000\nBETA_VERSION 93001x\nBETA 9.30b1\n"
                     "BETA_INSTALLER_MAC b.test /b.zip\nFINAL_INSTALLER_MAC a.test /a.zip\n");
  EXPECT_EQ(st.is_latest * 100 + st.is_beta * 10 + st.ins_state, 11);
  EXPECT_EQ(st.version_beta, 93001);
  EXPECT_EQ(st.installer_server + st.installer_path, "b.test/b.zip");
  EXPECT_THAT(st.err_msg, HasSubstr("newer beta"));
  EXPECT_EQ(about_version_line(st), "The current beta version of Flyvane is now 9.30b1.");

  st = decide_on(H + "FINAL_VERSION 92000\nBETA_VERSION -1\n");
  EXPECT_EQ(st.err_msg, "You have the latest Flyvane beta.");
  EXPECT_EQ(st.is_latest * 10 + st.ins_state, 14);

  fly_test::write_file("bad.txt", "I\n821 version\nSERVERS\n\nFINAL_VERSION 95000\n");
  about_state none;
  EXPECT_EQ(about_read_server_list("bad.txt", none), 0);
  EXPECT_EQ(about_read_server_list("missing.txt", none), 0);
  EXPECT_EQ(none.version_final, -1);
  EXPECT_EQ(about_product_line(1), "Flyvane 9.21rc2 Web Demo");
}

TEST(AboutRun, FetchesUnpacksAndStartsTheNewInstaller) {
  const std::string root = fly_test::sandbox() + "hosts/";
  fly_test::write_file(root + update_host + "/serverlist9.txt",
                       H + "FINAL 9.50\nFINAL_VERSION 95000\nFINAL_INSTALLER_MAC inst.test "
                           "/pub/new.zip\n");
  make_zip(root + "inst.test/pub/new.zip", {{"New Installer.app/", ""},
                                            {"New Installer.app/Contents/MacOS/run", "#!"}});
  fly_test::script_server srv(60, root);
  ASSERT_TRUE(fly_test::proxy_to(srv));
  about_launcher = fake_launch;

  about_state st;
  ASSERT_TRUE(frames_until(st, [&] { return st.version_str_found; }));
  EXPECT_EQ(st.ins_state, 1);
  EXPECT_TRUE(fly_test::file_exists(about_server_list_file));
  about_get_new(st);
  EXPECT_EQ(st.ins_state, 2);
  EXPECT_THAT(about_status_text(st), HasSubstr("Downloading the installer..."));
  ASSERT_TRUE(frames_until(st, [&] { return st.ins_state != 2; }));
  EXPECT_EQ(st.ins_state, 3);
  EXPECT_EQ(st.installer_app_name, "New Installer.app");
  EXPECT_EQ(fly_test::read_file("New Installer.app/Contents/MacOS/run"), "#!");
  about_per_frame(st);
  ASSERT_EQ(g_launches.size(), 1u);
  EXPECT_EQ(g_launches[0].app + "|" + g_launches[0].arg, "New Installer.app|");
  EXPECT_EQ(g_launches[0].finish, 1);
  EXPECT_EQ(st.ins_state, 4);
  EXPECT_THAT(about_status_text(st), HasSubstr("There was an error launching the installer: "));
  EXPECT_THAT(st.err_msg, HasSubstr("(2)"));
  EXPECT_EQ(srv.requests().size(), 2u);  // the list once, the installer once
}

TEST(AboutRun, RefusesInstallerNamesOutsideTheWorkingFolder) {
  const std::string root = fly_test::sandbox() + "hosts/";
  about_launcher = fake_launch;
  for (const std::string name : {"sub/../Evil.app/", "../Evil.app/", "/tmp/Evil.app/"}) {
    SCOPED_TRACE(name);
    make_zip(root + "inst.test/pub/bad.zip", {{name, ""}, {name + "x", "y"}});
    fly_test::script_server srv(60, root);
    ASSERT_TRUE(fly_test::proxy_to(srv));
    about_state st;
    st.version_str_found = 1;
    st.ins_state = 2;
    st.installer_server = "inst.test";
    st.installer_path = "/pub/bad.zip";
    ASSERT_TRUE(frames_until(st, [&] { return st.ins_state != 2; }));
    EXPECT_EQ(st.ins_state, 4);
    EXPECT_THAT(st.err_msg, HasSubstr("There was an error unzipping the installer: "));
    about_per_frame(st);
    EXPECT_TRUE(g_launches.empty());
  }
  EXPECT_FALSE(fly_test::file_exists(fly_test::sandbox() + "Evil.app/x"));
}

TEST(AboutRun, AFailedDownloadEndsWithItsMessage) {
  fly_test::script_server srv(60, fly_test::sandbox() + "hosts/");
  ASSERT_TRUE(fly_test::proxy_to(srv));
  about_state st;
  st.version_str_found = 1;
  st.ins_state = 2;
  st.installer_server = "nowhere.test";
  st.installer_path = "/status/404";
  ASSERT_TRUE(frames_until(st, [&] { return st.ins_state != 2; }));
  EXPECT_EQ(st.err_msg, "I was unable to download the installer from the net.");
}
