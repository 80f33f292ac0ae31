// The shipped translation files against the English text set
// (tools/text/english_texts.txt), and the sources against that set.
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "Files/errors.h"
#include "Installer-f/folders.h"
#include "Installer-f/wizard_globals.h"
#include "Installer-f/licence.h"
#include "UTL/cmdline.h"
#include "UTL/localize.h"
#include "UTL/resource.h"
#include "support/test_util.h"

namespace {

const std::string k_source = FLY_SOURCE_DIR;

struct english_text {
  std::string text;
  std::string plural;  // the plural form of a PLURAL pair, else empty
  bool is_plural = false;
};

std::vector<english_text> read_english_set() {
  std::vector<english_text> out;
  const std::string data = fly_test::read_file(k_source + "/tools/text/english_texts.txt");
  size_t pos = 0;
  int line_no = 0;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string::npos) end = data.size();
    const std::string line = data.substr(pos, end - pos);
    pos = end + 1;
    ++line_no;
    if (line.empty() || line[0] == '#') continue;
    english_text e;
    if (line.compare(0, 5, "TEXT ") == 0) {
      e.text = line.substr(5);
    } else if (line.compare(0, 7, "PLURAL ") == 0) {
      const std::string pair = line.substr(7);
      const size_t sep = pair.find("====");
      EXPECT_NE(sep, std::string::npos) << "line " << line_no;
      if (sep == std::string::npos) continue;
      e.text = pair.substr(0, sep);
      e.plural = pair.substr(sep + 4);
      e.is_plural = true;
      str_unescape(e.plural);
    } else {
      ADD_FAILURE() << "line " << line_no << " is neither TEXT nor PLURAL: " << line;
      continue;
    }
    str_unescape(e.text);
    out.push_back(e);
  }
  return out;
}

// Every English text of the set, plural forms included.
std::set<std::string> all_texts(const std::vector<english_text>& set) {
  std::set<std::string> all;
  for (const english_text& e : set) {
    all.insert(e.text);
    if (e.is_plural) all.insert(e.plural);
  }
  return all;
}

std::vector<int> placeholders(const std::string& s) {
  std::vector<int> n;
  UTL_string_check(s, n);
  std::sort(n.begin(), n.end());
  return n;
}

// printf conversions left once the numbered placeholders are taken out
// (the about box formats its texts with snprintf).
std::vector<std::string> printf_conversions(const std::string& s) {
  std::string rest;
  size_t last = 0;
  for (size_t pos = 0;;) {
    const size_t open = s.find('%', pos);
    if (open == std::string::npos) break;
    const size_t colon = s.find(':', open + 1);
    const size_t close = colon == std::string::npos ? colon : s.find('%', colon + 1);
    if (close == std::string::npos) break;
    if (atoi(s.c_str() + open + 1) > 0) {
      rest += s.substr(last, open - last);
      last = pos = close + 1;
    } else {
      pos = open + 1;
    }
  }
  rest += s.substr(last);
  std::vector<std::string> out;
  for (size_t i = 0; i + 1 < rest.size(); ++i) {
    if (rest[i] != '%') continue;
    size_t j = i + 1;
    while (j < rest.size() && (isdigit(static_cast<unsigned char>(rest[j])) || rest[j] == '.')) ++j;
    if (j < rest.size() && strchr("sdf%", rest[j])) {
      out.push_back(rest.substr(i, j - i + 1));
      i = j;
    }
  }
  return out;
}

// The markup of a widget label: its leading "|" and "-", and how many "|"
// and "{" it holds.
std::string label_markup(const std::string& s) {
  const std::string lead = s.substr(0, s.find_first_not_of("|-"));
  return lead + " " + std::to_string(std::count(s.begin(), s.end(), '|')) + " " +
         std::to_string(std::count(s.begin(), s.end(), '{'));
}

