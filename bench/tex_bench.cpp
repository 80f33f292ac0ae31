// Image speed, each against its peer in the same run:
// - a 1024 x 1024 RGBA PNG decoded by TEX_load_png and by libpng's own
//   simplified API (png_image_finish_read) from the same mapped file;
// - TEX_clean_edge on mostly transparent images of 256^2, 1024^2 and 2048^2
//   pixels against the direct 5 x 5 form, in ns a pixel (it must stay flat).
//
//   bench_tex_bench [--runs N]
#include <png.h>

#include <cmath>
#include <cstring>
#include <random>

#include "OOPS_cpp/xmap.h"
#include "TEX/TEX_image.h"
#include "TEX/TEX_png.h"
#include "bench_util.h"

namespace {

// A photo-like RGBA picture: smooth gradients, some noise, soft alpha.
std::vector<unsigned char> picture(int w, int h) {
  std::mt19937 g(17);
  std::vector<unsigned char> p(size_t(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* q = &p[(size_t(y) * w + x) * 4];
      const double r = std::hypot(x - w / 2.0, y - h / 2.0);
      q[0] = static_cast<unsigned char>(128 + 100 * std::sin(x * 0.01) + g() % 8);
      q[1] = static_cast<unsigned char>(128 + 100 * std::cos(y * 0.013) + g() % 8);
      q[2] = static_cast<unsigned char>((x + y) / 8 + g() % 4);
      q[3] = static_cast<unsigned char>(r < w / 3.0 ? 255 : std::max(0.0, 255 - (r - w / 3.0)));
    }
  return p;
}

// Written with libpng's defaults (adaptive filters, level 6) and no gAMA, so
// neither reader has a gamma step to do.
void write_png(const std::string& path, const std::vector<unsigned char>& px, int w, int h) {
  FILE* fp = fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (!fp || !png || !info || setjmp(png_jmpbuf(png))) {
    fprintf(stderr, "cannot write %s\n", path.c_str());
    exit(1);
  }
  png_init_io(png, fp);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, &px[size_t(y) * w * 4]);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  fclose(fp);
}

void naive_clean_edge(int w, int h, unsigned char* p) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* q = p + (size_t(y) * w + x) * 4;
      if (q[3]) continue;
      unsigned n = 0, s[3] = {0, 0, 0};
      for (int yy = std::max(0, y - 2); yy <= std::min(h - 1, y + 2); ++yy)
        for (int xx = std::max(0, x - 2); xx <= std::min(w - 1, x + 2); ++xx) {
          const unsigned char* r = p + (size_t(yy) * w + xx) * 4;
          if (!r[3]) continue;
          ++n;
          for (int c = 0; c < 3; ++c) s[c] += r[c];
        }
      if (n)
        for (int c = 0; c < 3; ++c) q[c] = static_cast<unsigned char>(s[c] / n);
    }
}

// About 4% opaque: scattered blobs on a transparent field.
std::vector<unsigned char> sparse(int n) {
  std::mt19937 g{uint32_t(n)};
  std::vector<unsigned char> p(size_t(n) * n * 4, 0);
  const int blobs = n * n / 400;
  for (int b = 0; b < blobs; ++b) {
    const int cx = int(g() % n), cy = int(g() % n);
    for (int y = std::max(0, cy - 2); y < std::min(n, cy + 2); ++y)
      for (int x = std::max(0, cx - 2); x < std::min(n, cx + 2); ++x) {
        unsigned char* q = &p[(size_t(y) * n + x) * 4];
        q[0] = static_cast<unsigned char>(g()), q[1] = static_cast<unsigned char>(g());
        q[2] = static_cast<unsigned char>(g()), q[3] = 255;
      }
  }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  for (int i = 1; i + 1 < argc; i += 2)
    if (std::string(argv[i]) == "--runs") runs = std::max(1, atoi(argv[i + 1]));
  bench::scratch dir("tex");
  const int W = 1024, H = 1024;
  const std::string file = dir.path() + "picture.png";
  write_png(file, picture(W, H), W, H);
  xmap_class map(file);
  const size_t bytes = size_t(map.map_end - map.map_base);
  printf("PNG %dx%d RGBA, %zu bytes, best of %d\n", W, H, bytes, runs);

  std::vector<unsigned char> ours_px, peer_px;
  const double ours = bench::best_of(runs, [&] {
    map.cursor = map.map_base;
    unsigned char* px = nullptr;
    TEX_image_desc d{};
    if (!TEX_load_png(file, map, px, GL_RGBA, 0, 0, 0, d)) exit(1);
    ours_px.assign(px, px + size_t(W) * H * 4);
    free(px);
  });
  const double peer = bench::best_of(runs, [&] {
    png_image img;
    memset(&img, 0, sizeof(img));
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, map.map_base, bytes)) exit(1);
    img.format = PNG_FORMAT_RGBA;
    unsigned char* px = static_cast<unsigned char*>(calloc(PNG_IMAGE_SIZE(img), 1));
    // A negative stride stores the bottom row first, as TEX_load_png does.
    if (!png_image_finish_read(&img, nullptr, px, -int(PNG_IMAGE_ROW_STRIDE(img)), nullptr))
      exit(1);
    peer_px.assign(px, px + size_t(W) * H * 4);
    free(px);
  });
  if (ours_px != peer_px) printf("  (the two readers disagree on the pixels!)\n");
  printf("  TEX_load_png          %8.2f ms\n", ours * 1e3);
  printf("  png_image_finish_read %8.2f ms\n", peer * 1e3);
  printf("  ratio TEX_load_png / png_image_finish_read = %.2f\n", ours / peer);

  printf("TEX_clean_edge, ~4%% opaque, best of %d\n", runs);
  for (int n : {256, 1024, 2048}) {
    const std::vector<unsigned char> orig = sparse(n);
    std::vector<unsigned char> a, b;
    const double t_ours = bench::best_of(runs, [&] { a = orig; },
                                         [&] { TEX_clean_edge({GL_RGBA, n, n, 0, 0}, a.data()); });
    const double t_naive = bench::best_of(runs, [&] { b = orig; },
                                          [&] { naive_clean_edge(n, n, b.data()); });
    const double px = double(n) * n;
    printf("  %4d^2: %6.2f ns/pixel, direct 5x5 form %6.2f ns/pixel, ratio %.2f%s\n", n,
           t_ours / px * 1e9, t_naive / px * 1e9, t_ours / t_naive, a == b ? "" : " (differ!)");
  }
  return 0;
}
