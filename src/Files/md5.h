// MD5 message digest (RFC 1321) and the MD5 of a file.
#pragma once

#include <cstdint>
#include <string>

struct MD5_CTX {
  uint32_t count[2];  // bits hashed, low word first
  uint32_t state[4];
  unsigned char buffer[64];
  unsigned char digest[16];  // filled by MD5Final
};

void MD5Init(MD5_CTX* ctx);
void MD5Update(MD5_CTX* ctx, const unsigned char* data, unsigned int len);
// Any length, 4 GiB and more included.
void MD5UpdateWide(MD5_CTX* ctx, const void* data, uint64_t len);
void MD5Final(MD5_CTX* ctx);
// The 32 lower-case hex digits of a final digest.
std::string md5_hex(const MD5_CTX& ctx);

// 0 with the 32 lower-case hex digits of the file's MD5 in hex, or 20006 when
// the file cannot be read (hex unchanged). A symbolic link hashes its text.
int calc_file_md5(const std::string& path, std::string& hex);
