#include "Files/errors.h"

#include <cerrno>

#include "support/test_util.h"

TEST(ErrorStr, LinuxValuesOwnCodesAndUnknownOnes) {
  const std::pair<int, const char*> cases[] = {
      {0, ""}, {-48, "duplicate file name"}, {20013, "Error code 20013"},
      {ENOSPC, "No space left on device. Perhaps your hard drive is full"},
      {20016, "We were unable to unpack a compressed file because its data is damaged"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(error_str(code), text) << code;
  for (int e : {0, EEXIST, -48}) EXPECT_EQ(show_make_dir_err(e), 0) << e;
  EXPECT_EQ(show_make_dir_err(EACCES), 1);
  EXPECT_EQ(show_del_err(ENOENT), 0);
}
