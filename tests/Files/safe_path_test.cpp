#include "Files/safe_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include "Files/errors.h"
#include "support/test_util.h"

TEST(SafePath, EntryNames) {
  const struct {
    std::string name;
    int safe;
  } cases[] = {
      {"file", 1},
      {"a/b/c.txt", 1},
      {"./a", 1},
      {"a//b", 1},
      {"..a/b..", 1},
      {"a/.../b", 1},
      {"C:/x", 1},
      {"", 0},
      {".", 0},
      {"./", 0},
      {"/", 0},
      {"/etc/passwd", 0},
      {"..", 0},
      {"../x", 0},
      {"a/../../x", 0},
      {"a/..", 0},
      {"a\\b", 0},
      {"..\\x", 0},
      {std::string("a\0/../x", 7), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(archive_name_is_safe(c.name), c.safe) << c.name;
}

TEST(SafePath, TargetsThroughLinks) {
  mkdir("out", 0755);
  mkdir("out/real", 0755);
  ASSERT_EQ(symlink("/", "out/disk_link"), 0);
  using T = std::vector<archive_target>;
  const struct {
    const char* what;
    T targets;
    int code;
  } cases[] = {
      {"plain tree", T{{"a/b", false}, {"a/c", false}, {"real/x", false}}, 0},
      {"links beside files", T{{"lnk", true}, {"lnk2", true}, {"a/lnk", true}}, 0},
      {"file replacing own link", T{{"lnk", true}, {"lnk", false}}, 0},
      {"through own link", T{{"lnk", true}, {"lnk/x", false}}, err_unsafe_path},
      {"through own link deeper", T{{"a/lnk", true}, {"a/./lnk//b/c", false}}, err_unsafe_path},
      {"through own link, case", T{{"A/Lnk", true}, {"a/lNK/x", false}}, err_unsafe_path},
      {"through disk link", T{{"disk_link/etc/x", false}}, err_unsafe_path},
      {"disk link replaced", T{{"disk_link", false}}, 0},
  };
  for (const auto& c : cases) {
    std::string bad;
    EXPECT_EQ(check_archive_targets(c.targets, "out/", &bad), c.code) << c.what;
    if (c.code) {
      EXPECT_FALSE(bad.empty()) << c.what;
    }
  }
}

TEST(SafePath, OutputFilesNeverFollowLinks) {
  mkdir("out", 0755);
  mkdir("elsewhere", 0755);
  fly_test::write_file("elsewhere/victim", "victim");
  ASSERT_EQ(symlink("../elsewhere/victim", "out/f"), 0);
  ASSERT_EQ(symlink("../elsewhere", "out/dir"), 0);
  out_folder folder("out/");
  {
    out_file f;
    ASSERT_EQ(f.create(folder, "f", false), 0);
    ASSERT_EQ(f.write("new", 3), 0);
    ASSERT_EQ(f.commit(), 0);
  }
  EXPECT_EQ(fly_test::read_file("out/f"), "new");
  EXPECT_EQ(fly_test::read_file("elsewhere/victim"), "victim");
  out_file g;
  EXPECT_EQ(g.create(folder, "dir/x", true), err_unsafe_path);
  EXPECT_EQ(folder.make_dirs("dir/sub"), err_unsafe_path);
  EXPECT_EQ(make_link_at(folder, "dir/l", "x", true), err_unsafe_path);
  {
    out_file h;  // dropped without commit: the target stays, no temporary is left
    ASSERT_EQ(h.create(folder, "f", false), 0);
    ASSERT_EQ(h.write("partial", 7), 0);
  }
  EXPECT_EQ(fly_test::read_file("out/f"), "new");
  std::string listing;
  fly_test::run("ls -A out elsewhere", &listing);
  EXPECT_EQ(listing, "elsewhere:\nvictim\n\nout:\ndir\nf\n");
}
