#include "engine_util.h"

using namespace engine_test;

// Deletes what it should, then the folders that became empty, never the
// install folder itself nor one that a file to install needs; a row is marked
// absent only when its file is gone.
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
}
