#include <gtest/gtest.h>

#include <cstring>

#include "engine_util.h"

using engine_test::scripted_prompts;
using engine_test::sig;
using engine_test::version;

namespace {
const std::string A = sig('a'), B = sig('b'), C = sig('c'), X = sig('e');
const std::string T = "All/Global Scenery/+40-130/+47-122.dsf";  // tile 13 + 18 * 5

class Selection : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_info.clear();
    set_install_filter(1, 1);
    stg.target_platform = 1;
    scenery_take_none();
    dest_dir_path = "/inst/";
  }
  // A row whose older versions want the given sums and whose last version is v.
  void add(file_version_struct v, std::vector<std::string> older = {}) {
    file_history_struct row;
    for (const std::string& s : older) row.push_back(version(v.path, s, "NONE"));
    row.push_back(v);
    sim_info.push_back(row);
  }
  const file_version_struct& last(size_t r) { return sim_info[r].back(); }
};
}  // namespace

TEST_F(Selection, WantThisF) {
  struct {
    int platform, target, want_sim, want_global, global, expect;
  } cases[] = {
      {0, 1, 1, 1, 0, 1}, {1, 1, 1, 1, 0, 1}, {2, 1, 1, 1, 0, 0}, {3, 1, 1, 1, 0, 0},
      {6, 1, 1, 1, 0, 0}, {6, 3, 1, 1, 0, 1}, {3, 3, 1, 1, 0, 1}, {6, 2, 1, 1, 0, 0},
      {2, 2, 1, 1, 0, 1}, {0, 1, 0, 1, 0, 0}, {0, 1, 1, 0, 1, 0}, {0, 1, 0, 1, 1, 1},
      {0, 1, 1, 0, 0, 1}, {2, 1, 0, 1, 1, 0},
  };
  for (const auto& c : cases) {
    sim_info.clear();
    add(version(c.global ? T : "All/x", A, "NONE", c.platform));
    stg.target_platform = c.target;
    set_install_filter(c.want_sim, c.want_global);
    EXPECT_EQ(want_this_f(0, 0), c.expect)
        << c.platform << " " << c.target << " " << c.want_sim << c.want_global << c.global;
  }
}

TEST_F(Selection, SceneryHelpers) {
  add(version(T, A, A));
  add(version("All/Global Scenery/+00+000/+01+002.dsf", A, "NONE"));
  add(version("All/Resources/x", A, A));
  stg.scenery_available[13 + 18 * 5] = 1;
  stg.scenery_available[9 + 18 * 18] = 1;
  scenery_take_all();
  EXPECT_EQ(memcmp(stg.scenery_selection, stg.scenery_available, sizeof(stg.scenery_available)), 0);
  scenery_take_none();
  for (int s : stg.scenery_selection) ASSERT_EQ(s, 0);
  stg.scenery_selection[0] = 1;
  scenery_from_install();
  int chosen = 0;
  for (int s : stg.scenery_selection) chosen += s;
  EXPECT_EQ(chosen, 1);
  EXPECT_EQ(stg.scenery_selection[13 + 18 * 5], 1);
}

TEST_F(Selection, RecalcDiskSizes) {
  file_version_struct v = version("All/need", A, "NONE");
  v.zip_kb = 10;
  v.size_kb = 100;
  add(v);
  add(version("All/have", A, A));
  add(version("All/gone", "GONE", "GONE"));  // a removed file still there (quick check)
  add(version(T, A, A));                     // installed tile, deselected
  file_version_struct t = version("All/Global Scenery/+00+000/+01+002.dsf", A, "NONE");
  t.zip_kb = 1000;
  t.size_kb = 5000;
  add(t);                                                             // wanted tile, selected below
  add(version("All/Global Scenery/+20+000/+21+002.dsf", A, "NONE"));  // not selected
  add(version("All/Global Scenery/+30+000/+31+002.dsf", "GONE", "GONE"));  // counts twice
  add(version("Windows/other", A, "NONE", 2));                             // another platform
  stg.scenery_selection[9 + 18 * 18] = 1;
  recalc_disk_sizes();
  EXPECT_EQ(stg.total_zip_kb, 1010);
  EXPECT_EQ(stg.total_size_kb, 5100);
  EXPECT_EQ(stg.files_to_install, 2);
  EXPECT_EQ(stg.files_to_delete, 4);
}

