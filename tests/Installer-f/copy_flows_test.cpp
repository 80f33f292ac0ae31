// The repair and scenery-editing screens: what each shows and where it leads
// for a given engine state, the stop questions of a running flow, and both
// flows driven screen by screen against a real disc set.
#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <map>

#include "Installer-f/discs.h"
#include "Installer-f/flow_parts.h"
#include "Installer-f/run_screens.h"
#include "Installer-f/screens.h"
#include "Installer-f/wizard_rules.h"
#include "Linux/lin_discs.h"
#include "UTL/localize.h"
#include "engine_util.h"
#include "support/widget_frame.h"

using namespace engine_test;

namespace {
// One frame of a screen the way the wizard frame calls it.
struct screen_driver {
  fly_test::widget_frames frames;
  wizard_screen_fn current = nullptr, last = nullptr;
  wizard_screen s;
  int result = 0;
  int frame() {
    frames.frame();
    s = wizard_screen{};
    const wizard_screen_fn g = current;
    result = g(g != last, s);
    last = g;
    if (result && s.next_screen) current = s.next_screen;
    return result;
  }
  void go(wizard_screen_fn to) { current = to; }
  // Frames until the current screen is `until`; false after `max` frames.
  bool frames_to(wizard_screen_fn until, int max = 200000) {
    for (int i = 0; i < max && current != until; ++i) {
      frame();
      if (current != until && !result) usleep(200);
    }
    return current == until;
  }
};

struct flow_case {
  const char* name;
  wizard_screen_fn pick, scan, after_scan, run;
  int* running;
  const char* pick_title;
  const char* pick_sentence;
  std::vector<std::string> steps;
  std::vector<wizard_screen_fn> step_screens;
  const char* scan_title;
  const char* scan_text;  // %s: the copy's folder
  int want_sim, want_global;
};

const flow_case k_flows[] = {
    {"repair", dvd_pick_repair, dvd_scan_repair, dvd_confirm_repair, dvd_install_repair,
     &repair_is_running, "Repair Flyvane 9",
     "Please pick which copy of Flyvane 9 you would like to repair.",
     {"Welcome", "Select Flyvane", "Scan For Problems", "Confirm Repairs", "Repair Flyvane",
      "Finish"},
     {dvd_start, dvd_pick_repair, dvd_scan_repair, dvd_confirm_repair, dvd_install_repair,
      dvd_done_repair},
     "Scanning Flyvane for Problems",
     "I am scanning %s for missing or damaged files.\n\nNote: if you have updated this copy of "
     "Flyvane from the Internet, the repair operation will remove the updates.  Once the repair "
     "has finished, you should reapply the updates from the web.",
     1, 0},
    {"scenery", dvd_pick_scenery, dvd_scan_scenery, dvd_edit_scenery, dvd_install_scenery,
     &scenery_install_is_running, "Select Flyvane 9 to Add or Remove Scenery",
     "Please pick which copy of Flyvane 9 you would like to add scenery to.",
     {"Welcome", "Select Flyvane", "Scan Existing Scenery", "Select New Scenery",
      "Install Scenery", "Finish"},
     {dvd_start, dvd_pick_scenery, dvd_scan_scenery, dvd_edit_scenery, dvd_install_scenery,
      dvd_done_scenery},
     "Scanning Flyvane 9 for Installed Scenery",
     "I am scanning %s to see what scenery you already have installed.\n\nNote: I am only "
     "checking for the scenery already installed from your DVDs.  This scan will not show any "
     "custom scenery downloaded from the internet.",
     0, 1},
};

std::string fill(const char* fmt, const std::string& v) {
  std::string s = fmt;
  return s.replace(s.find("%s"), 2, v);
}

class CopyFlows : public ::testing::Test {
 protected:
  void SetUp() override {
    fly_test::fail_after(240, "a copy flow test");
    LIN_make_dirs(copies[0]), LIN_make_dirs(copies[1]), LIN_make_dirs(copies[2]);
    dest_dir_path.clear(), all_skysuites.clear(), sim_info.clear();
    repair_is_running = scenery_install_is_running = 0;
    stg.target_platform = 1;
  }
  void TearDown() override { checksum_directory_kill(); }
  // Rows for the copy at dest: `good` sim files present with their sums, a
  // damaged one, a missing one, and two scenery tiles of which one is there.
  // With damaged_tile, a third tile is there but not as listed.
  void model(const std::string& dest, int good = 2, bool damaged_tile = false) {
    for (int i = 0; i < good; ++i) add_row(dest, "All/Resources/f" + std::to_string(i), "ok", 1);
    add_row(dest, "All/Resources/damaged", "damaged", 1, "was");
    add_row(dest, "All/Resources/missing", "missing", 0);
    add_row(dest, "All/Global Scenery/+30-090/+33-085.dsf", "tile", 1);
    add_row(dest, "All/Global Scenery/+40+010/+45+012.dsf", "other tile", 0);
    if (damaged_tile) add_row(dest, "All/Global Scenery/-40+170/-37+174.dsf", "bad", 1, "tile");
  }
  void add_row(const std::string& dest, const std::string& path, const std::string& data,
               int present, const std::string& listed = "") {
    const std::string& content = listed.empty() ? data : listed;
    std::string& want = sums_[content];
    if (want.empty()) {
      write_file(fly_test::sandbox() + "sums/x", content);
      want = md5sum_of(fly_test::sandbox() + "sums/x");
    }
    if (present) write_file(dest + path.substr(4), data);
    file_version_struct v = version(path, want, "NONE");
    v.size_kb = 1;
    sim_info.push_back({v});
  }
  const std::string root = fly_test::sandbox() + "work/";
  const std::string copies[3] = {root + "one/", root + "two/", root + "three/"};
  const std::string desktop = fly_test::sandbox() + "Desktop/";
  screen_driver d;
  std::map<std::string, std::string> sums_;
};
}  // namespace