// What a translation must keep of its English text.
void expect_same_shape(const std::string& english, const std::string& translation,
                       const std::string& what) {
  EXPECT_EQ(placeholders(english), placeholders(translation)) << what;
  EXPECT_EQ(printf_conversions(english), printf_conversions(translation)) << what;
  EXPECT_EQ(UTL_count_leading(english), UTL_count_leading(translation)) << what;
  EXPECT_EQ(UTL_count_trailing(english), UTL_count_trailing(translation)) << what;
  EXPECT_EQ(label_markup(english), label_markup(translation)) << what;
  EXPECT_EQ(std::count(english.begin(), english.end(), '\n') > 0,
            std::count(translation.begin(), translation.end(), '\n') > 0)
      << what;
}

std::string escaped(const std::string& s) {
  std::string e;
  for (char c : s) e += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
  return e;
}

// Loads the shipped file of lang the way the program does (its "RESOURCE:"
// name in the resources folder), with misses logged.
void load_shipped(int lang) {
  const char* argv[] = {"prog", "--missing_strings"};
  cmdline.init_unix(2, argv);
  UTL_set_resource_folder(k_source + "/resources/");
  UTL_translate_load(lang);
}

// STRING and GENITIVE entries of a translation file as written.
struct file_entries {
  std::vector<std::string> strings, genitives;
};
file_entries read_entries(const std::string& path) {
  file_entries f;
  const std::string data = fly_test::read_file(path);
  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string::npos) end = data.size();
    const std::string line = data.substr(pos, end - pos);
    pos = end + 1;
    const bool str = line.compare(0, 7, "STRING ") == 0;
    const bool gen = line.compare(0, 9, "GENITIVE ") == 0;
    if (!str && !gen) continue;
    std::string key = line.substr(str ? 7 : 9);
    key = key.substr(0, key.find("===="));
    str_unescape(key);
    (str ? f.strings : f.genitives).push_back(key);
  }
  return f;
}

}  // namespace

TEST(EnglishTextSet, IsWellFormedAndHoldsTheErrorTextsAndTheLicence) {
  const std::vector<english_text> set = read_english_set();
  ASSERT_GT(set.size(), 300u);
  std::set<std::string> seen;
  for (const english_text& e : set) {
    EXPECT_TRUE(seen.insert(e.text).second) << "twice: " << e.text;
    if (e.is_plural) {
      EXPECT_TRUE(seen.insert(e.plural).second) << "twice: " << e.plural;
      EXPECT_EQ(placeholders(e.text), placeholders(e.plural)) << e.text;
    }
    // The loader drops translations shorter than two characters and cannot
    // hold a key with the separator in it.
    EXPECT_EQ(e.text.find("===="), std::string::npos) << e.text;
    EXPECT_GE(e.text.size(), 2u) << e.text;
  }
  for (const err_msg_row* r = kErrMsgs; r->text; ++r)
    EXPECT_TRUE(seen.count(r->text)) << "error text missing from the set: " << r->text;
  EXPECT_EQ(kLicenceParagraphCount, 5);
  for (const char* p : kLicenceParagraphs) EXPECT_TRUE(seen.count(p)) << p;
}

struct ShippedTranslation : ::testing::TestWithParam<int> {};

