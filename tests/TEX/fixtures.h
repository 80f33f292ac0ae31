// Image files written byte by byte for the TEX tests: exact PNG (zlib does
// the deflate and the CRCs), BMP and DDS files, and a mapped view of bytes.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "OOPS_cpp/xmap.h"

namespace tex_fix {

inline void be32(std::string& s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s.push_back(char(v >> (8 * i)));
}
inline void le32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(char(v >> (8 * i)));
}
inline void le16(std::string& s, uint16_t v) {
  s.push_back(char(v));
  s.push_back(char(v >> 8));
}

inline std::string png_chunk(const char* type, const std::string& data) {
  std::string c;
  be32(c, uint32_t(data.size()));
  std::string body = std::string(type, 4) + data;
  c += body;
  be32(c, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
  return c;
}

struct png_spec {
  int width = 1, height = 1, depth = 8, colour = 6;  // colour type as in IHDR
  std::string rows;      // raw scanlines without filter bytes, top row first
  std::string palette;   // PLTE body
  std::string trns;      // tRNS body
  int gama = 0;          // gAMA value x 100000, 0 = none
};

inline size_t png_row_bytes(const png_spec& p) {
  const int ch = p.colour == 0 ? 1 : p.colour == 2 ? 3 : p.colour == 3 ? 1 : p.colour == 4 ? 2 : 4;
  return (size_t(p.width) * ch * p.depth + 7) / 8;
}

inline std::string png_bytes(const png_spec& p) {
  std::string s = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  be32(ihdr, uint32_t(p.width));
  be32(ihdr, uint32_t(p.height));
  ihdr += char(p.depth);
  ihdr += char(p.colour);
  ihdr += std::string(3, '\0');
  s += png_chunk("IHDR", ihdr);
  if (p.gama) {
    std::string g;
    be32(g, uint32_t(p.gama));
    s += png_chunk("gAMA", g);
  }
  if (!p.palette.empty()) s += png_chunk("PLTE", p.palette);
  if (!p.trns.empty()) s += png_chunk("tRNS", p.trns);
  const size_t rb = png_row_bytes(p);
  std::string raw;
  for (int y = 0; y < p.height; ++y) {
    raw += '\0';  // filter: none
    raw += p.rows.substr(size_t(y) * rb, rb);
  }
  uLongf n = compressBound(uLong(raw.size()));
  std::string z(n, '\0');
  compress2(reinterpret_cast<Bytef*>(z.data()), &n, reinterpret_cast<const Bytef*>(raw.data()),
            uLong(raw.size()), 6);
  z.resize(n);
  s += png_chunk("IDAT", z);
  s += png_chunk("IEND", "");
  return s;
}

// An RGBA PNG whose pixel (x, y from the top) is (x, y, x ^ y, 255 - x).
inline std::string png_rgba_pattern(int w, int h) {
  png_spec p;
  p.width = w;
  p.height = h;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      p.rows += char(x);
      p.rows += char(y);
      p.rows += char(x ^ y);
      p.rows += char(255 - x);
    }
  return png_bytes(p);
}

// A 24-bit BMP; bgr holds the rows bottom row first, 3 bytes a pixel.
struct bmp_spec {
  int width = 1, height = 1, bits = 24, compression = 0, info_size = 40;
  int64_t data_offset = -1;  // -1: right after the header
  std::string bgr;
};

inline std::string bmp_bytes(const bmp_spec& b) {
  const size_t stride = (size_t(b.width) * 3 + 3) & ~size_t(3);
  std::string data;
  for (int y = 0; y < b.height; ++y) {
    std::string row = b.bgr.substr(size_t(y) * b.width * 3, size_t(b.width) * 3);
    row.resize(stride, '\0');
    data += row;
  }
  std::string s = "BM";
  const uint32_t off = b.data_offset < 0 ? uint32_t(14 + b.info_size) : uint32_t(b.data_offset);
  le32(s, uint32_t(off + data.size()));
  le32(s, 0);
  le32(s, off);
  le32(s, uint32_t(b.info_size));
  le32(s, uint32_t(b.width));
  le32(s, uint32_t(b.height));
  le16(s, 1);
  le16(s, uint16_t(b.bits));
  le32(s, uint32_t(b.compression));
  le32(s, uint32_t(data.size()));
  le32(s, 2835);
  le32(s, 2835);
  le32(s, 0);
  le32(s, 0);
  s.resize(14 + size_t(b.info_size), '\0');
  if (off > s.size()) s.resize(off, '\0');
  return s + data;
}

struct dds_spec {
  int width = 4, height = 4;
  uint32_t flags = 0x1007 | 0x20000, caps = 0x1000 | 0x400000 | 0x8;
  uint32_t pf_flags = 0x4, bits = 0;
  std::string fourcc = "DXT1";
  std::string data;
};

inline std::string dds_bytes(const dds_spec& d) {
  std::string s = "DDS ";
  le32(s, 124);
  le32(s, d.flags);
  le32(s, uint32_t(d.height));
  le32(s, uint32_t(d.width));
  le32(s, 0);
  le32(s, 0);
  le32(s, 0);
  s.resize(76, '\0');
  le32(s, 32);
  le32(s, d.pf_flags);
  std::string cc = d.fourcc;
  cc.resize(4, '\0');
  s += cc;
  le32(s, d.bits);
  s.resize(108, '\0');
  le32(s, d.caps);
  s.resize(128, '\0');
  return s + d.data;
}

// A mapped file over a private copy of bytes, sized exactly, so a sanitizer
// sees any read past the end.
struct mem_file {
  char* buf;
  xmap_class map{""};
  explicit mem_file(const std::string& bytes) {
    buf = static_cast<char*>(malloc(bytes.size() ? bytes.size() : 1));
    memcpy(buf, bytes.data(), bytes.size());
    map.map_base = map.cursor = buf;
    map.map_end = buf + bytes.size();
  }
  ~mem_file() {
    map.map_base = map.cursor = map.map_end = nullptr;
    free(buf);
  }
};

}  // namespace tex_fix

namespace tex_fix {

// Signature, IHDR and an IDAT of garbage: enough for libpng to read the
// header and fail (or be stopped) before any pixel.
inline std::string png_header_only(uint32_t w, uint32_t h, int depth = 8, int colour = 6) {
  std::string s = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  be32(ihdr, w);
  be32(ihdr, h);
  ihdr += char(depth);
  ihdr += char(colour);
  ihdr += std::string(3, '\0');
  s += png_chunk("IHDR", ihdr);
  s += png_chunk("IDAT", "\x78\x9c garbage");
  s += png_chunk("IEND", "");
  return s;
}

// Signature, a 1 x 1 RGBA IHDR, then a chunk that declares `declared` bytes
// of data but is cut after `first`: 46 bytes for a 5-byte `first`.
inline std::string png_cut_in_chunk(const char* type, uint32_t declared, const std::string& first) {
  std::string s = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  be32(ihdr, 1);
  be32(ihdr, 1);
  ihdr += std::string("\x08\x06\0\0\0", 5);
  s += png_chunk("IHDR", ihdr);
  be32(s, declared);
  return s + std::string(type, 4) + first;
}

}  // namespace tex_fix
