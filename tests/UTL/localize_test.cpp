#include "UTL/localize.h"

#include <cstdlib>

#include "Linux/lin_locale.h"
#include "UTL/cmdline.h"
#include "support/test_util.h"

namespace {

const char k_header[] = "I\n900 version\nTRANSLATION\n";

struct Localize : ::testing::Test {
  void SetUp() override {
    cmdline.clear();
    UTL_translate_clear();
  }
  void TearDown() override {
    cmdline.clear();
    UTL_translate_clear();
  }
  // Loads a translation file with the given body for lang.
  void load(int lang, const std::string& body, const std::string& header = k_header) {
    fly_test::write_file("lang.txt", header + body);
    UTL_translate_load_path(lang, "lang.txt");
  }
  void options(std::vector<const char*> args) {
    args.insert(args.begin(), "prog");
    cmdline.init_unix(static_cast<int>(args.size()), args.data());
  }
};

TEST_F(Localize, HeaderMustBeAVersion900TranslationFile) {
  struct {
    const char* header;
    bool loads;
  } cases[] = {
      {"I\n900 version\nTRANSLATION\n", true},
      {"A\n900 version\nTRANSLATION\n", true},
      {"\xEF\xBB\xBFI\r\n900 version\r\nTRANSLATION\r\n", true},
      {"I\n901 version\nTRANSLATION\n", false},
      {"I\n900 version\nSERVERS\n", false},
      {"I\n900 version\nTRANSLATIONS\n", false},
      {"B\n900 version\nTRANSLATION\n", false},
  };
  for (const auto& c : cases) {
    load(2, "STRING Yes====Ja\n", c.header);
    EXPECT_EQ(UTL_translate_string("Yes", 0), c.loads ? "Ja" : "Yes") << c.header;
  }
}

TEST_F(Localize, StringLines) {
  load(1,
       "# a comment line\n"
       "STRING Yes====Oui\n"
       "STRING  No====Non\n"
       "   \tSTRING\tTab====Onglet  \n"
       "STRING One====1\n"
       "STRING Empty====\n"
       "STRING No separator here\n"
       "STRINGS Plural====Pluriel\n"
       "string Lower====Minuscule\n"
       "STRING Yes====Si\n"
       "\n\n   \n"
       "STRING a====b====c\n"
       "STRING Last====Dernier");
  struct {
    const char* english;
    const char* want;
  } cases[] = {
      {"Yes", "Oui"},  // the first occurrence wins
      {" No", "Non"},  // blanks after the one separator belong to the text
      {"No", "No"},         {"Tab", "Onglet  "},
      {"One", "One"},  // a one-character translation is dropped
      {"Empty", "Empty"},   {"No separator here", "No separator here"},
      {"Plural", "Plural"}, {"Lower", "Lower"},
      {"a", "b====c"},      {"Last", "Dernier"},  // the last line needs no line end
  };
  for (const auto& c : cases) EXPECT_EQ(UTL_translate_string(c.english, 0), c.want) << c.english;
  EXPECT_EQ(UTL_translate_string("Yes", 1), "Yes");  // STRING lines are not genitive
}

TEST_F(Localize, CrlfFileWithEscapes) {
  load(1,
       "STRING Line one\\nLine two====Ligne un\\nLigne deux\r\n"
       "STRING Back\\rward====Ar\\rriere\r\n"
       "STRING Slash \\t stays====Barre \\t reste\r\n",
       "\xEF\xBB\xBFI\r\n900 version\r\nTRANSLATION\r\n");
  EXPECT_EQ(UTL_translate_string("Line one\nLine two", 0), "Ligne un\nLigne deux");
  EXPECT_EQ(UTL_translate_string("Back\rward", 0), "Ar\rriere");
  EXPECT_EQ(UTL_translate_string("Slash \\t stays", 0), "Barre \\t reste");
}

TEST_F(Localize, ClearAndMissingFileLeaveEnglish) {
  load(1, "STRING Yes====Oui\n");
  EXPECT_EQ(UTL_translate_string("Yes", 0), "Oui");
  UTL_translate_clear();
  EXPECT_EQ(UTL_translate_string("Yes", 0), "Yes");
  EXPECT_EQ(UTL_translate_plural(0, "file", "files"), "files");

  // No French.txt among the test program's resources: untranslated, but the
  // language's plural rule holds.
  UTL_translate_load(1);
  EXPECT_EQ(UTL_translate_string("Yes", 0), "Yes");
  EXPECT_EQ(UTL_translate_plural(0, "file", "files"), "file");
}

TEST_F(Localize, PluralRules) {
  const std::string ru =
      "STRING %1:n% file====%1:n% файл\n"
      "STRING %1:n% files====%1:n% файлов\n"
      "GENITIVE %1:n% files====%1:n% файла\n";
  load(3, ru);
  const std::string one = "%1:n% файл", few = "%1:n% файла", many = "%1:n% файлов";
  struct {
    int n;
    const std::string& want;
  } russian[] = {{1, one},   {2, few},    {3, few},    {4, few},   {22, few},
                 {104, few}, {0, many},   {5, many},   {11, many}, {12, many},
                 {14, many}, {111, many}, {112, many}, {-2, many}, {21, many}};
  for (const auto& c : russian)
    EXPECT_EQ(UTL_translate_plural(c.n, "%1:n% file", "%1:n% files"), c.want) << c.n;

  // Without a genitive entry the few-form falls back to the plural.
  load(3, "STRING cat====кошка\nSTRING cats====кошек\n");
  EXPECT_EQ(UTL_translate_plural(3, "cat", "cats"), "кошек");

  struct {
    int lang, n;
    const char* want;
  } others[] = {{1, 0, "chat"},   {1, 1, "chat"},   {1, -3, "chat"},
                {1, 2, "chats"},  {2, 0, "Katzen"}, {2, 1, "Katze"},
                {2, 2, "Katzen"}, {4, 0, "gatti"},  {5, 1, "gato"}};
  const char* files[] = {"",
                         "STRING cat====chat\nSTRING cats====chats\n",
                         "STRING cat====Katze\nSTRING cats====Katzen\n",
                         "",
                         "STRING cat====gatto\nSTRING cats====gatti\n",
                         "STRING cat====gato\nSTRING cats====gatos\n"};
  for (const auto& c : others) {
    load(c.lang, files[c.lang]);
    EXPECT_EQ(UTL_translate_plural(c.n, "cat", "cats"), c.want) << c.lang << " " << c.n;
  }
  UTL_translate_clear();
  EXPECT_EQ(UTL_translate_plural(0, "cat", "cats"), "cats");
  EXPECT_EQ(UTL_translate_plural(1, "cat", "cats"), "cat");
}

TEST_F(Localize, GenitiveWithoutStringIsReportedForRussianOnly) {
  load(3, "GENITIVE lonely====одинокий\nGENITIVE pair====пара\nSTRING pair====пары\n");
  std::string log = fly_test::log_text();
  EXPECT_NE(log.find("WARNING: language file line lonely====одинокий is provided in genitive but "
                     "not plural case.\n\n"),
            std::string::npos);
  EXPECT_EQ(log.find("line pair===="), std::string::npos);

  load(1, "GENITIVE solo====seul\n");
  EXPECT_EQ(fly_test::log_text().find("solo"), std::string::npos);
}

TEST_F(Localize, MissingStringsAreLoggedOncePerLoad) {
  load(1, "STRING Yes====Oui\n");
  UTL_translate_string("Quiet", 0);
  EXPECT_EQ(fly_test::log_text().find("Quiet"), std::string::npos);  // only with the option

  options({"--missing_strings"});
  load(1, "STRING Yes====Oui\n");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(UTL_translate_string("Cancel", 0), "Cancel");
    EXPECT_EQ(UTL_translate_string("Two\nlines\r", 0), "Two\nlines\r");
  }
  EXPECT_EQ(UTL_translate_string("Yes", 0), "Oui");
  std::string log = fly_test::log_text();
  const std::string line = "STRING Cancel====Cancel\n";
  ASSERT_NE(log.find(line), std::string::npos);
  EXPECT_EQ(log.find(line, log.find(line) + 1), std::string::npos);
  EXPECT_NE(log.find("STRING Two\\nlines\\r====Two\\nlines\\r\n"), std::string::npos);
  EXPECT_EQ(log.find("STRING Yes"), std::string::npos);

