#include "Files/md5.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Files/paths.h"

namespace {
inline uint32_t rotl(uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

// The round functions, F and G in the forms that need one operation fewer.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define MD5_STEP(f, a, b, c, d, x, t, s) \
  a += f(b, c, d) + (x) + (t);           \
  a = rotl(a, s) + (b)

// Hashes n whole 64-byte blocks. The words are read little-endian, which is
// the machine's order here.
void transform(uint32_t st[4], const unsigned char* p, size_t n) {
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "MD5 words are read in host order");
  uint32_t a = st[0], b = st[1], c = st[2], d = st[3];
  for (; n > 0; --n, p += 64) {
    uint32_t x[16];
    memcpy(x, p, 64);
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    MD5_STEP(MD5_F, a, b, c, d, x[0], 0xd76aa478, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[2], 0x242070db, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[5], 0x4787c62a, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[6], 0xa8304613, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[7], 0xfd469501, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[8], 0x698098d8, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[11], 0x895cd7be, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[12], 0x6b901122, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[13], 0xfd987193, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[14], 0xa679438e, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[15], 0x49b40821, 22);

    MD5_STEP(MD5_G, a, b, c, d, x[1], 0xf61e2562, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[6], 0xc040b340, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[11], 0x265e5a51, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[0], 0xe9b6c7aa, 20);
    MD5_STEP(MD5_G, a, b, c, d, x[5], 0xd62f105d, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[10], 0x02441453, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[15], 0xd8a1e681, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[4], 0xe7d3fbc8, 20);
    MD5_STEP(MD5_G, a, b, c, d, x[9], 0x21e1cde6, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[14], 0xc33707d6, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[3], 0xf4d50d87, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[8], 0x455a14ed, 20);
    MD5_STEP(MD5_G, a, b, c, d, x[13], 0xa9e3e905, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[2], 0xfcefa3f8, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[7], 0x676f02d9, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[12], 0x8d2a4c8a, 20);

    MD5_STEP(MD5_H, a, b, c, d, x[5], 0xfffa3942, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[8], 0x8771f681, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[14], 0xfde5380c, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[1], 0xa4beea44, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[6], 0x04881d05, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23);

    MD5_STEP(MD5_I, a, b, c, d, x[0], 0xf4292244, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[7], 0x432aff97, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[14], 0xab9423a7, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[5], 0xfc93a039, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[12], 0x655b59c3, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[10], 0xffeff47d, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[1], 0x85845dd1, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[6], 0xa3014314, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[4], 0xf7537e82, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[11], 0xbd3af235, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[9], 0xeb86d391, 21);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  st[0] = a;
  st[1] = b;
  st[2] = c;
  st[3] = d;
}

uint64_t bytes_hashed(const MD5_CTX* ctx) {
  return ((static_cast<uint64_t>(ctx->count[1]) << 32) | ctx->count[0]) >> 3;
}
}  // namespace

void MD5Init(MD5_CTX* ctx) {
  ctx->count[0] = ctx->count[1] = 0;
  ctx->state[0] = 0x67452301;
  ctx->state[1] = 0xefcdab89;
  ctx->state[2] = 0x98badcfe;
  ctx->state[3] = 0x10325476;
  memset(ctx->buffer, 0, sizeof(ctx->buffer));
  memset(ctx->digest, 0, sizeof(ctx->digest));
}

void MD5UpdateWide(MD5_CTX* ctx, const void* data, uint64_t len) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  size_t have = static_cast<size_t>(bytes_hashed(ctx) & 63);
  const uint64_t bits = ((static_cast<uint64_t>(ctx->count[1]) << 32) | ctx->count[0]) + (len << 3);
  ctx->count[0] = static_cast<uint32_t>(bits);
  ctx->count[1] = static_cast<uint32_t>(bits >> 32);

  if (have) {
    const size_t take = static_cast<size_t>(len < 64 - have ? len : 64 - have);
    memcpy(ctx->buffer + have, p, take);
    p += take;
    len -= take;
    have += take;
    if (have < 64) return;
    transform(ctx->state, ctx->buffer, 1);
  }
  const uint64_t blocks = len / 64;
  if (blocks) {
    transform(ctx->state, p, static_cast<size_t>(blocks));
    p += blocks * 64;
    len -= blocks * 64;
  }
  if (len) memcpy(ctx->buffer, p, static_cast<size_t>(len));
}

void MD5Update(MD5_CTX* ctx, const unsigned char* data, unsigned int len) {
  MD5UpdateWide(ctx, data, len);
}

void MD5Final(MD5_CTX* ctx) {
  unsigned char bits[8];
  for (int i = 0; i < 4; ++i) {
    bits[i] = static_cast<unsigned char>(ctx->count[0] >> (8 * i));
    bits[4 + i] = static_cast<unsigned char>(ctx->count[1] >> (8 * i));
  }
  static const unsigned char k_pad[64] = {0x80};
  const size_t have = static_cast<size_t>(bytes_hashed(ctx) & 63);
  MD5UpdateWide(ctx, k_pad, have < 56 ? 56 - have : 120 - have);
  MD5UpdateWide(ctx, bits, 8);
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k)
      ctx->digest[4 * i + k] = static_cast<unsigned char>(ctx->state[i] >> (8 * k));
  memset(ctx->buffer, 0, sizeof(ctx->buffer));
}

namespace {
void to_hex(const unsigned char d[16], std::string& hex) {
  static const char k_digits[] = "0123456789abcdef";
  char out[32];
  for (int i = 0; i < 16; ++i) {
    out[2 * i] = k_digits[d[i] >> 4];
    out[2 * i + 1] = k_digits[d[i] & 15];
  }
  hex.assign(out, 32);
}

// Read in large pieces rather than mapped: as fast, and a file cut short
// while it is hashed gives a read error instead of a bus error.
constexpr size_t k_read_chunk = 1 << 20;

unsigned char* thread_buffer() {
  thread_local std::unique_ptr<unsigned char[]> buf;
  if (!buf) buf.reset(new unsigned char[k_read_chunk]);
  return buf.get();
}
}  // namespace

std::string md5_hex(const MD5_CTX& ctx) {
  std::string hex;
  to_hex(ctx.digest, hex);
  return hex;
}

int calc_file_md5(const std::string& path, std::string& hex) {
  MD5_CTX ctx;
  MD5Init(&ctx);
  std::string link_text;
  if (is_sim_link(path, &link_text)) {
    MD5UpdateWide(&ctx, link_text.data(), link_text.size());
  } else {
    std::string f = path;
    set_path_to_full(f);
    // A pipe or device has no sum: opened without blocking and refused.
    const int fd = open(f.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return err_map_failed;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd);
      return err_map_failed;
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    unsigned char* buf = thread_buffer();
    for (;;) {
      const ssize_t n = read(fd, buf, k_read_chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        close(fd);
        return err_map_failed;
      }
      if (n == 0) break;
      MD5UpdateWide(&ctx, buf, static_cast<uint64_t>(n));
    }
    close(fd);
  }
  MD5Final(&ctx);
  to_hex(ctx.digest, hex);
  return 0;
}
