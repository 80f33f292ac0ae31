#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>

#include "GenH/shell.h"
#include "TEX/TEX_png.h"
#include "TEX/TEX_scratch.h"
#include "fixtures.h"
#include "support/test_util.h"

using namespace tex_fix;

namespace {

struct loaded {
  int ok = 0;
  unsigned char* px = nullptr;
  TEX_image_desc d{};
  ~loaded() { free(px); }
};

void load(loaded& out, const std::string& bytes, unsigned long fmt, int pow2, int auto_alpha = 0,
          int pad_to_width = 0) {
  mem_file f(bytes);
  out.ok = TEX_load_png("t.png", f.map, out.px, fmt, pad_to_width, pow2, auto_alpha, out.d);
}

bool has_alert(const char* s1, const char* s2_part) {
  for (const auto& a : fly_test::alerts())
    if (a.s1 == s1 && a.s2.find(s2_part) != std::string::npos) return true;
  return false;
}

// Peak resident size in kB since the last reset_peak_rss.
long peak_rss_kb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return atol(line.c_str() + 6);
  return 0;
}

long reset_peak_rss() {
  std::ofstream("/proc/self/clear_refs") << "5";
  return peak_rss_kb();
}

}  // namespace

TEST(PngRead, RgbaRowZeroIsTheBottomWithPowerOfTwoPadding) {
  loaded r;
  load(r, png_rgba_pattern(300, 200), GL_RGBA, 1);
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(r.d.format, uint32_t(GL_RGBA));
  EXPECT_EQ(r.d.width, 300);
  EXPECT_EQ(r.d.height, 200);
  EXPECT_EQ(r.d.pad, 4 * (512 - 300));
  EXPECT_EQ(r.d.has_mipmaps, 0);
  const size_t stride = 512 * 4;
  for (int top = 0; top < 200; top += 37)
    for (int x = 0; x < 300; x += 29) {
      const unsigned char* p = r.px + size_t(199 - top) * stride + size_t(x) * 4;
      EXPECT_EQ(p[0], x & 255);
      EXPECT_EQ(p[1], top);
      EXPECT_EQ(p[2], (x ^ top) & 255);
      EXPECT_EQ(p[3], (255 - x) & 255);
    }
  // Padding columns and the rows above the picture are zero.
  for (int y = 0; y < 256; ++y)
    for (size_t b = (y < 200 ? 1200 : 0); b < stride; b += 97) EXPECT_EQ(r.px[y * stride + b], 0);
}

TEST(PngRead, RgbThreeByFivePow2AndExplicitPad) {
  png_spec p;
  p.width = 3, p.height = 5, p.colour = 2;
  for (int i = 0; i < 45; ++i) p.rows += char(i + 1);
  loaded r;
  load(r, png_bytes(p), GL_RGB, 1);
  ASSERT_EQ(r.ok, 1);
  EXPECT_EQ(r.d.width, 3);
  EXPECT_EQ(r.d.height, 5);
  EXPECT_EQ(r.d.pad, 3);
  for (int row = 0; row < 8; ++row)
    for (int b = 0; b < 12; ++b) {
      const int top = 4 - row;
      const int want = row < 5 && b < 9 ? top * 9 + b + 1 : 0;
      EXPECT_EQ(r.px[row * 12 + b], want) << row << "," << b;
    }
  // pad_to_width without pow2: rows of 5 pixels, height rows only.
  loaded w;
  load(w, png_bytes(p), GL_RGB, 0, 0, 5);
  ASSERT_EQ(w.ok, 1);
  EXPECT_EQ(w.d.pad, 6);
  EXPECT_EQ(w.px[0], 4 * 9 + 1);
  EXPECT_EQ(w.px[4 * 15], 1);
}

