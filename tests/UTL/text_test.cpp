// Resource names, UTF conversion and the decimal parser.
#include <sys/stat.h>

#include <string>

#include "Linux/lin_sys.h"
#include "UTL/resource.h"
#include "UTL/str_to_int.h"
#include "support/test_util.h"

namespace {

TEST(StrToInt, PlainSignedNumbersOnly) {
  struct row {
    const char* text;
    int want;
  };
  const row rows[] = {
      {"", -1},           {"0", 0},           {"007", 7},          {"+5", 5},
      {"-7", -7},         {"-42", -42},       {"12a", -1},         {" 1", -1},
      {"+", -1},          {"-", -1},          {"1-2", -1},         {"1+2", -1},
      {"--1", -1},        {"+-1", -1},        {"999999999", 999999999},
      {"-999999999", -999999999},             {"+999999999", 999999999},
      {"1234567890", -1},  // ten digits
      {"-1234567890", -1}, {"99999999999999999999", -1},
      {"+0000000007", -1},  // ten characters after the sign
  };
  for (const row& r : rows) EXPECT_EQ(str_to_int(r.text), r.want) << '"' << r.text << '"';
}

TEST(Resource, PrefixIsExactAndCaseSensitive) {
  struct row {
    const char* in;
    int want;
    const char* out;
  };
  const row rows[] = {
      {"RESOURCE:French.txt", 1, "French.txt"},
      {"RESOURCE:", 1, ""},
      {"RESOURCE", 0, "RESOURCE"},
      {"resource:French.txt", 0, "resource:French.txt"},
      {"RESOURCES/French.txt", 0, "RESOURCES/French.txt"},
      {"Resources/RESOURCE:x", 0, "Resources/RESOURCE:x"},
      {"", 0, ""},
  };
  for (const row& r : rows) {
    std::string p = r.in;
    EXPECT_EQ(UTL_path_is_resource(p), r.want) << r.in;
    EXPECT_EQ(p, r.out) << r.in;
  }
}

TEST(Resource, FilesOfTheResourcesFolder) {
  // By default the folder beside the executable.
  const std::string exe = LIN_exe_path();
  EXPECT_EQ(UTL_resource_folder(), exe.substr(0, exe.rfind('/') + 1) + "Resources/");

  const std::string dir = fly_test::sandbox() + "res/";
  mkdir(dir.c_str(), 0755);
  mkdir((dir + "fonts").c_str(), 0755);
  fly_test::write_file(dir + "French.txt", "x");
  fly_test::write_file(dir + "fonts/a.ttf", "x");
  fly_test::write_file(fly_test::sandbox() + "secret.txt", "x");
  UTL_set_resource_folder(dir);
  EXPECT_EQ(UTL_resource_get_file("French.txt"), dir + "French.txt");
  EXPECT_EQ(UTL_resource_get_file("fonts/a.ttf"), dir + "fonts/a.ttf");
  EXPECT_EQ(UTL_resource_get_file("German.txt"), "");
  EXPECT_EQ(UTL_resource_get_file(""), "");
  EXPECT_EQ(UTL_resource_get_file("../secret.txt"), "");  // never outside the folder
  EXPECT_EQ(UTL_resource_get_file(fly_test::sandbox() + "secret.txt"), "");
  UTL_set_resource_folder("");
  EXPECT_EQ(UTL_resource_get_file("French.txt"), "");
}

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s += static_cast<char>(c);
  return s;
}

TEST(Utf, WellFormedRoundTrips) {
  struct row {
    std::string utf8;
    std::u16string utf16;
  };
  const row rows[] = {
      {"", u""},
      {"abc", u"abc"},
      {bytes({0xC3, 0xA9}), std::u16string(1, char16_t(0x00E9))},
      {bytes({0xE2, 0x82, 0xAC}), std::u16string(1, char16_t(0x20AC))},
      {bytes({0xEF, 0xBF, 0xBF}), std::u16string(1, char16_t(0xFFFF))},
      {bytes({0xF0, 0x9F, 0x98, 0x80}), {char16_t(0xD83D), char16_t(0xDE00)}},
      {bytes({0xF4, 0x8F, 0xBF, 0xBF}), {char16_t(0xDBFF), char16_t(0xDFFF)}},
      {bytes({'x', 0xDF, 0xBF, 'y'}), {u'x', char16_t(0x7FF), u'y'}},
  };
  for (const row& r : rows) {
    std::u16string w = u"junk";
    string_utf_8_to_16(r.utf8, w);
    EXPECT_EQ(w, r.utf16);
    std::string n = "junk";
    string_utf_16_to_8(r.utf16, n);
    EXPECT_EQ(n, r.utf8);
  }
}

TEST(Utf, MalformedInputStaysInBounds) {
  const char16_t bad = 0xFFFD;
  struct row {
    std::string utf8;
    std::u16string utf16;
  };
  const row to16[] = {
      {bytes({0x80, 'a'}), {bad, u'a'}},             // stray continuation byte
      {bytes({0xC3}), {bad}},                        // cut short at the end
      {bytes({0xE2, 0x82, 'a'}), {bad, u'a'}},       // cut short before a letter
      {bytes({0xF8, 0x80, 'a'}), {bad, u'a'}},       // no such lead byte
      {bytes({0xF7, 0xBF, 0xBF, 0xBF}), {bad}},      // beyond U+10FFFF
      {bytes({0xED, 0xA0, 0x80}), {bad}},            // an encoded surrogate
      {bytes({0xC3, 0xA9, 0xA9, 'b'}), {char16_t(0xE9), u'b'}},  // extra continuation skipped
  };
  for (const row& r : to16) {
    std::u16string w;
    string_utf_8_to_16(r.utf8, w);
    EXPECT_EQ(w, r.utf16);
  }
  const std::string rep = bytes({0xEF, 0xBF, 0xBD});
  struct row8 {
    std::u16string utf16;
    std::string utf8;
  };
  const row8 to8[] = {
      {{char16_t(0xD83D)}, rep},                      // high surrogate at the end
      {{char16_t(0xD83D), u'a'}, rep + "a"},          // high surrogate without a low one
      {{char16_t(0xDE00), u'a'}, rep + "a"},          // low surrogate alone
  };
  for (const row8& r : to8) {
    std::string n;
    string_utf_16_to_8(r.utf16, n);
    EXPECT_EQ(n, r.utf8);
  }
}

}  // namespace
