#include "Files/file_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "Files/errors.h"
#include "UTL/cmnd.h"
#include "support/test_util.h"

using fly_test::read_file;
using fly_test::write_file;

namespace {
int open_fds() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}
std::string pattern(size_t n, unsigned seed) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + i / 977) & 0xFF);
  return s;
}
mode_t mode_of(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}
}  // namespace

TEST(CopyFile, SizesAndPermissions) {
  for (size_t n :
       {size_t(0), size_t(1), size_t(65535), size_t(65536), size_t(3 * 65536), size_t(200001)}) {
    const std::string data = pattern(n, static_cast<unsigned>(n));
    write_file("src", data);
    chmod("src", 0750);
    write_file("dst", std::string(300000, 'x'));  // longer: must be truncated
    ASSERT_EQ(copy_file("src", "dst"), 0) << n;
    EXPECT_EQ(read_file("dst"), data) << n;
    EXPECT_EQ(mode_of("dst"), 0750u);
  }
}

TEST(CopyFile, FailuresGiveTheRealErrorAndLeakNothing) {
  const int fds = open_fds();
  EXPECT_EQ(copy_file("missing", "dst"), ENOENT);
  EXPECT_FALSE(fly_test::file_exists("dst"));
  write_file("src", "abc");
  EXPECT_EQ(copy_file("src", "no/such/folder/dst"), ENOENT);
  mkdir("folder", 0755);
  EXPECT_EQ(copy_file("folder", "dst"), EISDIR);
  EXPECT_EQ(copy_file("src", "folder"), EISDIR);
  EXPECT_EQ(open_fds(), fds);
}

TEST(CopyFile, FullDiskIsAnError) {
  write_file("src", pattern(100000, 3));
  EXPECT_EQ(copy_file("src", "/dev/full"), ENOSPC);
  write_file("empty", "");
  EXPECT_EQ(copy_file("empty", "/dev/full"), 0);  // nothing to write, nothing lost
}

TEST(CopyFile, OntoItselfIsRefusedAndKeepsTheFile) {
  const std::string data = pattern(70000, 5);
  write_file("self", data);
  EXPECT_EQ(copy_file("self", "self"), EINVAL);
  EXPECT_EQ(copy_file("self", "./self"), EINVAL);
  ASSERT_EQ(link("self", "hard"), 0);
  EXPECT_EQ(copy_file("self", "hard"), EINVAL);
  ASSERT_EQ(symlink("self", "soft"), 0);
  EXPECT_EQ(copy_file("soft", "self"), EINVAL);
  EXPECT_EQ(read_file("self"), data);
}

TEST(CopyFile, ConcurrentCopiesStayApart) {
  const std::string a = pattern(3 << 20, 1), b = pattern(3 << 20, 2);
  write_file("a", a);
  write_file("b", b);
  int ra = -1, rb = -1;
  for (int round = 0; round < 3; ++round) {
    std::thread t1([&] { ra = copy_file("a", "a2"); });
    std::thread t2([&] { rb = copy_file("b", "b2"); });
    t1.join();
    t2.join();
    ASSERT_EQ(ra, 0);
    ASSERT_EQ(rb, 0);
    ASSERT_EQ(read_file("a2"), a);
    ASSERT_EQ(read_file("b2"), b);
  }
}

TEST(SimpleOps, DeleteMakeExistSize) {
  EXPECT_EQ(delete_file(""), ENOENT);
  mkdir("empty", 0755);
  EXPECT_EQ(delete_file("empty/"), 0);
  EXPECT_FALSE(dir_exists("empty"));
  mkdir("full", 0755);
  write_file("full/f", "x");
  EXPECT_EQ(delete_file("full/"), ENOTEMPTY);
  EXPECT_EQ(delete_file("full/f"), 0);
  EXPECT_EQ(delete_file("full/f"), ENOENT);
  EXPECT_NE(sErrLine.load(), -1);
  EXPECT_NE(std::string(sErrFile.load()).find("file_ops"), std::string::npos);

  EXPECT_EQ(make_folder("made/"), 0);
  EXPECT_EQ(make_folder("made"), EEXIST);
  EXPECT_EQ(show_make_dir_err(make_folder("made/")), 0);
  EXPECT_EQ(make_folder("no/such/parent"), ENOENT);

  EXPECT_TRUE(dir_exists("made"));
  EXPECT_TRUE(dir_exists("made/"));
  EXPECT_FALSE(file_exists("made"));
  write_file("made/file", "12345");
  EXPECT_TRUE(file_exists("made/file"));
  EXPECT_FALSE(dir_exists("made/file"));
  ASSERT_EQ(symlink("made", "dirlink"), 0);
  EXPECT_TRUE(dir_exists("dirlink/"));  // links followed
  EXPECT_EQ(APL_file_size("made/file"), 5);
  EXPECT_EQ(APL_file_size("made"), -1);
  EXPECT_EQ(APL_file_size("nothing"), -1);

  EXPECT_EQ(rename_file("made/", "file", "renamed"), 0);
  EXPECT_TRUE(file_exists("made/renamed"));
  EXPECT_EQ(rename_file("made/", "file", "x"), ENOENT);
  EXPECT_EQ(make_file_executable("made/renamed"), 0);
  EXPECT_EQ(mode_of("made/renamed"), 0755u);
}