TEST(PngRead, PaletteTransparencyGreyAndAlphaConversions) {
  png_spec pal;
  pal.width = 2, pal.height = 1, pal.colour = 3;
  pal.palette = std::string("\x10\x20\x30\x40\x50\x60", 6);
  pal.trns = std::string("\x80", 1);  // entry 0 half transparent, entry 1 opaque
  pal.rows = std::string("\x00\x01", 2);
  loaded a;
  load(a, png_bytes(pal), GL_RGB, 0, 1);
  ASSERT_EQ(a.ok, 1);
  EXPECT_EQ(a.d.format, uint32_t(GL_RGBA));
  EXPECT_EQ(std::vector<unsigned char>(a.px, a.px + 8),
            (std::vector<unsigned char>{0x10, 0x20, 0x30, 0x80, 0x40, 0x50, 0x60, 0xFF}));
  loaded b;
  load(b, png_bytes(pal), GL_RGB, 0, 0);
  ASSERT_EQ(b.ok, 1);
  EXPECT_EQ(b.d.format, uint32_t(GL_RGB));
  EXPECT_EQ(std::vector<unsigned char>(b.px, b.px + 6),
            (std::vector<unsigned char>{0x10, 0x20, 0x30, 0x40, 0x50, 0x60}));
  loaded c;  // no alpha in the file: auto_alpha turns RGBA into RGB
  png_spec rgb;
  rgb.width = 1, rgb.colour = 2, rgb.rows = "abc";
  load(c, png_bytes(rgb), GL_RGBA, 0, 1);
  EXPECT_EQ(c.d.format, uint32_t(GL_RGB));

  png_spec g16;
  g16.width = 2, g16.height = 1, g16.depth = 16, g16.colour = 0;
  g16.rows = std::string("\xAB\xCD\x12\x34", 4);
  loaded g;
  load(g, png_bytes(g16), GL_RGBA, 0);
  ASSERT_EQ(g.ok, 1);
  EXPECT_EQ(std::vector<unsigned char>(g.px, g.px + 8),
            (std::vector<unsigned char>{0xAB, 0xAB, 0xAB, 255, 0x12, 0x12, 0x12, 255}));

  png_spec rgba;  // grey colours with varying alpha: the grey level is kept
  rgba.width = 3, rgba.rows = std::string("\x20\x20\x20\x00\x80\x80\x80\x10\xF0\xF0\xF0\xFF", 12);
  loaded al;
  load(al, png_bytes(rgba), GL_ALPHA, 0);
  ASSERT_EQ(al.ok, 1);
  EXPECT_EQ(std::vector<unsigned char>(al.px, al.px + 3),
            (std::vector<unsigned char>{0x20, 0x80, 0xF0}));

  png_spec grey4;  // packed 4-bit grey expands to 8 bits
  grey4.width = 2, grey4.depth = 4, grey4.colour = 0, grey4.rows = std::string("\xF0", 1);
  loaded g4;
  load(g4, png_bytes(grey4), GL_ALPHA, 0);
  ASSERT_EQ(g4.ok, 1);
  EXPECT_EQ(g4.px[0], 0xFF);
  EXPECT_EQ(g4.px[1], 0x00);
}

TEST(PngRead, ShortFilesReturnZeroQuietly) {
  fly_test::clear_alerts();
  loaded r;
  load(r, std::string("\x89PNG\r\n\x1a", 7), GL_RGBA, 0);
  EXPECT_EQ(r.ok, 0);
  EXPECT_EQ(r.px, nullptr);
  xmap_class none("no such file.png");
  unsigned char* px = nullptr;
  TEX_image_desc d{};
  EXPECT_EQ(TEX_load_png("x", none, px, GL_RGBA, 0, 0, 0, d), 0);
  EXPECT_TRUE(fly_test::alerts().empty());
}

TEST(PngRead, CorruptFilesShowTheErrorThenEndTheProgram) {
  const std::string good = png_rgba_pattern(40, 30);
  struct { std::string bytes; const char* error; } cases[] = {
      {good.substr(0, good.size() - 30), "overran end of buffer"},  // cut inside IDAT
      {good.substr(0, 20), "overran end of buffer"},                // cut inside IHDR
      {png_header_only(100000, 10), "IHDR"},                        // over the side limit
      {png_header_only(0, 10), "IHDR"},
      {png_header_only(10, 10, 3, 2), ""},                          // illegal depth
  };
  std::string bad_crc = good;
  bad_crc[30] ^= 1;  // inside IHDR
  for (auto& c : cases) {
    fly_test::clear_alerts();
    loaded r;
    EXPECT_FATAL_ALERT(load(r, c.bytes, GL_RGBA, 1), "PING-FILE ERROR!");
    EXPECT_TRUE(has_alert("PNG error!", c.error)) << c.error;
    EXPECT_EQ(r.px, nullptr);
  }
  fly_test::clear_alerts();
  loaded r;
  EXPECT_FATAL_ALERT(load(r, bad_crc, GL_RGBA, 1), "PING-FILE ERROR!");
  EXPECT_TRUE(has_alert("PNG error!", "CRC"));
  loaded s;
  EXPECT_FATAL_ALERT(load(s, "NOTAPNG!xxxxxxxx", GL_RGBA, 0), "PING-FILE ERROR!");
  loaded t;
  EXPECT_FATAL_ALERT(load(t, good, GL_BGRA, 0), "Illegal bits per pixel");
}

