// The bind cache and the combiner set-ups against the recording GL table.
#include "OGL/ren.h"
#include "TEX/TEX_bind.h"
#include "TEX/TEX_caps.h"
#include "support/gl_record.h"
#include "support/test_util.h"

namespace {

using fly_test::gl_call;

class BindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TEX_caps = TEX_caps_class{};
    TEX_reset_bind();
    gKillTex.value = 0;
  }
  fly_test::gl_recorder rec;

  std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const gl_call& c : rec.calls()) out.push_back(c.name);
    return out;
  }
  // The (pname, value) pairs sent with TexEnvi or TexEnvf, in order.
  std::vector<std::pair<double, double>> env_pairs() {
    std::vector<std::pair<double, double>> out;
    for (const gl_call& c : rec.calls())
      if (c.name == "TexEnvi" || c.name == "TexEnvf") out.emplace_back(c.args[1], c.args[2]);
    return out;
  }
};

TEST_F(BindTest, ARepeatedBindSendsNothingUntilTheCacheIsReset) {
  TEX_bind_ref(5, 0, 0);
  ASSERT_EQ(rec.calls().size(), 2u);
  EXPECT_EQ(rec.calls()[0].name, "BindTexture");
  EXPECT_EQ(rec.calls()[0].args, (std::vector<double>{GL_TEXTURE_2D, 5}));
  EXPECT_EQ(env_pairs(), (std::vector<std::pair<double, double>>{{GL_TEXTURE_ENV_MODE, GL_MODULATE}}));

  rec.clear();
  TEX_bind_ref(5, 0, 0);
  EXPECT_TRUE(rec.calls().empty());
  // A caller passing GL_MODULATE itself asks for what code 0 set.
  TEX_bind_ref(5, 0, GL_MODULATE);
  EXPECT_TRUE(rec.calls().empty());

  // Another texture: only the bind.
  TEX_bind_ref(6, 0, 0);
  EXPECT_EQ(names(), (std::vector<std::string>{"BindTexture"}));

  rec.clear();
  TEX_reset_bind();
  TEX_bind_ref(6, 0, 0);
  EXPECT_EQ(names(), (std::vector<std::string>{"BindTexture", "TexEnvi"}));
}

TEST_F(BindTest, UnitsAboveZeroAreSelectedAndDeselectedOnlyWhenSomethingIsSent) {
  TEX_bind_ref(7, 2, 0);
  EXPECT_EQ(names(), (std::vector<std::string>{"ActiveTexture", "BindTexture", "TexEnvi",
                                               "ActiveTexture"}));
  EXPECT_EQ(rec.calls().front().args[0], GL_TEXTURE0 + 2);
  EXPECT_EQ(rec.calls().back().args[0], GL_TEXTURE0);
  rec.clear();
  TEX_bind_ref(7, 2, 0);
  TEX_bind_ref(7, 0, 0);  // unit 0 has its own entry
  EXPECT_EQ(names(), (std::vector<std::string>{"BindTexture", "TexEnvi"}));
  // Units outside 0..7 are ignored rather than written past the cache.
  rec.clear();
  TEX_bind_ref(7, 8, 0);
  TEX_bind_ref(7, -1, 0);
  EXPECT_TRUE(rec.calls().empty());
}

