// The destination and scenery screens in each language: every text of
// them translated.
#include "support/e2e.h"
#include "support/test_util.h"

using fly_test::e2e_env;
using fly_test::e2e_result;

class DestinationLanguage : public ::testing::TestWithParam<const char*> {};

TEST_P(DestinationLanguage, DrawsEveryTextTranslated) {
  FLY_E2E_OR_SKIP();
  e2e_env env;
  env.insert(fly_test::e2e_demo_discs()[0], "FLYVANE9_1");
  env.args = {std::string("--lang=") + GetParam(), "--missing_strings"};
  const e2e_result r = fly_test::e2e_run(env,
                                         "wait dvd_start 30\n"
                                         "wait Flyvane 9 Demo 30\n"
                                         "click Continue\n"
                                         "wait dvd_pick_install 30\n"
                                         "sleep 0.5\n"
                                         "screenshot destination.png\n"
                                         "click Continue\n"
                                         "wait see_eula 30\n"
                                         "click -I agree!\n"
                                         "sleep 0.3\n"
                                         "click Continue\n"
                                         "wait dvd_scenery_install 30\n"
                                         "sleep 0.5\n"
                                         "screenshot scenery.png\n"
                                         "quit\n");
  ASSERT_FALSE(r.timed_out) << r.stderr_text;
  EXPECT_EQ(r.exit_code, 0) << r.stderr_text << r.log;
  ASSERT_TRUE(r.saw_screen("dvd_pick_install"));
  ASSERT_TRUE(r.saw_screen("dvd_scenery_install"));
  int x, y, w, h;
  EXPECT_TRUE(r.item("Continue", &x, &y, &w, &h));
  EXPECT_TRUE(r.item("Go Back", &x, &y, &w, &h));
  EXPECT_EQ(r.log.find("\nSTRING "), std::string::npos) << r.log;
  ASSERT_EQ(r.screenshots.size(), 2u);
  for (const std::string& shot : r.screenshots) {
    const fly_test::e2e_image img = fly_test::e2e_read_png(shot);
    ASSERT_TRUE(img.ok()) << shot;
    EXPECT_EQ(img.width, 800);
    EXPECT_EQ(img.height, 600);
    EXPECT_GT(img.colours(), 16) << shot;
  }
}

INSTANTIATE_TEST_SUITE_P(AllLanguages, DestinationLanguage,
                         ::testing::Values("en", "fr", "de", "ru", "it", "es"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                           return std::string(i.param);
                         });
