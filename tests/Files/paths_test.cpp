#include "Files/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Files/tiles.h"
#include "GenH/shell.h"
#include "Linux/lin_paths.h"
#include "support/test_util.h"

using fly_test::sandbox;

static bool fs_exists(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

static std::string full_of(std::string p) {
  set_path_to_full(p);
  return p;
}

TEST(SetPathToFull, CaseRepairOnlyWhereAComponentIsMissing) {
  fly_test::run("mkdir -p Data/Sub foo Foo && touch Data/Sub/File.txt");
  EXPECT_EQ(full_of("data/file.txt"), "data/file.txt");  // no repair on a case-blind volume
  app_path = "prefix/";
  EXPECT_EQ(full_of("a/b"), "prefix/a/b");
  app_path.clear();
  g_case_sensitive = 1;
  const std::pair<const char*, const char*> cases[] = {
      {"data/sub/file.TXT", "Data/Sub/File.txt"},
      {"data/sub/new.txt", "Data/Sub/new.txt"},  // the missing leaf stays as asked
      {"Data/Sub/FILE.TXT", "Data/Sub/File.txt"},  // only the leaf differs
      {"Data/Sub/new.txt", "Data/Sub/new.txt"}, {"Data/sub/", "Data/Sub/"},
      {"nothing/data/x", "nothing/data/x"}, {"", ""},
      {"foo/x", "foo/x"},  // names that differ only in case: an existing spelling wins
      {"Foo/x", "Foo/x"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(full_of(in), out) << in;
  EXPECT_EQ(full_of(sandbox() + "work/DATA/SUB/"), sandbox() + "work/Data/Sub/");
}

TEST(SetPathToFull, CaseRepairNeverLandsOnALink) {
  fly_test::run("mkdir -p real/Sub outside && ln -s ../outside real/contents && ln -s outside Away");
  g_case_sensitive = 1;
  // Spelt otherwise, a link is not the entry the path names: the path stays.
  EXPECT_EQ(full_of("real/Contents/x"), "real/Contents/x");
  EXPECT_EQ(full_of("away/x"), "away/x");
  EXPECT_EQ(full_of("real/sub/x"), "real/Sub/x");  // folders are still repaired
  EXPECT_EQ(full_of("real/contents/x"), "real/contents/x");  // spelt exactly, it is followed
  fly_test::run("mkdir real/CONTENTS");
  EXPECT_EQ(full_of("real/Contents/x"), "real/CONTENTS/x");  // a real folder behind the link
}

TEST(RightDirchars, SeparatorsAndMacRoman) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\\b:c/d", "a/b/c/d"},
      {"caf\xC3\xA9/\xF0\x9F\x98\x80", "caf\xC3\xA9/\xF0\x9F\x98\x80"},  // valid UTF-8 untouched
      {"x\xA5\x8Ay", "x\xE2\x80\xA2\xC3\xA4y"},
      {"\xE0\x80", "\xE2\x80\xA1\xC3\x84"},  // cut-off sequence: Mac Roman
  };
  for (auto [in, out] : cases) {
    set_path_to_right_dirchars(in);
    EXPECT_EQ(in, out);
  }
}

TEST(OsAbsPath, TempFolderIsPrivateAndNeverALink) {
  std::string t, again;
  get_OS_abs_path(os_dir_temp, t);
  EXPECT_EQ(t, sandbox() + "tmp/flyvane-" + std::to_string(getuid()) + "/");
  chmod(t.c_str(), 0777);  // opened up by someone: narrowed again
  get_OS_abs_path(os_dir_temp, again);
  EXPECT_EQ(again, t);  // the same folder for the whole run
  struct stat st;
  EXPECT_TRUE(stat(t.c_str(), &st) == 0 && (st.st_mode & 0777) == 0700);
  EXPECT_EQ(LIN_private_temp_is_own(), 0);
  EXPECT_EQ(LIN_private_temp_refusal(), "");

  // A fixed name that is a link, a file or someone else's gives a folder of
  // the run's own, and says why.
  const std::string base = sandbox() + "tmp2",
                    fixed = base + "/flyvane-" + std::to_string(getuid());
  fly_test::run("mkdir -p " + base + "/elsewhere && ln -s " + base + "/elsewhere " + fixed);
  lin_temp_claim c = LIN_claim_temp_dir(base, "");
  EXPECT_EQ(c.dir.compare(0, fixed.size() + 1, fixed + "-"), 0) << c.dir;
  EXPECT_EQ(c.dir.size(), fixed.size() + 7);
  EXPECT_TRUE(lstat(c.dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
              (st.st_mode & 0777) == 0700);
  EXPECT_EQ(c.own, 1);
  EXPECT_EQ(c.refusal, fixed + " is a link");
  close(c.fd);
  fly_test::run("rm " + fixed + " && touch " + fixed);
  c = LIN_claim_temp_dir(base, "");
  EXPECT_EQ(c.refusal, fixed + " is not a folder");
  close(c.fd);
  fly_test::run("rm " + fixed + " && mkdir -m 700 " + fixed + " && chown 4242 " + fixed);
  c = LIN_claim_temp_dir(base, "");
  EXPECT_EQ(c.refusal, fixed + " is not ours");
  close(c.fd);
}

// Two installers of one user: the second works in a folder of its own while
// the first holds the fixed one; a copy started from the disc keeps the folder
// it runs from; the sweep removes only the own folders that nobody holds.
TEST(OsAbsPath, HeldTempFoldersAreLeftToTheirInstaller) {
  const std::string base = sandbox() + "tmp3",
                    fixed = base + "/flyvane-" + std::to_string(getuid());
  fly_test::run("mkdir -p " + base);
  const lin_temp_claim first = LIN_claim_temp_dir(base, "");
  EXPECT_EQ(first.dir, fixed);
  EXPECT_EQ(first.own, 0);
  lin_temp_claim second = LIN_claim_temp_dir(base, "");
  EXPECT_EQ(second.own, 1);
  EXPECT_NE(second.dir, fixed);
  EXPECT_EQ(second.refusal, fixed + " is held by another installer");

  // The copy inherited the lock with the descriptor (here: this process's).
  const lin_temp_claim copy = LIN_claim_temp_dir(base, second.dir);
  EXPECT_EQ(copy.dir, second.dir);
  EXPECT_EQ(copy.own, 1);
  EXPECT_EQ(copy.fd, second.fd);
  EXPECT_EQ(fcntl(copy.fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  EXPECT_EQ(copy.refusal, fixed + " is held by another installer");

  const std::string stale = fixed + "-Crash1", away = base + "/away";
  fly_test::write_file(stale + "/Resources/x.png", "left by a crash");
  fly_test::write_file(away + "/keep.txt", "not the installer's");
  fly_test::run("ln -s " + away + " " + fixed + "-Link12 && mkdir " + fixed + "-Other1 && chown 4242 " +
                fixed + "-Other1 && mkdir " + fixed + "-toolong1 " + base + "/flyvane-x-Abc123");
  EXPECT_EQ(LIN_sweep_temp_dirs(base, ""), 1);
  EXPECT_FALSE(fs_exists(stale));
  for (const std::string& kept : {second.dir, fixed, fixed + "-Link12", fixed + "-Other1",
                                  fixed + "-toolong1", base + "/flyvane-x-Abc123"})
    EXPECT_TRUE(fs_exists(kept)) << kept;
  EXPECT_EQ(fly_test::read_file(away + "/keep.txt"), "not the installer's");
  close(second.fd);  // the installer ended without its close-down
  EXPECT_EQ(LIN_sweep_temp_dirs(base, fixed + "-Other1"), 1);
  EXPECT_FALSE(fs_exists(second.dir));
  close(first.fd);
}

TEST(TileNames, Corners) {
  const std::pair<std::pair<int, int>, const char*> cases[] = {
      {{47, -122}, "+40-130/+47-122.dsf"},
      {{-1, -1}, "-10-010/-01-001.dsf"},
      {{-90, -180}, "-90-180/-90-180.dsf"},
      {{100, 5}, "+00+000/+00+005.dsf"},  // too wide: 0
  };
  for (const auto& [ll, path] : cases) {
    std::string s;
    return_latlon_str_dsf(ll.first, ll.second, &s);
    EXPECT_EQ(s, path) << ll.first << "," << ll.second;
  }
}