TEST_F(Selection, DecisionTable) {
  struct {
    const char* what;
    std::vector<std::string> older;
    std::string want, have;
    bool tile, selected;
    int answer;  // 0: no question expected
    int install, remove, asked_delete;
  } cases[] = {
      {"absent", {}, A, "NONE", false, false, 0, 1, 0, 0},
      {"absent and gone", {}, "GONE", "NONE", false, false, 0, 0, 0, 0},
      {"current", {}, A, A, false, false, 0, 0, 0, 0},
      {"older release", {B}, A, B, false, false, 0, 1, 0, 0},
      {"older release, now gone", {B}, "GONE", B, false, false, 0, 0, 1, 0},
      {"modified, overwrite", {B}, A, X, false, false, 1, 1, 0, 0},
      {"modified, keep", {B}, A, X, false, false, 2, 0, 0, 0},
      {"modified and gone, delete", {B}, "GONE", X, false, false, 1, 0, 1, 1},
      {"modified and gone, keep", {}, "GONE", X, false, false, 2, 0, 0, 1},
      {"tile selected, absent", {}, A, "NONE", true, true, 0, 1, 0, 0},
      {"tile selected, current", {}, A, A, true, true, 0, 0, 0, 0},
      {"tile deselected, current", {}, A, A, true, false, 0, 0, 1, 0},
      {"tile deselected, older", {B}, A, B, true, false, 0, 0, 1, 0},
      {"tile deselected, absent", {}, A, "NONE", true, false, 0, 0, 0, 0},
      {"tile deselected, modified", {}, A, X, true, false, 1, 0, 1, 1},
  };
  for (const auto& c : cases) {
    sim_info.clear();
    scenery_take_none();
    if (c.selected) stg.scenery_selection[13 + 18 * 5] = 1;
    file_version_struct v = version(c.tile ? T : "All/dir/f", c.want, c.have);
    v.to_install = v.to_delete = 1;  // stale decisions are reset
    add(v, c.older);
    scripted_prompts p;
    if (c.answer) p.answers.push_back(c.answer);
    EXPECT_EQ(choose_files(), 1) << c.what;
    EXPECT_EQ(last(0).to_install, c.install) << c.what;
    EXPECT_EQ(last(0).to_delete, c.remove) << c.what;
    ASSERT_EQ(p.asked.size(), c.answer ? 1u : 0u) << c.what;
    if (c.answer) {
      const prompt_window& w = p.asked[0];
      EXPECT_EQ(w.window, 996);
      EXPECT_EQ(w.lines[0].text,
                c.asked_delete ? "I am about to DELETE:" : "I am about to install:");
      EXPECT_EQ(w.lines[1].text,
                c.tile ? "/inst/Global Scenery/+40-130/+47-122.dsf" : "/inst/dir/f");
    }
  }
}

TEST_F(Selection, RowsOutsideTheFilterAreLeftAlone) {
  file_version_struct v = version("Windows/f", A, X, 2);
  v.to_install = v.to_delete = 1;
  add(v);
  scripted_prompts p;
  EXPECT_EQ(choose_files(), 1);
  EXPECT_EQ(last(0).to_install, 0);
  EXPECT_EQ(last(0).to_delete, 0);
  EXPECT_TRUE(p.asked.empty());
}

TEST_F(Selection, FolderAnswersCoverExactlyThatFolder) {
  for (const char* f :
       {"All/a/1", "All/a/2", "All/a/b/3", "All/a/4", "All/c/5", "All/c/6", "All/a/b/7"})
    add(version(f, A, X));
  scripted_prompts p;
  p.answers = {4, 5, 2};  // replace all of a/, keep all of a/b/, keep c/5 only
  p.answers.push_back(1);
  EXPECT_EQ(choose_files(), 1);
  EXPECT_EQ(p.files(),
            (std::vector<std::string>{"/inst/a/1", "/inst/a/b/3", "/inst/c/5", "/inst/c/6"}));
  const int expect[] = {1, 1, 0, 1, 0, 1, 0};
  for (size_t r = 0; r < sim_info.size(); ++r) EXPECT_EQ(last(r).to_install, expect[r]) << r;
  EXPECT_NE(fly_test::log_text().find("File: /inst/a/1  sig_want=" + A + "  sig_have=" + X + "\n"),
            std::string::npos);
}

