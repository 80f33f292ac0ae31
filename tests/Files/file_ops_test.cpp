#include "Files/file_ops.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "Files/archive_util.h"

using namespace arch_test;

TEST(CopyFile, PipesNeverWait) {
  alarm(10);  // a blocking open would hang here
  ASSERT_EQ(mkfifo("pipe", 0600), 0);
  write_file("src", "data");
  EXPECT_EQ(copy_file("pipe", "dst"), EINVAL);
  EXPECT_FALSE(file_exists("dst"));
  EXPECT_EQ(copy_file("src", "pipe"), ENXIO);  // nobody reads it
  alarm(0);
}

TEST(CopyFile, SizesModesAndFailures) {
  for (size_t n : {0, 1, 65536, 200001}) {
    write_file("src", pattern(n, 7));
    chmod("src", 0750);
    write_file("dst", std::string(300000, 'x'));  // longer: must be truncated
    ASSERT_EQ(copy_file("src", "dst"), 0) << n;
    EXPECT_TRUE(read_file("dst") == pattern(n, 7)) << n;
    EXPECT_EQ(mode_of("dst"), 0750u);
  }
  mkdir("folder", 0755);
  EXPECT_EQ(copy_file("missing", "dst"), ENOENT);
  EXPECT_EQ(copy_file("src", "no/such/folder/dst"), ENOENT);
  EXPECT_EQ(copy_file("folder", "dst"), EISDIR);
  EXPECT_EQ(copy_file("src", "/dev/full"), ENOSPC);
  // Onto itself, also through links: refused, the file kept.
  ASSERT_EQ(link("src", "hard") || symlink("src", "soft"), 0);
  for (const char* dst : {"src", "./src", "hard"}) EXPECT_EQ(copy_file("src", dst), EINVAL) << dst;
  EXPECT_EQ(copy_file("soft", "src"), EINVAL);
  EXPECT_TRUE(read_file("src") == pattern(200001, 7));
}

// The kernel copies within one file system; across two, or from a file that
// reads other than its size says, the copy still holds every byte.
TEST(CopyFile, AcrossFileSystemsAndFromProc) {
  const std::string data = pattern(300007, 3);
  write_file("src", data);
  const std::string shm = "/dev/shm/flyvane-copy-test-" + std::to_string(getpid());
  if (dir_exists("/dev/shm/")) {
    ASSERT_EQ(copy_file("src", shm), 0);
    EXPECT_TRUE(read_file(shm) == data);
    ASSERT_EQ(copy_file(shm, "back"), 0);
    EXPECT_TRUE(read_file("back") == data);
    unlink(shm.c_str());
  }
  ASSERT_EQ(copy_file("/proc/version", "version"), 0);  // its size reads as 0
  EXPECT_EQ(read_file("version"), read_file("/proc/version"));
  EXPECT_FALSE(read_file("version").empty());
}

TEST(CopyFile, ConcurrentCopiesStayApart) {
  const std::string a = pattern(3 << 20, 1), b = pattern(3 << 20, 2);
  write_file("a", a);
  write_file("b", b);
  for (int round = 0; round < 3; ++round) {
    int ra = -1, rb = -1;
    std::thread t1([&] { ra = copy_file("a", "a2"); });
    std::thread t2([&] { rb = copy_file("b", "b2"); });
    t1.join();
    t2.join();
    ASSERT_TRUE(ra == 0 && rb == 0 && read_file("a2") == a && read_file("b2") == b) << round;
  }
}

TEST(SimpleOps, EdgeValues) {
  fly_test::run("mkdir full && truncate -s 5368709127 big");  // sparse: 5 GiB + 7
  write_file("full/f", "x");
  EXPECT_EQ(delete_file("full/"), ENOTEMPTY);
  EXPECT_EQ(APL_file_size64("big"), (int64_t(5) << 30) + 7);
  EXPECT_EQ(APL_file_size("full"), -1);
  // Link texts are exactly what readlink gave, however long.
  const std::string long_text = std::string(700, 'x') + "/target";
  ASSERT_EQ(symlink(long_text.c_str(), "long") || symlink("short", "dangling"), 0);
  std::string t;
  EXPECT_EQ(is_sim_link("long", &t), 1);
  EXPECT_EQ(t, long_text);
  EXPECT_EQ(is_sim_link("dangling", &t), 1);
  EXPECT_EQ(t, "short");
  EXPECT_EQ(is_sim_link("full/f", &t), 0);
  // Made executable: a file, never what a link points to.
  write_file("private", "key");
  chmod("private", 0600);
  ASSERT_EQ(symlink("private", "exe link"), 0);
  EXPECT_EQ(make_file_executable("full/f"), 0);
  EXPECT_EQ(make_file_executable("exe link"), 0);
  EXPECT_EQ(mode_of("full/f") * 01000 + mode_of("private"), 0755u * 01000 + 0600u);
  EXPECT_EQ(make_file_executable("missing"), ENOENT);
}

