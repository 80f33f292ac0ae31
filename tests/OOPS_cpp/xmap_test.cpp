#include "OOPS_cpp/xmap.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "support/test_util.h"

using fly_test::write_file;

namespace {
const int k_versions[] = {840, 900, 0};

xmap_class& map_of(const std::string& body) {
  static std::unique_ptr<xmap_class> x;
  x.reset();
  write_file("f", body);
  return *(x = std::make_unique<xmap_class>("f"));
}
}  // namespace

TEST(XmapHeader, TextHeaders) {
  const struct { std::string body; const char* word; int version; } cases[] = {
      {"I\n900 version\nINSTALLER\n\nDIR x\n", "INSTALLER", 900},
      {"A\n840 version\nINSTALLER\n", "INSTALLER", 840},
      {"B\n900 version\nINSTALLER\n", "INSTALLER", 0},  // not an origin letter
      {"\xEF\xBB\xBFI\n900 version\n", nullptr, 900},
      {"\xEF\xBB\xBF", nullptr, 0},
      {"I\n901 version\n", nullptr, 0},
      {"I rest of the line\r\n\r\n  \t900 version\r\nINSTALLER", "INSTALLER", 900},
      {"I\n900 version\nSERVERSX\n", "SERVERS", 0},
      {"I\n900 version\nSERVERS", "SERVERS", 900},  // a word that ends the file
      {"I\n900 version\nINSTALLER\n", "SERVERS", 0},
      {"I", nullptr, 0},
      {"", nullptr, 0},
      {std::string("I\0\0", 3) + "900 version\n", nullptr, 900},  // NUL ends a line
  };
  for (const auto& c : cases)
    EXPECT_EQ(map_of(c.body).check_file(xmap_text, k_versions, c.word, nullptr), c.version) << c.body;
  std::string rest;
  EXPECT_EQ(map_of("I\n  900 version anything\nbody").check_file(xmap_text, k_versions, nullptr, &rest), 900);
  EXPECT_EQ(rest, "version anything");
}

TEST(XmapHeader, BinaryHeadersAndReversedReads) {
  static const int v900[] = {900, 0};
  xmap_class& a = map_of(std::string("a\x00\x00\x03\x84", 5) + "\x01\x02\x03\x04\x05\x06\x07\x08");
  ASSERT_EQ(a.check_file(xmap_binary, v900, nullptr, nullptr), 900);
  EXPECT_EQ(a.swap_bytes, 1);
  unsigned char out[8];
  a.read_n_rev(out, 8);
  EXPECT_EQ(memcmp(out, "\x04\x03\x02\x01\x08\x07\x06\x05", 8), 0);
  EXPECT_FATAL_ALERT(a.read_n_rev(out, 1), "Invalid read_n_rev read!");
  a.cursor = a.map_base + 5;
  EXPECT_FATAL_ALERT(a.read_n_rev(out, -1), "Invalid read_n_rev read!");
  EXPECT_FATAL_ALERT(a.read_n_rev(out, 0x7fffffffffffffffL), "Invalid read_n_rev read!");

  xmap_class& i = map_of(std::string("i\x84\x03\x00\x00", 5) + "\x01\x02\x03\x04");
  ASSERT_EQ(i.check_file(xmap_binary, v900, nullptr, nullptr), 900);
  EXPECT_EQ(i.swap_bytes, 0);
  i.read_n_rev(out, 4);
  EXPECT_EQ(memcmp(out, "\x01\x02\x03\x04", 4), 0);
  EXPECT_EQ(i.cursor, i.map_end);
  for (const std::string& bad : {std::string("x\x84\x03\x00\x00", 5), std::string("i\x84\x03", 3)})
    EXPECT_EQ(map_of(bad).check_file(xmap_binary, v900, nullptr, nullptr), 0) << bad.size();
}

TEST(XmapOpen, EmptyFileIsAnEmptyMapAndClosedStdinNoSpecialCase) {
  xmap_class m("missing.txt");
  EXPECT_EQ(m.map_base, nullptr);
  EXPECT_EQ(m.fd, -1);
  xmap_class& e = map_of("");
  ASSERT_NE(e.map_base, nullptr);
  EXPECT_EQ(e.map_base, e.map_end);
  EXPECT_EQ(e.check_file(xmap_text, k_versions, nullptr, nullptr), 0);
  ASSERT_EQ(close(0), 0);
  {
    xmap_class x("f");
    ASSERT_EQ(x.fd, 0);  // the lowest free descriptor
    EXPECT_NE(x.map_base, nullptr);
  }
  EXPECT_EQ(open("f", O_RDONLY), 0);  // released with the reader
}

TEST(XmapScan, NumbersSignsAndOverflow) {
  const struct { std::string text; int value; size_t used; } cases[] = {
      {"  -42 a", -42, 5},
      {"-+5", 5, 3},
      {"- 3", 0, 1},
      {"  \n", 0, 2},
      {"2147483647", 2147483647, 10},
      {"-2147483648", -2147483647 - 1, 11},
      {"99999999999999999999", 1661992959, 20},  // wraps, never overflows
      {std::string("1\0002", 3), 1, 1},
  };
  for (const auto& c : cases) {
    xmap_class& x = map_of(c.text);
    EXPECT_EQ(x.TXT_int_scan(), c.value) << c.text;
    EXPECT_EQ(static_cast<size_t>(x.cursor - x.map_base), c.used) << c.text;
  }
}

TEST(XmapScan, FilesEndingMidTokenOrHoldingNul) {
  xmap_class& x = map_of(std::string("ab\0cd ef", 8));
  std::string s;
  x.TXT_str_scan_space(&s);
  EXPECT_EQ(s, "ab");
  x.TXT_str_scan_eoln(&s);  // the NUL ends the (empty) line
  EXPECT_EQ(s, "");
  x.TXT_str_scan_eoln(&s);
  EXPECT_EQ(s, "cd ef");
  x.TXT_str_scan_space(&s);
  EXPECT_EQ(s, "");
  EXPECT_EQ(x.TXT_str_scan_match("x", 1), 0);
  EXPECT_EQ(x.cursor, x.map_end);

  xmap_class& c = map_of("INSTALL\r\nWORDY");
  EXPECT_EQ(c.TXT_str_scan_match("INSTALLER", 1), 0);
  EXPECT_EQ(c.cursor, c.map_base);
  EXPECT_EQ(c.TXT_str_scan_match("INSTALL", 1), 1);
  c.TXT_str_scan_eoln(nullptr);
  EXPECT_EQ(c.TXT_str_scan_match("WORDY", 0), 0);  // the end of the file needs eol_ok
  EXPECT_EQ(c.TXT_str_scan_match("WORDY", 1), 1);
  EXPECT_EQ(c.cursor, c.map_end);
}
