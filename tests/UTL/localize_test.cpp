#include "UTL/localize.h"

#include <cstdlib>

#include "UTL/cmdline.h"
#include "support/test_util.h"

const char k_header[] = "I\n900 version\nTRANSLATION\n";

struct Localize : ::testing::Test {
  void load(int lang, const std::string& body, const std::string& header = k_header) {
    fly_test::write_file("lang.txt", header + body);
    UTL_translate_load_path(lang, "lang.txt");
  }
};

TEST_F(Localize, HeaderMustBeAVersion900TranslationFile) {
  for (const char* bad : {"I\n901 version\nTRANSLATION\n", "I\n900 version\nTRANSLATIONS\n",
                          "B\n900 version\nTRANSLATION\n"}) {
    load(2, "STRING Yes====Ja\n", bad);
    EXPECT_EQ(UTL_translate_string("Yes", 0), "Yes") << bad;
  }
  load(2, "STRING Yes====Ja\n", "A\n900 version\nTRANSLATION\n");
  EXPECT_EQ(UTL_translate_string("Yes", 0), "Ja");
}

TEST_F(Localize, StringLinesEscapesBomAndCrlf) {
  load(1,
       "# a comment\r\nSTRING Yes====Oui\r\nSTRING  No====Non\r\n   \tSTRING\tTab====Onglet  \r\n"
       "STRING One====1\r\nSTRINGS Plural====Pluriel\r\nSTRING Yes====Si\r\n"
       "STRING a====b====c\r\nSTRING Line one\\nLine two====Ligne un\\nLigne deux\r\n"
       "STRING Slash \\t stays====Barre \\t reste\r\nSTRING Last====Dernier",
       "\xEF\xBB\xBFI\r\n900 version\r\nTRANSLATION\r\n");
  struct { const char *english, *want; } cases[] = {
      {"Yes", "Oui"},  // the first occurrence wins
      {" No", "Non"}, {"Tab", "Onglet  "}, {"Plural", "Plural"}, {"a", "b====c"},
      {"One", "One"},  // a one-character translation is dropped
      {"Line one\nLine two", "Ligne un\nLigne deux"},
      {"Slash \\t stays", "Barre \\t reste"}, {"Last", "Dernier"}};
  for (const auto& c : cases) EXPECT_EQ(UTL_translate_string(c.english, 0), c.want) << c.english;
}

TEST_F(Localize, PluralRulesOfEveryLanguage) {
  load(3, "STRING %1:n% file====%1:n% файл\nSTRING %1:n% files====%1:n% файлов\n"
          "GENITIVE %1:n% files====%1:n% файла\nGENITIVE lonely====одинокий\n");
  std::string ru;
  for (int n : {1, 21, 2, 4, 22, 104, 0, 5, 11, 12, 14, 111, 112, -2})
    ru += UTL_translate_plural(n, "%1:n% file", "%1:n% files").substr(6) + " ";
  EXPECT_EQ(ru, "файл файлов файла файла файла файла файлов файлов файлов файлов файлов файлов "
                "файлов файлов ");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("WARNING: language file line lonely====одинокий is "
                                              "provided in genitive but not plural case.\n"));
  auto pl = [](int n) { return UTL_translate_plural(n, "cat", "cats"); };
  load(3, "STRING cat====кошка\nSTRING cats====кошек\n");  // no genitive: the plural
  EXPECT_EQ(pl(3), "кошек");
  load(1, "STRING cat====chat\nSTRING cats====chats\n");
  EXPECT_EQ(pl(0) + " " + pl(-3) + " " + pl(2), "chat chat chats");
  load(2, "STRING cat====Katze\nSTRING cats====Katzen\n");
  EXPECT_EQ(pl(0) + " " + pl(1) + " " + pl(2), "Katzen Katze Katzen");
  load(4, "STRING cat====gatto\nSTRING cats====gatti\n");
  EXPECT_EQ(pl(0) + " " + pl(1), "gatti gatto");
  load(5, "STRING cat====gato\nSTRING cats====gatos\n");
  EXPECT_EQ(pl(0) + " " + pl(1), "gatos gato");
  UTL_translate_clear();
  EXPECT_EQ(pl(0) + " " + pl(1), "cats cat");
}