  // A new load logs again; without a file nothing is logged.
  load(1, "STRING Yes====Oui\n");
  UTL_translate_string("Cancel", 0);
  log = fly_test::log_text();
  EXPECT_NE(log.find(line, log.find(line) + 1), std::string::npos);
  UTL_translate_clear();
  UTL_translate_string("Never logged", 0);
  EXPECT_EQ(fly_test::log_text().find("Never logged"), std::string::npos);
}

TEST_F(Localize, Placeholders) {
  const std::string a = "A", b = "B", c = "C", d = "D", e = "E", f = "F";
  EXPECT_EQ(UTL_string_sub("%1:x% and %2:y%", a, b), "A and B");
  EXPECT_EQ(UTL_string_sub("%2:y% before %1:x%", a, b), "B before A");
  EXPECT_EQ(UTL_string_sub("%1:x% and %2:y%", a), "A and %2:y%");
  EXPECT_EQ(UTL_string_sub("%1:x%, %1:x% and %1:x%", a), "A, A and A");
  EXPECT_EQ(UTL_string_sub("%7:x% %0:x% %-1:x% %x:y%", a), "%7:x% %0:x% %-1:x% %x:y%");
  EXPECT_EQ(UTL_string_sub("100%% %1:x% done", a), "100%% A done");
  EXPECT_EQ(UTL_string_sub("unclosed %1:x", a), "unclosed %1:x");
  EXPECT_EQ(UTL_string_sub("no colon %1 here%", a), "no colon %1 here%");
  EXPECT_EQ(UTL_string_sub("%1:x%% left", a), "A% left");
  EXPECT_EQ(UTL_string_sub("% 1:x%", a), "A");  // atoi skips blanks
  EXPECT_EQ(UTL_string_sub("%99999999999999999999:x% %1:y%", a), "%99999999999999999999:x% A");
  // A value holding a placeholder is inserted once and not filled again.
  EXPECT_EQ(UTL_string_sub("%1:x% %2:y%", std::string("%2:y%"), b), "%2:y% B");
  EXPECT_EQ(UTL_string_sub("%1:a%%2:b%%3:c%%4:d%%5:e%%6:f%", a, b, c, d, e, f), "ABCDEF");
  EXPECT_EQ(UTL_string_sub("%5:e%%4:d%%3:c%", a, b, c, d, e), "EDC");
  EXPECT_EQ(UTL_string_sub("%4:d%%3:c%", a, b, c, d), "DC");
  EXPECT_EQ(UTL_string_sub("%3:c%%4:d%", a, b, c), "C%4:d%");
  // A short form is taken to reach the next colon and percent sign.
  EXPECT_EQ(UTL_string_sub("%1% text: %2:y%", a, b), "A2:y%");
  EXPECT_EQ(UTL_string_sub("", a), "");

  std::vector<int> nums;
  UTL_string_check("%2:b% then %1:a%, %12:big% %0:z% %1:a% %3:open", nums);
  EXPECT_EQ(nums, (std::vector<int>{2, 1, 12, 1}));
}

