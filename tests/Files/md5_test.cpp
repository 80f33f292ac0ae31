#include "Files/md5.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "Files/errors.h"
#include "support/test_util.h"

namespace {
std::string hex_of(MD5_CTX& c) {
  MD5Final(&c);
  static const char* d = "0123456789abcdef";
  std::string h;
  for (unsigned char b : c.digest) h += d[b >> 4], h += d[b & 15];
  return h;
}
std::string md5_of(const std::string& s) {
  MD5_CTX c;
  MD5Init(&c);
  MD5UpdateWide(&c, s.data(), s.size());
  return hex_of(c);
}
std::string md5sum_of(const std::string& path) {
  std::string out;
  if (fly_test::run("md5sum '" + path + "'", &out) != 0) return "md5sum failed";
  return out.substr(0, 32);
}
std::string pattern(size_t n) {
  std::string s(n, 0);
  uint32_t x = 12345;
  for (char& c : s) x = x * 1103515245u + 12345u, c = static_cast<char>(x >> 23);
  return s;
}
}  // namespace

TEST(Md5, Rfc1321TestSuite) {
  const struct {
    const char* in;
    const char* hex;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) EXPECT_EQ(md5_of(c.in), c.hex) << c.in;
}

TEST(Md5, PiecesOfAnySizeGiveTheSameSum) {
  const std::string data = pattern(200003);
  const std::string whole = md5_of(data);
  for (size_t piece : {1, 3, 55, 56, 63, 64, 65, 1000, 65535, 65536, 70001}) {
    MD5_CTX c;
    MD5Init(&c);
    for (size_t at = 0; at < data.size(); at += piece) {
      const size_t n = std::min(piece, data.size() - at);
      MD5Update(&c, reinterpret_cast<const unsigned char*>(data.data() + at),
                static_cast<unsigned>(n));
    }
    EXPECT_EQ(hex_of(c), whole) << piece;
  }
}

TEST(Md5, FilesMatchMd5sum) {
  const std::string data = pattern(5 << 20);
  for (size_t n :
       {size_t(0), size_t(1), size_t(55), size_t(56), size_t(63), size_t(64), size_t(65535),
        size_t(65536), size_t(65537), size_t(1 << 20), size_t((1 << 20) + 1), size_t(5 << 20)}) {
    fly_test::write_file("f", data.substr(0, n));
    std::string hex = "unset";
    ASSERT_EQ(calc_file_md5("f", hex), 0) << n;
    EXPECT_EQ(hex, md5sum_of("f")) << n;
  }
}

TEST(Md5, LinksHashTheirText) {
  fly_test::write_file("one", "1");
  fly_test::write_file("two", "22");
  ASSERT_EQ(symlink("one", "a"), 0);
  ASSERT_EQ(mkdir("sub", 0755), 0);
  ASSERT_EQ(symlink("one", "sub/b"), 0);  // same text, other target
  ASSERT_EQ(symlink("missing/target", "dangling"), 0);
  std::string ha, hb, hd;
  ASSERT_EQ(calc_file_md5("a", ha), 0);
  ASSERT_EQ(calc_file_md5("sub/b", hb), 0);
  EXPECT_EQ(ha, hb);
  EXPECT_EQ(ha, md5_of("one"));
  ASSERT_EQ(calc_file_md5("dangling", hd), 0);
  EXPECT_EQ(hd, md5_of("missing/target"));
}

TEST(Md5, UnreadableInputsKeepTheOldText) {
  std::string hex = "NONE";
  EXPECT_EQ(calc_file_md5("missing", hex), err_map_failed);
  EXPECT_EQ(hex, "NONE");
  ASSERT_EQ(mkdir("folder", 0755), 0);
  EXPECT_EQ(calc_file_md5("folder", hex), err_map_failed);
  EXPECT_EQ(hex, "NONE");
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FLY_SANITIZED 1
#endif

TEST(Md5, FilesOfFourGigabytesAndMore) {
#ifdef FLY_SANITIZED
  GTEST_SKIP() << "too slow under the sanitizers";
#endif
  // Sparse: 4 GiB of zeros and a tail, costing no disk.
  const int fd = open("huge", O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, "tail", 4, off_t(4) << 30), 4);
  close(fd);
  std::string hex;
  ASSERT_EQ(calc_file_md5("huge", hex), 0);
  EXPECT_EQ(hex, md5sum_of("huge"));
}
