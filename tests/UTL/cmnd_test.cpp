#include "UTL/cmnd.h"

#include "GenH/shell.h"
#include "UTL/xtim.h"
#include "support/test_util.h"

namespace {

using strings = std::vector<std::string>;

TEST(Cmnd, BuiltInsLookupAndAliases) {
  cmnd_class c;
  ASSERT_EQ(c.count(), 2);
  EXPECT_EQ(c.kind_names, (strings{"cmnd_nothing", "cmnd_quit"}));
  EXPECT_EQ(c.types, (std::vector<int>{3, 2}));
  EXPECT_EQ(c.get_cmnd_by_name("sim/operation/quit"), 1);
  EXPECT_EQ(c.get_cmnd_by_name("sim/none/none"), 0);
  EXPECT_EQ(c.get_cmnd_by_name("sim/operation/Quit"), 0);  // exact match only
  EXPECT_EQ(c.get_cmnd_by_name("no/such/thing"), 0);
  c.alias_cmd("quit", 1);
  EXPECT_EQ(c.get_cmnd_by_name("quit"), 1);
  c.alias_cmd("quit", 0);
  EXPECT_EQ(c.get_cmnd_by_name("quit"), 0);
  // An alias wins over a path of the same name.
  c.alias_cmd("sim/none/none", 1);
  EXPECT_EQ(c.get_cmnd_by_name("sim/none/none"), 1);

  EXPECT_EQ(c.add_cmd("sim/view/up", "Look up."), 2);
  EXPECT_EQ(c.add_cmd("sim/view/up", "Again."), 3);  // duplicates are not refused
  EXPECT_EQ(c.kind_names[2], "DYNAMIC");
  EXPECT_EQ(c.types[2], 2);
  EXPECT_EQ(c.get_cmnd_by_name("sim/view/up"), 2);  // the first of equal paths
}

TEST(Cmnd, PressesAndQuit) {
  cmnd_class c;
  xtim.frame_period = 0.25f;
  c.release_one(0);
  EXPECT_EQ(c.press_count(0), 0);  // never below 0
  c.press_one(0);
  c.press_one(0);
  c.press_always(0);
  c.press_always(0);
  EXPECT_FLOAT_EQ(cmnd_duration, 0.5f);
  c.release_one(0);
  EXPECT_EQ(c.press_count(0), 1);
  EXPECT_EQ(cmnd_duration, 0.0f);
  EXPECT_EQ(app_done, 0);
  c.single_press(1);
  EXPECT_EQ(c.press_count(1), 0);
  EXPECT_EQ(app_done, 1);
  app_done = 0;
}

TEST(Cmnd, PathsFiltersAndCompletion) {
  cmnd_class c;
  c.add_cmd("sim/operation/pause", "Pause.");
  c.add_cmd("sim/view/up", "Look up.");
  c.add_cmd("tools/dump", "Dump.");
  strings out{"junk"};
  c.get_cmds_in_path("sim/", out);
  EXPECT_EQ(out, (strings{"none/", "operation/", "view/"}));
  c.get_cmds_in_path("sim/operation/", out);
  EXPECT_EQ(out, (strings{"quit", "pause"}));
  c.get_cmds_in_path("", out);
  EXPECT_EQ(out, (strings{"sim/", "tools/"}));
  c.get_cmds_in_path("tools/dump", out);  // a whole path has nothing below it
  EXPECT_TRUE(out.empty());

  c.get_cmnds_by_filter("QUIT SIM", out);
  EXPECT_EQ(out, (strings{"sim/operation/quit"}));
  c.get_cmnds_by_filter("  ", out);
  EXPECT_EQ(out.size(), 5u);
  c.get_cmnds_by_filter("sim/operation/quit/longer", out);
  EXPECT_TRUE(out.empty());

  struct row {
    const char* in;
    int result;
    const char* out;
  };
  cmnd_class b;
  const row rows[] = {{"sim/o", 1, "sim/operation/quit"}, {"sim/", 1, "sim/"}, {"x", 0, "x"},
                      {"", 1, "sim/"}};
  for (const row& r : rows) {
    std::string t = r.in;
    EXPECT_EQ(b.tab_complete_cmnd(t), r.result) << r.in;
    EXPECT_EQ(t, r.out) << r.in;
  }
  std::string t = "sim/operation/p";
  EXPECT_EQ(c.tab_complete_cmnd(t), 1);
  EXPECT_EQ(t, "sim/operation/pause");
  t = "sim/operation/";
  EXPECT_EQ(c.tab_complete_cmnd(t), 1);
  EXPECT_EQ(t, "sim/operation/");
}

int calls_a = 0, calls_b = 0;
void fn_a() { ++calls_a; }
void fn_b() { ++calls_b; }
UTL_remote_cmd cmd_a("Test A", fn_a);
UTL_remote_cmd cmd_b("Test B", fn_b);

TEST(RemoteCmd, IdsListAndInvoke) {
  EXPECT_EQ(cmd_b.id, cmd_a.id + 1);
  EXPECT_GT(UTL_remote_cmd::free_id, cmd_b.id);
  EXPECT_EQ(cmd_b.next, &cmd_a);  // newest first
  // The memory report's command registers itself before main too.
  bool dump_listed = false;
  for (UTL_remote_cmd* c = UTL_remote_cmd::cmd_list; c; c = c->next)
    dump_listed = dump_listed || std::string(c->name) == "Dump Memory Info";
  EXPECT_TRUE(dump_listed);
  UTL_remote_cmd::invoke(nullptr, cmd_a.id);
  UTL_remote_cmd::invoke(nullptr, cmd_a.id);
  UTL_remote_cmd::invoke(nullptr, 100000);  // no such id: nothing
  EXPECT_EQ(calls_a, 2);
  EXPECT_EQ(calls_b, 0);
  UTL_remote_cmd::init_remote_cmds();
  EXPECT_EQ(UTL_remote_cmd::inited, 1);
}

float outside = 5.0f;
UTL_stat stat_outside(&outside, "test/outside", stat_frame);
UTL_stat stat_own("test/own", stat_frame, 3.0f);
UTL_stat stat_mem("test/mem", stat_memory, 7.0f);

TEST(Stats, WaitThenRegisterAndReset) {
  // Made before init_stats: they wait.
  EXPECT_TRUE(UTL_stat::registered(stat_frame).empty());
  int waiting = 0;
  for (UTL_stat* s = UTL_stat::waiting_list(); s; s = s->next)
    waiting += (s == &stat_outside || s == &stat_own || s == &stat_mem);
  EXPECT_EQ(waiting, 3);
  EXPECT_EQ(stat_own.target, &stat_own.value);
  EXPECT_EQ(stat_outside.target, &outside);

  UTL_stat::init_stats();
  EXPECT_EQ(UTL_stat::waiting_list(), nullptr);
  EXPECT_EQ(UTL_stat::registered(stat_frame).count(&stat_own), 1u);
  EXPECT_EQ(UTL_stat::registered(stat_frame).count(&stat_outside), 1u);
  EXPECT_EQ(UTL_stat::registered(stat_frame).count(&stat_mem), 0u);
  UTL_stat late("test/late", stat_frame, 1.0f);  // registers at once now
  EXPECT_EQ(UTL_stat::registered(stat_frame).count(&late), 1u);

  UTL_stat::reset_stats(stat_frame);
  EXPECT_EQ(outside, 0.0f);
  EXPECT_EQ(stat_own.value, 0.0f);
  EXPECT_EQ(late.value, 0.0f);
  EXPECT_EQ(stat_mem.value, 7.0f);  // another kind is left alone
}

}  // namespace