// Both pick screens: the step list, the texts by the number of copies, and
// which destination they keep on the first frame.
TEST_F(CopyFlows, PickScreensKeepOnlyAnInstalledCopy) {
  struct pick_case {
    int copies;
    std::string dest_before;  // dest_dir_path when the screen is entered
    std::string dest_after;
    bool more_than_one;
  };
  const pick_case cases[] = {
      {0, desktop, "", false},           // the install flow's parent: forgotten
      {1, desktop, copies[0], false},    // the one copy is taken
      {1, copies[0], copies[0], false},  //
      {3, desktop, "", true},            // none chosen yet
      {3, copies[1], copies[1], true},   // a copy chosen before is kept
      {3, copies[1] + "x/", "", true},   // a folder inside a copy is no copy
  };
  for (const flow_case& fc : k_flows) {
    for (const pick_case& c : cases) {
      SCOPED_TRACE(std::string(fc.name) + " with " + std::to_string(c.copies) + " copies, " +
                   c.dest_before);
      all_skysuites.assign(copies, copies + c.copies);
      dest_dir_path = c.dest_before;
      step_names = {"old"}, step_funcs = {nullptr};
      d.go(fc.pick), d.last = nullptr;
      EXPECT_EQ(d.frame(), 0);
      EXPECT_EQ(dest_dir_path, c.dest_after);
      EXPECT_EQ(d.s.title, fc.pick_title);
      EXPECT_EQ(d.s.text, std::string(c.more_than_one ? "You have more than one copy of Flyvane 9 "
                                                        "installed on this computer.  "
                                                      : "") +
                              fc.pick_sentence);
      EXPECT_EQ(d.s.back_screen, dvd_start);
      EXPECT_EQ(d.s.next_screen, c.dest_after.empty() ? nullptr : fc.scan);
      EXPECT_EQ(step_names, fc.steps);
      EXPECT_EQ(step_funcs, fc.step_screens);
      EXPECT_EQ(d.s.progress, -1);
      if (c.dest_after.empty()) {  // the user picks one
        dest_dir_path = copies[2];
        d.frame();
        EXPECT_EQ(d.s.next_screen, fc.scan);
      }
    }
  }
}