TEST_F(BindTest, CodeTwentySixBindsOnlyAndKeepsTheCombinerOfCodeSeventeen) {
  TEX_caps.combine_avail = 1;
  TEX_bind_ref(3, 0, 17);
  // Code 17: env colour white first, then the texture's alpha as grey, opaque.
  auto fv = rec.named("TexEnvfv");
  ASSERT_EQ(fv.size(), 1u);
  EXPECT_EQ(fv[0].args[1], GL_TEXTURE_ENV_COLOR);
  EXPECT_EQ(env_pairs(), (std::vector<std::pair<double, double>>{
                             {GL_TEXTURE_ENV_MODE, GL_COMBINE},
                             {GL_COMBINE_RGB, GL_REPLACE},
                             {GL_SOURCE0_RGB, GL_TEXTURE},
                             {GL_OPERAND0_RGB, GL_SRC_ALPHA},
                             {GL_COMBINE_ALPHA, GL_REPLACE},
                             {GL_SOURCE0_ALPHA, GL_CONSTANT},
                             {GL_OPERAND0_ALPHA, GL_SRC_ALPHA},
                             {GL_ALPHA_SCALE, 1},
                         }));
  rec.clear();
  TEX_bind_ref(4, 0, 26);
  EXPECT_EQ(names(), (std::vector<std::string>{"BindTexture"}));
  rec.clear();
  TEX_bind_ref(4, 0, 17);
  TEX_bind_ref(4, 0, 26);
  EXPECT_TRUE(rec.calls().empty());
}

TEST_F(BindTest, CombinerRowsWithTheirScalesAndForms) {
  TEX_caps.combine_avail = 1;
  TEX_bind_ref(1, 0, 11);
  EXPECT_EQ(env_pairs().back(), (std::pair<double, double>{GL_ALPHA_SCALE, 4}));
  EXPECT_EQ(rec.count("TexEnvfv"), 0);

  rec.clear();
  TEX_bind_ref(1, 0, 23);  // no alpha scale at all
  for (const auto& p : env_pairs()) EXPECT_NE(p.first, GL_ALPHA_SCALE);
  EXPECT_EQ(env_pairs()[2], (std::pair<double, double>{GL_SOURCE0_RGB, GL_PREVIOUS}));
  EXPECT_EQ(env_pairs()[4], (std::pair<double, double>{GL_SOURCE1_RGB, GL_PRIMARY_COLOR}));

  rec.clear();
  TEX_bind_ref(1, 0, 25);  // black env colour, every value as a float
  EXPECT_EQ(rec.count("TexEnvi"), 0);
  auto fv = rec.named("TexEnvfv");
  ASSERT_EQ(fv.size(), 1u);
  EXPECT_EQ(rec.calls().front().name, "TexEnvfv");
  EXPECT_EQ(env_pairs()[1], (std::pair<double, double>{GL_COMBINE_RGB, GL_INTERPOLATE}));
  EXPECT_EQ(env_pairs().size(), 12u);  // mode, 3 x 2 + 1 rgb, 1 x 2 + 1 alpha, scale

  // Without the combiner the code is the mode itself.
  TEX_caps.combine_avail = 0;
  TEX_reset_bind();
  rec.clear();
  TEX_bind_ref(1, 0, 17);
  EXPECT_EQ(env_pairs(), (std::vector<std::pair<double, double>>{{GL_TEXTURE_ENV_MODE, 17}}));
}

TEST_F(BindTest, KillTexBindsThePlaceholderForEverythingButTheInterface) {
  gKillTex.value = 1;
  TEX_bind_ref(410, 0, 0);
  TEX_bind_ref(12, 0, 0);
  auto b = rec.named("BindTexture");
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0].args[1], 410);
  EXPECT_EQ(b[1].args[1], 950);
}

TEST_F(BindTest, EnvironmentColoursStayWithinTheUnits) {
  ren.tex_units = 2;
  TEX_set_tint(1, 0.1f, 0.2f, 0.3f, 0.4f);
  EXPECT_EQ(names(), (std::vector<std::string>{"ActiveTexture", "TexEnvfv", "ActiveTexture"}));
  rec.clear();
  TEX_set_blend_level(0, 0.5f);
  EXPECT_EQ(names(), (std::vector<std::string>{"TexEnvfv"}));
  rec.clear();
  TEX_set_blend_level(2, 0.5f);
  TEX_set_tint(-1, 0, 0, 0, 0);
  EXPECT_TRUE(rec.calls().empty());
}

}  // namespace
