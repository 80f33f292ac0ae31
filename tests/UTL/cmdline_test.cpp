#include "UTL/cmdline.h"

#include "support/test_util.h"

struct Cmdline : ::testing::Test {
  void init(std::vector<const char*> args) {
    args.insert(args.begin(), "prog");
    cmdline.init_unix(static_cast<int>(args.size()), args.data());
  }
};

TEST_F(Cmdline, EveryRepeatWarnsBeforeItReplaces) {
  init({"--x=1", "--x", "--x=3", "--y"});
  EXPECT_EQ(cmdline.get_option("--x"), "3");
  // The warning names the new value and comes before that item's own line.
  EXPECT_THAT(fly_test::log_text(), HasSubstr("     '--x'='1'\n"
                                              "WARNING: command line option --x=used twice.\n"
                                              "     '--x'\n"
                                              "WARNING: command line option --x=3used twice.\n"
                                              "     '--x'='3'\n"
                                              "     '--y'\n"));
}

TEST_F(Cmdline, PreferenceEntriesSplitAtTheFirstEquals) {
  init({"--pref:_lang=3", "--pref:_set_res=", "--pref:name=a b=c", "--pref:_lang=4", "=odd"});
  EXPECT_EQ(cmdline.get_option("--pref:_lang"), "4");
  EXPECT_EQ(cmdline.has_option("--pref:_set_res"), 1);
  EXPECT_EQ(cmdline.get_option("--pref:name"), "a b=c");
  EXPECT_EQ(cmdline.has_option("--pref:"), 0);
  EXPECT_EQ(cmdline.get_option(""), "odd");
}

TEST_F(Cmdline, InformationalOptionsExitWithZero) {
  for (const std::vector<const char*>& args : std::initializer_list<std::vector<const char*>>{
           {"--help"}, {"-h"}, {"--version", "--help"}, {"--lang=fr", "--cmnds=all"}})
    EXPECT_EXIT(init(args), ::testing::ExitedWithCode(0), "") << args[0];
  EXPECT_EXIT(cmdline.init_win("--a=1 --version"), ::testing::ExitedWithCode(0), "");
  init({"--help_me", "--versions", "-H"});  // anything else returns
}

TEST_F(Cmdline, ProgramPrintsItsInformationAndWritesItsLog) {
  const std::string exe = "'" + std::string(FLY_BUILD_DIR) + "/app/flyvane_installer' ";
  std::string out;
  EXPECT_EQ(fly_test::run(exe + "-h", &out), 0);
  EXPECT_EQ(out, std::string(UTL_usage_text) + "\n");
  // The window opens offscreen and the program stops after two frames (a
  // known language: the first start's language question would wait for a user).
  EXPECT_EQ(fly_test::run("LANGUAGE=en SDL_VIDEODRIVER=offscreen FLY_QUIT_AFTER_FRAMES=2 " + exe +
                              "--pref:_lang=2 2>&1",
                          nullptr),
            0);
  const std::string log =
      fly_test::read_file(fly_test::sandbox() + "home/Desktop/Flyvane Installer Log.txt");
  EXPECT_EQ(log.rfind("Installer log.txt for Flyvane DVD Installer 2.05r2 compiled on ", 0), 0u);
  EXPECT_NE(log.find("     '--pref:_lang'='2'\n"), std::string::npos) << log;
}
