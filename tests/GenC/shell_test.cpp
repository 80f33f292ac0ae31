#include <cmath>
#include <cstdlib>

#include "GenH/shell.h"
#include "Linux/lin_sys.h"
#include "support/test_util.h"

namespace {

TEST(Shell, AppPathIsTheFolderHoldingTheProgram) {
  const std::string exe = LIN_exe_path();
  std::string whole, folder = "junk";
  MACIBM_set_app_path(&whole, 1);
  MACIBM_set_app_path(&folder, 0);
  EXPECT_EQ(whole, exe);
  EXPECT_EQ(folder, exe.substr(0, exe.rfind('/') + 1));
  EXPECT_EQ(folder.back(), '/');
}

TEST(Shell, TablesAreFilledOnceFromSeedOne) {
  MACIBM_fill_tables();
  srand(1);
  for (int i = 0; i < 10000; ++i) {
    const float want =
        static_cast<float>(static_cast<double>(rand()) * (1.0 / 2147483648.0) * 0.9999);
    ASSERT_EQ(randrat[i], want) << i;
    ASSERT_GE(randrat[i], 0.0f);
    ASSERT_LT(randrat[i], 1.0f);
  }
  EXPECT_FLOAT_EQ(lookup_sin[90], 1.0f);
  EXPECT_FLOAT_EQ(lookup_cos[180], -1.0f);
  EXPECT_NEAR(lookup_sin[360], 0.0f, 1e-6);
  EXPECT_FLOAT_EQ(lookup_cos[60], 0.5f);
}

}  // namespace
