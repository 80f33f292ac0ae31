#include "OOPS_cpp/xmap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "support/test_util.h"

const int k_versions[] = {840, 900, 0};

// A reader of a file that holds body; the previous one is closed first.
static xmap_class& map_of(const std::string& body) {
  static std::unique_ptr<xmap_class> x;
  x.reset();
  fly_test::write_file("f", body);
  return *(x = std::make_unique<xmap_class>("f"));
}

TEST(XmapHeader, TextAndBinaryHeaders) {
  const int T = xmap_text, B = xmap_binary;
  const struct { std::string body; const char* word; int type, version; } cases[] = {
      {"I\n900 version\nINSTALLER\n\nDIR x\n", "INSTALLER", T, 900},
      {"A\n840 version\nINSTALLER\n", "INSTALLER", T, 840},
      {"B\n900 version\nINSTALLER\n", "INSTALLER", T, 0},  // not an origin letter
      {"\xEF\xBB\xBFI\n900 version\n", nullptr, T, 900}, {"\xEF\xBB\xBF", nullptr, T, 0},
      {"I\n901 version\n", nullptr, T, 0}, {"I", nullptr, T, 0}, {"", nullptr, T, 0},
      {"I rest of the line\r\n\r\n  \t900 version\r\nINSTALLER", "INSTALLER", T, 900},
      {"I\n900 version\nSERVERSX\n", "SERVERS", T, 0},
      {"I\n900 version\nSERVERS", "SERVERS", T, 900},  // a word that ends the file
      {"I\n900 version\nINSTALLER\n", "SERVERS", T, 0},
      {std::string("I\0\0", 3) + "900 version\n", nullptr, T, 900},  // NUL ends a line
      {std::string("a\0\0\x03\x84", 5), nullptr, B, 900},  // swapped
      {std::string("i\x84\x03\0\0", 5), nullptr, B, 900},
      {std::string("x\x84\x03\0\0", 5), nullptr, B, 0}, {std::string("i\x84", 2), nullptr, B, 0},
      {"I\n900 version\n", nullptr, B, 0}};
  // Every file opens, an empty one as an empty map.
  for (const auto& c : cases) {
    xmap_class& x = map_of(c.body);
    EXPECT_NE(x.map_base, nullptr);
    EXPECT_EQ(x.check_file(c.type, k_versions, c.word, nullptr), c.version) << c.body;
  }
}

TEST(XmapHeader, ReversedReadsAndTheirBounds) {
  static const int v900[] = {900, 0};
  for (int swap : {1, 0}) {
    xmap_class& x =
        map_of(std::string(swap ? "a\0\0\x03\x84" : "i\x84\x03\0\0", 5) + "\1\2\3\4\5\6");
    ASSERT_EQ(x.check_file(xmap_binary, v900, nullptr, nullptr), 900);
    EXPECT_EQ(x.swap_bytes, swap);
    char out[6];
    for (long n : {7L, -1L, 0x7fffffffffffffffL})
      EXPECT_FATAL_ALERT(x.read_n_rev(out, n), "Invalid read_n_rev read!");
    x.read_n_rev(out, 6);
    EXPECT_EQ(std::string(out, 6), swap ? "\4\3\2\1\5\6" : "\1\2\3\4\5\6");
    EXPECT_EQ(x.cursor, x.map_end);
  }
}

TEST(XmapOpen, MissingFileAndClosedStandardInput) {
  xmap_class m("missing.txt");
  EXPECT_EQ(m.map_base, nullptr);
  EXPECT_EQ(m.fd, -1);
  map_of("I\n900 version\n");
  ASSERT_EQ(close(0), 0);
  {
    xmap_class x("f");
    ASSERT_EQ(x.fd, 0);  // the lowest free descriptor
    EXPECT_EQ(x.check_file(xmap_text, k_versions, nullptr, nullptr), 900);
  }
  EXPECT_EQ(open("f", O_RDONLY), 0);  // released with the reader
}

TEST(XmapScan, NumbersSignsAndOverflow) {
  const struct { std::string text; int value; size_t used; } cases[] = {
      {"  -42 a", -42, 5}, {"-+5", 5, 3}, {"- 3", 0, 1}, {"  \n", 0, 2},
      {"2147483647", 2147483647, 10}, {"-2147483648", -2147483647 - 1, 11},
      {"99999999999999999999", 1661992959, 20},  // wraps, never overflows
      {std::string("1\0002", 3), 1, 1}, {"", 0, 0}};
  for (const auto& c : cases) {
    xmap_class& x = map_of(c.text);
    EXPECT_EQ(x.TXT_int_scan(), c.value) << c.text;
    EXPECT_EQ(static_cast<size_t>(x.cursor - x.map_base), c.used) << c.text;
  }
}

TEST(XmapScan, FilesEndingMidTokenOrHoldingNul) {
  xmap_class& x = map_of(std::string("ab\0cd ef", 8));
  std::string s[4];
  x.TXT_str_scan_space(&s[0]);
  x.TXT_str_scan_eoln(&s[1]);  // the NUL ends the (empty) line
  x.TXT_str_scan_eoln(&s[2]);
  x.TXT_str_scan_space(&s[3]);
  EXPECT_EQ(s[0] + "|" + s[1] + "|" + s[2] + "|" + s[3], "ab||cd ef|");
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

TEST(XmapFile, APipeOrDeviceIsNoFile) {
  alarm(10);  // a blocking open would hang here
  ASSERT_EQ(mkfifo("pipe", 0600), 0);
  xmap_class x("pipe");
  EXPECT_EQ(x.map_base, nullptr);
  EXPECT_EQ(x.fd, -1);
  EXPECT_EQ(x.retry("/dev/zero"), nullptr);
  alarm(0);
}