TEST_F(Selection, CancelStopsAtOnce) {
  add(version("All/1", A, "NONE"));
  add(version("All/2", A, X));
  file_version_struct v = version("All/3", A, "NONE");
  v.to_delete = 1;
  v.progress_start = 0.75f;
  add(v);
  scripted_prompts p;
  p.answers = {3};
  EXPECT_EQ(choose_files(), 0);
  EXPECT_EQ(last(0).to_install, 1);  // decided before the question
  EXPECT_EQ(last(2).to_delete, 1);   // never reached
  EXPECT_EQ(last(2).progress_start, 0.75f);
}

TEST_F(Selection, HeadlessPromptCancelsAndLogs) {
  add(version("All/2", A, X));
  EXPECT_EQ(choose_files(), 0);
  EXPECT_EQ(last(0).to_install, 0);
  EXPECT_NE(fly_test::log_text().find("WARNING: no window for prompt 996; answered as closed: "
                                      "\"I am about to install:\" \"/inst/2\""),
            std::string::npos);
  EXPECT_EQ(abort_alert("Sure?", "Cancel", "the install.", "Continue", "the install."), 3);
}

TEST_F(Selection, AFileInstalledByAnotherRowIsNeverDeleted) {
  add(version("All/Resources/x", "GONE", B), {B});  // known old file: would be deleted
  add(version("Macintosh/Resources/x", A, B, 1), {});
  add(version("All/Resources/y", "GONE", B), {B});
  scripted_prompts p;
  p.answers = {1};  // x is modified as seen from the Macintosh row: replace it
  EXPECT_EQ(choose_files(), 1);
  EXPECT_EQ(last(1).to_install, 1);
  EXPECT_EQ(last(0).to_delete, 0);
  EXPECT_EQ(last(2).to_delete, 1);
}

TEST_F(Selection, ProgressStart) {
  file_version_struct a = version("All/1", A, "NONE");
  a.size_kb = 10;
  file_version_struct b = version("All/2", A, A);
  file_version_struct c = version("All/3", A, "NONE");
  c.size_kb = 30;
  add(a);
  add(b);
  add(c);
  ASSERT_EQ(choose_files(), 1);
  EXPECT_FLOAT_EQ(last(0).progress_start, 0);
  EXPECT_FLOAT_EQ(last(1).progress_start, 0.25f);
  EXPECT_FLOAT_EQ(last(2).progress_start, 0.25f);
  sim_info[0].back().sig_have = A;
  sim_info[2].back().sig_have = A;
  ASSERT_EQ(choose_files(), 1);
  for (size_t r = 0; r < 3; ++r) EXPECT_FLOAT_EQ(last(r).progress_start, 0.5f);
}

TEST_F(Selection, PromptWindows) {
  scripted_prompts p;
  p.answers = {5, 9, 1, 0, 7};
  EXPECT_EQ(select_alert("/x", 1), 5);
  EXPECT_EQ(select_alert("/x", 0), 3);  // no such button: as closed
  EXPECT_EQ(p.asked[0].buttons[2].label, "DELETE EVERY OLD FILE IN THIS DIRECTORY");
  EXPECT_EQ(p.asked[1].buttons[2].label, "OVERWRITE EVERY OLD FILE IN THIS DIRECTORY");

  EXPECT_EQ(abort_alert("m", "Cancel", "t1", "Continue", "t2"), 1);
  EXPECT_EQ(abort_alert("m", "Cancel", "t1", "Continue", "t2"), 0);
  EXPECT_EQ(abort_alert("m", "Cancel", "t1", "Continue", "t2"), 3);
  EXPECT_EQ(p.asked[2].window, 997);
  EXPECT_EQ(p.asked[2].buttons[1].result, 0);
}

TEST(GetPathWithPath, Cases) {
  struct {
    const char* in;
    const char* out;
  } cases[] = {{"a/b/c", "a/b/"}, {"a/b/", "a/"}, {"/", "/"}, {"ab", ""},
               {"", ""},          {"a/", "a/"},   {"/x", "/"}};
  for (const auto& c : cases) {
    std::string out = "junk";
    get_path_with_path(out, c.in);
    EXPECT_EQ(out, c.out) << c.in;
  }
}