// The scans: texts, a progress line that counts from row 0 on every entry,
// Back while it runs and the pick screen stopping it, then the advance.
TEST_F(CopyFlows, ScanScreensRestartAndStopOnBack) {
  static std::atomic<int> hold{0};
  const int k_rows = 400;
  checksum_test_hook = [](int) {
    while (hold.load()) usleep(100);
  };
  for (const flow_case& fc : k_flows) {
    SCOPED_TRACE(fc.name);
    sim_info.clear();
    for (int i = 0; i < k_rows; ++i) {
      // 400 tiles of four 10-degree sectors, or as many simulator files.
      const int lat = 30 + i % 20, lon = 90 - (i / 20) % 20;
      char tile[64];
      snprintf(tile, sizeof tile, "+%d-%03d/+%d-%03d.dsf", lat / 10 * 10, (lon + 9) / 10 * 10, lat,
               lon);
      add_row(copies[0],
              fc.want_global ? "All/Global Scenery/" + std::string(tile)
                             : "All/Resources/r" + std::to_string(i),
              "x", 1);
    }
    for (auto& row : sim_info) row.back().size_kb = 9000;  // one row per task
    all_skysuites = {copies[0]};
    d.go(fc.pick), d.last = nullptr;
    d.frame();
    for (int visit = 0; visit < 2; ++visit) {
      hold = 1;
      d.go(d.s.next_screen);
      EXPECT_EQ(d.frame(), 0);
      EXPECT_EQ(g_want_sim, fc.want_sim);
      EXPECT_EQ(g_want_global, fc.want_global);
      EXPECT_EQ(d.s.title, fc.scan_title);
      EXPECT_EQ(d.s.text, fill(fc.scan_text, copies[0]));
      EXPECT_EQ(d.s.back_screen, fc.pick);
      EXPECT_EQ(d.s.next_screen, nullptr);
      EXPECT_EQ(d.s.on_cancel, checksum_directory_kill);
      const int handed = static_cast<int>(d.s.progress * k_rows + 0.5f);
      EXPECT_GT(handed, 0);
      EXPECT_LT(handed, k_rows);  // the pool is full: the rest waits
      EXPECT_EQ(d.s.progress_text, "Scanning " + std::to_string(handed) + " of " + std::to_string(k_rows) + " files.");
      ASSERT_NE(checksum_workers, nullptr);
      // Back: the pick screen's first frame waits for the outstanding rows
      // and ends the pool before anything reads the model again.
      d.go(fc.pick);
      std::thread release([] { usleep(20000), hold = 0; });
      d.frame();
      release.join();
      EXPECT_EQ(checksum_workers, nullptr);
      int checked = 0;
      for (const auto& row : sim_info) checked += row.back().current;
      EXPECT_EQ(checked, handed);
    }
    d.go(fc.scan);
    ASSERT_TRUE(d.frames_to(fc.after_scan));
    EXPECT_EQ(d.s.back_screen, nullptr);
    EXPECT_EQ(d.s.next_screen, fc.after_scan);
    for (const auto& row : sim_info) EXPECT_EQ(row.back().current, 1);
  }
  checksum_test_hook = nullptr;
}

