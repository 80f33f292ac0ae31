#include "Files/paths.h"

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "Files/file_ops.h"
#include "Files/tiles.h"
#include "GenH/shell.h"
#include "support/test_util.h"

using fly_test::sandbox;

namespace {
struct case_sensitive_scope {
  case_sensitive_scope() { g_case_sensitive = 1; }
  ~case_sensitive_scope() { g_case_sensitive = 0; }
};
std::string full_of(std::string p) {
  set_path_to_full(p);
  return p;
}
}  // namespace

TEST(SetPathToFull, CaseInsensitiveVolumeOnlyPrefixes) {
  mkdir("Data", 0755);
  fly_test::write_file("Data/File.txt", "x");
  EXPECT_EQ(full_of("data/file.txt"), "data/file.txt");
  app_path = "prefix/";
  EXPECT_EQ(full_of("a/b"), "prefix/a/b");
  app_path.clear();
}

TEST(SetPathToFull, CaseRepairOnlyWhereAComponentIsMissing) {
  case_sensitive_scope cs;
  mkdir("Data", 0755);
  mkdir("Data/Sub", 0755);
  fly_test::write_file("Data/Sub/File.txt", "x");
  // Folders may hold names that differ only in case: an existing spelling wins.
  mkdir("foo", 0755);
  mkdir("Foo", 0755);
  fly_test::write_file("foo/a", "1");
  fly_test::write_file("Foo/a", "2");
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"data/sub/file.TXT", "Data/Sub/File.txt"},
      {"Data/sub/File.txt", "Data/Sub/File.txt"},
      {"data/sub/", "Data/Sub/"},
      {"data/sub/new.txt", "Data/Sub/new.txt"},  // the missing leaf stays as asked
      {"nothing/data/x", "nothing/data/x"},      // first component missing: unchanged
      {"data/none/file.txt", "Data/none/file.txt"},
      {"foo/a", "foo/a"},
      {"Foo/a", "Foo/a"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(full_of(c.in), c.out) << c.in;

  const std::string abs = sandbox() + "work/DATA/SUB/file.txt";
  EXPECT_EQ(full_of(abs), sandbox() + "work/Data/Sub/File.txt");

  char buf[64] = "data/SUB/file.txt";
  findPath(buf);
  EXPECT_STREQ(buf, "Data/Sub/File.txt");
}

TEST(RightDirchars, SeparatorsAndMacRoman) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"a\\b:c/d", "a/b/c/d"},
      {"caf\xC3\xA9/x", "caf\xC3\xA9/x"},        // valid UTF-8 untouched
      {"\x8A", "\xC3\xA4"},                      // Mac Roman a-umlaut
      {"x\xA5y:z", "x\xE2\x80\xA2y/z"},          // bullet, and ":" still converted
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // four-byte UTF-8 is valid
      {"\xC3", "\xE2\x88\x9A"},                  // cut-off sequence: Mac Roman
      {"\xE0\x80", "\xE2\x80\xA1\xC3\x84"},
  };
  for (const auto& c : cases) {
    std::string s = c.in;
    set_path_to_right_dirchars(s);
    EXPECT_EQ(s, c.out);
  }
}

TEST(RightDirchars, MacRomanTableMatchesIconv) {
  iconv_t cd = iconv_open("UTF-8", "MACINTOSH");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no MACINTOSH converter";
  for (int b = 0x80; b <= 0xFF; ++b) {
    // iconv differs from the system's own table on two bytes: the maker's logo
    // (private use) and the increment sign (which it takes for the Greek delta).
    if (b == 0xF0 || b == 0xC6) continue;
    char in[1] = {static_cast<char>(b)}, out[8];
    char* ip = in;
    char* op = out;
    size_t il = 1, ol = sizeof(out);
    ASSERT_NE(iconv(cd, &ip, &il, &op, &ol), static_cast<size_t>(-1));
    std::string mine;
    mac_roman_to_utf8(static_cast<unsigned char>(b), mine);
    EXPECT_EQ(mine, std::string(out, static_cast<size_t>(op - out))) << std::hex << b;
  }
  iconv_close(cd);
}

