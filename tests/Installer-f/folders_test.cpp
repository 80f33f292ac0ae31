#include "engine_util.h"
#include "Files/errors.h"
#include "GenH/shell.h"
#include "Installer-f/row_names.h"

using namespace engine_test;

// Deletes what it should, then the folders that became empty, never the
// install folder itself nor one that a file to install needs; a row is marked
// absent only when its file is gone, and a file that stays is a warning and
// kept for the finish screen (one already gone is neither).
TEST(Folders, DeleteFiles) {
  const std::string dest = dest_dir_path = fly_test::sandbox() + "work/dest/";
  stg.target_platform = 1;
  auto add = [](const std::string& path, int to_delete) {
    sim_info.push_back({version(path, sig('a'), sig('a'))});
    sim_info.back().back().to_delete = to_delete;
  };
  for (const char* f :
       {"a/b/only", "c/file", "c/.hidden", "d/keep", "d/del", "busy/sub/x", "top", "n/m/old"})
    write_file(dest + f, f);
  for (const char* f : {"All/a/b/only", "All/c/file", "All/d/del"}) add(f, 1);
  add("All/d/keep", 0);
  add("All/busy/sub", 1);  // a folder that holds a file: cannot go
  add("All/missing", 1);   // already gone
  add("All/top", 1);
  add("All/n/m/old", 1);  // its folder is wanted by the next row, which comes later
  add("All/n/m/new", 0);
  sim_info.back().back().to_install = 1;
  delete_files();
  // a/b/ emptied goes with its parent; c/ keeps its hidden file; n/m/ is wanted by n/m/new.
  EXPECT_EQ(sh("cd " + q(dest) + " && find . | LC_ALL=C sort | tr '\\n' ' '"),
            ". ./busy ./busy/sub ./busy/sub/x ./c ./c/.hidden ./d ./d/keep ./n ./n/m ");
  const int absent[] = {1, 1, 1, 0, 0, 1, 1, 1, 0};
  for (size_t r = 0; r < sim_info.size(); ++r)
    EXPECT_EQ(sim_info[r].back().sig_have + std::to_string(sim_info[r].back().current),
              absent[r] ? "NONE0" : sig('a') + "1")
        << r;
  EXPECT_EQ(undeleted_files, std::vector<std::string>{dest + "busy/sub"});
  const std::string log = fly_test::log_text();
  EXPECT_THAT(log, HasSubstr("WARNING: could not delete " + dest + "busy/sub: " +
                             error_str(EISDIR) + ".\n"));
  EXPECT_THAT(log, ::testing::Not(HasSubstr("WARNING: could not delete " + dest + "missing")));
  EXPECT_THAT(log, ::testing::Not(HasSubstr("WARNING: could not delete the emptied folder")));
}

// On a case-sensitive volume a gone row never deletes the file a wanted row names otherwise,
// and nothing is deleted or unpacked behind a link that a row of the list names.
TEST(Folders, NothingGoesThroughARowsLinkNorAWantedFile) {
  g_case_sensitive = 1;
  const std::string root = fly_test::sandbox() + "work/", dest = dest_dir_path = root + "dest/";
  stg.target_platform = 3;
  write_file(root + "outside/x", "outside");
  write_file(dest + "Resources/foo.txt", "wanted");
  LIN_make_dirs(dest + "Resources");
  ASSERT_EQ(symlink("../../outside", (dest + "Resources/lnk").c_str()), 0);
  sim_info = {{version("All/Resources/lnk/x", "GONE", sig('a'))},
              {version("All/Resources/lnk", "GONE", sig('b'))},
              {version("All/Resources/Foo.txt", "GONE", sig('c'))},
              {version("All/Resources/foo.txt", sig('c'), sig('c'))}};
  // Unpacked behind the link its row keeps: refused, told once.
  put_zip(root + "y.zip", "y", "data");
  note_row_names();
  EXPECT_EQ(extract_and_delete_file(root + "y.zip", dest + "Resources/lnk/y"), err_unsafe_path);
  EXPECT_EQ(alerts_saying("The installer cannot extract a file."), 1);
  stg.extract_failed = 0;
  sim_info[0].back().to_install = 1;
  temp_path = root + "tmp/", dvd_path = root + "disc/", install_name = "R";
  LIN_make_dirs(temp_path);
  put_zip(dvd_path + "R/All/Resources/lnk/x.zip", "x", "evil");
  dvd_unpack_task task(0, temp_path);
  task.do_it(), task.do_it();
  EXPECT_EQ(task.err, err_unsafe_path);
  sim_info[0].back().to_install = 0;

  for (int r : {0, 1, 2}) sim_info[r].back().to_delete = 1;
  delete_files();
  EXPECT_EQ(read_file(root + "outside/x"), "outside");
  EXPECT_EQ(read_file(dest + "Resources/foo.txt"), "wanted");
  EXPECT_FALSE(fly_test::file_exists(dest + "Resources/lnk"));  // the link itself goes
  EXPECT_THAT(fly_test::log_text(), HasSubstr("Not deleting " + dest + "Resources/Foo.txt"));
}
