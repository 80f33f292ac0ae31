#include "Files/errors.h"

#include <cerrno>
#include <set>

#include "support/test_util.h"

TEST(ErrorStr, LinuxErrnoValuesFindTheirTexts) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {0, ""},
      {ENOENT, "No such file or directory"},
      {EAGAIN, "Resource temporarily unavailable"},
      {EDEADLK, "Resource deadlock avoided"},
      {ENAMETOOLONG, "File name too long"},
      {ENOSYS, "Function not implemented"},
      {ENOTEMPTY, "Directory not empty"},
      {EILSEQ, "Wide character encoding error"},
      {ENOLCK, "No locks available"},
      {ENOSPC, "No space left on device. Perhaps your hard drive is full"},
      {EACCES, "Permission denied. Perhaps you do not have access to a directory or file system"},
      {EROFS, "The destination file system is read-only"},
      {EXDEV, "Cross-device link"},
      {-48, "duplicate file name"},
      {-5000, "You have insufficient privileges for this operation"},
      {20006, "We could not open a file to read from it"},
      {20007, "We were unable to connct to the network due to an internal reconnect error"},
      {20008, "We wre unable to connect to the network due to a bad state error"},
      {20013, "Error code 20013"},
      {20014, "Error code 20014"},
      {20015,
       "We refused to unpack a compressed file because it names a path outside of its "
       "destination folder. It may be damaged or tampered with"},
      {20016, "We were unable to unpack a compressed file because its data is damaged"},
      {-1, "Error code -1"},
      {-102, "Error code -102"},
  };
  for (const auto& c : cases) EXPECT_EQ(error_str(c.code), c.text) << c.code;
}

TEST(ErrorStr, TableHasEveryRowOnce) {
  std::set<int> codes;
  int rows = 0;
  for (const err_msg_row* r = kErrMsgs; r->text; ++r, ++rows) {
    EXPECT_TRUE(codes.insert(r->code).second) << "code twice: " << r->code;
  }
  EXPECT_EQ(rows, 81);
}

TEST(ErrorPolicies, MakeDirAndDelete) {
  EXPECT_EQ(show_make_dir_err(0), 0);
  EXPECT_EQ(show_make_dir_err(EEXIST), 0);
  EXPECT_EQ(show_make_dir_err(-48), 0);
  EXPECT_EQ(show_make_dir_err(EACCES), 1);
  EXPECT_EQ(show_make_dir_err(ENOENT), 1);
  for (int e : {0, ENOENT, EACCES, -1, 20001}) EXPECT_EQ(show_del_err(e), 0);
}
