#include "OOPS_cpp/xmap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "GenH/shell.h"
#include "support/test_util.h"

using fly_test::read_file;
using fly_test::write_file;

namespace {
const int k_dir_versions[] = {840, 900, 0};

int check_text(const std::string& body, const char* word, std::string* rest = nullptr,
               const int* versions = k_dir_versions) {
  write_file("hdr.txt", body);
  xmap_class x("hdr.txt");
  return x.check_file(xmap_text, versions, word, rest);
}
}  // namespace

TEST(XmapHeader, TextHeaders) {
  const struct {
    std::string body;
    const char* word;
    int version;
  } cases[] = {
      {"I\n900 version\nINSTALLER\n\nDIR x\n", "INSTALLER", 900},
      {"A\n840 version\nINSTALLER\n", "INSTALLER", 840},
      {"B\n900 version\nINSTALLER\n", "INSTALLER", 0},
      {"\xEF\xBB\xBFI\n900 version\n", nullptr, 900},
      {"\xEF\xBB\xBF", nullptr, 0},  // three bytes: no mark, and 0xEF is no origin letter
      {"I\n901 version\n", nullptr, 0},
      {"I\n0 version\n", nullptr, 0},
      {"I rest of the line\r\n\r\n  \t900 version\r\nINSTALLER", "INSTALLER", 900},
      {"I\n900 version\nSERVERSX\n", "SERVERS", 0},
      {"I\n900 version\nSERVERS", "SERVERS", 900},  // a word that ends the file
      {"I\n900 version\n  SERVERS  \nbody", "SERVERS", 900},
      {"I\n900 version\nINSTALLER\n", "SERVERS", 0},
      {"I", nullptr, 0},
      {"I\n", nullptr, 0},
      {std::string("I\0\0", 3) + "900 version\n", nullptr, 900},  // NUL ends a line
  };
  for (const auto& c : cases) EXPECT_EQ(check_text(c.body, c.word), c.version) << c.body;

  static const int none[] = {0};
  EXPECT_EQ(check_text("I\n900 version\n", nullptr, nullptr, none), 0);
}

TEST(XmapHeader, RestAndCursorPositions) {
  std::string rest;
  EXPECT_EQ(check_text("I\n  900 version anything\nbody", nullptr, &rest), 900);
  EXPECT_EQ(rest, "version anything");

  write_file("h", "I\n900 version\nSERVERSX more\n");
  xmap_class x("h");
  EXPECT_EQ(x.check_file(xmap_text, k_dir_versions, "SERVERS", nullptr), 0);
  EXPECT_EQ(std::string(x.cursor, 8), "SERVERSX");

  write_file("h2", "I\n900 version\nLIBRARY ignored\n\n  \tEXPORT a b\n");
  xmap_class y("h2");
  EXPECT_EQ(y.check_file(xmap_text, k_dir_versions, "LIBRARY", nullptr), 900);
  EXPECT_EQ(std::string(y.cursor, 6), "EXPORT");
}

TEST(XmapHeader, BinaryHeaders) {
  static const int v900[] = {900, 0};
  write_file("b", std::string("a\x00\x00\x03\x84", 5) + "\x01\x02\x03\x04\x05\x06\x07\x08");
  xmap_class a("b");
  ASSERT_EQ(a.check_file(xmap_binary, v900, nullptr, nullptr), 900);
  EXPECT_EQ(a.swap_bytes, 1);
  unsigned char out[8];
  a.read_n_rev(out, 8);
  EXPECT_EQ(memcmp(out, "\x04\x03\x02\x01\x08\x07\x06\x05", 8), 0);
  a.cursor = a.map_base + 5;
  memset(out, 0, 8);
  a.read_n_rev(reinterpret_cast<long>(out), 6);
  EXPECT_EQ(memcmp(out, "\x04\x03\x02\x01\x05\x06\0\0", 8), 0);
  EXPECT_EQ(a.cursor, a.map_end - 2);

  write_file("i", std::string("i\x84\x03\x00\x00", 5) + "\x01\x02\x03\x04");
  xmap_class i("i");
  ASSERT_EQ(i.check_file(xmap_binary, v900, nullptr, nullptr), 900);
  EXPECT_EQ(i.swap_bytes, 0);
  i.read_n_rev(out, 4);
  EXPECT_EQ(memcmp(out, "\x01\x02\x03\x04", 4), 0);

  for (const std::string& bad :
       {std::string("x\x84\x03\x00\x00", 5), std::string("i\x84\x03", 3), std::string("i")}) {
    write_file("bad", bad);
    xmap_class z("bad");
    EXPECT_EQ(z.check_file(xmap_binary, v900, nullptr, nullptr), 0) << bad.size();
  }
}