// The repair scan sums every file; the scenery scan only looks whether a
// file is there. A copy whose folder is gone is scanned in one frame.
TEST_F(CopyFlows, ScanModesAndAMissingCopy) {
  for (const flow_case& fc : k_flows) {
    SCOPED_TRACE(fc.name);
    sim_info.clear();
    model(copies[0], 2, true);
    dest_dir_path = copies[0];
    d.go(fc.scan), d.last = nullptr;
    ASSERT_TRUE(d.frames_to(fc.after_scan));
    std::vector<int> current;
    for (const auto& row : sim_info) current.push_back(row.back().current);
    // f0, f1, damaged, missing; tiles: present, absent, damaged. Rows of the
    // other kind are not looked at.
    const std::vector<int> repair{1, 1, 0, 0, 0, 0, 0}, scenery{0, 0, 0, 0, 1, 0, 1};
    EXPECT_EQ(current, fc.want_sim ? repair : scenery);

    dest_dir_path = root + "gone/";
    d.go(fc.scan), d.last = nullptr;
    EXPECT_EQ(d.frame(), 1);
    EXPECT_EQ(d.current, fc.after_scan);
    for (const auto& row : sim_info) EXPECT_EQ(row.back().current, 0);
    for (const auto& row : sim_info) EXPECT_EQ(row.back().sig_have, "NONE");
  }
}

// The confirm screen's count and sentence, its verdict on the disk space and
// the stop question of a running repair.
TEST_F(CopyFlows, ConfirmRepairCountsAndAsksToStop) {
  struct confirm_case {
    int missing;  // sim rows not current
    std::deque<int> answers;  // the stop question's, when a repair runs
    int returns;
    bool running_after;
  };
  const confirm_case cases[] = {
      {0, {}, 0, false}, {1, {}, 0, false}, {3, {}, 0, false},
      {2, {0}, 1, true},  // Continue: straight back to the run
      {2, {1}, 0, false},  // Stop
      {2, {3}, 0, false},  // the question's window closed
  };
  dest_dir_path = copies[0];
  for (const confirm_case& c : cases) {
    SCOPED_TRACE(std::to_string(c.missing) + " missing, answer " +
                 (c.answers.empty() ? "none" : std::to_string(c.answers.front())));
    sim_info.clear();
    model(copies[0], 3);
    set_install_filter(1, 0);
    for (int i = 0; i < 5; ++i) sim_info[i].back().current = i >= c.missing;
    sim_info[5].back().current = 0;  // a tile: not the repair's
    for (const char* sig : {"NONE", "0123456789abcdef0123456789abcdef"}) {
      // Files the release dropped, one gone already: neither is installed.
      file_version_struct gone = version("All/Resources/dropped", "GONE", sig);
      sim_info.push_back({gone});
    }
    repair_is_running = !c.answers.empty();
    scripted_prompts prompts(c.answers);
    d.go(dvd_confirm_repair), d.last = nullptr;
    EXPECT_EQ(d.frame(), c.returns);
    EXPECT_EQ(repair_is_running, c.running_after);
    ASSERT_EQ(prompts.asked.size(), c.answers.size());
    if (!c.answers.empty()) {
      const prompt_window& w = prompts.asked[0];
      EXPECT_EQ(w.lines[0].text,
                "Are you sure you want to stop the repair operation?  Flyvane may not be usable "
                "until repairs are complete.  You can run the repair operation on Flyvane again "
                "later to complete repairs.");
      EXPECT_EQ(w.buttons[0].label, "Stop");
      EXPECT_EQ(w.buttons[1].label, "Continue");
      EXPECT_EQ(w.lines[1].text, "the repair operation.");
      EXPECT_EQ(w.lines[2].text, "the repair operation.");
    }
    if (c.returns) {
      EXPECT_EQ(d.s.next_screen, dvd_install_repair);
      EXPECT_EQ(d.current, dvd_install_repair);
      continue;
    }
    const std::string count = std::to_string(c.missing);
    EXPECT_EQ(d.s.title, "Confirm Repairs");
    EXPECT_EQ(d.s.text, "I need to install approximately " + count +
                            (c.missing == 1 ? " file" : " files") + " to repair " + copies[0] +
                            ".\n\nClick continue to begin repairing Flyvane.");
    EXPECT_EQ(d.s.back_screen, dvd_pick_repair);
    EXPECT_EQ(d.s.next_screen, dvd_install_repair);
    EXPECT_EQ(stg.files_to_install, c.missing);

    stg.total_size_kb = 1e15f;  // more than any disk: no way on, no "Click continue"
    d.frame();
    EXPECT_EQ(d.s.next_screen, nullptr);
    EXPECT_EQ(d.s.text.find("Click continue"), std::string::npos);
  }
}