TEST(SimpleOps, SizesBeyond32Bits) {
  const int fd = open("big", O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  const off_t size = (off_t(5) << 30) + 7;  // sparse: costs no disk
  ASSERT_EQ(ftruncate(fd, size), 0);
  close(fd);
  EXPECT_EQ(APL_file_size64("big"), int64_t(size));
  EXPECT_EQ(APL_file_size("big"), int((1 << 30) + 7));
}

TEST(SimpleOps, LinksAndFreeSpace) {
  const std::string long_text = std::string(700, 'x') + "/target";
  ASSERT_EQ(symlink(long_text.c_str(), "long"), 0);
  ASSERT_EQ(symlink("short", "dangling"), 0);
  write_file("plain", "p");
  std::string t = "?";
  EXPECT_EQ(is_sim_link("long", &t), 1);
  EXPECT_EQ(t, long_text);
  EXPECT_EQ(is_sim_link("dangling", &t), 1);
  EXPECT_EQ(t, "short");  // exactly the text, nothing left of the longer one
  EXPECT_EQ(is_sim_link("dangling", nullptr), 1);
  EXPECT_EQ(is_sim_link("plain", &t), 0);
  EXPECT_EQ(is_sim_link("missing", &t), 0);

  unsigned long long total = 0, avail = 0;
  EXPECT_EQ(get_free_space("not yet made/", &total, &avail), 0);
  EXPECT_GT(total, 0u);
  EXPECT_LE(avail, total);
  EXPECT_EQ(get_free_space("plain", nullptr, &avail), 0);
  EXPECT_NE(get_free_space("no/such/folder/x", &total, &avail), 0);
}

TEST(Listing, ModesFilterAndSort) {
  mkdir("d", 0755);
  for (const char* f : {"b.PNG", "a.bmp", "Z.txt", "c.acf", ".hidden", "._sidecar", "plain",
                        "\xC3\xA9t\xC3\xA9.wav", "abc", "ab"})
    write_file(std::string("d/") + f, "x");
  mkdir("d/sub", 0755);
  mkdir("d/.git", 0755);
  mkdir("target", 0755);
  ASSERT_EQ(symlink("../target", "d/dirlink"), 0);

  std::vector<std::string> n;
  std::vector<int> t;
  EXPECT_EQ(opensave_getitems("d/", 0, n, t), 10);
  // High bytes sort first, a prefix before its extensions; a link to a folder
  // is no folder.
  EXPECT_EQ(n, std::vector<std::string>({"\xC3\xA9t\xC3\xA9.wav", "Z.txt", "a.bmp", "ab", "abc",
                                         "b.PNG", "c.acf", "dirlink", "plain", "sub"}));
  EXPECT_EQ(t, std::vector<int>({6, 19, 2, 0, 0, 2, 3, 0, 0, 1}));

  EXPECT_EQ(opensave_getitems("d/", 2, n, t), 3);
  EXPECT_EQ(n, std::vector<std::string>({"a.bmp", "b.PNG", "sub"}));
  EXPECT_EQ(opensave_getitems("d/", 3, n, t), 2);
  EXPECT_EQ(n, std::vector<std::string>({"c.acf", "sub"}));
  EXPECT_EQ(opensave_getitems("missing/", 0, n, t), 0);
  EXPECT_EQ(opensave_getitems("d/", 20, n, t), 0);
}

TEST(Listing, PanelModeHidesNumberedAndPanelSets) {
  fly_test::run("mkdir -p Resources/bitmaps/cockpit/-panels-/x Resources/bitmaps/other");
  for (const char* f :
       {"gauge.png", "gauge-1.png", "gauge-4.BMP", "gauge-5.png", "dial-2.txt", "notes.txt"})
    write_file(std::string("Resources/bitmaps/other/") + f, "x");
  write_file("Resources/bitmaps/cockpit/-panels-/x/p.png", "x");
  std::vector<std::string> n;
  std::vector<int> t;
  opensave_getitems("Resources/bitmaps/other/", 12, n, t);
  EXPECT_EQ(n, std::vector<std::string>({"gauge-5.png", "gauge.png"}));
  EXPECT_EQ(opensave_getitems("Resources/bitmaps/cockpit/-panels-/x/", 12, n, t), 0);
  EXPECT_EQ(opensave_getitems("Resources/bitmaps/cockpit/", 12, n, t), 0);
}

TEST(Listing, CommandRegistryMode) {
  cmnd.add_cmd("flight/controls/up", "Up");
  cmnd.add_cmd("flight/controls/down", "Down");
  cmnd.add_cmd("flight/view/left", "Left");
  cmnd.add_cmd("flight/pause", "Pause");
  std::vector<std::string> n;
  std::vector<int> t;
  EXPECT_EQ(opensave_getitems("flight/", 21, n, t), 3);
  EXPECT_EQ(n, std::vector<std::string>({"controls", "view", "pause"}));
  EXPECT_EQ(t, std::vector<int>({1, 1, 21}));
}

TEST(Listing, FolderPathWithoutSlashIsFatal) {
  mkdir("dir", 0755);
  std::vector<std::string> n;
  std::vector<int> t;
  EXPECT_FATAL_ALERT(opensave_getitems("dir", 0, n, t), "Working path does not appear");
}

TEST(RecursiveDelete, EverythingGoesLinksAreNotFollowed) {
  fly_test::run("mkdir -p tree/a/b/c tree/x.txt/inner tree/.dotdir outside");
  write_file("outside/keep", "k");
  for (const char* f : {"tree/f", "tree/.hidden", "tree/._f", "tree/a/b/c/deep", "tree/a/.x",
                        "tree/x.txt/inner/y", "tree/.dotdir/z"})
    write_file(f, "x");
  ASSERT_EQ(symlink("../outside", "tree/a/out"), 0);
  ASSERT_EQ(symlink("../../outside/keep", "tree/a/b/filelink"), 0);
  ASSERT_EQ(symlink("nowhere", "tree/dangling"), 0);
  ASSERT_EQ(symlink(".", "tree/a/b/loop"), 0);
  EXPECT_EQ(recursive_delete_folder("tree/"), 0);
  EXPECT_FALSE(fly_test::file_exists("tree"));
  EXPECT_EQ(read_file("outside/keep"), "k");
}

TEST(RecursiveDelete, MissingEmptyAndLinkedFolders) {
  EXPECT_EQ(recursive_delete_folder("missing/"), ENOENT);
  EXPECT_EQ(recursive_delete_folder(""), ENOENT);
  fly_test::run("mkdir -p real/in");
  write_file("real/in/f", "x");
  ASSERT_EQ(symlink("real", "via"), 0);
  EXPECT_EQ(recursive_delete_folder("via/"), 0);  // the link goes, not what it shows
  EXPECT_FALSE(fly_test::file_exists("via"));
  EXPECT_EQ(read_file("real/in/f"), "x");
}

TEST(RecursiveCopy, TreesWithDotNamesAndLinks) {
  fly_test::run("mkdir -p src/a/b src/.dot src/x.png");
  write_file("src/f", pattern(100000, 9));
  write_file("src/.hidden", "h");
  write_file("src/._f", "sidecar");
  write_file("src/a/b/deep", "d");
  write_file("src/x.png/in", "folder named like a bitmap");
  write_file("src/.dot/z", "z");
  chmod("src/f", 0700);
  ASSERT_EQ(symlink("..", "src/a/b/up"), 0);  // a cycle when followed
  ASSERT_EQ(symlink("f", "src/flink"), 0);
  ASSERT_EQ(symlink("nowhere", "src/dangling"), 0);
  mkfifo("src/pipe", 0644);

  ASSERT_EQ(copy_file_recursive("src", "dst"), 0);
  EXPECT_FALSE(fly_test::file_exists("dst/pipe"));
  unlink("src/pipe");
  std::string out;
  EXPECT_EQ(fly_test::run("diff -r --no-dereference src dst", &out), 0) << out;
  EXPECT_EQ(mode_of("dst/f"), 0700u);
  std::string t;
  EXPECT_EQ(is_sim_link("dst/a/b/up", &t), 1);
  EXPECT_EQ(t, "..");
  EXPECT_EQ(is_sim_link("dst/dangling", &t), 1);

  // Again over the copy: links and files are replaced, not followed.
  ASSERT_EQ(copy_file_recursive("src/", "dst/"), 0);
  EXPECT_EQ(fly_test::run("diff -r --no-dereference src dst", &out), 0) << out;

  write_file("single", "one");
  EXPECT_EQ(copy_file_recursive("single", "single2"), 0);
  EXPECT_EQ(read_file("single2"), "one");
  EXPECT_EQ(copy_file_recursive("missing", "m2"), ENOENT);
}