TEST(XmapHeader, ReadPastTheEndIsFatal) {
  write_file("b", std::string("i\x84\x03\x00\x00", 5) + "abc");
  xmap_class x("b");
  static const int v900[] = {900, 0};
  ASSERT_EQ(x.check_file(xmap_binary, v900, nullptr, nullptr), 900);
  char out[8];
  EXPECT_FATAL_ALERT(x.read_n_rev(out, 4), "Invalid read_n_rev read!");
  EXPECT_FATAL_ALERT(x.read_n_rev(out, -1), "Invalid read_n_rev read!");
  EXPECT_FATAL_ALERT(x.read_n_rev(out, 0x7fffffffffffffffL), "Invalid read_n_rev read!");
  x.read_n_rev(out, 3);
  EXPECT_EQ(x.cursor, x.map_end);
}

TEST(XmapHeader, BadTypeSelectorsAreFatal) {
  write_file("t", "I\n900 version\n");
  xmap_class x("t");
  EXPECT_FATAL_ALERT(x.check_file(3, k_dir_versions, nullptr, nullptr), "Bad check_file type!");
  EXPECT_FATAL_ALERT(ouf_open("o.txt", 3, 1, "no-copyright-string"), "Bad ouf_open type!");
}

TEST(XmapOpen, MissingEmptyAndFolders) {
  xmap_class m("missing.txt");
  EXPECT_EQ(m.map_base, nullptr);
  EXPECT_EQ(m.cursor, nullptr);
  EXPECT_EQ(m.fd, -1);
  EXPECT_EQ(m.check_file(xmap_text, k_dir_versions, nullptr, nullptr), 0);
  EXPECT_EQ(m.TXT_int_scan(), 0);

  write_file("empty", "");
  xmap_class e("empty");
  ASSERT_NE(e.map_base, nullptr);  // opened: an empty map
  EXPECT_EQ(e.map_base, e.map_end);
  EXPECT_EQ(e.cursor, e.map_base);
  EXPECT_EQ(e.check_file(xmap_text, k_dir_versions, nullptr, nullptr), 0);
  std::string s = "x";
  e.TXT_str_scan_eoln(&s);
  EXPECT_EQ(s, "");

  mkdir("folder", 0755);
  xmap_class f("folder");
  EXPECT_EQ(f.map_base, nullptr);
  EXPECT_EQ(f.fd, -1);

  xmap_class r("RESOURCE:no such resource.txt");
  EXPECT_EQ(r.map_base, nullptr);

  xmap_class none("");
  EXPECT_EQ(none.map_base, nullptr);
  write_file("later", "I\n1 version\n");
  ASSERT_NE(none.retry("later"), nullptr);
  EXPECT_EQ(none.map_end - none.map_base, 12);
}

TEST(XmapOpen, ClosedStandardInputIsNoSpecialCase) {
  write_file("data", "I\n900 version\n");
  ASSERT_EQ(close(0), 0);
  {
    xmap_class x("data");
    ASSERT_EQ(x.fd, 0);  // the lowest free descriptor
    EXPECT_EQ(x.check_file(xmap_text, k_dir_versions, nullptr, nullptr), 900);
  }
  // Released with the reader: descriptor 0 is free again.
  const int again = open("data", O_RDONLY);
  EXPECT_EQ(again, 0);
}