TEST(Listing, ModesFilterAndSort) {
  for (const char* f : {"b.PNG", "a.bmp", "Z.txt", "c.acf", ".hidden", "._sidecar", "plain",
                        "\xC3\xA9t\xC3\xA9.wav", "abc", "ab"})
    write_file(std::string("d/") + f, "x");
  fly_test::run("mkdir d/sub target && ln -s ../target d/dirlink");
  std::vector<std::string> n;
  std::vector<int> t;
  EXPECT_EQ(opensave_getitems("d/", 0, n, t), 10);
  // High bytes sort first, a prefix before its extensions; a link to a folder is no folder.
  EXPECT_EQ(n, std::vector<std::string>({"\xC3\xA9t\xC3\xA9.wav", "Z.txt", "a.bmp", "ab", "abc",
                                         "b.PNG", "c.acf", "dirlink", "plain", "sub"}));
  EXPECT_EQ(t, std::vector<int>({6, 19, 2, 0, 0, 2, 3, 0, 0, 1}));
  EXPECT_EQ(opensave_getitems("d/", 2, n, t), 3);
  EXPECT_EQ(n, std::vector<std::string>({"a.bmp", "b.PNG", "sub"}));
  EXPECT_EQ(opensave_getitems("missing/", 0, n, t), 0);
  EXPECT_FATAL_ALERT(opensave_getitems("d/sub", 0, n, t), "Working path does not appear");
}

TEST(RecursiveDelete, EverythingGoesLinksAreNotFollowed) {
  for (const char* f : {"tree/f", "tree/.hidden", "tree/._f", "tree/a/b/c/deep", "tree/a/.x",
                        "tree/x.txt/inner/y", "tree/.dotdir/z", "outside/keep", "real/f"})
    write_file(f, "x");
  fly_test::run(
      "ln -s ../outside tree/a/out && ln -s ../../outside/keep tree/a/b/filelink && "
      "ln -s nowhere tree/dangling && ln -s . tree/a/b/loop && ln -s real via");
  EXPECT_EQ(recursive_delete_folder("tree/"), 0);
  EXPECT_EQ(recursive_delete_folder("via/"), 0);   // the link goes, not what it shows
  EXPECT_EQ(recursive_delete_folder(""), ENOENT);  // not the root
  EXPECT_EQ(recursive_delete_folder("missing/"), ENOENT);
  EXPECT_EQ(tree("."),
            entries({{"outside", "d"}, {"outside/keep", "f:x"}, {"real", "d"}, {"real/f", "f:x"}}));
}

TEST(RecursiveCopy, TreesWithDotNamesAndLinks) {
  for (const char* f :
       {"src/f", "src/.hidden", "src/._f", "src/a/b/deep", "src/x.png/in", "src/.dot/z"})
    write_file(f, f);
  // A cycle; a pipe would hang the copy.
  fly_test::run("ln -s .. src/a/b/up && ln -s nowhere src/dangling && mkfifo src/pipe");
  chmod("src/f", 0700);
  ASSERT_EQ(copy_file_recursive("src", "dst"), 0);
  ASSERT_FALSE(fly_test::file_exists("dst/pipe"));
  unlink("src/pipe");
  EXPECT_EQ(tree("dst"), tree("src"));
  EXPECT_EQ(mode_of("dst/f"), 0700u);
  ASSERT_EQ(copy_file_recursive("src/", "dst/"), 0);  // over the copy: links replaced, not followed
  EXPECT_EQ(tree("dst"), tree("src"));
  EXPECT_EQ(copy_file_recursive("missing", "m2"), ENOENT);
}