TEST(OsAbsPath, UserFoldersEndInSlashAndAreMade) {
  const std::string home = sandbox() + "home";
  fly_test::write_file(home + "/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/My Desk:top\"\n");
  std::string desk, apps, prefs;
  get_OS_abs_path(os_dir_desktop, desk);
  get_OS_abs_path(os_dir_default_apps, apps);
  get_OS_abs_path(os_dir_prefs, prefs);
  EXPECT_EQ(desk, home + "/My Desk:top/");  // ":" is a name character here
  EXPECT_EQ(apps, desk);
  EXPECT_TRUE(dir_exists(desk));
  EXPECT_EQ(prefs, home + "/.config/");

  setenv("XDG_CONFIG_HOME", (sandbox() + "cfg").c_str(), 1);
  get_OS_abs_path(os_dir_prefs, prefs);
  get_OS_abs_path(os_dir_desktop, desk);
  EXPECT_EQ(prefs, sandbox() + "cfg/");
  EXPECT_TRUE(dir_exists(prefs));
  EXPECT_EQ(desk, home + "/Desktop/");  // no user-dirs file there: the fallback

  std::string app = "unchanged";
  get_OS_abs_path(os_dir_this_app, app);
  EXPECT_EQ(app.back(), '/');
  std::string self;
  get_OS_abs_path(os_dir_app_bundle, self);
  EXPECT_EQ(self.compare(0, app.size(), app), 0);
  EXPECT_TRUE(file_exists(self));

  std::string other = "unchanged";
  get_OS_abs_path(static_cast<os_dir_type>(9), other);
  EXPECT_EQ(other, "unchanged");
}

TEST(OsAbsPath, TempFolderIsPrivate) {
  std::string t1, t2;
  get_OS_abs_path(os_dir_temp, t1);
  ASSERT_FALSE(t1.empty());
  EXPECT_EQ(t1.back(), '/');
  EXPECT_EQ(t1.compare(0, sandbox().size() + 4, sandbox() + "tmp/"), 0) << t1;
  struct stat st;
  ASSERT_EQ(lstat(t1.substr(0, t1.size() - 1).c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, getuid());

  // Opened up by someone: narrowed again.
  chmod(t1.c_str(), 0777);
  get_OS_abs_path(os_dir_temp, t2);
  EXPECT_EQ(t2, t1);
  ASSERT_EQ(stat(t1.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(OsAbsPath, TempNameTakenByALinkIsNotUsed) {
  const std::string base = sandbox() + "tmp2";
  mkdir(base.c_str(), 0700);
  mkdir((base + "/elsewhere").c_str(), 0755);
  setenv("TMPDIR", base.c_str(), 1);
  const std::string fixed = base + "/flyvane-" + std::to_string(getuid());
  ASSERT_EQ(symlink((base + "/elsewhere").c_str(), fixed.c_str()), 0);
  std::string t, again;
  get_OS_abs_path(os_dir_temp, t);
  ASSERT_FALSE(t.empty());
  EXPECT_NE(t, fixed + "/");
  EXPECT_EQ(t.compare(0, fixed.size() + 1, fixed + "-"), 0) << t;
  struct stat st;
  ASSERT_EQ(lstat(t.substr(0, t.size() - 1).c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  get_OS_abs_path(os_dir_temp, again);
  EXPECT_EQ(again, t);  // the same folder for the whole run
}

TEST(FSRefStandIn, PathAndParent) {
  mkdir("dir", 0755);
  FSRef r;
  std::string name;
  EXPECT_EQ(FilePathToFSRefAndName("dir/not yet", &r, &name), 0);
  EXPECT_EQ(name, "not yet");
  EXPECT_EQ(r.path, sandbox() + "work/dir");
  EXPECT_EQ(FilePathToFSRefAndName("plain", &r, &name), 0);
  EXPECT_EQ(r.path, sandbox() + "work");
  EXPECT_NE(FilePathToFSRefAndName("dir/not yet", &r, nullptr), 0);
  EXPECT_NE(FilePathToFSRefAndName("nodir/x", &r, &name), 0);
  std::string out = "keep";
  FSRef bad{"/no/such/place"};
  EXPECT_EQ(FSRefToFilePath(&bad, out), -1);
  EXPECT_EQ(out, "keep");
  ASSERT_EQ(FilePathToFSRefAndName("dir/", &r, nullptr), 0);
  EXPECT_EQ(FSRefToFilePath(&r, out), 0);
  EXPECT_EQ(out, sandbox() + "work/dir");
}

TEST(TileNames, Corners) {
  const struct {
    int lat, lon;
    const char* path;
  } cases[] = {
      {47, -122, "+40-130/+47-122.dsf"}, {-33, 151, "-40+150/-33+151.dsf"},
      {0, 0, "+00+000/+00+000.dsf"},     {-90, -180, "-90-180/-90-180.dsf"},
      {89, 179, "+80+170/+89+179.dsf"},  {-1, -1, "-10-010/-01-001.dsf"},
      {100, 5, "+00+000/+00+005.dsf"},  // a place that would need two digits shows 0
  };
  for (const auto& c : cases) {
    std::string s;
    return_latlon_str_dsf(c.lat, c.lon, &s);
    EXPECT_EQ(s, c.path) << c.lat << "," << c.lon;
    EXPECT_EQ(s.size(), 19u);
  }
}
