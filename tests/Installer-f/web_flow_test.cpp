// The web update and demo flows' engine sequences and texts, without a
// window: pure text rules, the preferences rules, and the flows driven frame
// by frame against releases made by the release tool and served by nginx.
#include "Installer-f/web_flow.h"

#include <atomic>
#include <filesystem>
#include <map>

#include "Files/paths.h"
#include "GenH/shell.h"
#include "OOPS_cpp/pref.h"
#include "UTL/xtim.h"
#include "engine_util.h"

using namespace engine_test;

namespace {
int enough(const std::string&, const std::string&) { return 1; }
int too_little(const std::string&, const std::string&) { return 0; }
next_struct streams(int active, float done_zip, float partial, float start) {
  next_struct n{};
  for (int k = 0; k < active; ++k) n.stream_active[k] = 1;
  n.done_zip_kb = done_zip, n.partial_kb = partial, n.start_time = start;
  return n;
}
}  // namespace

// ---- Texts

TEST(WebTexts, DownloadSizeTable) {
  EXPECT_EQ(web_size_text(0), "0 KB");
  EXPECT_EQ(web_size_text(1024), "1024 KB");
  EXPECT_EQ(web_size_text(1025), "1 MB");
  EXPECT_EQ(web_size_text(1024000), "1000 MB");
  EXPECT_EQ(web_size_text(2097152), "2.0 GB");
}

TEST(WebTexts, FileListProgressTreatsAnUnknownOrZeroLengthAsUnknown) {
  std::string line;
  float p = 5;
  file_list_progress(0, -1, 0, line, p);
  EXPECT_EQ(line,
            "I am checking the net for the latest version of Flyvane 9 right now, and I am "
            "0% done checking.");
  EXPECT_EQ(p, 0);
  for (long long length : {-1LL, 0LL}) {
    file_list_progress(1, length, 10, line, p);
    EXPECT_EQ(line,
              "I am checking the net for the latest version of Flyvane 9 right now, and I am "
              "connecting to the server...");
    EXPECT_EQ(p, 0);  // an empty bar, not a division by zero
  }
  file_list_progress(1, 300, 100, line, p);
  EXPECT_THAT(line, HasSubstr("I am 33% done checking."));
  EXPECT_FLOAT_EQ(p, 1.0f / 3);
  file_list_progress(1, 100, 250, line, p);  // a server sending more than it announced
  EXPECT_THAT(line, HasSubstr("I am 100% done"));
  EXPECT_EQ(p, 1);
}

TEST(WebTexts, SmoothingWeightIsClampedAndNothingToInstallCountsAsDone) {
  EXPECT_FLOAT_EQ(web_smooth(0, 0.02f, 50, 100), 0.05f);  // weight 0.1
  // A frame slower than 0.2 s would weigh more than 1 and overshoot.
  EXPECT_FLOAT_EQ(web_smooth(0.2f, 0.5f, 40, 100), 0.4f);
  EXPECT_FLOAT_EQ(web_smooth(0.2f, 3.0f, 40, 100), 0.4f);
  EXPECT_FLOAT_EQ(web_smooth(0.3f, -1.0f, 40, 100), 0.3f);
  EXPECT_FLOAT_EQ(web_smooth(0.5f, 1.0f, 0, 0), 1.0f);
  EXPECT_FLOAT_EQ(web_smooth(0.9f, 1.0f, 300, 100), 1.0f);
}

TEST(WebTexts, TimeLineNeedsProgressAndARateAndCountsStreams) {
  next_struct n = streams(1, 100, 0, 10);
  // Not past 1 % yet, and nothing arrived yet: no line.
  EXPECT_EQ(web_time_line(n, 1000, 20, 0.01f), "");
  EXPECT_EQ(web_time_line(streams(2, 0, 0, 10), 1000, 20, 0.5f), "");
  EXPECT_EQ(web_time_line(n, 1000, 20, 0.5f),
            "About 90 seconds left in the install, downloading at 10 kilobytes/second with 1 "
            "download stream.");
  n = streams(3, 100, 50, 10);                    // partial KB count as downloaded
  EXPECT_EQ(web_time_line(n, 1150, 10.5f, 0.5f),  // under a second counts as one
            "About 6 seconds left in the install, downloading at 150 kilobytes/second with 3 "
            "simultaneous download streams.");
  n = streams(2, 2000, 0, 0);  // more than the total: nothing left
  EXPECT_THAT(web_time_line(n, 1000, 2, 0.5f), HasSubstr("About 0 seconds left"));
}

