#include "Files/safe_path.h"

#include "Files/archive_util.h"
#include "Files/errors.h"

using namespace arch_test;

TEST(SafePath, EntryNames) {
  for (const char* n : {"file", "a/b/c.txt", "./a", "a//b", "..a/b..", "a/.../b", "C:/x"})
    EXPECT_TRUE(archive_name_is_safe(n)) << n;
  for (const std::string& n : std::initializer_list<std::string>{
           "", ".", "./", "/", "/etc/passwd", "..", "../x", "a/../../x", "a/..", "a\\b", "..\\x",
           std::string("a\0/../x", 7)})
    EXPECT_FALSE(archive_name_is_safe(n)) << n;
}

TEST(SafePath, OutputFilesNeverFollowLinks) {
  fly_test::sh("mkdir out elsewhere && printf victim > elsewhere/victim && "
               "ln -s ../elsewhere/victim out/f && ln -s ../elsewhere out/dir");
  out_folder folder("out/");
  {
    out_file f;
    ASSERT_EQ(f.create(folder, "f", false), 0);
    ASSERT_EQ(f.write("new", 3), 0);
    ASSERT_EQ(f.commit(), 0);
    out_file g;
    EXPECT_EQ(g.create(folder, "dir/x", true), err_unsafe_path);
    EXPECT_EQ(folder.make_dirs("dir/sub"), err_unsafe_path);
    EXPECT_EQ(make_link_at(folder, "dir/l", "x", true), err_unsafe_path);
    out_file h;  // dropped without commit: the target stays, no temporary is left
    ASSERT_EQ(h.create(folder, "f", false), 0);
    ASSERT_EQ(h.write("partial", 7), 0);
  }
  EXPECT_EQ(fly_test::read_file("out/f") + fly_test::read_file("elsewhere/victim"), "newvictim");
  EXPECT_EQ(arch_test::tree(".").size(), 5u);  // no temporary left
}

TEST(DropOtherSpellings, OnlyOtherEntriesOfTheSameNameGo) {
  write_file("out/File.txt", "kept");
  write_file("out/FILE.txt", "another spelling");
  write_file("out/file.txt.bak", "another name");
  mkdir("out/file.TXT", 0755);  // a folder is no spelling of a file
  ASSERT_EQ(link("out/File.txt", "out/file.txt"), 0);  // one entry, as a case-blind volume shows it
  out_folder folder("out/");
  EXPECT_EQ(drop_other_spellings(folder, "File.txt"), 0);
  EXPECT_EQ(tree("out"), entries({{"File.txt", "f:kept"}, {"file.txt", "f:kept"},
                                  {"file.txt.bak", "f:another name"}, {"file.TXT", "d"}}));
}
