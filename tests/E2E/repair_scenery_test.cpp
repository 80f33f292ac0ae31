// Second runs over an installed copy, scripted: the repair restores a
// corrupted and a deleted file and touches nothing else, and the scenery map
// removes one installed tile and adds another, or reports the tile it could
// not remove.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>

#include "support/e2e.h"
#include "support/test_util.h"

namespace fs = std::filesystem;
using fly_test::e2e_env;
using fly_test::e2e_result;

namespace {
const std::string kDest = "Flyvane 9 Demo/";

using listed = fly_test::e2e_listed;
const auto file_list = fly_test::e2e_disc_file_list;

// The tile names the map traced, in trace order, without repeats.
std::vector<std::string> tiles(const std::vector<std::string>& trace) {
  std::vector<std::string> out;
  for (const std::string& l : trace) {
    const size_t at = l.find("item key=\"tile ");
    if (at == std::string::npos) continue;
    const size_t start = at + 10;
    const std::string t = l.substr(start, l.find('"', start) - start);
    if (std::find(out.begin(), out.end(), t) == out.end()) out.push_back(t);
  }
  return out;
}

const std::string kToMap = fly_test::e2e_script_to_map;

// A scripted fresh install with these tiles ticked on the map.
std::string install_script(const std::vector<std::string>& ticked, const std::string& disc2) {
  std::string s = kToMap;
  for (const std::string& t : ticked) s += "click " + t + "\nsleep 0.3\n";
  s +=
      "click Continue\n"
      "wait Please insert DVD number 2 300\n"
      "insert " + disc2 + "\n"
      "click Continue\n"
      "wait Installation was successful. 600\n"
      "click Quit\n";
  return s;
}

struct stamp {
  ino_t ino;
  struct timespec mtime, ctime;
  bool operator==(const stamp& o) const {
    return ino == o.ino && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
           ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
  }
};
stamp stamp_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return {st.st_ino, st.st_mtim, st.st_ctim};
}

// The map's tile names, from a run that only looks at it.
std::vector<std::string> map_tiles() {
  e2e_env env;
  env.insert(fly_test::e2e_demo_discs()[0], "FLYVANE9_1");
  const e2e_result r = fly_test::e2e_run(env, kToMap + "quit\n");
  return tiles(r.trace);
}

// The files of a map tile ("tile +40-080") in a disc set's file list.
std::vector<listed> tile_files(const std::vector<listed>& all, const std::string& tile) {
  std::vector<listed> out;
  for (const listed& f : all)
    if (f.global && f.path.find("/" + tile.substr(5) + "/") != std::string::npos)
      out.push_back(f);
  return out;
}

// The map's tiles that have files on the discs.
std::vector<std::string> tiles_with_files(const std::vector<listed>& all) {
  std::vector<std::string> names;
  for (const std::string& t : map_tiles())
    if (!tile_files(all, t).empty()) names.push_back(t);
  return names;
}

// From the start screen through Add Or Remove Scenery to the map, where the
// clicks given toggle tiles, and on to the run.
std::string scenery_script(const std::vector<std::string>& clicks, const std::string& shown) {
  std::string s =
      "wait dvd_start 60\n"
      "wait Add Or Remove Scenery 30\n"
      "click Add Or Remove Scenery\n"
      "wait dvd_pick_scenery 30\n"
      "sleep 0.3\n"
      "click Continue\n"
      "wait dvd_edit_scenery 120\n"
      "wait " + shown + " 30\n"
      "sleep 0.5\n"
      "screenshot map.png\n";
  for (const std::string& t : clicks) s += "click " + t + "\nsleep 0.3\n";
  return s + "screenshot edited.png\nclick Continue\n";
}
}  // namespace

