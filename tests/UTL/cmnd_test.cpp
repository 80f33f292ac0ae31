#include "UTL/cmnd.h"

#include "GenH/shell.h"
#include "support/test_util.h"

using strings = std::vector<std::string>;

TEST(Cmnd, LookupPathsCompletionAndQuit) {
  cmnd_class c;
  c.alias_cmd("sim/none/none", 1);  // an alias wins over a path of the same name
  EXPECT_EQ(c.get_cmnd_by_name("sim/none/none"), 1);
  EXPECT_EQ(c.get_cmnd_by_name("sim/operation/Quit"), 0);  // exact match only
  c.add_cmd("sim/operation/pause", "Pause.");
  EXPECT_EQ(c.add_cmd("sim/operation/pause", "Again."), 3);
  EXPECT_EQ(c.get_cmnd_by_name("sim/operation/pause"), 2);  // the first of equal paths
  strings out{"junk"};
  c.get_cmds_in_path("sim/", out);
  EXPECT_EQ(out, (strings{"none/", "operation/"}));
  c.get_cmds_in_path("sim/operation/quit", out);  // a whole path has nothing below it
  EXPECT_TRUE(out.empty());
  c.get_cmnds_by_filter("QUIT SIM", out);
  EXPECT_EQ(out, (strings{"sim/operation/quit"}));
  std::string t = "sim/operation/p";
  EXPECT_EQ(c.tab_complete_cmnd(t), 1);
  EXPECT_EQ(t, "sim/operation/pause");
  c.release_one(0);
  EXPECT_EQ(c.press_count(0), 0);  // never below 0
  c.single_press(1);
  EXPECT_EQ(app_done, 1);
}

static int calls_a = 0;
static void fn_a() { ++calls_a; }
static UTL_remote_cmd cmd_a("Test A", fn_a);
static float outside = 5.0f;
static UTL_stat stat_outside(&outside, "test/outside", stat_frame);
static UTL_stat stat_mem("test/mem", stat_memory, 7.0f);

TEST(Registries, RemoteCommandsAndStatisticsMadeBeforeMain) {
  UTL_remote_cmd::invoke(nullptr, cmd_a.id);
  UTL_remote_cmd::invoke(nullptr, 100000);  // no such id: nothing
  EXPECT_EQ(calls_a, 1);
  EXPECT_TRUE(UTL_stat::registered(stat_frame).empty());  // they wait for init_stats
  UTL_stat::init_stats();
  EXPECT_EQ(UTL_stat::registered(stat_frame).count(&stat_outside), 1u);
  UTL_stat late("test/late", stat_frame, 1.0f);  // registers at once now
  UTL_stat::reset_stats(stat_frame);
  EXPECT_EQ(outside + late.value, 0.0f);
  EXPECT_EQ(stat_mem.value, 7.0f);  // another kind is left alone
}