TEST_P(ShippedTranslation, CoversEveryTextWithItsPlaceholdersAndPluralForms) {
  const int lang = GetParam();
  const std::vector<english_text> set = read_english_set();
  load_shipped(lang);
  const bool slavic = kLangInfo[lang].plural_mode == 2;

  std::vector<std::pair<std::string, std::string>> pairs;  // English, translation
  for (const english_text& e : set) {
    pairs.emplace_back(e.text, UTL_translate_string(e.text, 0));
    if (e.is_plural) pairs.emplace_back(e.plural, UTL_translate_string(e.plural, 0));
  }
  // A miss is logged as a paste-ready line.
  const std::string log = fly_test::log_text();
  for (const auto& [english, translation] : pairs) {
    EXPECT_EQ(log.find("STRING " + escaped(english) + "===="), std::string::npos)
        << kLangInfo[lang].resource << " lacks: " << english;
    expect_same_shape(english, translation, english + " ==> " + translation);
  }

  for (const english_text& e : set) {
    if (!e.is_plural) continue;
    const std::string one = UTL_translate_string(e.text, 0);
    const std::string many = UTL_translate_string(e.plural, 0);
    EXPECT_EQ(UTL_translate_plural(1, e.text, e.plural), one);
    EXPECT_EQ(UTL_translate_plural(5, e.text, e.plural), many);
    // Counts ending in 2, 3 or 4 take the genitive form.
    const std::string few = UTL_translate_string(e.plural, 1);
    if (slavic) {
      EXPECT_NE(few, e.plural) << "no GENITIVE form for " << e.plural;
      expect_same_shape(e.plural, few, "GENITIVE " + e.plural);
      EXPECT_EQ(UTL_translate_plural(3, e.text, e.plural), few);
      EXPECT_EQ(UTL_translate_plural(11, e.text, e.plural), many);
    } else {
      EXPECT_EQ(few, e.plural) << "a GENITIVE line has no use here: " << e.plural;
    }
  }
}

TEST_P(ShippedTranslation, HoldsNoTextOutsideTheSetAndNoDuplicate) {
  const int lang = GetParam();
  std::string name = kLangInfo[lang].resource;
  ASSERT_TRUE(UTL_path_is_resource(name));
  const file_entries f = read_entries(k_source + "/resources/" + name);
  ASSERT_FALSE(f.strings.empty()) << name;
  const std::vector<english_text> set = read_english_set();
  const std::set<std::string> texts = all_texts(set);
  std::set<std::string> plurals;
  for (const english_text& e : set)
    if (e.is_plural) plurals.insert(e.plural);

  std::set<std::string> seen;
  for (const std::string& k : f.strings) {
    EXPECT_TRUE(texts.count(k)) << name << ": not in the English set: " << k;
    EXPECT_TRUE(seen.insert(k).second) << name << ": twice (the first one wins): " << k;
  }
  seen.clear();
  for (const std::string& k : f.genitives) {
    EXPECT_TRUE(plurals.count(k)) << name << ": GENITIVE of no plural form: " << k;
    EXPECT_TRUE(seen.insert(k).second) << name << ": GENITIVE twice: " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, ShippedTranslation, ::testing::Range(1, int(lang_count)),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return std::string(kLangInfo[i.param].folder).substr(
                               0, strlen(kLangInfo[i.param].folder) - 1);
                         });

// ---- The sources: every literal text handed to the translation table

namespace {

// The text with comments blanked out, string and character literals kept.
std::string strip_comments(const std::string& s) {
  std::string out = s;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"' || s[i] == '\'') {
      const char q = s[i];
      for (++i; i < s.size() && s[i] != q; ++i)
        if (s[i] == '\\') ++i;
    } else if (s.compare(i, 2, "//") == 0) {
      for (; i < s.size() && s[i] != '\n'; ++i) out[i] = ' ';
    } else if (s.compare(i, 2, "/*") == 0) {
      const size_t end = std::min(s.find("*/", i + 2), s.size() - 2) + 2;
      for (; i < end; ++i)
        if (out[i] != '\n') out[i] = ' ';
      --i;
    }
  }
  return out;
}

size_t skip_space(const std::string& s, size_t i) {
  while (i < s.size() && isspace(static_cast<unsigned char>(s[i]))) ++i;
  return i;
}