// The edit screen starts from the tiles the copy has, whatever was selected
// before; the stop question of a running scenery install; the space verdict.
TEST_F(CopyFlows, EditSceneryStartsFromTheInstalledTiles) {
  struct edit_case {
    std::deque<int> answers;
    int returns;
    bool running_after;
  };
  const edit_case cases[] = {{{}, 0, false}, {{0}, 1, true}, {{1}, 0, false}, {{3}, 0, false}};
  dest_dir_path = copies[0];
  for (const edit_case& c : cases) {
    SCOPED_TRACE(c.answers.empty() ? "not running" : std::to_string(c.answers.front()));
    sim_info.clear();
    model(copies[0]);
    set_install_filter(0, 1);
    ASSERT_TRUE(check_all(1));
    scenery_take_none();
    stg.scenery_selection[2 * 18 + 3] = 1;  // an edit of an earlier visit
    scenery_install_is_running = !c.answers.empty();
    scripted_prompts prompts(c.answers);
    d.go(dvd_edit_scenery), d.last = nullptr;
    EXPECT_EQ(d.frame(), c.returns);
    EXPECT_EQ(scenery_install_is_running, c.running_after);
    ASSERT_EQ(prompts.asked.size(), c.answers.size());
    if (!c.answers.empty()) {
      EXPECT_EQ(prompts.asked[0].lines[0].text,
                "Are you sure you want to stop scenery installation?  You can add or remove "
                "more scenery later.");
      EXPECT_EQ(prompts.asked[0].lines[1].text, "the scenery install.");
      EXPECT_EQ(prompts.asked[0].buttons[0].label, "Stop");
    }
    if (c.returns) {
      EXPECT_EQ(d.current, dvd_install_scenery);
      continue;
    }
    const int have = sim_info[4].back().lat_band + 18 * sim_info[4].back().lon_band;
    const int other = sim_info[5].back().lat_band + 18 * sim_info[5].back().lon_band;
    int selected = 0;
    for (int v : stg.scenery_selection) selected += v;
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(stg.scenery_selection[have], 1);
    EXPECT_EQ(d.s.title, "Select Scenery");
    EXPECT_EQ(d.s.text,
              "Click on the world map to select what scenery you would like to install.  "
              "Scenery that you deselect will be removed; scenery that you select will be "
              "installed.  If you fly into an area with no scenery installed, you will see only "
              "ocean.");
    EXPECT_EQ(d.s.back_screen, dvd_pick_scenery);
    EXPECT_EQ(d.s.next_screen, dvd_install_scenery);
    EXPECT_EQ(stg.files_to_install, 0);

    // The user swaps the tiles on the map; deselecting all keeps Continue.
    stg.scenery_selection[have] = 0, stg.scenery_selection[other] = 1;
    recalc_disk_sizes();
    d.frame();
    EXPECT_EQ(stg.files_to_install, 1);
    EXPECT_EQ(stg.files_to_delete, 1);
    scenery_take_none();
    recalc_disk_sizes();
    d.frame();
    EXPECT_EQ(d.s.next_screen, dvd_install_scenery);
    stg.total_size_kb = 1e15f;
    d.frame();
    EXPECT_EQ(d.s.next_screen, nullptr);
  }
}

