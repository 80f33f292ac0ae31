#include "OGL/gl_calls.h"
#include "OGL/ogl_state.h"
#include "OGL/ren.h"
#include "support/gl_count.h"
#include "support/gl_harness.h"
#include "support/test_util.h"

// Without a context the wrapped entry points answer 0: the cache seeds from
// a fresh context's state (everything off).
struct StateCache : ::testing::Test {
  fly_test::gl_counter gl_calls;
  void SetUp() override {
    OGL_setstate_forget();
    ren.tex_units = 4;
    num_units = 1;
  }
};

TEST_F(StateCache, RepeatedCallSendsNothingAndFirstDepthWriteOffSendsNoMask) {
  OGL_setstate(1, 1, 3, 5, 9, 11);
  EXPECT_EQ(gl_calls.count("DepthMask"), 0) << gl_calls.text();
  EXPECT_EQ(gl_calls.count("Enable", GL_BLEND), 1);
  EXPECT_EQ(gl_calls.count("Enable", GL_TEXTURE_2D), 1);
  gl_calls.clear();
  OGL_setstate(1, 1, 3, 5, 9, 11);
  EXPECT_EQ(gl_calls.total(), 0) << gl_calls.text();
  OGL_setstate(1, 1, 3, 5, 9, 10);
  EXPECT_EQ(gl_calls.count("DepthMask", GL_TRUE), 1);
  gl_calls.clear();
  OGL_setstate(0, 0, 2, 7, 8, 10);  // fog, lighting, both blend flags, depth test
  EXPECT_EQ(gl_calls.count("Enable", GL_FOG), 1);
  EXPECT_EQ(gl_calls.count("Enable", GL_LIGHTING), 1);
  EXPECT_EQ(gl_calls.count("Enable", GL_LIGHT0), 1);
  EXPECT_EQ(gl_calls.count("Enable", GL_ALPHA_TEST), 1);
  EXPECT_EQ(gl_calls.count("Enable", GL_BLEND), 0);  // already on
  EXPECT_EQ(gl_calls.count("Enable", GL_DEPTH_TEST), 1);
  EXPECT_EQ(gl_calls.count("Disable", GL_TEXTURE_2D), 1);
  EXPECT_EQ(gl_calls.count("ActiveTexture"), 0);  // 1 -> 0 touches the active unit only
  gl_calls.clear();
  OGL_setstate(1, 0, 3, 4, 9, 11);
  EXPECT_EQ(gl_calls.count("Disable", GL_BLEND), 1);
  EXPECT_EQ(gl_calls.count("Disable", GL_ALPHA_TEST), 1);
  EXPECT_EQ(gl_calls.count("DepthMask", GL_FALSE), 1);
}

TEST_F(StateCache, UnitsClampToTheHardwareAndWalkDown) {
  OGL_setstate(1, 8, 3, 4, 9, 11);  // 8 asked, 4 there
  EXPECT_EQ(num_units, 4);
  for (int u = 1; u < 4; ++u) EXPECT_EQ(gl_calls.count("ActiveTexture", GL_TEXTURE0 + u), 1) << u;
  EXPECT_EQ(gl_calls.count("ActiveTexture", GL_TEXTURE0 + 4), 0);
  EXPECT_EQ(gl_calls.calls().back().name, "ActiveTexture");
  EXPECT_EQ(gl_calls.calls().back().args[0], GL_TEXTURE0);  // unit 0 is active again
  gl_calls.clear();
  OGL_setstate(1, 4, 3, 4, 9, 11);
  EXPECT_EQ(gl_calls.total(), 0) << gl_calls.text();
  OGL_setstate(1, 8, 3, 4, 9, 11);  // the same clamped state again
  EXPECT_EQ(gl_calls.total(), 0) << gl_calls.text();

  OGL_setstate(1, 3, 3, 4, 9, 11);
  gl_calls.clear();
  OGL_setstate(1, 1, 3, 4, 9, 11);  // 3 -> 1 disables units 1 and 2
  EXPECT_EQ(num_units, 1);
  const std::vector<fly_test::gl_call>& c = gl_calls.calls();
  std::vector<std::string> seq;
  for (const auto& k : c) seq.push_back(k.name + ":" + std::to_string(static_cast<int>(k.args[0])));
  EXPECT_THAT(seq, ::testing::ElementsAre("Enable:" + std::to_string(GL_TEXTURE_2D),
                                          "ActiveTexture:" + std::to_string(GL_TEXTURE1),
                                          "Disable:" + std::to_string(GL_TEXTURE_2D),
                                          "ActiveTexture:" + std::to_string(GL_TEXTURE2),
                                          "Disable:" + std::to_string(GL_TEXTURE_2D),
                                          "ActiveTexture:" + std::to_string(GL_TEXTURE0)));
}

// On the real context: the cache seeds from the defaults that start-up set.
TEST_F(GlWindow, StateCacheSeedsFromTheContextDefaults) {
  fly_test::gl_counter calls;
  OGL_setstate(1, 0, 3, 4, 9, 11);  // the defaults: nothing to send
  EXPECT_EQ(calls.count("Enable") + calls.count("Disable") + calls.count("DepthMask"), 0)
      << calls.text();
  GLboolean mask = GL_TRUE;
  gl.GetBooleanv(GL_DEPTH_WRITEMASK, &mask);
  EXPECT_EQ(mask, GL_FALSE);
  GLint pack = 0, unpack = 0;
  gl.GetIntegerv(GL_PACK_ALIGNMENT, &pack);
  gl.GetIntegerv(GL_UNPACK_ALIGNMENT, &unpack);
  EXPECT_EQ(pack, 1);
  EXPECT_EQ(unpack, 1);
}
