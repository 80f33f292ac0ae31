#include "Linux/lin_zenity.h"

#include <clocale>
#include <cstdlib>

#include "support/test_util.h"

namespace {
using env_list = std::vector<std::string>;

// "xx_YY" is a locale no system has.
const char* const kMissing = "xx_YY.UTF-8";
const env_list kSwitched = {"LC_ALL=C.UTF-8", "LANG=C.UTF-8"};

env_list with(env_list a, const env_list& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
}  // namespace

TEST(DialogLocale, AUsableUtf8LocaleIsKeptAndAnyOtherBecomesCUtf8) {
  const std::string missing = std::string("LANG=") + kMissing;
  const std::pair<env_list, env_list> cases[] = {
      // In force and UTF-8: nothing changes, LC_ALL ruling over LANG.
      {{"HOME=/h", "LANG=C.UTF-8"}, {"HOME=/h", "LANG=C.UTF-8"}},
      {{"LC_ALL=C.UTF-8", missing}, {"LC_ALL=C.UTF-8", missing}},
      // The language asked for stays, for the dialog's translations; its
      // codeset goes, its modifier stays.
      {{"HOME=/h", missing}, with({"HOME=/h"}, with(kSwitched, {"LANGUAGE=xx_YY"}))},
      {{"LANG=xx_YY.ISO-8859-1@euro"}, with(kSwitched, {"LANGUAGE=xx_YY@euro"})},
      // One category the system lacks fails them all.
      {{"LANG=C.UTF-8", "LC_MESSAGES=xx_YY"},
       with({"LC_MESSAGES=xx_YY"}, with(kSwitched, {"LANGUAGE=xx_YY"}))},
      {{"LANG=C.UTF-8", "LC_PAPER=xx_YY"}, with({"LC_PAPER=xx_YY"}, kSwitched)},
      // An ASCII locale, or none: C names no language.
      {{"LC_ALL=C", "LANG=C.UTF-8"}, kSwitched},
      {{}, kSwitched},
      {{"LANG="}, kSwitched},
      // A language list of the user's own is kept as it is.
      {{"LANGUAGE=fr:de", missing}, with(kSwitched, {"LANGUAGE=fr:de"})},
  };
  for (const auto& [in, want] : cases) {
    std::string shown;
    for (const std::string& e : in) shown += e + " ";
    EXPECT_EQ(LIN_dialog_environment(in), want) << shown;
  }
}

TEST(DialogLocale, TheChildGetsItAndTheProgramKeepsItsOwn) {
  setenv("LANG", kMissing, 1);
  unsetenv("LC_ALL");
  unsetenv("LANGUAGE");
  setenv("FLY_KEPT", "yes", 1);
  const std::string before = setlocale(LC_ALL, nullptr);
  std::string out;
  int err = 0;
  ASSERT_EQ(LIN_run_capture({"sh", "-c", "echo \"$LC_ALL|$LANG|$LANGUAGE|$FLY_KEPT\""}, &out,
                            &err),
            0);
  EXPECT_EQ(out, "C.UTF-8|C.UTF-8|xx_YY|yes\n");
  EXPECT_STREQ(getenv("LANG"), kMissing);
  EXPECT_EQ(getenv("LC_ALL"), nullptr);
  EXPECT_EQ(setlocale(LC_ALL, nullptr), before);
}
