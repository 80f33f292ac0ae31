#include "Files/paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

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

  // A fixed name that is a link or a file gives a folder of the run's own,
  // and says why.
  const std::string base = sandbox() + "tmp2",
                    fixed = base + "/flyvane-" + std::to_string(getuid());
  fly_test::run("mkdir -p " + base + "/elsewhere && ln -s " + base + "/elsewhere " + fixed);
  lin_temp_claim c = LIN_claim_temp_dir(base, "");
  EXPECT_EQ(c.dir.compare(0, fixed.size() + 1, fixed + "-"), 0) << c.dir;
  EXPECT_EQ(c.dir.size(), fixed.size() + 7);
  EXPECT_TRUE(lstat(c.dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
              (st.st_mode & 0777) == 0700);
  EXPECT_EQ(c.own, 1);
  EXPECT_EQ(c.locked, 1);
  EXPECT_EQ(c.refusal, fixed + " is a link");
  close(c.fd);
  fly_test::run("rm " + fixed + " && touch " + fixed);
  c = LIN_claim_temp_dir(base, "");
  EXPECT_EQ(c.refusal, fixed + " is not a folder");
  close(c.fd);
}

// Needs root: only root can give a folder to another user.
TEST(OsAbsPath, AnotherUsersTempFoldersAreNeitherTakenNorSwept) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to make a folder that another user owns";
  const std::string base = sandbox() + "tmp4",
                    fixed = base + "/flyvane-" + std::to_string(getuid());
  ASSERT_EQ(fly_test::run("mkdir -p -m 700 " + fixed + " && chown 4242 " + fixed), 0);
  struct stat st;
  ASSERT_TRUE(stat(fixed.c_str(), &st) == 0 && st.st_uid == 4242);
  lin_temp_claim c = LIN_claim_temp_dir(base, "");
  EXPECT_EQ(c.refusal, fixed + " is not ours");
  EXPECT_EQ(c.own, 1);
  // The folder of the run's own, as a crash leaves it, but given away.
  close(c.fd);
  ASSERT_EQ(fly_test::run("chown -R 4242 " + c.dir), 0);
  EXPECT_EQ(LIN_sweep_temp_dirs(base, ""), 0);
  EXPECT_TRUE(fs_exists(c.dir + "/" + LIN_temp_mark_name));
}

// Two installers of one user: the second works in a folder of its own while
// the first holds the fixed one; a copy started from the disc keeps the folder
// it runs from; the sweep removes only the folders an installer made for
// itself that nobody holds, and never follows a link out of them.
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

  const lin_temp_claim crashed = LIN_claim_temp_dir(base, "");
  const std::string away = base + "/away";
  fly_test::write_file(crashed.dir + "/Resources/x.png", "left by a crash");
  fly_test::write_file(away + "/keep.txt", "not the installer's");
  fly_test::write_file(fixed + "-backup/mine.txt", "the user's own");
  close(crashed.fd);  // ended without its close-down
  fly_test::run("ln -s " + away + " " + crashed.dir + "/Resources/away && ln -s " + away + " " +
                fixed + "-Link12 && mkdir " + fixed + "-toolong1 " + base + "/flyvane-x-Abc123");
  EXPECT_EQ(LIN_sweep_temp_dirs(base, ""), 1);
  EXPECT_FALSE(fs_exists(crashed.dir));
  for (const std::string& kept : {second.dir, fixed, fixed + "-Link12", fixed + "-toolong1",
                                  base + "/flyvane-x-Abc123", fixed + "-backup/mine.txt"})
    EXPECT_TRUE(fs_exists(kept)) << kept;
  EXPECT_EQ(fly_test::read_file(away + "/keep.txt"), "not the installer's");
  close(second.fd);  // the installer ended without its close-down
  EXPECT_EQ(LIN_sweep_temp_dirs(base, fixed + "-backup"), 1);
  EXPECT_FALSE(fs_exists(second.dir));
  close(first.fd);
}

