// The parts of the scripted-input hook that need no window: reading a
// script line, key names and the trace's quoting.
#include "GenH/script.h"

#include <gtest/gtest.h>

TEST(ScriptLines, SplitIntoCommandAndArgumentAndSkipComments) {
  const struct {
    const char* line;
    int ok;
    const char* cmd;
    const char* arg;
  } cases[] = {
      {"click Run Flyvane Now", 1, "click", "Run Flyvane Now"},
      {"  wait  dvd_start 20 \r", 1, "wait", "dvd_start 20"},
      {"quit", 1, "quit", ""},
      {"\ttype a b", 1, "type", "a b"},
      {"# a comment", 0, "", ""},
      {"   ", 0, "", ""},
      {"", 0, "", ""},
  };
  for (const auto& c : cases) {
    std::string cmd, arg;
    ASSERT_EQ(MACIBM_script_parse(c.line, cmd, arg), c.ok) << c.line;
    if (!c.ok) continue;
    EXPECT_EQ(cmd, c.cmd) << c.line;
    EXPECT_EQ(arg, c.arg) << c.line;
  }
}

TEST(ScriptLines, KeyNamesAreSdlKeyCodes) {
  EXPECT_EQ(MACIBM_script_key_code("Return"), 13);
  EXPECT_EQ(MACIBM_script_key_code("Tab"), 9);
  EXPECT_EQ(MACIBM_script_key_code("Escape"), 27);
  EXPECT_EQ(MACIBM_script_key_code("Backspace"), 8);
  EXPECT_EQ(MACIBM_script_key_code("Left"), (1 << 30) | 80);
  EXPECT_EQ(MACIBM_script_key_code("return"), 0);  // names are exact
  EXPECT_EQ(MACIBM_script_key_code("F13"), 0);
}

TEST(TraceQuoting, KeepsEachItemOnOneLine) {
  EXPECT_EQ(MACIBM_trace_quote("a \"b\"\nc\\d"), "a \\\"b\\\"\\nc\\\\d");
  EXPECT_EQ(MACIBM_trace_quote(""), "");
}