// A corrupted file and a deleted one: Repair Flyvane scans, confirms, swaps
// discs when needed and puts both back; every other file keeps its inode and
// times.
TEST(Repair, RestoresTheDamagedFilesAndNothingElse) {
  FLY_E2E_OR_SKIP();
  const auto& discs = fly_test::e2e_demo_discs();
  ASSERT_EQ(discs.size(), 2u);
  e2e_env env;
  env.insert(discs[0], "FLYVANE9_1");
  e2e_result r = fly_test::e2e_run(env, install_script({}, discs[1]), "install");
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  ASSERT_EQ(r.exit_code, 0) << r.stderr_text << r.log;

  const std::string dest = env.desktop + kDest;
  std::vector<listed> installed;
  for (const listed& f : file_list(discs[0]))
    if (!f.global && fs::is_regular_file(dest + f.path)) installed.push_back(f);
  ASSERT_GE(installed.size(), 3u);
  // One damaged file from each disc when both discs hold some.
  const listed* corrupt = &installed[0];
  const listed* gone = &installed[1];
  for (const listed& f : installed)
    if (f.disk != corrupt->disk && f.path != corrupt->path) gone = &f;
  const bool swap = corrupt->disk != gone->disk;

  std::map<std::string, stamp> before;
  for (const auto& e : fs::recursive_directory_iterator(dest))
    if (e.is_regular_file()) before[e.path().string()] = stamp_of(e.path().string());
  {
    std::string body = fly_test::read_file(dest + corrupt->path);
    ASSERT_FALSE(body.empty()) << corrupt->path;
    body[body.size() / 2] ^= 0x5a;
    fly_test::write_file(dest + corrupt->path, body);
  }
  ASSERT_TRUE(fs::remove(dest + gone->path));
  ASSERT_NE(fly_test::md5sum_of(dest + corrupt->path), corrupt->md5);

  env.eject_all();
  env.insert(discs[0], "FLYVANE9_1");
  std::string script =
      "wait dvd_start 60\n"
      "wait Repair Flyvane 30\n"
      "screenshot start.png\n"
      "click Repair Flyvane\n"
      "wait dvd_pick_repair 30\n"
      "sleep 0.3\n"
      "screenshot pick.png\n"
      "click Continue\n"
      "wait dvd_confirm_repair 120\n"
      "wait Click continue to begin repairing Flyvane. 30\n"
      "screenshot confirm.png\n"
      "click Continue\n";
  if (swap)
    script +=
        "wait Please insert DVD number 2 300\n"
        "screenshot swap.png\n"
        "insert " + discs[1] + "\n"
        "click Continue\n";
  script +=
      "wait Finished Repairing Flyvane. 300\n"
      "wait I have finished repairing 30\n"
      "screenshot done.png\n"
      "click Quit\n";
  fly_test::e2e_process p = fly_test::e2e_start(env, script);
  // The corrupted file reads as changed by the user: the question whether
  // to overwrite it, answered with a real click on its first button.
  ASSERT_TRUE(fly_test::e2e_wait_line(p, "window 996 ", 120)) << "the modified-file question";
  EXPECT_TRUE(fly_test::e2e_click_question(p, 996, 108, 53))  // OVERWRITE THE OLD FILE
      << "the question did not take the click";
  r = fly_test::e2e_finish(env, p);
  if (r.timed_out || r.exit_code != 0)
    for (const std::string& l : r.trace)
      if (l.rfind("screen ", 0) == 0 || l.rfind("script ", 0) == 0 || l.rfind("window ", 0) == 0)
        std::cerr << l << "\n";
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text << r.log;
  EXPECT_TRUE(r.saw_screen("dvd_scan_repair"));
  EXPECT_TRUE(r.saw_screen("dvd_install_repair"));
  EXPECT_TRUE(r.saw_screen("dvd_done_repair"));
  EXPECT_TRUE(r.saw_line("I need to install approximately 2 files to repair"));

  EXPECT_EQ(fly_test::md5sum_of(dest + corrupt->path), corrupt->md5) << corrupt->path;
  ASSERT_TRUE(fs::exists(dest + gone->path)) << gone->path;
  EXPECT_EQ(fly_test::md5sum_of(dest + gone->path), gone->md5) << gone->path;
  int untouched = 0;
  for (const auto& [path, st] : before) {
    if (path == dest + corrupt->path || path == dest + gone->path) continue;
    EXPECT_TRUE(stamp_of(path) == st) << path << " was touched";
    ++untouched;
  }
  EXPECT_GT(untouched, 3);
  ASSERT_EQ(r.screenshots.size(), swap ? 5u : 4u);
  for (const std::string& shot : r.screenshots) fly_test::e2e_expect_wizard_shot(shot);
}

// An installed copy with two tiles: on the map one is unticked and a third
// ticked; its files arrive and the removed tile's files go.
TEST(Scenery, RemovesOneTileAndAddsAnother) {
  FLY_E2E_OR_SKIP();
  const auto& discs = fly_test::e2e_demo_discs();
  ASSERT_EQ(discs.size(), 2u);
  const std::vector<listed> all = file_list(discs[0]);
  const std::vector<std::string> names = tiles_with_files(all);
  ASSERT_GE(names.size(), 3u) << "tiles with scenery on the map";
  const std::string kept = names[0], removed = names[1], added = names[2];

  e2e_env env;
  env.insert(discs[0], "FLYVANE9_1");
  e2e_result r = fly_test::e2e_run(env, install_script({kept, removed}, discs[1]), "install");
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  ASSERT_EQ(r.exit_code, 0) << r.stderr_text << r.log;

  const std::string dest = env.desktop + kDest;
  auto of_tile = [&](const std::string& tile) { return tile_files(all, tile); };
  ASSERT_FALSE(of_tile(removed).empty()) << removed;
  ASSERT_FALSE(of_tile(added).empty()) << added;
  for (const listed& f : of_tile(removed)) ASSERT_TRUE(fs::exists(dest + f.path)) << f.path;
  for (const listed& f : of_tile(added)) ASSERT_FALSE(fs::exists(dest + f.path)) << f.path;

  env.eject_all();
  env.insert(discs[0], "FLYVANE9_1");
  bool added_on_two = false;
  for (const listed& f : of_tile(added)) added_on_two |= f.disk == 1;
  std::string script = scenery_script({removed, added}, added);
  if (added_on_two)
    script +=
        "wait Please insert DVD number 2 300\n"
        "insert " + discs[1] + "\n"
        "click Continue\n";
  script +=
      "wait Finished With Add/Remove Scenery 300\n"
      "wait I have successfully added and removed scenery 30\n"
      "screenshot done.png\n"
      "click Quit\n";
  r = fly_test::e2e_run(env, script, "scenery");
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text << r.log;
  EXPECT_TRUE(r.saw_screen("dvd_scan_scenery"));
  EXPECT_TRUE(r.saw_screen("dvd_done_scenery"));
  EXPECT_TRUE(r.saw_line("I have successfully added and removed scenery to match your choices on "
                         "the map."));
  for (const listed& f : of_tile(removed)) EXPECT_FALSE(fs::exists(dest + f.path)) << f.path;
  for (const listed& f : of_tile(added)) {
    ASSERT_TRUE(fs::exists(dest + f.path)) << f.path;
    EXPECT_EQ(fly_test::md5sum_of(dest + f.path), f.md5) << f.path;
  }
  for (const listed& f : of_tile(kept)) EXPECT_TRUE(fs::exists(dest + f.path)) << f.path;
  ASSERT_EQ(r.screenshots.size(), 3u);
  for (const std::string& shot : r.screenshots) fly_test::e2e_expect_wizard_shot(shot);
}

