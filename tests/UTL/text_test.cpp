#include "UTL/resource.h"
#include "UTL/str_to_int.h"
#include "support/test_util.h"

TEST(StrToInt, PlainSignedNumbersOnlyAndNoOverflow) {
  const std::pair<const char*, int> rows[] = {
      {"", -1},   {"007", 7},  {"+5", 5},   {"-42", -42}, {"12a", -1},
      {" 1", -1}, {"-", -1},   {"1-2", -1}, {"+-1", -1},  {"-999999999", -999999999},
      {"1234567890", -1}, {"99999999999999999999", -1}, {"+0000000007", -1}};  // ten digits
  for (const auto& [text, want] : rows) EXPECT_EQ(str_to_int(text), want) << '"' << text << '"';
}

TEST(Resource, PrefixAndFilesStayInsideTheFolder) {
  std::string p = "RESOURCE:French.txt", q = "resource:French.txt";
  EXPECT_EQ(UTL_path_is_resource(p), 1);
  EXPECT_EQ(UTL_path_is_resource(q), 0);  // case-sensitive
  EXPECT_EQ(p, "French.txt");
  const std::string dir = fly_test::sandbox() + "res/";
  fly_test::write_file(dir + "French.txt", "x");
  fly_test::write_file(fly_test::sandbox() + "secret.txt", "x");
  UTL_set_resource_folder(dir);
  EXPECT_EQ(UTL_resource_get_file("French.txt"), dir + "French.txt");
  EXPECT_EQ(UTL_resource_get_file("../secret.txt"), "");
  EXPECT_EQ(UTL_resource_get_file(fly_test::sandbox() + "secret.txt"), "");
}

TEST(Utf, RoundTripsAndMalformedInput) {
  const char16_t bad = 0xFFFD;
  const struct { std::string utf8; std::u16string utf16; bool round_trip; } rows[] = {
      {"\xE2\x82\xAC", {char16_t(0x20AC)}, true},
      {"\xF0\x9F\x98\x80", {char16_t(0xD83D), char16_t(0xDE00)}, true},
      {"\xF4\x8F\xBF\xBF", {char16_t(0xDBFF), char16_t(0xDFFF)}, true},
      {"x\xDF\xBFy", {u'x', char16_t(0x7FF), u'y'}, true},
      {"\x80" "a", {bad, u'a'}, false},        // stray continuation byte
      {"\xC3", {bad}, false},                  // cut short at the end
      {"\xE2\x82" "a", {bad, u'a'}, false},    // cut short before a letter
      {"\xF7\xBF\xBF\xBF", {bad}, false},      // beyond U+10FFFF
      {"\xED\xA0\x80", {bad}, false},          // an encoded surrogate
  };
  for (const auto& r : rows) {
    std::u16string w = u"junk";
    string_utf_8_to_16(r.utf8, w);
    EXPECT_EQ(w, r.utf16) << &r - rows;
    if (!r.round_trip) continue;
    std::string n = "junk";
    string_utf_16_to_8(r.utf16, n);
    EXPECT_EQ(n, r.utf8) << &r - rows;
  }
  std::string n;  // a lone low surrogate, a high one without its low half, one at the end
  string_utf_16_to_8({char16_t(0xDE00), u'a', char16_t(0xD83D), u'b', char16_t(0xD83D)}, n);
  EXPECT_EQ(n, "\xEF\xBF\xBD" "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}
