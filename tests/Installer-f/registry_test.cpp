#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine_util.h"

using fly_test::read_file;
using fly_test::write_file;

namespace {
std::string reg() { return fly_test::sandbox() + "home/.config/flyvane_install.txt"; }
std::string folder(const char* name) {
  const std::string f = fly_test::sandbox() + "work/" + name + "/";
  mkdir(f.c_str(), 0755);
  return f;
}
}  // namespace

TEST(Registry, RegisterOnceAndLocate) {
  EXPECT_EQ(registry_path(), reg());
  all_skysuites = {"stale"};
  locate_all_flyvanes();  // no file yet
  EXPECT_TRUE(all_skysuites.empty());
  const std::string a = folder("a"), b = folder("b");
  dest_dir_path = a;
  register_new_flyvane();
  register_new_flyvane();
  dest_dir_path = b;
  register_new_flyvane();
  EXPECT_EQ(read_file(reg()), a + "\n" + b + "\n");
  locate_all_flyvanes();
  EXPECT_EQ(all_skysuites, (std::vector<std::string>{a, b}));
  rmdir(a.c_str());
  locate_all_flyvanes();
  EXPECT_EQ(all_skysuites, (std::vector<std::string>{b}));
  EXPECT_EQ(read_file(reg()), a + "\n" + b + "\n");  // stays registered
}

TEST(Registry, LineEndsAndDuplicates) {
  const std::string a = folder("a"), b = folder("b"), c = folder("c");
  // CR LF lines, a duplicate, a missing folder, and no line end at the end.
  write_file(reg(), a + "\r\n" + "/no/such/folder/\r\n" + a + "\r\n" + b);
  locate_all_flyvanes();
  EXPECT_EQ(all_skysuites, (std::vector<std::string>{a, a, b}));
  dest_dir_path = b;
  register_new_flyvane();  // already there, without its line end
  dest_dir_path = c;
  register_new_flyvane();
  EXPECT_EQ(read_file(reg()), a + "\r\n/no/such/folder/\r\n" + a + "\r\n" + b + "\n" + c + "\n");
  locate_all_flyvanes();
  EXPECT_EQ(all_skysuites, (std::vector<std::string>{a, a, b, c}));
}

TEST(Registry, UnwritableRegistryOnlyLogs) {
  mkdir(reg().c_str(), 0755);  // a folder where the file belongs
  dest_dir_path = folder("a");
  register_new_flyvane();
  EXPECT_NE(fly_test::log_text().find("WARNING: could not append registration file: " + reg()),
            std::string::npos);
  EXPECT_TRUE(fly_test::alerts().empty());
}

TEST(Registry, PathIsToASim) {
  const std::string d = folder("sim");
  dest_dir_path = d;
  EXPECT_EQ(path_is_to_a_sim(), 0);
  for (const char* f : {"Old Resources", "Airfoils", "Instructions"}) mkdir((d + f).c_str(), 0755);
  write_file(d + "Output", "a file, not a folder");
  EXPECT_EQ(path_is_to_a_sim(), 0);
  unlink((d + "Output").c_str());
  mkdir((d + "My Output").c_str(), 0755);
  EXPECT_EQ(path_is_to_a_sim(), 1);
  dest_dir_path = "";
  EXPECT_EQ(path_is_to_a_sim(), 0);
}