TEST(XmapOpen, BadPathsAreFatal) {
  write_file("ok", "x");
  EXPECT_FATAL_ALERT(xmap_class x("a\\b"), "OOPS!");
  app_path = "/the/app/";
  EXPECT_FATAL_ALERT(xmap_class x("/the/app/ok"), "retry: We are getting a file string");
  app_path.clear();
  write_file("a:b", "colon");  // an ordinary name character here
  xmap_class c("a:b");
  EXPECT_EQ(std::string(c.map_base, 5), "colon");
  xmap_class r("RESOURCE:a\\b");  // resource names skip the checks
  EXPECT_EQ(r.map_base, nullptr);
}

TEST(XmapScan, Scanners) {
  write_file("s",
             "  -42 x\n"
             "  abc  \r\n\r\n  def\n"
             "tok1\ttok2\n"
             "WORD rest\n"
             "WORDY\n");
  xmap_class x("s");
  EXPECT_EQ(x.TXT_int_scan(), -42);
  EXPECT_EQ(*x.cursor, ' ');
  std::string s;
  x.TXT_str_scan_eoln(&s);
  EXPECT_EQ(s, "x");
  x.TXT_str_scan_eoln(&s);
  EXPECT_EQ(s, "abc  ");
  EXPECT_EQ(*x.cursor, 'd');
  x.TXT_str_scan_eoln(nullptr);
  x.TXT_str_scan_space(&s);
  EXPECT_EQ(s, "tok1");
  x.TXT_str_scan_space(&s);
  EXPECT_EQ(s, "tok2");
  x.TXT_str_scan_eoln(nullptr);
  EXPECT_EQ(x.TXT_str_scan_match("WORDS", 0), 0);
  EXPECT_EQ(x.TXT_str_scan_match("WORD", 0), 1);
  EXPECT_EQ(*x.cursor, ' ');
  x.TXT_str_scan_eoln(nullptr);
  EXPECT_EQ(x.TXT_str_scan_match("WORD", 1), 0);
  EXPECT_EQ(x.TXT_str_scan_match("WORDY", 0), 0);  // a line end needs eol_ok
  EXPECT_EQ(x.TXT_str_scan_match("WORDY", 1), 1);
  EXPECT_EQ(*x.cursor, '\n');
}

TEST(XmapScan, NumbersSignsAndOverflow) {
  const struct {
    std::string text;
    int value;
    size_t used;
  } cases[] = {
      {"  -42 a", -42, 5},
      {"+7", 7, 2},
      {"-+5", 5, 3},
      {"  \n", 0, 2},
      {"-", 0, 1},
      {"- 3", 0, 1},
      {"2147483647", 2147483647, 10},
      {"-2147483648", -2147483647 - 1, 11},
      {"99999999999999999999", 1661992959, 20},  // wraps, never overflows
      {"12a", 12 * 10 + ('a' - '0'), 3},         // bytes are taken as digits unchecked
      {std::string("1\0002", 3), 1, 1},
  };
  for (const auto& c : cases) {
    write_file("n", c.text);
    xmap_class x("n");
    EXPECT_EQ(x.TXT_int_scan(), c.value) << c.text;
    EXPECT_EQ(static_cast<size_t>(x.cursor - x.map_base), c.used) << c.text;
  }
}

