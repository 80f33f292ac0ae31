#include "engine_util.h"

using namespace engine_test;

// A folder is registered once, after a last line without its line end; gone ones are not located.
TEST(Registry, RegisterOnceAndLocate) {
  const std::string reg = registry_path(), a = fly_test::sandbox() + "a/",
                    b = fly_test::sandbox() + "b/";
  LIN_make_dirs(b);
  write_file(reg, b + "\r\n/no/such/\r\n" + b);
  for (const std::string& d : {b, a, a}) dest_dir_path = d, register_new_flyvane();
  EXPECT_EQ(read_file(reg), b + "\r\n/no/such/\r\n" + b + "\n" + a + "\n");
  locate_all_flyvanes();
  EXPECT_EQ(all_skysuites, (std::vector<std::string>{b, b}));
}

TEST(Registry, LineBreaksRefusedLongFoldersWhole) {
  const std::string reg = registry_path(), base = fly_test::sandbox() + "c/";
  // Over 2047 bytes: read back whole, so it equals itself and is added once.
  std::string deep = base;
  while (deep.size() < 2300) deep += std::string(200, 'd') + "/";
  LIN_make_dirs(deep);
  for (int i = 0; i < 3; ++i) dest_dir_path = deep, register_new_flyvane();
  dest_dir_path = base + "x\n/", register_new_flyvane();
  dest_dir_path = base + "y\r/", register_new_flyvane();
  EXPECT_EQ(read_file(reg), deep + "\n");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("not registering a folder whose name holds a line"));
  locate_all_flyvanes();
  EXPECT_EQ(all_skysuites, (std::vector<std::string>{deep}));
}
