#include "OOPS_cpp/pref.h"

#include <climits>
#include <cstdlib>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "Installer-f/stg.h"
#include "OOPS_cpp/http.h"
#include "UTL/cmdline.h"
#include "support/test_util.h"

namespace {

const char k_header[] = "I\n92001 version\n";

struct Pref : ::testing::Test {
  void SetUp() override {
    cmdline.clear();
    reset();
  }
  void TearDown() override { cmdline.clear(); }

  static std::string file() { return fly_test::sandbox() + "home/.config/Flyvane Installer.prf"; }
  static void reset() {
    stg.stream_count = stg.log_actions = stg.get_beta = 0;
    http.proxy_host.clear();
    http.proxy_port_text.clear();
    http.proxy_port = 0;
  }
  static void set_all() {
    stg.stream_count = 3;
    stg.log_actions = 1;
    http.proxy_host = "proxy.example.lan";
    http.proxy_port_text = "8080";
    http.proxy_port = 8080;
    stg.get_beta = 1;
  }
  void options(std::vector<const char*> args) {
    args.insert(args.begin(), "prog");
    cmdline.init_unix(static_cast<int>(args.size()), args.data());
  }
  void read_body(const std::string& body, const std::string& header = k_header) {
    fly_test::write_file(file(), header + body);
    pref.IO_set(11, 0);
  }
};

const char k_all_keys[] =
    "I\n92001 version\n"
    "_stream_count 3\n"
    "_log_actions 1\n"
    "_proxy_host proxy.example.lan\n"
    "_proxy_port 8080\n"
    "_proxy_port_int 8080\n"
    "_get_beta 1\n";

TEST_F(Pref, RoundTripOfEveryKey) {
  set_all();
  pref.IO_set(11, 1);
  EXPECT_EQ(fly_test::read_file(file()), k_all_keys);
  reset();
  pref.IO_set(11, 0);
  EXPECT_EQ(stg.stream_count, 3);
  EXPECT_EQ(stg.log_actions, 1);
  EXPECT_EQ(http.proxy_host, "proxy.example.lan");
  EXPECT_EQ(http.proxy_port_text, "8080");
  EXPECT_EQ(http.proxy_port, 8080);
  EXPECT_EQ(stg.get_beta, 1);
}

TEST_F(Pref, ReadingRules) {
  read_body(
      "_stream_count 3\n"
      "\r\n\n   \t\n"
      "   _log_actions\t -12abc\r\n"
      "_proxy_host my proxy host  \n"
      "_proxy_port_int 99999999999999999999\n"
      "_get_beta yes\n"
      "_stream_count 2");
  EXPECT_EQ(stg.stream_count, 2);  // the last occurrence wins
  EXPECT_EQ(stg.log_actions, -12);
  EXPECT_EQ(http.proxy_host, "my proxy host  ");
  EXPECT_EQ(http.proxy_port, INT_MAX);  // held to int instead of overflowing
  EXPECT_EQ(stg.get_beta, 0);           // not a number
  EXPECT_EQ(http.proxy_port_text, "");
}

TEST_F(Pref, CommandLineOverridesTheFile) {
  options({"--pref:_stream_count=4", "--pref:_get_beta=1", "--pref:_proxy_host=cli.lan",
           "--pref:_proxy_port"});
  http.proxy_port_text = "keep?";
  read_body("_stream_count 3\n_proxy_host file.lan\n_proxy_port 3128\n");
  EXPECT_EQ(stg.stream_count, 4);
  EXPECT_EQ(stg.get_beta, 1);  // the file lacks the key
  EXPECT_EQ(http.proxy_host, "cli.lan");
  EXPECT_EQ(http.proxy_port_text, "");  // an empty override is a value too
}

TEST_F(Pref, MissingOrForeignFilesKeepTheDefaults) {
  const std::string foreign[] = {
      "",
      "I\n92002 version\n_stream_count 3\n",
      "I\n900 version\n_stream_count 3\n",
      "X\n92001 version\n_stream_count 3\n",
      std::string("i\x61\x67\x01\x00_stream_count 3\n", 21),  // binary, 92001
  };
  pref.IO_set(11, 0);  // no file at all
  EXPECT_EQ(stg.stream_count, 0);
  for (const std::string& f : foreign) {
    stg.stream_count = 1;
    fly_test::write_file(file(), f);
    pref.IO_set(11, 0);
    EXPECT_EQ(stg.stream_count, 1) << f;
  }
}

TEST_F(Pref, DamagedFileLosesNothingOnTheNextWrite) {
  set_all();
  read_body(std::string("_log_actions 0\n\x01\x02 junk\n_get_beta\n_proxy_host\0bad\n", 49) +
            "_stream_count 2\n_proxy_port 81");
  EXPECT_EQ(stg.log_actions, 0);
  EXPECT_EQ(stg.get_beta, 0);  // a key without a value reads as 0
  EXPECT_EQ(http.proxy_host, "");
  EXPECT_EQ(stg.stream_count, 2);
  EXPECT_EQ(http.proxy_port_text, "81");
  EXPECT_EQ(http.proxy_port, 8080);  // not in the file: kept

  pref.IO_set(11, 1);
  const std::string written = fly_test::read_file(file());
  EXPECT_EQ(written,
            "I\n92001 version\n_stream_count 2\n_log_actions 0\n_proxy_port 81\n"
            "_proxy_port_int 8080\n_get_beta 0\n");
  reset();
  pref.IO_set(11, 0);
  EXPECT_EQ(stg.stream_count, 2);
  EXPECT_EQ(http.proxy_port, 8080);
  EXPECT_EQ(http.proxy_port_text, "81");
}

TEST_F(Pref, StreamCountIsHeldToWhatTheSchedulerRuns) {
  struct {
    const char* stored;
    int want;
  } cases[] = {{"-1", 0}, {"-2147483648", 0}, {"0", 0}, {"4", 4}, {"5", 4}, {"99999999999", 4}};
  for (const auto& c : cases) {
    read_body(std::string("_stream_count ") + c.stored + "\n");
    EXPECT_EQ(stg.stream_count, c.want) << c.stored;
  }
  options({"--pref:_stream_count=-3"});
  read_body("_stream_count 2\n");
  EXPECT_EQ(stg.stream_count, 0);
}

TEST_F(Pref, TextValuesNeverBreakTheirLine) {
  http.proxy_host = "evil\n_stream_count 4\r\n";
  http.proxy_port_text = "\r\n";  // nothing left, so not written at all
  stg.stream_count = 1;
  pref.IO_set(11, 1);
  EXPECT_EQ(fly_test::read_file(file()),
            "I\n92001 version\n_stream_count 1\n_log_actions 0\n"
            "_proxy_host evil_stream_count 4\n_proxy_port_int 0\n_get_beta 0\n");
  reset();
  pref.IO_set(11, 0);
  EXPECT_EQ(stg.stream_count, 1);
  EXPECT_EQ(http.proxy_host, "evil_stream_count 4");
}

TEST_F(Pref, WithoutAPreferencesFolder) {
  // A config folder that cannot be made: the file goes beside the program.
  fly_test::write_file(fly_test::sandbox() + "blocker", "x");
  setenv("XDG_CONFIG_HOME", (fly_test::sandbox() + "blocker/config").c_str(), 1);
  EXPECT_EQ(pref_class::path_for(11), "Output/preferences/Flyvane Installer.prf");
  set_all();
  pref.IO_set(11, 1);
  EXPECT_EQ(fly_test::read_file("Output/preferences/Flyvane Installer.prf"), k_all_keys);
  reset();
  pref.IO_set(11, 0);
  EXPECT_EQ(stg.stream_count, 3);
}

TEST_F(Pref, DisplayFileChecksTheScreenSize) {
  mnw.x_res = 1280;
  mnw.y_res = 800;
  mnw.language = 3;
  mnw.prefs_found = 0;
  pref.IO_set(10, 1);
  const std::string text = fly_test::read_file("Output/preferences/Res Skysuite.prf");
  EXPECT_EQ(text.rfind("I\n92001 version\n_x_res_req_PLN 0\n", 0), 0u) << text;
  EXPECT_NE(text.find("_x_res_req_ALL 1280\n_y_res_req_ALL 800\n"), std::string::npos);
  EXPECT_NE(text.find("_lang 3\n"), std::string::npos);
  EXPECT_NE(text.find("_prefs_found 1\n"), std::string::npos);

  struct {
    const char* body;
    int x, y, lang;
  } cases[] = {
      {"_x_res_req_ALL 500\n_y_res_req_ALL 700\n_lang 2\n", 1024, 700, 2},
      {"_x_res_req_ALL 1600\n_y_res_req_ALL 10000\n_lang 6\n", 1600, 768, -1},
      {"_lang -1\n", 1600, 768, -1},  // the stored sizes live on between reads
  };
  for (const auto& c : cases) {
    fly_test::write_file("Output/preferences/Res Skysuite.prf", std::string(k_header) + c.body);
    pref.IO_set(10, 0);
    EXPECT_EQ(mnw.x_res, c.x) << c.body;
    EXPECT_EQ(mnw.y_res, c.y) << c.body;
    EXPECT_EQ(mnw.language, c.lang) << c.body;
  }

  pref.IO_set(12, 1);
  EXPECT_EQ(fly_test::read_file("Output/preferences/Cal Flyvane.prf"), k_header);
  EXPECT_EQ(pref.IO_sta(1, 2, "x"), 0);
}

TEST_F(Pref, CloseDownWritesThePreferences) {
  set_all();
  MACIBM_finishup(1);
  EXPECT_EQ(fly_test::read_file(file()), k_all_keys);
}

TEST_F(Pref, CloseDownSkipsThemInTheFrameRateTest) {
  set_all();
  MACIBM_finishup(0);  // the fatal alert's close-down
  EXPECT_FALSE(fly_test::file_exists(file()));
  options({"--fps_test=101"});
  MACIBM_finishup(1);
  EXPECT_FALSE(fly_test::file_exists(file()));
}

}  // namespace
