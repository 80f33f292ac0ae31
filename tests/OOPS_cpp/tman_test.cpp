// The texture manager's slot table, path map, counters and misuse alerts,
// against the recording GL table.
#include "GenH/mnw.h"
#include "OOPS_cpp/tman.h"
#include "TEX/TEX_bind.h"
#include "TEX/TEX_caps.h"
#include "TEX/TEX_scratch.h"
#include "Thread/thread_layer.h"
#include "Thread/threadpool.h"
#include "UTL/xtim.h"
#include "TEX/fixtures.h"
#include "support/gl_record.h"
#include "support/test_util.h"

namespace {

class TmanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TEX_caps = TEX_caps_class{};
    TEX_reset_bind();
    mnw.tex_res_level = 5;
    scratch_dx = scratch_dy = 2;
  }
  // A small texture from the scratch image, by name.
  int scratch(int slot, const std::string& name) {
    scratch_dx = scratch_dy = 2;
    return tman.load_texture(tex_fail_fatal, slot, 0x81, tex_load_now, "scratch_array-" + name);
  }
  fly_test::gl_recorder rec;
};

}  // namespace

TEST_F(TmanTest, DynamicSlotsAreHandedOutByPathFromElevenFiftyFiveUp) {
  EXPECT_EQ(scratch(0, "a"), 1155);
  EXPECT_EQ(tman.slots.size(), 1156u);
  EXPECT_EQ(tman.tex_dx_vis(1155), 2);
  // The same path again: the same slot, one more holder, no second load.
  rec.clear();
  EXPECT_EQ(scratch(0, "a"), 1155);
  EXPECT_EQ(tman.fetch_ref(1155)->ref_count.load(), 2);
  EXPECT_TRUE(rec.calls().empty());

  for (const char* n : {"b", "c", "d", "e", "f"}) scratch(0, n);
  ASSERT_EQ(tman.slots.size(), 1161u);
  // Empty 1157 and 1159: the highest empty slot is taken first.
  EXPECT_EQ(tman.release_texture(1157), 0);
  EXPECT_EQ(tman.release_texture(1159), 0);
  EXPECT_EQ(tman.release_texture(1155), 1);  // still held once
  tman.purge_unused_texes();
  EXPECT_FALSE(tman.tex_exists(1157));
  EXPECT_FALSE(tman.tex_exists(1159));
  EXPECT_TRUE(tman.tex_exists(1155));
  EXPECT_EQ(tman.ugly_reverse(tman.fetch_ref(1158)), 1158);
  EXPECT_EQ(scratch(0, "g"), 1159);
  EXPECT_EQ(scratch(0, "h"), 1157);
  EXPECT_EQ(scratch(0, "i"), 1161);
  // The purged path is free for a new load.
  EXPECT_EQ(scratch(0, "c"), 1162);

  // A failed dynamic load still returns its slot; an empty path does nothing.
  EXPECT_EQ(tman.load_texture(tex_fail_silent, 0, 0x81, tex_load_now, "nothing.png"), 1163);
  EXPECT_EQ(tman.tex_err(1163), 1);
  const size_t n = tman.slots.size();
  EXPECT_EQ(tman.load_texture(tex_fail_fatal, 0, 0x81, tex_load_now, ""), 0);
  EXPECT_EQ(tman.load_texture(tex_fail_fatal, 7, 0x81, tex_load_now, ""), 0);
  EXPECT_EQ(tman.slots.size(), n);
  EXPECT_FALSE(tman.tex_exists(7));
  TEX_obj* obj = tman.load_texture_obj(tex_fail_silent, 0x81, tex_load_now, "scratch_array-a");
  EXPECT_EQ(obj, tman.fetch_ref(1155));
}

TEST_F(TmanTest, RepointingOrUnloadingASlotKeepsAnotherSlotsPathEntry) {
  ASSERT_EQ(scratch(100, "shared"), 100);
  // A second slot with the same path: the entry keeps naming the first.
  ASSERT_EQ(scratch(200, "shared"), 200);
  EXPECT_EQ(tman.path_map.at("scratch_array-shared"), 100);
  // Re-pointing slot 200 must not erase slot 100's entry...
  ASSERT_EQ(scratch(200, "other"), 200);
  EXPECT_EQ(tman.path_map.at("scratch_array-shared"), 100);
  EXPECT_EQ(tman.path_map.at("scratch_array-other"), 200);
  EXPECT_EQ(tman.get_path(200), "scratch_array-other");
  // ... nor unloading a slot that shares it.
  ASSERT_EQ(scratch(300, "shared"), 300);
  tman.unload_texture(300);
  EXPECT_FALSE(tman.tex_exists(300));
  EXPECT_EQ(tman.ugly_reverse(tman.fetch_ref(100)), 100);
  // So a dynamic request for the path still finds slot 100.
  EXPECT_EQ(scratch(0, "shared"), 100);
  EXPECT_EQ(tman.fetch_ref(100)->ref_count.load(), 2);
  // A slot's own entry does go with it.
  tman.unload_texture(200);
  EXPECT_EQ(tman.path_map.count("scratch_array-other"), 0u);
  tman.unload_texture(200);  // empty: nothing
  tman.unload_texture(-3);
  EXPECT_EQ(rec.count("DeleteTextures"), 2);
}