// Reads one argument at i that is made only of adjacent string literals;
// false when the argument is anything else. *next is after the argument.
bool literal_argument(const std::string& s, size_t i, std::string* text, size_t* next) {
  text->clear();
  i = skip_space(s, i);
  if (i >= s.size() || s[i] != '"') return false;
  while (i < s.size() && s[i] == '"') {
    for (++i; i < s.size() && s[i] != '"'; ++i) {
      if (s[i] != '\\' || i + 1 >= s.size()) {
        *text += s[i];
        continue;
      }
      const char c = s[++i];
      *text += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    i = skip_space(s, i + 1);
  }
  *next = i;
  return i < s.size() && (s[i] == ')' || s[i] == ',');
}

// After the argument that starts at i: the position after its comma, or npos.
size_t after_argument(const std::string& s, size_t i) {
  int depth = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"' || c == '\'') {
      for (++i; i < s.size() && s[i] != c; ++i)
        if (s[i] == '\\') ++i;
    } else if (c == '(' || c == '[' || c == '{') {
      ++depth;
    } else if (c == ')' || c == ']' || c == '}') {
      if (depth-- == 0) return std::string::npos;
    } else if (c == ',' && depth == 0) {
      return i + 1;
    }
  }
  return std::string::npos;
}

// Literal texts passed to UTL_translate_string (first argument) and to
// UTL_translate_plural (second and third) in one source text.
std::vector<std::string> translated_literals(const std::string& source) {
  const std::string s = strip_comments(source);
  std::vector<std::string> out;
  std::string text;
  size_t next;
  for (const std::string call : {"UTL_translate_string(", "UTL_translate_plural("}) {
    const bool plural = call == "UTL_translate_plural(";
    for (size_t p = s.find(call); p != std::string::npos; p = s.find(call, p + 1)) {
      if (p > 0 && (isalnum(static_cast<unsigned char>(s[p - 1])) || s[p - 1] == '_')) continue;
      size_t arg = p + call.size();
      if (plural) {
        arg = after_argument(s, arg);  // the count
        if (arg == std::string::npos) continue;
        if (literal_argument(s, arg, &text, &next)) out.push_back(text);
        arg = after_argument(s, arg);
        if (arg == std::string::npos) continue;
      }
      if (literal_argument(s, arg, &text, &next)) out.push_back(text);
    }
  }
  return out;
}

}  // namespace

TEST(EnglishTextSet, FindsTheLiteralsOfTranslateCalls) {
  const std::vector<std::string> got = translated_literals(
      "x = UTL_translate_string(\"One \"\n   \"line\\n\");  // UTL_translate_string(\"no\")\n"
      "y = UTL_translate_string(name); z = UTL_translate_string(std::string(\"a\") + b);\n"
      "/* UTL_translate_string(\"nor this\") */ MY_UTL_translate_string(\"not ours\");\n"
      "w = UTL_translate_plural(f(n, 2), \"%1:n% cat\", \"%1:n% cats\");\n"
      "v = UTL_translate_string(\"He said \\\"hi\\\", twice\", 0);\n");
  EXPECT_EQ(got, (std::vector<std::string>{"One line\n", "He said \"hi\", twice", "%1:n% cat",
                                           "%1:n% cats"}));
}

TEST(EnglishTextSet, HoldsEveryLiteralTheSourcesTranslate) {
  const std::set<std::string> texts = all_texts(read_english_set());
  int found = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(k_source + "/src")) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h" && ext != ".c")) continue;
    for (const std::string& t : translated_literals(fly_test::read_file(entry.path().string()))) {
      ++found;
      EXPECT_TRUE(texts.count(t)) << entry.path().string() << " translates a text that "
                                  << "tools/text/english_texts.txt lacks: TEXT " << escaped(t);
    }
  }
  EXPECT_GE(found, 15);  // the scan does see the sources
}

// An alert shows the error code's text in the user's language too.
TEST(ShippedTranslationInUse, AlertsTranslateTheErrorText) {
  load_shipped(2);
  dest_dir_path = "/nowhere/";
  make_dir_error("/nowhere/Resources/", EACCES);
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s2, "Fehler: Zugriff verweigert. Möglicherweise haben Sie keinen "
                                      "Zugriff auf einen Ordner oder ein Dateisystem");
  EXPECT_EQ(fly_test::alerts()[0].s3, "Installationsort: /nowhere/");
}
