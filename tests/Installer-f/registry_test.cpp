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