TEST_F(TmanTest, AManualReloadKeepsItsFlagsAndAFailedOneReturnsZero) {
  ASSERT_EQ(scratch(100, "one"), 100);
  const unsigned name = tman.fetch_ref(100)->gl_name.load();
  // New flags are ignored on a re-pointed slot; path and fail mode change.
  EXPECT_EQ(tman.load_texture(tex_fail_silent, 100, 0x10092, tex_load_now, "absent.png"), 0);
  TEX_obj* o = tman.fetch_ref(100);
  EXPECT_EQ(o->flags, 0x81);
  EXPECT_EQ(o->fail_mode, tex_fail_silent);
  EXPECT_EQ(tman.tex_err(100), 1);
  EXPECT_EQ(tman.path_map.at("absent.png"), 100);
  EXPECT_EQ(o->gl_name.load(), name);
  // Bound, it shows the placeholder.
  rec.clear();
  TEX_reset_bind();
  tman.bind_ref(100, 0, 0);
  EXPECT_EQ(rec.named("BindTexture").at(0).args[1], 950);
  EXPECT_EQ(TEX_obj::total_texes(), 1);
  EXPECT_EQ(TEX_obj::loaded_texes(), 1);
}

TEST_F(TmanTest, QueriesOfEmptyOrOutOfRangeSlotsAreZero) {
  for (int ref : {-1, 0, 5, 99999}) {
    EXPECT_EQ(tman.tex_dx_vis(ref), 0);
    EXPECT_EQ(tman.tex_vram(ref), 0);
    EXPECT_EQ(tman.tex_err(ref), 0);
    EXPECT_EQ(tman.tex_exists(ref), 0);
    EXPECT_EQ(tman.get_path(ref), "");
    EXPECT_EQ(tman.fetch_ref(ref), nullptr);
  }
  mnw.window_dx = 10;
  mnw.window_dy = 10;
  mnw.window_depth = 32;
  scratch(100, "v");
  EXPECT_EQ(tman.tot_vram(), 400 + 12);
  for (auto [level, ratio] : {std::pair{0, 1 / 32.f}, {1, 1 / 16.f}, {4, 0.5f}, {5, 1.f}, {7, 1.f}}) {
    mnw.tex_res_level = level;
    EXPECT_FLOAT_EQ(tman_class::scale_rat(), ratio);
  }
}

TEST_F(TmanTest, FailureCountersReportUntilMuted) {
  for (int i = 0; i < 2; ++i) tman.load_texture(tex_fail_scene, 100 + i, 0x81, tex_load_now, "x.png");
  tman.load_texture(tex_fail_plane, 102, 0x81, tex_load_now, "y.png");
  EXPECT_EQ(tman.scene_fails.load(), 2);
  EXPECT_EQ(tman.has_scene_load_fail(), 1);
  EXPECT_EQ(tman.has_plane_load_fail(), 1);
  EXPECT_EQ(tman.has_instl_load_fail(), 0);
  tman.reset_scene_load_fail();
  EXPECT_EQ(tman.has_scene_load_fail(), 0);
  tman.mute_plane_load_fail();
  tman.load_texture(tex_fail_plane, 103, 0x81, tex_load_now, "z.png");
  EXPECT_EQ(tman.plane_fails.load(), 2);
  EXPECT_EQ(tman.has_plane_load_fail(), 0);
  // Mode 5 only logs.
  tman.load_texture(static_cast<tex_fail_mode>(5), 104, 0x81, tex_load_now, "w.png");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("WARNING: we are missing the texture: w.png.\n"));
}

namespace {
uint64_t g_now = 0;
uint64_t fake_clock() { return g_now; }
std::vector<std::string> g_shown;
void record_show(const std::string& msg, float* progress) {
  g_shown.push_back(msg);
  EXPECT_EQ(progress, nullptr);
}
}  // namespace

