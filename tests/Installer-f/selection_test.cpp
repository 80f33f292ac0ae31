#include "engine_util.h"

using namespace engine_test;

const std::string A = sig('a'), B = sig('b'), X = sig('e');
const std::string T = "All/Global Scenery/+40-130/+47-122.dsf";  // tile 13 + 18 * 5

class Selection : public ::testing::Test {
  void SetUp() override { stg.target_platform = 1, dest_dir_path = "/inst/"; }
};
// A row whose older versions want the given sums and whose last version is v.
static void add(file_version_struct v, std::vector<std::string> older = {}) {
  file_history_struct row;
  for (const std::string& s : older) row.push_back(version(v.path, s, "NONE"));
  row.push_back(v);
  sim_info.push_back(row);
}
static file_version_struct& last(size_t r) { return sim_info[r].back(); }

TEST_F(Selection, DecisionTable) {
  const std::string F = "All/dir/f", W = "Windows/f";
  const struct {
    const char* what;
    std::vector<std::string> older;
    std::string want, have, path;
    int selected, answer, install, remove, asked_delete;  // answer 0: no question
  } cases[] = {
      {"absent", {}, A, "NONE", F, 0, 0, 1, 0, 0},
      {"absent and gone", {}, "GONE", "NONE", F, 0, 0, 0, 0, 0},
      {"current", {}, A, A, F, 0, 0, 0, 0, 0},
      {"older release", {B}, A, B, F, 0, 0, 1, 0, 0},
      {"older release, now gone", {B}, "GONE", B, F, 0, 0, 0, 1, 0},
      {"modified, overwrite", {B}, A, X, F, 0, 1, 1, 0, 0},
      {"modified, keep", {B}, A, X, F, 0, 2, 0, 0, 0},
      {"modified and gone, delete", {B}, "GONE", X, F, 0, 1, 0, 1, 1},
      {"modified and gone, keep", {}, "GONE", X, F, 0, 2, 0, 0, 1},
      {"outside the filter", {}, A, X, W, 0, 0, 0, 0, 0},
      {"tile selected, absent", {}, A, "NONE", T, 1, 0, 1, 0, 0},
      {"tile selected, current", {}, A, A, T, 1, 0, 0, 0, 0},
      {"tile deselected, current", {}, A, A, T, 0, 0, 0, 1, 0},
      {"tile deselected, older", {B}, A, B, T, 0, 0, 0, 1, 0},
      {"tile deselected, absent", {}, A, "NONE", T, 0, 0, 0, 0, 0},
      {"tile deselected, modified", {}, A, X, T, 0, 1, 0, 1, 1},
  };
  for (const auto& c : cases) {
    sim_info.clear();
    stg.scenery_selection[13 + 18 * 5] = c.selected;
    add(version(c.path, c.want, c.have, c.path == W ? 2 : 0), c.older);
    last(0).to_install = last(0).to_delete = 1;  // stale decisions are reset
    scripted_prompts p({c.answer});
    EXPECT_EQ(choose_files(), 1) << c.what;
    EXPECT_EQ(last(0).to_install * 10 + last(0).to_delete, c.install * 10 + c.remove) << c.what;
    ASSERT_EQ(p.asked.size(), c.answer ? 1u : 0u) << c.what;
    if (!c.answer) continue;
    EXPECT_EQ(p.asked[0].lines[0].text + p.asked[0].lines[1].text,
              (c.asked_delete ? "I am about to DELETE:" : "I am about to install:") +
                  installed_path(c.path));
  }
  EXPECT_EQ(choose_files(), 0);  // without a window the last question is answered as closed
}

// A folder answer covers exactly that folder; a cancel leaves the rest alone.
TEST_F(Selection, FolderAnswersAndCancel) {
  for (const char* f : {"All/a/1", "All/a/2", "All/a/b/3", "All/a/4", "All/c/5", "All/c/6",
                        "All/a/b/7", "All/c/8", "All/d/9"})
    add(version(f, A, X));
  last(8).to_install = 1;
  scripted_prompts p({4, 5, 2, 1, 3});  // replace all of a/, keep all of a/b/, keep c/5, cancel
  EXPECT_EQ(choose_files(), 0);
  EXPECT_EQ(p.files(), (std::vector<std::string>{"/inst/a/1", "/inst/a/b/3", "/inst/c/5",
                                                 "/inst/c/6", "/inst/c/8"}));
  const int expect[] = {1, 1, 0, 1, 0, 1, 0, 0, 1};
  for (size_t r = 0; r < sim_info.size(); ++r) EXPECT_EQ(last(r).to_install, expect[r]) << r;
}

TEST_F(Selection, AFileInstalledByAnotherRowIsNeverDeleted) {
  add(version("All/Resources/x", "GONE", B), {B});  // known old file: would be deleted
  add(version("Macintosh/Resources/x", A, B, 1));
  add(version("All/Resources/y", "GONE", B), {B});
  add(version("All/Resources/z", "GONE", A), {A});  // z moved unchanged: current below
  add(version("Macintosh/Resources/z", A, A, 1));
  scripted_prompts p({1});  // x is modified as seen from the Macintosh row: replace it
  EXPECT_EQ(choose_files(), 1);
  EXPECT_EQ(last(0).to_delete * 100 + last(1).to_install * 10 + last(2).to_delete, 11);
  EXPECT_EQ(last(3).to_delete * 10 + last(4).to_install, 0);
}