TEST(WebTexts, ActionLineByAction) {
  EXPECT_EQ(web_action_line(0, "a.txt", 0),
            "Deleting a.txt because that file is no longer needed!");
  EXPECT_EQ(web_action_line(1, "a.txt", 0.429f),
            "Downloading and installing a.txt, currently 42% done with that file.");
  EXPECT_EQ(web_action_line(1, "a.txt", -0.01f),
            "Downloading and installing a.txt, currently 0% done with that file.");
  EXPECT_EQ(web_action_line(2, "a.txt", 0), "Skipping a.txt because it is already installed.");
  EXPECT_EQ(web_action_line(3, "a.txt", 0), "Skipping a.txt because you don't need it.");
  EXPECT_EQ(web_action_line(7, "a.txt", 0), "");
}

// ---- First screen and preferences

TEST(WebFirstScreen, VariableChoosesTheScreenAndWebFlowsRestartTheRoad) {
  EXPECT_EQ(parse_first_screen(nullptr).screen, web_target::dvd_start);
  EXPECT_EQ(parse_first_screen("").screen, web_target::dvd_start);
  EXPECT_EQ(parse_first_screen("dvd_start").screen, web_target::dvd_start);
  EXPECT_EQ(parse_first_screen("net_start").screen, web_target::net_start);
  EXPECT_EQ(parse_first_screen("demo_start").screen, web_target::demo_start);
  const first_screen_choice p = parse_first_screen("prefs");
  EXPECT_TRUE(p.open_prefs && p.screen == web_target::dvd_start);
  EXPECT_EQ(parse_first_screen("net_done").screen, web_target::dvd_start);
  EXPECT_THAT(fly_test::log_text(), HasSubstr("FLY_FIRST_SCREEN=net_done names no first screen"));
  setenv("FLY_FIRST_SCREEN", "demo_start", 1);
  EXPECT_EQ(first_screen_from_env().screen, web_target::demo_start);

  stg.server_count = 0, stg.dir_state = 3;  // what a disc scan leaves
  enter_first_screen(parse_first_screen("prefs"));
  EXPECT_EQ(stg.server_count * 10 + stg.dir_state, 3);
  enter_first_screen(parse_first_screen("net_start"));
  EXPECT_EQ(stg.server_count, -1);
  EXPECT_EQ(stg.dir_state, 0);
}

TEST(WebPrefs, WindowRulesAndTheFileRoundTrip) {
  stg.target_platform = 3;
  EXPECT_EQ(prefs_platform_entry(), 2);
  prefs_after_widgets(0, 0);
  EXPECT_EQ(stg.target_platform, 1);
  // Ticking the box with no count yet gives one stream; the box then stays ticked.
  stg.stream_count = 0;
  prefs_after_widgets(0, 1);
  EXPECT_EQ(stg.stream_count, 1);
  EXPECT_TRUE(prefs_streams_ticked());
  stg.stream_count = 9;
  prefs_after_widgets(0, 1);
  EXPECT_EQ(stg.stream_count, 4);
  prefs_after_widgets(0, 0);
  EXPECT_EQ(stg.stream_count, 0);
  // A port that is no number, or out of range, leaves the port as it was.
  http.proxy_port = 3128;
  for (const char* bad : {"80a", "proxy", "0", "70000", "-8080"}) {
    http.proxy_port_text = bad;
    prefs_after_widgets(1, 1);
    EXPECT_EQ(http.proxy_port, 3128) << bad;
  }
  http.proxy_port_text = "8080";
  http.proxy_host = "proxy.example";
  stg.log_actions = 1;
  prefs_after_widgets(1, 1);
  EXPECT_EQ(http.proxy_port, 8080);
  EXPECT_EQ(stg.target_platform, 2);

  pref.IO_set(pref_installer, 1);
  stg.stream_count = stg.log_actions = http.proxy_port = 0;
  http.proxy_host.clear(), http.proxy_port_text.clear();
  pref.IO_set(pref_installer, 0);
  EXPECT_EQ(stg.stream_count, 1);
  EXPECT_EQ(stg.log_actions, 1);
  EXPECT_EQ(http.proxy_host, "proxy.example");
  EXPECT_EQ(http.proxy_port_text, "8080");
  EXPECT_EQ(http.proxy_port, 8080);
}