// A tile file that cannot be deleted (its folder read-only for a user, the
// file immutable for root, whom modes do not stop): deselecting the tile
// leaves it in place, the log warns why, and the finish screen says that
// scenery could not be removed and where instead of calling it a success.
TEST(Scenery, AFileThatCannotBeDeletedIsNoSuccess) {
  FLY_E2E_OR_SKIP();
  const auto& discs = fly_test::e2e_demo_discs();
  ASSERT_EQ(discs.size(), 2u);
  const std::vector<listed> all = file_list(discs[0]);
  const std::vector<std::string> names = tiles_with_files(all);
  ASSERT_GE(names.size(), 1u) << "tiles with scenery on the map";
  const std::string tile = names[0];

  e2e_env env;
  env.insert(discs[0], "FLYVANE9_1");
  e2e_result r = fly_test::e2e_run(env, install_script({tile}, discs[1]), "install");
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  ASSERT_EQ(r.exit_code, 0) << r.stderr_text << r.log;
  const std::string dest = env.desktop + kDest;
  const std::string file = dest + tile_files(all, tile)[0].path;
  const std::string folder = file.substr(0, file.find_last_of('/') + 1);
  ASSERT_TRUE(fs::is_regular_file(file)) << file;

  // Undone however the test ends, or the sandbox could not be removed.
  struct unlock {
    std::string file, folder;
    ~unlock() {
      if (geteuid() == 0) fly_test::run("chattr -i '" + file + "' 2>/dev/null");
      chmod(folder.c_str(), 0755);
    }
  } undo{file, folder};
  if (geteuid() == 0) {
    if (fly_test::run("chattr +i '" + file + "' 2>/dev/null") != 0)
      GTEST_SKIP() << "chattr +i is not supported here";
    ASSERT_THAT(fly_test::sh("lsattr '" + file + "'").substr(0, 20), HasSubstr("i"));
  } else {
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    ASSERT_NE(access(folder.c_str(), W_OK), 0);
  }

  env.eject_all();
  env.insert(discs[0], "FLYVANE9_1");
  const std::string script = scenery_script({tile}, tile) +
                             "wait Finished With Add/Remove Scenery 300\n"
                             "wait Some scenery could not be removed 30\n"
                             "click Quit\n";
  r = fly_test::e2e_run(env, script, "scenery");
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text << r.log;
  EXPECT_TRUE(r.saw_screen("dvd_done_scenery"));
  EXPECT_FALSE(r.saw_line("I have successfully"));
  std::string said;
  for (const std::string& l : r.trace)
    if (l.find("Some scenery could not be removed; its files are still in ") != std::string::npos)
      said = l;
  // The folder as the program names it (HOME may end in "/").
  const std::string where = folder.substr(env.desktop.size());
  EXPECT_THAT(said, HasSubstr("/Desktop/" + where + ".\""));
  // A warning names the file and why it stayed.
  std::string warned;
  std::istringstream log(r.log);
  for (std::string l; std::getline(log, l);)
    if (l.rfind("WARNING: could not delete ", 0) == 0) warned = l;
  const std::string named = where + file.substr(folder.size()) + ": ";
  const size_t at = warned.find(named);
  ASSERT_NE(at, std::string::npos) << "no warning for " << file << " in\n" << r.log;
  EXPECT_GT(warned.size(), at + named.size() + 3) << "no reason: " << warned;
  EXPECT_TRUE(fs::is_regular_file(file));
  EXPECT_EQ(fly_test::md5sum_of(file), tile_files(all, tile)[0].md5);
}