namespace {
int g_lock_errno;
int failing_lock(int, int) {
  errno = g_lock_errno;
  return -1;
}

std::vector<std::string> entries_of(const std::string& folder) {
  std::string out;
  fly_test::run("ls -A " + folder, &out);
  std::vector<std::string> names;
  for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1)
    names.push_back(out.substr(at, nl - at));
  return names;
}
}  // namespace

// Where no folder can be locked, the run claims once and works in a folder
// of its own that nothing else can name: no other folder is left, and no
// sweep takes it. A folder removed from outside is made again under the
// run's lock, or the run moves to one of its own: never two runs in one.
TEST(OsAbsPath, TempFolderWhereLocksFailOrTheFolderGoes) {
  const std::string leaf = "flyvane-" + std::to_string(getuid());
  int n = 0;
  for (int err : {ENOLCK, EOPNOTSUPP, EINVAL, EBADF}) {
    SCOPED_TRACE(strerror(err));
    const std::string base = sandbox() + "nolock" + std::to_string(++n), fixed = base + "/" + leaf;
    fly_test::run("mkdir -p " + base);
    g_lock_errno = err;
    LIN_temp_lock_call = failing_lock;
    lin_temp_claim run;
    const std::string dir = LIN_run_temp_dir(run, base, "");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(LIN_run_temp_dir(run, base, ""), dir);
    EXPECT_EQ(dir.compare(0, fixed.size() + 1, fixed + "-"), 0) << dir;
    EXPECT_EQ(run.own, 1);
    EXPECT_EQ(run.locked, 0);
    EXPECT_EQ(run.refusal, fixed + " cannot be locked: " + strerror(err));
    EXPECT_EQ(entries_of(base), std::vector<std::string>{dir.substr(base.size() + 1, leaf.size() + 7)});
    fcntl(run.fd, F_SETFD, 0);  // handed down to the copy started from the disc
    const lin_temp_claim copy = LIN_claim_temp_dir(base, dir.substr(0, dir.size() - 1));
    EXPECT_EQ(copy.fd, run.fd);
    EXPECT_EQ(copy.own, 1);
    LIN_temp_lock_call = flock;
    EXPECT_EQ(LIN_sweep_temp_dirs(base, ""), 0);
    EXPECT_TRUE(fs_exists(dir));
    close(run.fd);
  }

  const std::string base = sandbox() + "goes", fixed = base + "/" + leaf;
  fly_test::run("mkdir -p " + base);
  lin_temp_claim first;
  EXPECT_EQ(LIN_run_temp_dir(first, base, ""), fixed + "/");
  fly_test::run("rm -r " + fixed);
  EXPECT_EQ(LIN_run_temp_dir(first, base, ""), fixed + "/");
  const lin_temp_claim other = LIN_claim_temp_dir(base, "");
  EXPECT_EQ(other.refusal, fixed + " is held by another installer");
  close(other.fd);
  // Gone, then taken by another installer before this run looks again.
  fly_test::run("rm -r " + fixed);
  const lin_temp_claim second = LIN_claim_temp_dir(base, "");
  EXPECT_EQ(second.dir, fixed);
  const std::string moved = LIN_run_temp_dir(first, base, "");
  EXPECT_EQ(moved.compare(0, fixed.size() + 1, fixed + "-"), 0) << moved;
  EXPECT_EQ(first.own, 1);
  EXPECT_THAT(fly_test::log_text(),
              HasSubstr("WARNING: The temporary folder " + fixed +
                        " was removed or replaced from outside: this run works in " + moved +
                        " (" + fixed + " is held by another installer)\n"));
  fly_test::run("rm -r " + moved);  // its own goes as well: another of its own
  const std::string again = LIN_run_temp_dir(first, base, "");
  EXPECT_NE(again, moved);
  EXPECT_EQ(again.compare(0, fixed.size() + 1, fixed + "-"), 0) << again;
  close(first.fd);
  close(second.fd);
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