TEST_F(Localize, SmallHelpers) {
  struct {
    const char* s;
    int lead, trail;
  } cases[] = {{"  ab ", 2, 1}, {"", 0, 0}, {"   ", 3, 3}, {"\tx\t", 0, 0}, {"x", 0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(UTL_count_leading(c.s), c.lead) << '"' << c.s << '"';
    EXPECT_EQ(UTL_count_trailing(c.s), c.trail) << '"' << c.s << '"';
  }
  std::string s = "a\\nb\\rc\\\\n";
  str_unescape(s);
  EXPECT_EQ(s, "a\nb\rc\\\n");
}

TEST_F(Localize, DefaultLanguage) {
  struct {
    const char *lang_option, *language, *lc_all, *lc_messages, *lang;
    int want;
  } cases[] = {
      {nullptr, nullptr, nullptr, nullptr, nullptr, -1},
      {"de", "fr", nullptr, nullptr, nullptr, 2},
      {"xx", "en-GB:fr", nullptr, nullptr, nullptr, 1},  // a region form names nothing
      {"DE", nullptr, nullptr, nullptr, nullptr, -1},    // codes are case-sensitive
      {nullptr, nullptr, nullptr, nullptr, "C", -1},
      {nullptr, nullptr, nullptr, nullptr, "de_DE.UTF-8", 2},
      {nullptr, nullptr, nullptr, "es_ES.UTF-8", "de_DE.UTF-8", 5},
      {nullptr, nullptr, "it_IT@euro", "es_ES.UTF-8", "de_DE.UTF-8", 4},
      {nullptr, "ru_RU:fr", "it_IT", nullptr, nullptr, 3},
      {nullptr, "nl:sv", nullptr, nullptr, "fr_FR.UTF-8", 1},
      {nullptr, "", nullptr, nullptr, "POSIX", -1},
      {nullptr, nullptr, "C.UTF-8", nullptr, "de_DE", -1},  // LC_ALL rules though it names none
      {nullptr, "pt_BR:nl", nullptr, nullptr, "en_US.UTF-8", 0},
  };
  for (const auto& c : cases) {
    cmdline.clear();
    if (c.lang_option) options({(std::string("--lang=") + c.lang_option).c_str()});
    const char* vars[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    const char* vals[] = {c.language, c.lc_all, c.lc_messages, c.lang};
    for (int i = 0; i < 4; ++i) vals[i] ? setenv(vars[i], vals[i], 1) : unsetenv(vars[i]);
    EXPECT_EQ(UTL_get_default_language(), c.want) << &c - cases;
  }
}

}  // namespace
