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
}

}  // namespace