TEST(XmapScan, FilesEndingMidTokenOrHoldingNul) {
  write_file("m", std::string("ab\0cd ef", 8));
  xmap_class x("m");
  std::string s;
  x.TXT_str_scan_space(&s);
  EXPECT_EQ(s, "ab");
  x.TXT_str_scan_eoln(&s);  // the NUL ends the (empty) line
  EXPECT_EQ(s, "");
  x.TXT_str_scan_eoln(&s);
  EXPECT_EQ(s, "cd ef");
  EXPECT_EQ(x.cursor, x.map_end);
  x.TXT_str_scan_space(&s);
  EXPECT_EQ(s, "");
  EXPECT_EQ(x.TXT_str_scan_match("x", 1), 0);
  EXPECT_EQ(x.cursor, x.map_end);

  write_file("cut", "INSTALL");
  xmap_class c("cut");
  EXPECT_EQ(c.TXT_str_scan_match("INSTALLER", 1), 0);
  EXPECT_EQ(c.cursor, c.map_base);
  c.TXT_str_scan_space(&s);
  EXPECT_EQ(s, "INSTALL");
  EXPECT_EQ(c.cursor, c.map_end);
}

TEST(XmapScan, LogLine) {
  write_file("l", "one\r\ntwo\r\nthree\r\nfour");
  xmap_class x("l");
  x.cursor = x.map_base + 12;  // inside "three"
  x.TXT_xer_line();
  x.cursor = x.map_end;
  x.TXT_xer_line();
  const std::string log = fly_test::log_text();
  EXPECT_NE(log.find("3 \"three\"\n"), std::string::npos) << log;
  EXPECT_NE(log.find("4 \"four\"\n"), std::string::npos) << log;
}

TEST(Ouf, WritesHeadersThatReadBack) {
  ASSERT_EQ(ouf_open("prefs.PRF", xmap_text, 92001, "no-copyright-string"), 1);
  ouf << "key 1\n";
  ouf.close();
  EXPECT_EQ(read_file("prefs.prf"), "I\n92001 version\nkey 1\n");  // extension lower-cased
  static const int v[] = {92001, 0};
  xmap_class x("prefs.prf");
  EXPECT_EQ(x.check_file(xmap_text, v, nullptr, nullptr), 92001);

  ASSERT_EQ(ouf_open("noted.txt", xmap_text, 1, " (c) someone"), 1);
  ouf.close();
  EXPECT_EQ(read_file("noted.txt"), "I\n1 version (c) someone\n");

  ASSERT_EQ(ouf_open("doc.bin", xmap_binary, 900, "no-copyright-string"), 1);
  ouf.close();
  EXPECT_EQ(read_file("doc.bin"), std::string("i\x84\x03\x00\x00", 5));
}

TEST(Ouf, MakesAMissingFolderThenGivesUp) {
  ASSERT_EQ(ouf_open("newdir/list.txt", xmap_text, 820, "no-copyright-string"), 1);
  ouf << "SERVERS\n";
  ouf.close();
  EXPECT_EQ(read_file("newdir/list.txt"), "I\n820 version\nSERVERS\n");
  EXPECT_TRUE(fly_test::alerts().empty());

  EXPECT_EQ(ouf_open("a/b/c.txt", xmap_text, 1, "no-copyright-string"), 0);
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].type, 1);
  EXPECT_NE(fly_test::alerts()[0].s1.find("I could not save the file!"), std::string::npos);
  ouf << "lost";
  EXPECT_FALSE(ouf.good());
}

TEST(Ouf, IoFileOpenBothWays) {
  int versions[] = {1, 0};
  xmap_class w("");
  ASSERT_EQ(w.io_file_open(1, "menu.txt", versions, xmap_text), 1);
  EXPECT_EQ(w.io_mode, 1);
  ouf << "body\n";
  w.io_file_close();
  EXPECT_FALSE(ouf.is_open());

  xmap_class r("");
  EXPECT_EQ(r.io_file_open(0, "menu.txt", versions, xmap_text), 1);
  std::string s;
  r.TXT_str_scan_eoln(&s);
  EXPECT_EQ(s, "body");
  EXPECT_EQ(r.io_file_open(0, "missing.txt", versions, xmap_text), 0);
  EXPECT_EQ(r.io_file_open(2, "menu.txt", versions, xmap_text), 0);
}