// In French the screens show the translations, and the stop question gets
// its texts in English, as the prompt translates them when it draws.
TEST_F(CopyFlows, FrenchTextsAndAnEnglishStopQuestion) {
  UTL_translate_load_path(1, std::string(FLY_SOURCE_DIR) + "/resources/French.txt");
  all_skysuites.assign(copies, copies + 3);
  d.go(dvd_pick_repair);
  d.frame();
  EXPECT_EQ(d.s.title, "Réparer Flyvane 9");
  EXPECT_EQ(d.s.text, "Plusieurs copies de Flyvane 9 sont installées sur cet ordinateur.  "
                      "Veuillez choisir la copie de Flyvane 9 que vous souhaitez réparer.");
  EXPECT_EQ(step_names[4], "Réparer Flyvane");
  dest_dir_path = copies[1];
  model(copies[1]);
  set_install_filter(1, 0);
  repair_is_running = 1;
  scripted_prompts prompts({1});
  d.go(dvd_confirm_repair);
  d.frame();
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].buttons[0].label, "Stop");
  EXPECT_EQ(prompts.asked[0].lines[1].text, "the repair operation.");
  EXPECT_EQ(d.s.title, "Confirmer les réparations");
  EXPECT_THAT(d.s.text, ::testing::StartsWith("Je dois installer environ 4 fichiers pour réparer " +
                                              copies[1] + "."));
  d.go(dvd_pick_scenery);
  d.frame();
  EXPECT_EQ(d.s.title, UTL_translate_string("Select Flyvane 9 to Add or Remove Scenery"));
  EXPECT_NE(d.s.title, "Select Flyvane 9 to Add or Remove Scenery");
  UTL_translate_clear();
}

// ---- Both flows against the demo disc set of the release builder.
namespace {
class DemoCopy : public CopyFlows {
 protected:
  void SetUp() override {
    CopyFlows::SetUp();
    LIN_make_dirs(temp_path = root + "temp/");
    sh(std::string("python3 ") + FLY_SOURCE_DIR + "/tools/make_demo_discs.py --make-release=" +
       FLY_BUILD_DIR + "/tools/make_release --out=" + q(demo) + " >/dev/null");
    setenv(LIN_volumes_env, volumes.c_str(), 1);
    install_name = no_install_name, dvd_path.clear();
    stg.dir_state = 0, current_disk = 0, want_file_disk = 0;
    UTIL_scan_dvd();
    ASSERT_EQ(stg.dir_state, 3);
  }
  // Puts disc n (from 0) in the drive.
  void insert(int n) {
    const std::string entry = volumes + "FLYVANE9_" + std::to_string(n + 1);
    ASSERT_EQ(symlink(("../discs/disk_" + std::to_string(n)).c_str(), entry.c_str()), 0);
  }
  // A fresh copy with every tile but those of skip, installed headless.
  void install(const std::vector<std::string>& skip) {
    dest_dir_path = copy;
    ASSERT_TRUE(check_all());
    set_install_filter(1, 1);
    scenery_take_all();
    for (const std::string& tile : skip) stg.scenery_selection[tile_index(tile)] = 0;
    recalc_disk_sizes();
    ASSERT_TRUE(choose_files() && make_dirs() == 0);
    register_new_flyvane();
    delete_files();
    ASSERT_EQ(UTIL_run_disk_ready(), 1);
    int f = 0, status = 0;
    ASSERT_TRUE(frames_until(
        [&] {
          if ((status = install_files(f, current_disk)) != 2) return;
          want_file_disk = f;
          if (!UTIL_verify_disk()) UTIL_switch_disk(1), insert(1), UTIL_verify_disk();
        },
        [&] { return status == 1 || status == 3; }));
    ASSERT_EQ(status, 1);
    locate_all_flyvanes();
    ASSERT_EQ(all_skysuites, std::vector<std::string>{copy});
  }
  int tile_index(const std::string& path) {
    for (const auto& row : sim_info)
      if (row.back().path.find(path) != std::string::npos)
        return row.back().lat_band + 18 * row.back().lon_band;
    ADD_FAILURE() << path;
    return 0;
  }
  std::string listed_sum(const std::string& path) {
    for (const auto& row : sim_info)
      if (row.back().path.find(path) != std::string::npos) return row.back().sig_want;
    return "";
  }
  struct file_id {
    ino_t ino;
    long long mtime, ctime;
    bool operator==(const file_id&) const = default;
  };
  std::map<std::string, file_id> files() {
    std::map<std::string, file_id> m;
    std::string list = sh("cd " + q(copy) + " && find . -type f | sort");
    for (size_t a = 0; a < list.size();) {
      size_t b = list.find('\n', a);
      if (b == std::string::npos) b = list.size();
      const std::string p = list.substr(a + 2, b - a - 2);
      struct stat st;
      EXPECT_EQ(lstat((copy + p).c_str(), &st), 0);
      m[p] = {st.st_ino, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
              st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec};
      a = b + 1;
    }
    return m;
  }
  // Frames until the screen `until`; at a swap screen the user puts the
  // disc it asks for in the drive and clicks Continue. The discs asked for.
  std::vector<int> run_to(wizard_screen_fn until) {
    std::vector<int> asked;
    for (int i = 0; i < 200000 && d.current != until; ++i) {
      d.frame();
      if (!d.result && (d.current == dvd_switch_disk_repair || d.current == dvd_switch_disk_scenery)) {
        const size_t digit = d.s.text.find_first_of("0123456789");
        if (digit == std::string::npos) {
          ADD_FAILURE() << "no disc number in " << d.s.text;
          break;
        }
        asked.push_back(std::stoi(d.s.text.substr(digit)));
        insert(asked.back() - 1);
        d.go(d.s.next_screen);
      } else if (!d.result) {
        usleep(200);
      }
    }
    EXPECT_EQ(d.current, until);
    return asked;
  }
  const std::string demo = root + "demo/", volumes = demo + "volumes/",
                    copy = root + "Flyvane 9 Demo/";
  const std::string wav = "Resources/sounds/engine.wav", sim = "Flyvane.app/Contents/MacOS/Flyvane";
};
}  // namespace