// Damaged files that declare far more than they hold are refused through the
// usual error without the reader taking the declared memory or time.
TEST(PngRead, HugeDeclaredSizesAreRefusedAtOnce) {
  const uint32_t huge = 822000000;
#ifdef FLY_SANITIZED_BUILD
  // The sanitizer poisons and unpoisons the shadow of the big buffer: on a
  // loaded machine that alone has taken over a second.
  const double buffer_secs = 4.0;
#else
  const double buffer_secs = 1.0;
#endif
  struct { std::string bytes; const char* error; long mb; double secs; } cases[] = {
      {png_cut_in_chunk("sPLT", huge, std::string("pal\0\x08", 5)), "overran end of buffer", 16,
       1.0},
      {png_cut_in_chunk("tEXt", huge, "Title"), "overran end of buffer", 16, 1.0},
      {png_cut_in_chunk("zTXt", huge, "Title"), "overran end of buffer", 16, 1.0},
      {png_cut_in_chunk("iTXt", huge, "Title"), "overran end of buffer", 16, 1.0},
      // 256 MB of grey pixels and no image data: the buffer is mapped, never
      // touched; AddressSanitizer's shadow of it is an eighth.
      {png_header_only(16384, 16384), "", 16 + 256 / 8, buffer_secs},
  };
  ASSERT_EQ(cases[0].bytes.size(), 46u);
  for (auto& c : cases) {
    fly_test::clear_alerts();
    const long before = reset_peak_rss();
    const auto t0 = std::chrono::steady_clock::now();
    loaded r;
    EXPECT_FATAL_ALERT(load(r, c.bytes, GL_ALPHA, 0), "PING-FILE ERROR!");
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_TRUE(has_alert("PNG error!", c.error)) << c.bytes.substr(37, 4);
    EXPECT_LT(secs, c.secs) << c.bytes.substr(37, 4);
    EXPECT_LT(peak_rss_kb() - before, c.mb * 1024) << c.bytes.substr(37, 4);
  }
}

TEST(PngRead, GivenBufferTooSmallIsRefusedBeforeAnyPixel) {
  // A 4096-wide image into the scratch store: the side check, before decoding.
  unsigned char* px = scratch_array;
  TEX_image_desc d{};
  scratch_array[0] = 0x5A;
  {
    mem_file f(png_header_only(4096, 4096));
    EXPECT_FATAL_ALERT(TEX_load_png("big.png", f.map, px, GL_RGBA, 0, 1, 0, d),
                       "Trying to create a texture either less than 1 or greater than 2048!");
  }
  EXPECT_EQ(scratch_array[0], 0x5A);
  // Bound for the texture store, a side over 2048 is refused even when it fits.
  {
    mem_file f(png_header_only(3000, 1));
    EXPECT_FATAL_ALERT(TEX_load_png("wide.png", f.map, px, GL_RGBA, 0, 0, 0, d),
                       "Trying to create a texture either less than 1 or greater than 2048!");
  }
  EXPECT_EQ(scratch_array[0], 0x5A);
  // A legal size into a caller's small buffer: the same alert, nothing written.
  std::vector<unsigned char> small(64 + 16, 0xEE);
  unsigned char* sp = small.data();
  mem_file f(png_rgba_pattern(8, 8));
  EXPECT_FATAL_ALERT(TEX_load_png("s.png", f.map, sp, GL_RGBA, 0, 0, 0, d, 64),
                     "Trying to create a texture either less than 1 or greater than 2048!");
  EXPECT_EQ(small, std::vector<unsigned char>(80, 0xEE));
  // Exactly enough room: decoded in place.
  std::vector<unsigned char> fit(256, 0xEE);
  unsigned char* fp = fit.data();
  mem_file g(png_rgba_pattern(8, 8));
  EXPECT_EQ(TEX_load_png("s.png", g.map, fp, GL_RGBA, 0, 0, 0, d, 256), 1);
  EXPECT_EQ(fp, fit.data());
  EXPECT_EQ(fit[7 * 32 + 1], 0);  // top row (y 0) is the last buffer row
}

