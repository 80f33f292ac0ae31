// Helpers shared by every test: a private sandbox per test process, file helpers, the log's text
// and the alert recorder.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fly_test {

// The process's private folder (ends in "/"); HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME and TMPDIR
// point inside it and its "work" folder is the working folder.
const std::string& sandbox();
std::string read_file(const std::string& path);
// Makes the missing parent folders first.
void write_file(const std::string& path, const std::string& data);
bool file_exists(const std::string& path);
// Runs a shell command: its exit status, its output in *out when given.
int run(const std::string& cmd, std::string* out = nullptr);
// Runs a shell command that must succeed: its output less the final line end.
std::string sh(const std::string& cmd);
// md5sum of a file, or of a link's text.
std::string md5sum_of(const std::string& path);
// n bytes that do not compress, the same for the same seed.
std::string pattern(size_t n, uint32_t seed);
// Everything logged so far (flushes the calling thread's lines).
std::string log_text();
// Ends the test process as failed, naming what, unless it is over within
// seconds: a deadlock fails its test instead of hanging the suite.
void fail_after(int seconds, const char* what);

struct alert_record {  // the alert's arguments
  int window;
  std::string s1, s2, s3, s4;
  int type;  // 1 warning, 2 fatal
  std::string file;
  int line;
};
// Alerts raised on the main thread since the last clear.
std::vector<alert_record>& alerts();
void clear_alerts();

// Thrown in place of a fatal alert, so the test can go on.
struct fatal_alert { alert_record rec; };
// While one lives, fatal alerts are expected; otherwise they also fail the test.
struct expect_fatal { expect_fatal(); ~expect_fatal(); };

}  // namespace fly_test

using ::testing::HasSubstr;

// Runs stmt and expects a fatal alert whose first line holds text.
#define EXPECT_FATAL_ALERT(stmt, text)                                                       \
  do {                                                                                       \
    fly_test::expect_fatal fly_expect_fatal_scope;                                           \
    try {                                                                                    \
      stmt;                                                                                  \
      ADD_FAILURE() << "no fatal alert from " #stmt;                                         \
    } catch (const fly_test::fatal_alert& fly_fa) {                                          \
      EXPECT_NE(fly_fa.rec.s1.find(text), std::string::npos) << "alert: " << fly_fa.rec.s1; \
    }                                                                                        \
  } while (0)