TEST_F(Localize, MissingStringsAreLoggedOncePerLoad) {
  const char* argv[] = {"prog", "--missing_strings"};
  cmdline.init_unix(2, argv);
  load(1, "STRING Yes====Oui\n");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(UTL_translate_string("Two\nlines\r", 0), "Two\nlines\r");
  EXPECT_EQ(UTL_translate_string("Yes", 0), "Oui");
  const std::string log = fly_test::log_text(), line = "STRING Two\\nlines\\r====Two\\nlines\\r\n";
  ASSERT_NE(log.find(line), std::string::npos);
  EXPECT_EQ(log.find(line, log.find(line) + 1), std::string::npos);  // once
  EXPECT_EQ(log.find("STRING Yes"), std::string::npos);
  UTL_translate_clear();  // without a file nothing is logged
  UTL_translate_string("Never logged", 0);
  EXPECT_EQ(fly_test::log_text().find("Never logged"), std::string::npos);
}

TEST_F(Localize, Placeholders) {
  const std::string a = "A", b = "B", c = "C", d = "D", e = "E", f = "F";
  EXPECT_EQ(UTL_string_sub("%2:y% before %1:x%", a, b), "B before A");
  EXPECT_EQ(UTL_string_sub("%1:x%, %1:x% and %2:y%", a), "A, A and %2:y%");
  EXPECT_EQ(UTL_string_sub("%7:x% %0:x% %-1:x% %x:y%", a), "%7:x% %0:x% %-1:x% %x:y%");
  EXPECT_EQ(UTL_string_sub("unclosed %1:x", a), "unclosed %1:x");
  EXPECT_EQ(UTL_string_sub("%99999999999999999999:x% %1:y%", a), "%99999999999999999999:x% A");
  EXPECT_EQ(UTL_string_sub("%1:x% %2:y%", std::string("%2:y%"), b), "%2:y% B");  // not refilled
  EXPECT_EQ(UTL_string_sub("%1:a%%2:b%%3:c%%4:d%%5:e%%6:f%", a, b, c, d, e, f), "ABCDEF");
  EXPECT_EQ(UTL_string_sub("%3:c%%4:d%", a, b, c), "C%4:d%");
  std::vector<int> nums;
  UTL_string_check("%2:b% then %1:a%, %12:big% %0:z% %1:a% %3:open", nums);
  EXPECT_EQ(nums, (std::vector<int>{2, 1, 12, 1}));
}

TEST_F(Localize, DefaultLanguage) {
  struct { const char *lang_option, *language, *lc_all, *lang; int want; } cases[] = {
      {"de", "fr", nullptr, nullptr, 2},
      {"xx", "en-GB:fr", nullptr, nullptr, 1},  // a region form names nothing
      {nullptr, "ru_RU:fr", "it_IT", "de_DE.UTF-8", 3},
      {nullptr, "", nullptr, "POSIX", -1},
      {nullptr, nullptr, "C.UTF-8", "de_DE", -1},  // LC_ALL rules though it names none
  };
  for (const auto& c : cases) {
    cmdline.clear();
    const std::string opt = std::string("--lang=") + (c.lang_option ? c.lang_option : "");
    const char* argv[] = {"prog", opt.c_str()};
    cmdline.init_unix(c.lang_option ? 2 : 1, argv);
    const char* vars[] = {"LANGUAGE", "LC_ALL", "LANG", "LC_MESSAGES"};
    const char* vals[] = {c.language, c.lc_all, c.lang, nullptr};
    for (int i = 0; i < 4; ++i) vals[i] ? setenv(vars[i], vals[i], 1) : unsetenv(vars[i]);
    EXPECT_EQ(UTL_get_default_language(), c.want) << &c - cases;
  }
}

