// A pipe where the engine expects a data file: every reader fails as for a file it cannot use,
// and none of them waits for a writer.

#include <sys/stat.h>
#include <unistd.h>

#include "GenH/shell.h"
#include "engine_util.h"

using namespace engine_test;

TEST(SpecialFiles, APipeIsNoFileListNorServerList) {
  alarm(20);  // a blocking open would hang here
  ASSERT_EQ(mkfifo("directory.txt", 0600), 0);
  EXPECT_FATAL_ALERT(read_directory("directory.txt", "scanning"),
                     "I tried to read a directory file that does not exist!");
  ASSERT_EQ(mkfifo("serverlist9.txt", 0600), 0);
  MACIBM_url_opener = [](const std::string&) {};  // no browser
  EXPECT_EQ(read_server_list("serverlist9.txt"), server_list_new_format);
  alarm(0);
}

TEST(SpecialFiles, APipeOnTheDiscStopsOnlyItsOwnFile) {
  alarm(20);
  const std::string root = fly_test::sandbox() + "work/";
  temp_path = root + "tmp/", dvd_path = root + "disc/", install_name = "R";
  dest_dir_path = root + "dest/", stg.target_platform = 3;
  LIN_make_dirs(temp_path), LIN_make_dirs(dvd_path + "R/All/Resources");
  ASSERT_EQ(mkfifo((dvd_path + "R/All/Resources/p.txt.zip").c_str(), 0600), 0);
  sim_info = {{version("All/Resources/p.txt", sig('a'), "NONE")}};
  sim_info[0].back().to_install = 1;
  ASSERT_EQ(make_dirs(), 0);
  int f = 0, status = 0;
  ASSERT_TRUE(frames_until([&] { status = install_files(f, 0); }, [&] { return status != 0; }));
  std::string msg;
  EXPECT_EQ(status, 3);
  EXPECT_NE(install_files_get_error(msg), 0);
  EXPECT_TRUE(msg.starts_with("I was unable to copy the file ")) << msg;
  install_files_kill();
  alarm(0);
}
