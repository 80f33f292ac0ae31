// The release tool makes a first web release N-1 and then N from N-1's file list,
// nginx serves N, a copy of N-1 is updated.

#include <map>

#include "UTL/xtim.h"
#include "engine_util.h"
#include "support/nomode.h"

using namespace engine_test;

using tree = std::map<std::string, std::string>;

static void build(const std::string& master, const tree& files, const std::string& args) {
  make_release_folders(master);
  for (const auto& [rel, data] : files) write_file(master + rel, data);
  // A pre-packed 7z is for the disc road only: the web road fetches a zip.
  write_file(master + "All/Global Scenery/+40-130/+47-122.dsf.7z", "no archive at all");
  sh(std::string(FLY_BUILD_DIR) + "/tools/make_release --type=web --master=" + q(master) + " " +
     args + " > /dev/null");
}

// refusing: the copy is on a volume that keeps no modes or times.
static void update_n_minus_one(bool refusing) {
  const std::string root = fly_test::sandbox() + "e2e/", kNew = "Flyvane 9.21rc2";
  tree v1 = {{"All/Resources/same.txt", "unchanged"},
             {"All/Resources/big.bin", std::string(300000, 'x')},
             {"All/Resources/old/deeper/gone.txt", "going"},
             {"All/Aircraft/c1/gone_too.txt", "going too"},
             {"All/Aircraft/c1/stay.txt", "stays"},
             {"Linux/Flyvane-x86", "elf one"},
             {"All/Global Scenery/+40-130/+47-122.dsf", "tile one"},
             {"Macintosh/Flyvane.app/Contents/MacOS/Flyvane", "mac"}};
  tree v2 = v1;
  v2.erase("All/Resources/old/deeper/gone.txt"), v2.erase("All/Aircraft/c1/gone_too.txt");
  v2["All/Resources/big.bin"] = std::string(300000, 'y'), v2["Linux/Flyvane-x86"] = "elf two";
  v2["Macintosh/Flyvane.app/Contents/MacOS/Flyvane"] = "mac two";
  v2["All/Resources/new/added.txt"] = "added";
  v2["All/Global Scenery/+40-130/+47-122.dsf"] = "tile two";

  build(root + "m1/", v1, "--out=" + q(root + "out1/") + " --name='Flyvane 9.20' --release=92101");
  sh("cd " + q(root) + " && unzip -p 'out1/Flyvane 9.20/directory.txt.zip' > directory.txt");
  build(root + "m2/", v2,
        "--out=" + q(root + "site/net/") + " --old=" + q(root + "directory.txt") + " --name=" +
            q(kNew) + " --release=92102");
  EXPECT_NE(read_file(root + "directory.txt").find("FILE 0 0 92101 "), std::string::npos);
  write_file(root + "site/serverlist9.txt", "I\n820 version\nSERVERS\n\nBETA 9.3\nFINAL " + kNew +
                                                "\nSERVER files.tessalinelabs.com\n/net/\nMain\n");

  LIN_make_dirs(temp_path = root + "tmp/");
  dest_dir_path = root + "copy/", stg.target_platform = 3;
  for (const auto& [rel, data] : v1)
    if (rel[0] != 'M') write_file(installed_path(rel), data);
  write_file(dest_dir_path + "Output/my flight.txt", "the user's own");
  if (refusing) fly_test::refuse_modes_below(dest_dir_path);

  fly_test::nginx_server nginx(root + "site", root + "nginx/");
  ASSERT_TRUE(fly_test::proxy_to(nginx));
  stg.server_count = -1;
  ASSERT_TRUE(frames_until(UTL_download_directory, [] { return stg.dir_state > 1; }));
  ASSERT_EQ(stg.dir_state, 3);
  EXPECT_EQ(server_path[0], "/net/" + kNew + "/");
  ASSERT_TRUE(check_all());
  scenery_from_install();
  recalc_disk_sizes();
  EXPECT_EQ(stg.files_to_install, 4);  // big.bin, the Linux program, added.txt, the tile
  scripted_prompts prompts;            // nothing was changed by hand: no question
  ASSERT_TRUE(choose_files() && make_dirs() == 0 && prompts.asked.empty());
  web_download_reset();
  int r = 0;
  ASSERT_TRUE(frames_until([&] { xtim.xtim_update(), r = grab_files(); }, [&] { return r; }));
  EXPECT_EQ(r * 10 + stg.extract_failed, 10);
  EXPECT_TRUE(fly_test::alerts().empty());
  const std::string modes_line = "WARNING: the destination keeps no file modes";
  const std::string log = fly_test::log_text();
  const size_t told = log.find(modes_line);
  EXPECT_EQ(told != std::string::npos, refusing) << log;
  EXPECT_TRUE(!refusing || log.find(modes_line, told + 1) == std::string::npos) << log;

  v2.erase("Macintosh/Flyvane.app/Contents/MacOS/Flyvane");  // not for Linux
  for (const auto& [rel, data] : v2) EXPECT_EQ(read_file(installed_path(rel)), data) << rel;
  for (const char* gone : {"Resources/old", "Aircraft/c1/gone_too.txt"})
    EXPECT_FALSE(file_exists(dest_dir_path + gone)) << gone;
  EXPECT_TRUE(file_exists(dest_dir_path + "Output/my flight.txt"));
  // Only what changed came over the wire: the file list and four archives.
  EXPECT_EQ(sh("grep -cF 'GET http://files.tessalinelabs.com/net/Flyvane%209.21rc2/' " +
               q(root + "nginx/access.log")),
            "5");
  for (file_history_struct& h : sim_info) h.back().sig_have = "stale", h.back().current = 0;
  ASSERT_TRUE(check_all());
  recalc_disk_sizes();
  EXPECT_EQ(stg.files_to_install + stg.files_to_delete, 0);
}

TEST(WebUpdate, ReleaseNMinusOneBecomesN) { update_n_minus_one(false); }

// Every file arrives whole on a volume that refuses modes, as exFAT does.
TEST(WebUpdate, ReleaseNMinusOneBecomesNWhereModesAreRefused) {
  if (fly_test::ran_in_nomode_child()) return;
  update_n_minus_one(true);
}