TEST(PngWrite, RoundTripsEveryFormatAndPad) {
  for (uint32_t f : {uint32_t(GL_RGBA), uint32_t(GL_RGB), uint32_t(GL_ALPHA)}) {
    const int bpp = f == GL_RGBA ? 4 : f == GL_RGB ? 3 : 1;
    const TEX_image_desc d{f, 13, 7, 2, 0};
    std::vector<unsigned char> px(size_t(13 * bpp + 2) * 7);
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<unsigned char>(i * 31 + 5);
    ASSERT_TRUE(TEX_save_png("out.png", d, px.data()));
    const std::string file = fly_test::read_file("out.png");
    EXPECT_NE(file.find("gAMA"), std::string::npos);
    loaded r;
    load(r, file, f, 0, 0, 15);
    ASSERT_EQ(r.ok, 1);
    EXPECT_EQ(r.d.pad, 2 * bpp);
    for (int y = 0; y < 7; ++y)
      for (int b = 0; b < 13 * bpp; ++b)
        EXPECT_EQ(r.px[size_t(y) * 15 * bpp + b], px[size_t(y) * (13 * bpp + 2) + b]);
  }
  // The screenshot entry point saves the scratch store.
  for (int i = 0; i < 4 * 6; ++i) scratch_array[i] = static_cast<unsigned char>(i);
  ASSERT_EQ(write_png_to_disk("shot.png", 3, 2, 3), 1);
  loaded s;
  load(s, fly_test::read_file("shot.png"), GL_RGB, 0);
  EXPECT_EQ(std::vector<unsigned char>(s.px, s.px + 18),
            std::vector<unsigned char>(scratch_array, scratch_array + 18));
  const TEX_image_desc bad{GL_BGRA, 1, 1, 0, 0};
  EXPECT_FATAL_ALERT(TEX_save_png("x.png", bad, scratch_array), "Illegal pixel format");
}

TEST(PngWrite, FailedWritesReportFalseAndLeaveNoFile) {
  std::vector<unsigned char> px(256 * 256 * 4);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<unsigned char>((i * 2654435761u) >> 13);
  const TEX_image_desc d{GL_RGBA, 256, 256, 0, 0};
  EXPECT_FALSE(TEX_save_png("no/such/folder/x.png", d, px.data()));
  // A full device: the write fails, and the device itself stays.
  if (fly_test::file_exists("/dev/full")) {
    EXPECT_FALSE(TEX_save_png("/dev/full", d, px.data()));
    EXPECT_TRUE(fly_test::file_exists("/dev/full"));
  }
  // A file-size limit stops the write half way: false, and no partial file.
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &lim);
    const bool ok = TEX_save_png("limited.png", d, px.data());
    _exit(ok ? 1 : access("limited.png", F_OK) == 0 ? 2 : 0);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  ASSERT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 0);
}

// Written by libpng itself, since the fixture writer makes no Adam7 files.
static std::string interlaced_png(int w, int h) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep d, png_size_t n) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(d), n);
      },
      nullptr);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<unsigned char> px(size_t(w) * h * 3);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<unsigned char>(i * 13);
  std::vector<png_bytep> rows(static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) rows[size_t(y)] = px.data() + size_t(y) * w * 3;
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

TEST(PngRead, InterlacedFilesAreReadWhole) {
  loaded r;
  load(r, interlaced_png(13, 11), GL_RGB, 0);
  ASSERT_EQ(r.ok, 1);
  for (int top = 0; top < 11; ++top)
    for (int b = 0; b < 13 * 3; ++b)
      ASSERT_EQ(r.px[size_t(10 - top) * 39 + b], static_cast<unsigned char>((top * 39 + b) * 13));
}