// One file damaged and one deleted, on different discs: the repair asks for
// each disc, puts both back as listed and leaves every other file as it was.
TEST_F(DemoCopy, RepairRestoresTheDamagedAndMissingOnly) {
  install({});
  write_file(copy + wav, "damaged by hand");
  ASSERT_EQ(unlink((copy + sim).c_str()), 0);
  auto before = files();
  before.erase(wav);
  ASSERT_EQ(before.count(sim), 0u);

  dest_dir_path = desktop;  // left by another flow
  scripted_prompts prompts({1});  // replace the file changed by hand
  d.go(dvd_pick_repair);
  d.frame();
  EXPECT_EQ(dest_dir_path, copy);
  d.go(d.s.next_screen);
  EXPECT_TRUE(run_to(dvd_confirm_repair).empty());
  d.frame();
  EXPECT_EQ(d.s.text, "I need to install approximately 2 files to repair " + copy +
                          ".\n\nClick continue to begin repairing Flyvane.");
  ASSERT_EQ(d.s.next_screen, dvd_install_repair);
  d.go(d.s.next_screen);
  // Disc two is in the drive after the install: disc one first, then two.
  EXPECT_EQ(run_to(dvd_done_repair), (std::vector<int>{1, 2}));
  EXPECT_EQ(repair_is_running, 0);
  EXPECT_EQ(prompts.files(), std::vector<std::string>{copy + wav});

  EXPECT_EQ(md5sum_of(copy + wav), listed_sum(wav));
  EXPECT_EQ(md5sum_of(copy + sim), listed_sum(sim));
  EXPECT_EQ(sh("stat -c %a " + q(copy + sim)), "755");
  auto after = files();
  after.erase(wav), after.erase(sim);
  EXPECT_EQ(after, before);
  EXPECT_EQ(sh("ls -A " + q(temp_path)), "directory.txt");  // no archive left behind
}