// ---- Screens without a network

TEST(WebScreens, CommandLinePathGetsItsSlashAndSkipsThePicker) {
  cmd_line_path = "/opt/copy";
  web_page p;
  net_start_page(1, p);
  EXPECT_EQ(dest_dir_path, "/opt/copy/");
  EXPECT_EQ(p.next, web_target::net_get_updates);
  EXPECT_EQ(p.title, "Flyvane 9 Web Updater");
  for (const web_step& s : net_step_list()) EXPECT_NE(s.screen, web_target::net_pick_dest);
  cmd_line_path.clear();
  EXPECT_EQ(net_step_list().size(), 6u);
  web_page q;
  net_start_page(0, q);
  EXPECT_EQ(q.next, web_target::net_pick_dest);
  EXPECT_EQ(dest_dir_path, "");
}

TEST(WebScreens, DiskCheckAndFinishTexts) {
  web_page p;
  stg.total_size_kb = 0;
  EXPECT_EQ(net_check_disk_page(1, p, enough), 1);
  EXPECT_EQ(p.next, web_target::net_done);
  stg.total_size_kb = 3000, stg.total_zip_kb = 2000, install_name = "Flyvane 9.21rc2";
  p = {};
  EXPECT_EQ(net_check_disk_page(0, p, enough), 0);
  EXPECT_EQ(p.text,
            "You are about to download 2 MB of compressed data to update to Flyvane 9.21rc2.");
  EXPECT_EQ(p.next, web_target::net_run_patch);
  EXPECT_EQ(p.show_servers, 1);
  p = {};
  net_check_disk_page(0, p, too_little);
  EXPECT_EQ(p.next, web_target::none);
  EXPECT_THAT(p.text, HasSubstr("Please free some space on your hard drive."));

  dest_dir_path = "/c/";
  stg.extract_failed = 1;
  p = {};
  net_done_page(1, p);
  EXPECT_EQ(p.title, "Finshed Web Update");
  EXPECT_TRUE(p.choices.empty());
  EXPECT_EQ(p.next, web_target::wizard_quit);
  stg.extract_failed = 0;
  p = {};
  net_done_page(1, p);
  EXPECT_EQ(p.text, "I have finished updating /c/.");
  ASSERT_EQ(p.choice_targets.size(), 1u);
  EXPECT_EQ(p.choice_targets[0], web_target::run_sim);
}

