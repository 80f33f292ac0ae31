// The web road end to end: the builder makes releases N-1 and N, N-1 is
// unpacked from its tree into a copy, nginx serves N, and the update runs as
// the wizard drives it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "Installer-f/make_installer.h"
#include "UTL/xtim.h"
#include "web_util.h"

using fly_test::file_exists;
using fly_test::read_file;
using web_test::frames_until;
using web_test::put;

namespace {
using tree = std::map<std::string, std::string>;

void build(const std::string& master, const tree& files, const std::string& out,
           const std::string& old, const std::string& name) {
  for (const char* d :
       {"All/Instructions", "All/Weapons", "All/Airfoils", "All/Aircraft", "All/Output",
        "All/Custom Scenery", "All/Resources/plugins", "Macintosh", "Windows", "Linux"})
    std::filesystem::create_directories(master + d);
  for (const auto& [rel, data] : files) put(master + rel, data);
  build_type = 0;
  src_fold = master;
  dst_fold_base = out;
  old_dir_path = old;
  sim_name = name;
  build_install();
}

bool check_copy() {
  int ctr = 0;
  float progress = 0;
  return frames_until([] {}, [&] { return checksum_directory(ctr, 0, progress) == 1; });
}
}  // namespace

TEST(WebUpdate, ReleaseNMinusOneBecomesN) {
  const std::string root = fly_test::sandbox() + "e2e/", kNew = "Flyvane 9.21rc2";
  tree v1 = {{"All/Resources/same.txt", "unchanged"},
             {"All/Resources/big.bin", std::string(300000, 'x')},
             {"All/Resources/old/deeper/gone.txt", "going"},
             {"All/Aircraft/c1/gone_too.txt", "going too"},
             {"All/Aircraft/c1/stay.txt", "stays"},
             {"Linux/Flyvane-x86", "elf one"},
             {"Macintosh/Flyvane.app/Contents/MacOS/Flyvane", "mac"},
             {"Windows/readme.txt", "win"}};
  for (int i = 0; i < 10; ++i) v1["All/Aircraft/fleet/f" + std::to_string(i)] = "one";
  tree v2 = v1;
  v2.erase("All/Resources/old/deeper/gone.txt");
  v2.erase("All/Aircraft/c1/gone_too.txt");
  v2["All/Resources/big.bin"] = std::string(300000, 'y');
  v2["Linux/Flyvane-x86"] = "elf two";
  v2["Macintosh/Flyvane.app/Contents/MacOS/Flyvane"] = "mac two";
  v2["All/Resources/new/added.txt"] = "added";
  for (int i = 0; i < 10; i += 2) v2["All/Aircraft/fleet/f" + std::to_string(i)] = "two";

  // The builder numbers every release alike: N-1's rows are renumbered before
  // they become N's history.
  put(root + "empty.txt", engine_test::header());
  build(root + "m1/", v1, root + "out1/", root + "empty.txt", "Flyvane 9.20");
  LIN_make_dirs(root + "old");
  ASSERT_EQ(zip_to_file(root + "out1/Flyvane 9.20/directory.txt.zip", root + "old/"), 0);
  std::string list = read_file(root + "old/directory.txt");
  for (size_t p; (p = list.find(" 92102 ")) != std::string::npos;) list.replace(p, 7, " 92101 ");
  put(root + "old/directory.txt", list);
  LIN_make_dirs(root + "site");
  build(root + "m2/", v2, root + "site/net/", root + "old/directory.txt", kNew);
  put(root + "site/serverlist9.txt", "I\n820 version\nSERVERS\n\nBETA Flyvane 9.30b1\nFINAL " +
                                         kNew + "\nSERVER files.tessalinelabs.com\n/net/\nMain\n");

  // Install N-1 for Linux from its tree.
  temp_path = root + "tmp/";
  LIN_make_dirs(temp_path);
  dest_dir_path = root + "copy/";
  stg.target_platform = 3;
  ASSERT_EQ(read_directory(root + "old/directory.txt", ""), 3);
  ASSERT_TRUE(check_copy() && choose_files() && make_dirs() == 0);
  for (const file_history_struct& h : sim_info) {
    if (!h.back().to_install) continue;
    const std::string dest = installed_path(h.back().path);
    ASSERT_EQ(zip_to_file(root + "out1/Flyvane 9.20/" + h.back().path + ".zip",
                          dest.substr(0, dest.rfind('/') + 1)),
              0);
  }
  ASSERT_EQ(read_file(dest_dir_path + "Resources/old/deeper/gone.txt"), "going");
  put(dest_dir_path + "Output/my flight.txt", "the user's own");

  // The update as the wizard runs it.
  fly_test::nginx_server nginx(root + "site", root + "nginx/");
  ASSERT_TRUE(nginx.running());
  http.proxy_host = "127.0.0.1";
  http.proxy_port = nginx.port();
  stg.server_count = -1;
  ASSERT_TRUE(frames_until(UTL_download_directory, [] { return stg.dir_state > 1; }));
  ASSERT_EQ(stg.dir_state, 3);
  EXPECT_EQ(server_path[0], "/net/" + kNew + "/");
  ASSERT_TRUE(check_copy());
  recalc_disk_sizes();
  EXPECT_EQ(stg.files_to_install, 3 + 5);  // big.bin, the Linux program, added.txt; fleet
  engine_test::scripted_prompts prompts;   // nothing was changed by hand: no question
  ASSERT_TRUE(choose_files() && make_dirs() == 0 && prompts.asked.empty());
  web_download_reset();
  int r = 0;
  ASSERT_TRUE(frames_until([&] { xtim.xtim_update(), r = grab_files(); }, [&] { return r; }));
  EXPECT_EQ(r * 10 + stg.extract_failed, 10);

  for (const auto& [rel, data] : v2) {
    if (rel[0] != 'A' && rel[0] != 'L') continue;  // Macintosh and Windows are not wanted
    EXPECT_EQ(read_file(installed_path(rel)), data) << rel;
  }
  for (const char* gone : {"Resources/old", "Aircraft/c1/gone_too.txt", "Flyvane.app"})
    EXPECT_FALSE(file_exists(dest_dir_path + gone)) << gone;
  EXPECT_TRUE(file_exists(dest_dir_path + "Output/my flight.txt"));

  // Only what changed came over the wire: the file list and eight archives.
  const std::string log = read_file(root + "nginx/access.log"),
                    base = "GET http://files.tessalinelabs.com/net/Flyvane%209.21rc2/";
  EXPECT_EQ(web_test::count(log, base), 1 + 8);
  EXPECT_EQ(web_test::count(log, base + "All/Aircraft/fleet/f0.zip "), 1);
  EXPECT_EQ(web_test::count(log, "same.txt") + web_test::count(log, "fleet/f1."), 0);

  // An MD5 check of the copy against N's list is clean.
  for (file_history_struct& h : sim_info) h.back().sig_have = "stale", h.back().current = 0;
  ASSERT_TRUE(check_copy());
  recalc_disk_sizes();
  int gone_present = 0;
  for (const file_history_struct& h : sim_info)
    gone_present += h.back().sig_want == "GONE" && h.back().sig_have != "NONE";
  EXPECT_EQ(stg.files_to_install + gone_present, 0);
}
