#include "Files/md5.h"

#include <sys/stat.h>
#include <unistd.h>

#include "Files/errors.h"
#include "support/test_util.h"

static std::string md5_of(const std::string& s, size_t piece = 1 << 30) {
  MD5_CTX c;
  MD5Init(&c);
  for (size_t at = 0; at < s.size(); at += piece)
    MD5Update(&c, reinterpret_cast<const unsigned char*>(s.data() + at),
              static_cast<unsigned>(std::min(piece, s.size() - at)));
  MD5Final(&c);
  std::string h;
  for (unsigned char b : c.digest) h += "0123456789abcdef"[b >> 4], h += "0123456789abcdef"[b & 15];
  return h;
}
using fly_test::md5sum_of;

TEST(Md5, Rfc1321VectorsAndPiecesOfAnySize) {
  const std::pair<const char*, const char*> cases[] = {
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
  for (const auto& [in, hex] : cases) EXPECT_EQ(md5_of(in), hex) << in;
  const std::string data = fly_test::pattern(200003, 1);
  fly_test::write_file("data", data);
  // Pieces above 65535 bytes catch a length cut to 16 bits.
  for (size_t piece : {1, 55, 64, 65, 65536, 200003})
    EXPECT_EQ(md5_of(data, piece), md5sum_of("data")) << piece;
}

TEST(Md5, FilesMatchMd5sumAndLinksHashTheirText) {
  const std::string data = fly_test::pattern(3 << 20, 2);
  for (size_t n : {0, 55, 56, 64, 65535, 65536, 65537, (1 << 20) + 1, 3 << 20}) {
    fly_test::write_file("f", data.substr(0, n));
    std::string hex = "unset";
    ASSERT_EQ(calc_file_md5("f", hex), 0) << n;
    EXPECT_EQ(hex, md5sum_of("f")) << n;
  }
  ASSERT_EQ(symlink("missing/target", "dangling"), 0);
  std::string hex;
  ASSERT_EQ(calc_file_md5("dangling", hex), 0);
  EXPECT_EQ(hex, md5_of("missing/target"));
  mkdir("folder", 0755);
  EXPECT_EQ(calc_file_md5("folder", hex), err_map_failed);
}

TEST(Md5, FilesOfFourGigabytesAndMore) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "too slow under the sanitizers";
#endif
  ASSERT_EQ(fly_test::run("truncate -s 4G huge && printf tail >> huge"), 0);  // sparse
  std::string hex;
  ASSERT_EQ(calc_file_md5("huge", hex), 0);
  EXPECT_EQ(hex, md5sum_of("huge"));
}

TEST(CalcFileMd5, PipesAndDevicesAreRefusedWithoutWaiting) {
  alarm(10);  // a blocking open would hang here
  ASSERT_EQ(mkfifo("pipe", 0600), 0);
  std::string hex = "untouched";
  EXPECT_EQ(calc_file_md5("pipe", hex), err_map_failed);
  EXPECT_EQ(calc_file_md5("/dev/zero", hex), err_map_failed);  // would never end
  EXPECT_EQ(hex, "untouched");
  ASSERT_EQ(symlink("pipe", "to_pipe"), 0);  // a link still hashes its text
  EXPECT_EQ(calc_file_md5("to_pipe", hex), 0);
  EXPECT_EQ(hex, md5_of("pipe"));
  alarm(0);
}