TEST(WebScreens, DemoDestinationDefaultsNamesAndExistingFolders) {
  std::string desk;
  get_OS_abs_path(os_dir_desktop, desk);
  LIN_make_dirs(desk);
  install_name = "Flyvane 9.21rc2";
  int changed = 0;
  EXPECT_EQ(demo_pick_dest_begin(1, changed), 0);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(demo_dest.parent_dir, desk);
  EXPECT_EQ(demo_dest.install_folder, "Flyvane 9 Demo");
  web_page p;
  demo_pick_dest_page(changed, p, enough);
  EXPECT_EQ(p.title, "Pick Install Destination for Flyvane 9.21rc2.");
  EXPECT_EQ(dest_dir_path, desk + "Flyvane 9 Demo/");
  EXPECT_EQ(p.text, "I will create the folder 'Flyvane 9 Demo' inside the folder '" + desk +
                        "'.\n\n(The folder Flyvane 9 Demo will appear on your desktop.)");
  EXPECT_EQ(p.next, web_target::demo_run_patch);
  p = {};
  demo_pick_dest_page(0, p, too_little);
  EXPECT_EQ(p.next, web_target::none);

  // More than one folder, or none: no destination (Cancel could delete more).
  for (const char* bad : {"", "a/b", "..", "."}) {
    demo_dest.install_folder = bad;
    p = {};
    demo_pick_dest_page(1, p, enough);
    EXPECT_EQ(p.next, web_target::none) << bad;
    EXPECT_EQ(dest_dir_path, desk) << bad;
    EXPECT_EQ(p.text, "Please pick a name for your Flyvane 9 installation...");
  }
  demo_dest.install_folder = "Mine";
  LIN_make_dirs(desk + "Mine");
  p = {};
  demo_pick_dest_page(1, p, enough);
  EXPECT_EQ(p.next, web_target::none);
  EXPECT_THAT(p.text, HasSubstr("already exists inside the folder"));
  changed = 0;
  demo_parent_picked("/", changed);
  EXPECT_EQ(demo_dest.parent_dir, "/");
  EXPECT_EQ(changed, 1);
  demo_parent_picked("/tmp", changed);
  EXPECT_EQ(demo_dest.parent_dir, "/tmp/");
  p = {};
  demo_pick_dest_page(1, p, enough);
  EXPECT_EQ(p.text, "I will create the folder 'Mine' inside the folder '/tmp/'.");

  // A close while the question is up keeps even the demo's own folder.
  demo_install_is_running = 1, dest_dir_path = desk + "Mine/";
  demo_dest.made_dir = dest_dir_path;
  app_done = 1;
  {
    scripted_prompts closed({3});
    EXPECT_EQ(demo_pick_dest_begin(1, changed), 0);
  }
  app_done = 0;
  EXPECT_TRUE(std::filesystem::is_directory(desk + "Mine")) << "a close deleted the partial copy";
  demo_dest.made_dir.clear();

  // Cancel of a running install deletes only a folder the demo made itself.
  write_file(desk + "Mine/own.txt", "the user's own");
  demo_install_is_running = 1, dest_dir_path = desk + "Mine/";
  scripted_prompts cancel({1});
  EXPECT_EQ(demo_pick_dest_begin(1, changed), 0);
  EXPECT_EQ(demo_install_is_running, 0);
  EXPECT_EQ(read_file(desk + "Mine/own.txt"), "the user's own");
}

// The reset that the screens run deletes the streams' own archives in the
// temporary folder and ends their downloads, and nothing in the copy: not
// the row's file, nor a file named like it with ".zip".
TEST(WebScreens, DownloadResetTouchesOnlyTheStreamsArchives) {
  const std::string root = fly_test::sandbox() + "reset/";
  LIN_make_dirs(temp_path = root + "tmp/");
  dest_dir_path = root + "copy/";
  sim_info = {{version("All/Resources/a.txt", sig('a'), sig('b'))},
              {version("All/Resources/b.txt", sig('a'), sig('b'))}};
  for (const char* f : {"Resources/a.txt", "Resources/a.txt.zip", "Resources/b.txt.zip"})
    write_file(dest_dir_path + f, "the user's");
  write_file(temp_path + "0.zip", "partial"), write_file(temp_path + "1.zip", "partial");
  for (int k = 0; k < 4; ++k) next.stream_active[k] = 1, next.stream_row[k] = k % 2;
  fly_test::script_server server;
  ASSERT_TRUE(fly_test::proxy_to(server));
  ASSERT_EQ(http.net_check(2, "x.test", "/drip/2000000", temp_path + "0.zip"), 0);
  ASSERT_NE(http.slots[2], nullptr);  // an open stream download
  next.next_row = 2, next.done_zip_kb = 5;
  web_page p;
  stg.total_size_kb = 0;
  net_check_disk_page(1, p, enough);
  EXPECT_FALSE(file_exists(temp_path + "0.zip"));
  EXPECT_FALSE(file_exists(temp_path + "1.zip"));
  for (const char* f : {"Resources/a.txt", "Resources/a.txt.zip", "Resources/b.txt.zip"})
    EXPECT_EQ(read_file(dest_dir_path + f), "the user's") << f;
  EXPECT_EQ(http.slots[2], nullptr);
  EXPECT_EQ(next.next_row, 0);
  EXPECT_EQ(next.done_zip_kb, 0);
  const int active[4] = {1, 1, 0, 0};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(next.stream_active[k], active[k]) << k;
}