TEST_F(TmanTest, SlowStartUpLoadsShowTheirName) {
  xtim_set_clock(fake_clock);
  tman_show_init = record_show;
  g_now = 1000;
  xtim_class::microsecs();  // the clock's zero
  g_now += 5000000;
  tman.load_texture(tex_fail_silent, 414, 0x81, tex_load_startup, "RESOURCE:map.png");
  g_now += 500000;  // within a second of the last: nothing
  tman.load_texture(tex_fail_silent, 415, 0x81, tex_load_startup, "RESOURCE:background.png");
  g_now += 2000000;
  tman.load_texture(tex_fail_silent, 410, 0x81, tex_load_startup, "RESOURCE:interface.png");
  g_now += 2000000;
  tman.load_texture(tex_fail_silent, 416, 0x81, tex_load_now, "later.png");
  g_now += 2000000;
  tman.load_texture(tex_fail_silent, 450, 0x81, tex_load_startup, "back.png");
  g_now += 2000000;
  scratch_dx = scratch_dy = 2;
  tman.load_texture(tex_fail_silent, 417, 0x81, tex_load_startup, "scratch_array-x");
  g_now += 2000000;
  tman.load_texture(tex_fail_silent, 418, 0x81, tex_load_startup, "RESOURCE:elements_English.png");
  tman_show_init = nullptr;
  xtim_set_clock(nullptr);
  EXPECT_EQ(g_shown, (std::vector<std::string>{"Loading bitmap RESOURCE:map.png.",
                                                "Loading bitmap RESOURCE:elements_English.png."}));
}

TEST_F(TmanTest, MisuseOfSlotsIsFatal) {
  EXPECT_FATAL_ALERT(tman.load_texture(tex_fail_silent, 1156, 0x81, tex_load_now, "a.png"),
                     "Trying to bind too low or high a manual_ref!");
  EXPECT_EQ(fly_test::alerts().back().s4, "1156");
  EXPECT_FATAL_ALERT(tman.load_texture(tex_fail_silent, -1, 0x81, tex_load_now, "a.png"),
                     "Trying to bind too low or high a manual_ref!");
  EXPECT_FATAL_ALERT(
      tman.load_texture(tex_fail_silent, 5, 0x81, static_cast<tex_load_time>(3), "a.png"),
      "Trying to create an invalid texture load_time!");
  EXPECT_FATAL_ALERT(tman.bind_ref(77, 0, 0), "Null texture - how?");
  EXPECT_EQ(fly_test::alerts().back().s3, "ref=    77");
  EXPECT_FATAL_ALERT(tman.unload_texture(1155), "Error: dynamic textures should be released");
  EXPECT_FATAL_ALERT(tman.release_texture(429), "Trying to release a manual texture");
  EXPECT_EQ(fly_test::alerts().back().s2, "429.000000");
  EXPECT_FATAL_ALERT(tman.release_texture(2000), "Trying to release a null texture.");
  scratch(0, "held");
  EXPECT_EQ(tman.release_texture(1155), 0);
  EXPECT_FATAL_ALERT(tman.release_texture(1155), "Ref count went negative");
  // The lock was given back on the way out of every alert.
  EXPECT_EQ(scratch(0, "after"), 1156);
}

// Off the main thread a reload goes into a fresh name, published when done.
TEST_F(TmanTest, APoolThreadReloadSwapsInAFreshName) {
  THREAD_init();
  ASSERT_EQ(scratch(100, "pool"), 100);
  TEX_obj* o = tman.fetch_ref(100);
  const unsigned first = o->gl_name.load();
  // Already queued: nothing (the pool is not even looked at).
  o->queued.store(1);
  o->queue_load(nullptr);
  EXPECT_EQ(o->ref_count.load(), 1);
  o->queued.store(0);
  rec.clear();
  {
    UTL_threadpool pool(1);
    o->queue_load(&pool);
  }  // the pool runs its queue before it goes
  EXPECT_EQ(o->queued.load(), 0);
  EXPECT_EQ(o->ref_count.load(), 1);
  EXPECT_NE(o->gl_name.load(), first);
  EXPECT_EQ(rec.count("TexImage2D"), 1);
  EXPECT_EQ(rec.count("Flush"), 0);
  auto del = rec.named("DeleteTextures");
  ASSERT_EQ(del.size(), 1u);
  auto binds = rec.named("BindTexture");
  ASSERT_EQ(binds.size(), 2u);
  EXPECT_EQ(binds[0].args[1], o->gl_name.load());
  EXPECT_EQ(binds[1].args[1], 0);  // the pool thread lets go of it
}