// One installed tile deselected and one new tile selected on the map: the
// run deletes the one and installs the other, and touches nothing else.
TEST_F(DemoCopy, SceneryEditAddsOneTileAndRemovesAnother) {
  const std::string added = "Global Scenery/+50+000/+51-001.dsf",
                    removed = "Global Scenery/+30+130/+35+139.dsf";
  install({added});
  ASSERT_FALSE(file_exists(copy + added));
  ASSERT_TRUE(file_exists(copy + removed));
  auto before = files();
  before.erase(removed);

  d.go(dvd_pick_scenery);
  d.frame();
  d.go(d.s.next_screen);
  EXPECT_TRUE(run_to(dvd_edit_scenery).empty());
  d.frame();
  int selected = 0;
  for (int v : stg.scenery_selection) selected += v;
  EXPECT_EQ(selected, 4);
  EXPECT_EQ(stg.scenery_selection[tile_index(added)], 0);
  stg.scenery_selection[tile_index(added)] = 1;  // two clicks on the map
  stg.scenery_selection[tile_index(removed)] = 0;
  recalc_disk_sizes();
  d.frame();
  EXPECT_EQ(stg.files_to_install, 1);
  EXPECT_EQ(stg.files_to_delete, 1);
  ASSERT_EQ(d.s.next_screen, dvd_install_scenery);
  d.go(d.s.next_screen);
  EXPECT_TRUE(run_to(dvd_done_scenery).empty());  // the new tile is on disc two, in the drive
  EXPECT_EQ(scenery_install_is_running, 0);

  EXPECT_FALSE(file_exists(copy + removed));
  EXPECT_EQ(md5sum_of(copy + added), listed_sum(added));
  auto after = files();
  after.erase(added);
  EXPECT_EQ(after, before);
}

// Go Back from the running repair: Continue carries it on to the end; Stop
// (or closing the question) ends its work, keeps what it repaired and counts
// again what is left.
TEST_F(DemoCopy, StopQuestionOfARunningRepair) {
  install({});
  const std::string afl = "Airfoils/demo wing.afl";
  ASSERT_EQ(unlink((volumes + "FLYVANE9_2").c_str()), 0);
  insert(0);  // both files to repair are on disc one
  for (int answer : {0, 1, 3}) {
    SCOPED_TRACE(answer);
    write_file(copy + wav, "damaged by hand");
    ASSERT_EQ(unlink((copy + afl).c_str()), 0);
    // Replace the changed file; the stop question; replace it again if it
    // was not repaired before the stop.
    scripted_prompts prompts({1, answer, 1});
    d.go(dvd_pick_repair);
    d.frame();
    d.go(d.s.next_screen);
    run_to(dvd_confirm_repair);
    d.frame();
    d.go(dvd_install_repair);
    d.frame();
    ASSERT_EQ(repair_is_running, 1);
    d.go(dvd_confirm_repair);  // Go Back
    d.frame();
    ASSERT_EQ(prompts.asked.size(), 2u);
    if (answer == 0) {
      EXPECT_EQ(d.current, dvd_install_repair);
      EXPECT_EQ(repair_is_running, 1);
      run_to(dvd_done_repair);
    } else {
      EXPECT_EQ(d.current, dvd_confirm_repair);
      EXPECT_EQ(repair_is_running, 0);
      EXPECT_EQ(copy_pool, nullptr);
      EXPECT_EQ(unzip_pool, nullptr);
      int left = 0;
      for (const std::string& p : {wav, afl})
        left += !file_exists(copy + p) || md5sum_of(copy + p) != listed_sum(p);
      EXPECT_THAT(d.s.text, HasSubstr("approximately " + std::to_string(left) +
                                      (left == 1 ? " file " : " files ")));
      d.go(dvd_install_repair);  // Continue: a new run repairs the rest
      run_to(dvd_done_repair);
    }
    EXPECT_EQ(md5sum_of(copy + wav), listed_sum(wav));
    EXPECT_EQ(md5sum_of(copy + afl), listed_sum(afl));
  }
}
