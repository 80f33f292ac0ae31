#include "UTL/cmdline.h"

#include "UTL/cmnd.h"
#include "support/test_util.h"

namespace {

struct Cmdline : ::testing::Test {
  void SetUp() override { cmdline.clear(); }
  void TearDown() override { cmdline.clear(); }
  void init(std::vector<const char*> args) {
    args.insert(args.begin(), "prog");
    cmdline.init_unix(static_cast<int>(args.size()), args.data());
  }
};

TEST_F(Cmdline, LastValueWinsAndTheRepeatIsLogged) {
  init({"--lang=fr", "--lang=de"});
  EXPECT_EQ(cmdline.get_option("--lang"), "de");
  std::string log = fly_test::log_text();
  EXPECT_NE(log.find("WARNING: command line option --lang=deused twice.\n"), std::string::npos);
  EXPECT_NE(log.find("     '--lang'='fr'\n"), std::string::npos);
}

int count_of(const std::string& s, const std::string& what) {
  int n = 0;
  for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
  return n;
}

TEST_F(Cmdline, EveryRepeatWarnsBeforeItReplaces) {
  init({"--x=1", "--x", "--x=3", "--y"});
  EXPECT_EQ(cmdline.get_option("--x"), "3");
  const std::string log = fly_test::log_text();
  EXPECT_EQ(count_of(log, "used twice."), 2);
  // The warning names the new value and comes before that item's own line.
  EXPECT_NE(log.find("     '--x'='1'\n"
                     "WARNING: command line option --x=used twice.\n"
                     "     '--x'\n"
                     "WARNING: command line option --x=3used twice.\n"
                     "     '--x'='3'\n"
                     "     '--y'\n"),
            std::string::npos)
      << log;
}

TEST_F(Cmdline, PreferenceOverrides) {
  init({"--pref:_lang=3", "--pref:_set_res=", "--pref:name=a b=c", "--pref:_lang=4"});
  EXPECT_EQ(cmdline.get_option("--pref:_lang"), "4");
  EXPECT_EQ(cmdline.has_option("--pref:_set_res"), 1);
  EXPECT_EQ(cmdline.get_option("--pref:_set_res"), "");
  EXPECT_EQ(cmdline.get_option("--pref:name"), "a b=c");
  EXPECT_EQ(cmdline.has_option("--pref:"), 0);
  EXPECT_EQ(cmdline.has_option("--pref"), 0);
  EXPECT_NE(fly_test::log_text().find("WARNING: command line option --pref:_lang=4used twice.\n"),
            std::string::npos);
}

TEST_F(Cmdline, SplitAtFirstEqualsAndEmptyValues) {
  init({"--pref:a=b=c", "--flag=", "--bare", "=odd"});
  EXPECT_EQ(cmdline.get_option("--pref:a"), "b=c");
  EXPECT_EQ(cmdline.has_option("--flag"), 1);
  EXPECT_EQ(cmdline.get_option("--flag"), "");
  EXPECT_EQ(cmdline.has_option("--bare"), 1);
  EXPECT_EQ(cmdline.has_option(""), 1);
  EXPECT_EQ(cmdline.get_option(""), "odd");
  EXPECT_EQ(cmdline.has_option("--missing"), 0);
  EXPECT_EQ(cmdline.has_option("--BARE"), 0);
  EXPECT_EQ(fly_test::log_text().find("'--bare''"), std::string::npos);
}

TEST_F(Cmdline, WindowsStyleLineSkipsBlanksAndEmptyKeys) {
  cmdline.init_win("   --a=1   --b  =skipped   --c=3  ");
  EXPECT_EQ(cmdline.get_option("--a"), "1");
  EXPECT_EQ(cmdline.has_option("--b"), 1);
  EXPECT_EQ(cmdline.get_option("--b"), "");
  EXPECT_EQ(cmdline.get_option("--c"), "3");
  EXPECT_EQ(cmdline.has_option(""), 0);
}

TEST_F(Cmdline, InformationalOptionsEndTheProgram) {
  EXPECT_EXIT(init({"--help"}), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(init({"--version", "--help"}), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(init({"-h"}), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(init({"--lang=fr", "--cmnds=all"}), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(cmdline.init_win("--a=1 --version"), ::testing::ExitedWithCode(0), "");
  // Anything else returns to the caller.
  init({"--help_me", "--versions", "-H"});
  EXPECT_EQ(cmdline.has_option("--help_me"), 1);
}

TEST_F(Cmdline, InformationalOutput) {
  std::string out;
  // Run the real program so standard output can be read.
  std::string exe = std::string(FLY_BUILD_DIR) + "/app/flyvane_installer";
  EXPECT_EQ(fly_test::run("'" + exe + "' --help", &out), 0);
  EXPECT_EQ(out.rfind("Usage: Flyvane [options...]", 0), 0u);
  EXPECT_NE(out.find("OPTIONS TO DISABLE HARDWARE ACCELERATION"), std::string::npos);
  EXPECT_EQ(fly_test::run("'" + exe + "' --version --help", &out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(fly_test::run("'" + exe + "' --cmnds=all", &out), 0);
  EXPECT_NE(out.find("sim/operation/quit"), std::string::npos);
  EXPECT_NE(out.find("Quit the simulation.\n"), std::string::npos);
  EXPECT_EQ(fly_test::run("'" + exe + "' --cmnds", &out), 0);
  EXPECT_EQ(out, "sim/\n");
  EXPECT_EQ(fly_test::run("'" + exe + "' --cmnds=sim/", &out), 0);
  EXPECT_EQ(out, "none/\noperation/\n");
  EXPECT_EQ(fly_test::run("'" + exe + "' --cmnds=sim/operation/", &out), 0);
  EXPECT_EQ(out, "quit\n");
  EXPECT_EQ(fly_test::run("'" + exe + "' --cmnds=nothing/", &out), 0);
  EXPECT_EQ(out, "");
  char line[128];
  snprintf(line, sizeof(line), "%-50s %s\n", "sim/none/none", "Do nothing at all!");
  EXPECT_EQ(fly_test::run("'" + exe + "' --cmnds=all", &out), 0);
  EXPECT_EQ(out.rfind(line, 0), 0u) << out;
  EXPECT_EQ(fly_test::run("'" + exe + "' -h", &out), 0);
  EXPECT_EQ(out, std::string(UTL_usage_text) + "\n");
}

TEST_F(Cmdline, ProgramStartsAndWritesItsLog) {
  std::string exe = std::string(FLY_BUILD_DIR) + "/app/flyvane_installer";
  EXPECT_EQ(fly_test::run("'" + exe + "' --pref:_lang=2", nullptr), 0);
  // HOME is the sandbox's; the log lands on its Desktop.
  const std::string log =
      fly_test::read_file(fly_test::sandbox() + "home/Desktop/Flyvane Installer Log.txt");
  EXPECT_EQ(log.rfind("Installer log.txt for Flyvane DVD Installer 2.05r2 compiled on ", 0), 0u)
      << log;
  EXPECT_NE(log.find("\nSkysuite folder:'', case sensitive="), std::string::npos) << log;
  EXPECT_NE(log.find("     '--pref:_lang'='2'\n"), std::string::npos) << log;
}

}  // namespace
