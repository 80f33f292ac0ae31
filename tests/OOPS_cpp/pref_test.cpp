#include "OOPS_cpp/pref.h"

#include "Installer-f/stg.h"
#include "OOPS_cpp/http.h"
#include "UTL/cmdline.h"
#include "support/test_util.h"

using fly_test::read_file;

const char k_all_keys[] =
    "I\n92001 version\n_stream_count 3\n_log_actions 1\n_proxy_host proxy.example.lan\n"
    "_proxy_port 8080\n_proxy_port_int 8080\n_get_beta 1\n";

static std::string file() { return fly_test::sandbox() + "home/.config/Flyvane Installer.prf"; }

static void set(int streams, int log, const char* host, const char* port, int port_int, int beta) {
  stg.stream_count = streams;
  stg.log_actions = log;
  http.proxy_host = host;
  http.proxy_port_text = port;
  http.proxy_port = port_int;
  stg.get_beta = beta;
}

static void read_body(const std::string& body, std::vector<const char*> options = {}) {
  options.insert(options.begin(), "prog");
  cmdline.init_unix(static_cast<int>(options.size()), options.data());
  fly_test::write_file(file(), "I\n92001 version\n" + body);
  pref.IO_set(11, 0);
  cmdline.clear();
}

TEST(Pref, RoundTripOfEveryKey) {
  set(3, 1, "proxy.example.lan", "8080", 8080, 1);
  pref.IO_set(11, 1);
  EXPECT_EQ(read_file(file()), k_all_keys);
  set(0, 0, "", "", 0, 0);
  pref.IO_set(11, 0);
  pref.IO_set(11, 1);
  EXPECT_EQ(read_file(file()), k_all_keys);
}

TEST(Pref, CommandLineOverridesTheFile) {
  http.proxy_port_text = "keep?";
  read_body("_stream_count 3\n_proxy_host file.lan\n_proxy_port 3128\n",
            {"--pref:_stream_count=4", "--pref:_get_beta=1", "--pref:_proxy_port"});
  EXPECT_EQ(stg.stream_count, 4);
  EXPECT_EQ(stg.get_beta, 1);  // the file lacks the key
  EXPECT_EQ(http.proxy_host, "file.lan");
  EXPECT_EQ(http.proxy_port_text, "");  // an empty override is a value too
}

TEST(Pref, MissingForeignOrDamagedFilesKeepTheDefaultsAndLoseNothing) {
  set(3, 1, "", "8080", 8080, 1);
  remove(file().c_str());
  pref.IO_set(11, 0);  // no file at all
  for (const std::string head : {"", "I\n92002 version\n", "X\n92001 version\n"}) {
    fly_test::write_file(file(), head + "_log_actions 0\n");
    pref.IO_set(11, 0);
    EXPECT_EQ(stg.log_actions, 1) << head;
  }
  read_body(std::string("_log_actions 0\n\x01\x02 junk\n_get_beta\n_proxy_host\0bad\n", 49) +
            "_stream_count 2\n_proxy_port_int 99999999999999999999");
  pref.IO_set(11, 1);
  EXPECT_EQ(read_file(file()), "I\n92001 version\n_stream_count 2\n_log_actions 0\n_proxy_port 8080"
                               "\n_proxy_port_int 2147483647\n_get_beta 0\n");
}

TEST(Pref, StreamCountIsHeldToWhatTheSchedulerRuns) {
  const struct { const char* stored; int want; } cases[] = {
      {"-1", 0}, {"-2147483648", 0}, {"4", 4}, {"5", 4}, {"99999999999", 4}};
  for (const auto& c : cases) {
    read_body(std::string("_stream_count ") + c.stored + "\n");
    EXPECT_EQ(stg.stream_count, c.want) << c.stored;
  }
  read_body("_stream_count 2\n", {"--pref:_stream_count=-3"});
  EXPECT_EQ(stg.stream_count, 0);
}

TEST(Pref, TextValuesNeverBreakTheirLine) {
  set(1, 0, "evil\n_stream_count 4\r\n", "\r\n", 0, 0);  // the port text is emptied: not written
  pref.IO_set(11, 1);
  EXPECT_EQ(read_file(file()), "I\n92001 version\n_stream_count 1\n_log_actions 0\n"
                               "_proxy_host evil_stream_count 4\n_proxy_port_int 0\n_get_beta 0\n");
}

TEST(Pref, WithoutAPreferencesFolderTheFileGoesBesideTheProgram) {
  fly_test::write_file(fly_test::sandbox() + "blocker", "x");
  setenv("XDG_CONFIG_HOME", (fly_test::sandbox() + "blocker/config").c_str(), 1);
  set(3, 1, "proxy.example.lan", "8080", 8080, 1);
  pref.IO_set(11, 1);
  EXPECT_EQ(read_file("Output/preferences/Flyvane Installer.prf"), k_all_keys);
}
