// The interface art the build draws (tools/make_art.cpp): every image loads
// through our own PNG reader at the size its loader expects, every texel
// region the widgets read holds its element, the nine-piece and strip
// elements repeat without seams, and the colours sampled at start-up come out
// as designed and legible on the panels they are drawn on.
#include <cmath>
#include <cstdlib>
#include <string>

#include "TEX/TEX_image.h"
#include "support/test_util.h"

namespace {

struct texel {
  int r, g, b, a;
};

struct image {
  int ok = 0;
  unsigned char* px = nullptr;
  TEX_image_desc d{};
  explicit image(const std::string& name) {
    ok = TEX_load_any(std::string(FLY_APP_DIR) + "/Resources/" + name, px, GL_RGBA, 0, 0, d);
  }
  ~image() { free(px); }
  image(const image&) = delete;
  image& operator=(const image&) = delete;
  // (u, v) as OpenGL addresses the texture: row 0 is the bottom row.
  texel at(int u, int v) const {
    const unsigned char* p = px + (size_t(v) * d.width + u) * 4;
    return {p[0], p[1], p[2], p[3]};
  }
  int diff(int u1, int v1, int u2, int v2) const {
    const texel a = at(u1, v1), b = at(u2, v2);
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) + std::abs(a.a - b.a);
  }
  // Texels of the box [u0, u1) x [v0, v1) with alpha above 32.
  int visible(int u0, int v0, int u1, int v1) const {
    int n = 0;
    for (int v = v0; v < v1; ++v)
      for (int u = u0; u < u1; ++u) n += at(u, v).a > 32;
    return n;
  }
  // Summed difference of two boxes of the same size.
  long box_diff(int u1, int v1, int u2, int v2, int w, int h) const {
    long s = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) s += diff(u1 + x, v1 + y, u2 + x, v2 + y);
    return s;
  }
};

void expect_size(const image& im, int w, int h) {
  ASSERT_EQ(im.ok, 1);
  EXPECT_EQ(im.d.format, uint32_t(GL_RGBA));
  EXPECT_EQ(im.d.width, w);
  EXPECT_EQ(im.d.height, h);
  EXPECT_EQ(im.d.pad, 0);
}

// WCAG contrast ratio of two opaque colours.
double luminance(double r, double g, double b) {
  auto lin = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
  return 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b);
}
double contrast(texel a, double r, double g, double b) {
  const double la = luminance(a.r / 255.0, a.g / 255.0, a.b / 255.0), lb = luminance(r, g, b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

struct named_box {
  const char* name;
  int u0, v0, u1, v1;
};

// Every element the widgets and the shell read from the interface texture.
const named_box k_interface_boxes[] = {
    {"menu bar strip", 1, 487, 101, 512},         {"title bar strip", 102, 487, 202, 512},
    {"button face", 304, 486, 356, 512},          {"button pressed", 304, 459, 356, 485},
    {"progress trough", 112, 161, 140, 177},      {"progress fill", 83, 161, 111, 177},
    {"slider track", 240, 242, 305, 266},         {"slider fill", 289, 219, 305, 235},
    {"text field", 262, 133, 313, 159},           {"drop-down field", 357, 488, 425, 512},
    {"window with title", 1, 358, 101, 458},      {"window", 102, 358, 202, 458},
    {"inner panel", 203, 358, 303, 458},          {"help box", 304, 358, 404, 458},
    {"dark panel", 405, 358, 505, 458},           {"list panel", 1, 289, 69, 357},
    {"menu panel", 70, 315, 112, 357},            {"small panel 21", 113, 315, 155, 357},
    {"small panel 22", 440, 12, 484, 56},         {"check box", 139, 178, 157, 196},
    {"check mark", 139, 197, 157, 215},           {"radio box", 83, 123, 101, 141},
    {"radio mark", 83, 142, 101, 160},            {"close box", 120, 178, 138, 196},
    {"close box hot", 120, 197, 138, 215},        {"submenu arrow", 158, 178, 176, 196},
    {"number down", 83, 178, 97, 196},            {"number up", 83, 197, 97, 215},
    {"scroll up", 83, 266, 101, 288},             {"scroll thumb", 83, 240, 101, 264},
    {"scroll down", 83, 216, 101, 238},           {"scroll track", 102, 248, 122, 288},
    {"slider knob", 262, 267, 282, 289},          {"tab front", 204, 486, 302, 512},
    {"tab back", 204, 459, 302, 485},             {"folder button", 208, 133, 234, 159},
    {"dial", 178, 160, 234, 218},                 {"needle", 156, 272, 166, 314},
    {"needle plain", 156, 315, 166, 357},         {"icon folder", 34, 82, 46, 94},
    {"icon aircraft", 48, 82, 60, 94},            {"icon airfoil", 62, 82, 74, 94},
    {"icon weapon", 90, 82, 102, 94},             {"icon object", 146, 82, 158, 94},
    {"icon situation", 104, 82, 116, 94},         {"icon movie", 118, 82, 130, 94},
    {"icon flight plan", 132, 82, 144, 94},       {"cursor 4", 199, 328, 230, 357},
    {"cursor 5", 230, 328, 261, 357},             {"cursor 7", 199, 291, 230, 327},
    {"cursor 8", 230, 291, 261, 327},             {"cursor 10", 262, 310, 294, 357},
    {"cursor 11", 294, 310, 326, 357},            {"cursor 13", 487, 309, 506, 333},
    {"cursor 14", 487, 333, 506, 357},            {"cursor 16", 262, 291, 294, 309},
    {"cursor 17", 294, 291, 326, 309},            {"cursor 18", 328, 325, 358, 355},
    {"cursor 18 held", 360, 325, 390, 355},       {"cursor 19", 328, 293, 358, 323},
    {"cursor 19 held", 360, 293, 390, 323},       {"cursor 20", 168, 325, 198, 355},
    {"cursor 21", 168, 293, 198, 323},            {"cursor 22", 199, 250, 239, 290},
    {"cursor 23", 456, 325, 486, 355},            {"cursor 24", 424, 325, 454, 355},
};

TEST(InterfaceArt, AtlasHoldsEveryElementWhereTheWidgetsReadIt) {
  image im("interface.png");
  expect_size(im, 512, 512);
  for (const auto& b : k_interface_boxes) {
    const int area = (b.u1 - b.u0) * (b.v1 - b.v0);
    EXPECT_GE(im.visible(b.u0, b.v0, b.u1, b.v1), area / 20) << b.name;
    // Something is drawn in it: not one flat colour.
    int spread = 0;
    for (int v = b.v0; v < b.v1; ++v)
      for (int u = b.u0; u < b.u1; ++u) spread = std::max(spread, im.diff(u, v, b.u0, b.v0));
    EXPECT_GT(spread, 60) << b.name;
  }
  // Panels, strips and faces are opaque at their centre (the slider's
  // groove lies 4 above the track's centre).
  const int centres[][2] = {{51, 499},  {152, 499}, {330, 499}, {330, 472}, {126, 169}, {97, 169},
                            {272, 258}, {297, 227}, {287, 146}, {380, 500}, {51, 408},  {152, 408},
                            {253, 408}, {354, 408}, {455, 408}, {35, 323},  {91, 336},  {134, 336},
                            {462, 34}};
  for (const auto& c : centres) EXPECT_GT(im.at(c[0], c[1]).a, 240) << c[0] << "," << c[1];
  // The two top strips run one row past the atlas; row 0 carries their top row.
  for (int u = 2; u < 201; u += 9) EXPECT_LE(im.diff(u, 0, u, 511), 4) << u;
}

TEST(InterfaceArt, MarksPressedAndHeldLooksDifferFromTheirPlainLooks) {
  image im("interface.png");
  ASSERT_EQ(im.ok, 1);
  struct pair {
    const char* name;
    int u1, v1, u2, v2, w, h;
  };
  const pair pairs[] = {
      {"check mark", 139, 178, 139, 197, 18, 18},   {"radio mark", 83, 123, 83, 142, 18, 18},
      {"close box hot", 120, 178, 120, 197, 18, 18}, {"button pressed", 304, 486, 304, 459, 52, 26},
      {"tab front", 204, 486, 204, 459, 98, 26},     {"cursor 18 held", 328, 325, 360, 325, 30, 30},
      {"cursor 19 held", 328, 293, 360, 293, 30, 30}, {"progress fill", 112, 161, 83, 161, 28, 16},
      {"cursor 20 and 21", 168, 325, 168, 293, 30, 30},
  };
  for (const auto& p : pairs)
    EXPECT_GT(im.box_diff(p.u1, p.v1, p.u2, p.v2, p.w, p.h), 40L * p.w * p.h / 4) << p.name;
}

// Strips repeat their middle columns; nine-piece panels their middle rows and
// columns. A gradient or a mark there shows as bands when widened.
TEST(InterfaceArt, RepeatedMiddlesOfStripsAndPanelsAreSeamless) {
  image im("interface.png");
  ASSERT_EQ(im.ok, 1);
  struct strip {
    int kind, col, row, g, f, j;
  };
  const strip strips[] = {{0, 1, 487, 10, 90, 25},   {1, 102, 487, 20, 80, 25}, {2, 304, 486, 10, 42, 26},
                          {3, 304, 459, 10, 42, 26}, {4, 112, 161, 10, 18, 16}, {5, 83, 161, 10, 18, 16},
                          {7, 240, 242, 10, 55, 24}, {8, 289, 219, 7, 9, 16},   {9, 262, 133, 10, 41, 26},
                          {10, 357, 488, 26, 42, 24}};
  for (const auto& s : strips)
    for (int v = s.row; v < s.row + s.j; ++v)
      for (int u = s.col + s.g; u < s.col + s.f; ++u)
        ASSERT_LE(im.diff(u, v, s.col + s.g, v), 3) << "kind " << s.kind << " at " << u << "," << v;
  struct panel {
    int kind, col, row, s;
    double a, b, t;
  };
  const panel panels[] = {{14, 1, 358, 100, 35, 30, 30},  {15, 102, 358, 100, 35, 30, 30},
                          {16, 203, 358, 100, 35, 30, 30}, {17, 304, 358, 100, 35, 30, 30},
                          {18, 405, 358, 100, 35, 30, 30}, {19, 1, 289, 68, 23.8, 20.4, 20.4},
                          {20, 70, 315, 42, 20, 26, 14},   {21, 113, 315, 42, 14.7, 12.6, 12.6},
                          {22, 440, 12, 44, 15.4, 13.2, 13.2}};
  for (const auto& p : panels) {
    const int u0 = p.col + int(std::ceil(p.a)), u1 = p.col + p.s - int(std::ceil(p.a));
    const int v0 = p.row + int(std::ceil(p.b)), v1 = p.row + p.s - int(std::ceil(p.t));
    for (int v = p.row; v < p.row + p.s; ++v)
      for (int u = u0; u < u1; ++u) ASSERT_LE(im.diff(u, v, u0, v), 3) << "kind " << p.kind << " at " << u << "," << v;
    for (int u = p.col; u < p.col + p.s; ++u)
      for (int v = v0; v < v1; ++v) ASSERT_LE(im.diff(u, v, u, v0), 3) << "kind " << p.kind << " at " << u << "," << v;
  }
  // The vertical slider track repeats rows 258..278.
  for (int u = 102; u < 122; ++u)
    for (int v = 258; v < 278; ++v) ASSERT_LE(im.diff(u, v, u, 258), 3) << u << "," << v;
}

TEST(InterfaceArt, ColourPixelsGiveTheDesignedSlotsLegibleOnTheirPanels) {
  image im("interface.png");
  ASSERT_EQ(im.ok, 1);
  // The start-up sampling: rows of 512 pixels, counted from the buffer's first row.
  auto sample = [&](int col, int row) {
    const unsigned char* p = im.px + size_t(row) * 2048 + size_t(col) * 4;
    return texel{p[0], p[1], p[2], p[3]};
  };
  struct slot {
    int n, col, row;
    unsigned rgb;
  };
  const slot slots[] = {{37, 319, 155, 0x222A35}, {38, 319, 147, 0x9AA6B4}, {39, 319, 139, 0x2F7BE0},
                        {40, 319, 131, 0xFFFFFF}, {41, 319, 123, 0x1E2631}, {43, 319, 115, 0xF2F5F9},
                        {44, 319, 107, 0x1E2631}, {45, 319, 99, 0x5A6675},  {46, 319, 91, 0x222B36},
                        {47, 395, 115, 0x2F7BE0}, {48, 319, 83, 0x3A4656},  {49, 319, 75, 0x6B7786},
                        {50, 319, 67, 0x9CCBFF}};
  for (const auto& s : slots) {
    const texel t = sample(s.col, s.row);
    EXPECT_EQ(t.r, int(s.rgb >> 16)) << "slot " << s.n;
    EXPECT_EQ(t.g, int((s.rgb >> 8) & 255)) << "slot " << s.n;
    EXPECT_EQ(t.b, int(s.rgb & 255)) << "slot " << s.n;
  }
  auto slot_rgb = [&](int n, double& r, double& g, double& b) {
    for (const auto& s : slots)
      if (s.n == n) {
        const texel t = sample(s.col, s.row);
        r = t.r / 255.0, g = t.g / 255.0, b = t.b / 255.0;
        return;
      }
    FAIL() << n;
  };
  struct legible {
    const char* on;
    int u, v, slot;
  };
  // Text slots on the panel centres they are drawn on.
  const legible pairs[] = {{"inner panel", 253, 408, 46}, {"inner panel", 253, 408, 48},
                           {"list panel", 35, 323, 48},   {"menu panel", 91, 336, 41},
                           {"button face", 330, 499, 46}, {"title band", 51, 447, 43},
                           {"dark panel", 455, 408, 50},  {"drop-down field", 380, 500, 41},
                           {"text field", 287, 146, 48},  {"front tab", 253, 497, 44}};
  for (const auto& p : pairs) {
    double r = 0, g = 0, b = 0;
    slot_rgb(p.slot, r, g, b);
    EXPECT_GE(contrast(im.at(p.u, p.v), r, g, b), 4.5) << "slot " << p.slot << " on " << p.on;
  }
  // White text (slot 52) goes on the help box and the dark panel.
  EXPECT_GE(contrast(im.at(354, 408), 1, 1, 1), 7.0);
  EXPECT_GE(contrast(im.at(455, 408), 1, 1, 1), 7.0);
  // The window background differs plainly from the light panels.
  double r = 0, g = 0, b = 0;
  slot_rgb(37, r, g, b);
  EXPECT_GE(contrast(im.at(253, 408), r, g, b), 7.0);
}

const char* const k_languages[] = {"English", "French", "German", "Russian", "Italian", "Spanish"};
const int k_cuts[8][6] = {{0, 0, 0, 0, 0, 0},           {56, 91, 96, 75, 54, 60},
                          {145, 172, 181, 144, 212, 156}, {246, 284, 256, 211, 312, 269},
                          {357, 477, 422, 346, 480, 421}, {489, 695, 611, 422, 673, 606},
                          {605, 874, 762, 501, 840, 789}, {691, 958, 859, 616, 921, 892}};

TEST(InterfaceArt, ButtonImagesOfEveryLanguageFitTheirCuts) {
  for (int lang = 0; lang < 6; ++lang) {
    SCOPED_TRACE(k_languages[lang]);
    image im(std::string("elements_") + k_languages[lang] + ".png");
    expect_size(im, 1024, 128);
    if (!im.ok) continue;
    // Looks: hovered rows 0..22, pressed 23..45, normal 46..68.
    const int looks[3] = {0, 23, 46};
    for (int i = 0; i < 7; ++i) {
      const int left = k_cuts[i][lang], right = k_cuts[i + 1][lang];
      for (int look : looks) {
        // The word is drawn and stays clear of the cut's edges.
        EXPECT_GE(im.visible(left + 2, look, right - 2, look + 22), 40) << "image " << i << " look " << look;
        EXPECT_EQ(im.visible(left, look, left + 2, look + 22), 0) << "image " << i << " look " << look;
        EXPECT_EQ(im.visible(right - 2, look, right, look + 22), 0) << "image " << i << " look " << look;
        // Nothing outside the look's own 22 rows.
        if (look < 46) {
          EXPECT_EQ(im.visible(left, look + 22, right, look + 23), 0) << "image " << i;
        }
      }
      const int w = right - left;
      EXPECT_GT(im.box_diff(left, 0, left, 46, w, 22), 1000) << "hovered and normal look alike, image " << i;
      EXPECT_GT(im.box_diff(left, 23, left, 46, w, 22), 1000) << "pressed and normal look alike, image " << i;
    }
    // The words read well on the button face (normal look, kind 11).
    texel ink{0, 0, 0, 0};
    for (int v = 46; v < 68; ++v)
      for (int u = k_cuts[2][lang]; u < k_cuts[3][lang]; ++u)
        if (im.at(u, v).a > ink.a) ink = im.at(u, v);
    ASSERT_EQ(ink.a, 255);
    const texel face = im.at(950, 112);
    EXPECT_GE(contrast(face, ink.r / 255.0, ink.g / 255.0, ink.b / 255.0), 4.5);
    // Nothing past the last image in the image rows, up to the panel.
    EXPECT_EQ(im.visible(k_cuts[7][lang], 0, 982, 69), 0);
    // The three faces (normal 926, pressed 975, disabled 877) and the panel.
    for (int u : {877, 926, 975}) EXPECT_EQ(im.at(u + 24, 112).a, 255) << u;
    EXPECT_GT(im.box_diff(926, 97, 975, 97, 48, 30), 3000);
    EXPECT_GT(im.box_diff(926, 97, 877, 97, 48, 30), 3000);
    EXPECT_GT(im.at(1002, 22).a, 200);
    for (int v = 15; v < 31; ++v)  // the panel's middle rows repeat
      for (int u = 982; u < 1023; ++u) ASSERT_LE(im.diff(u, v, u, 15), 3) << u << "," << v;
    for (int u = 997; u < 1008; ++u)
      for (int v = 2; v < 43; ++v) ASSERT_LE(im.diff(u, v, 997, v), 3) << u << "," << v;
  }
}

TEST(InterfaceArt, BackgroundTileRepeatsWithoutSeamsAndIntroFitsTheLayout) {
  image bg("background.png");
  expect_size(bg, 1024, 1024);
  ASSERT_EQ(bg.ok, 1);
  long seam_x = 0, inner_x = 0, seam_y = 0, inner_y = 0;
  for (int k = 0; k < 1024; ++k) {
    EXPECT_EQ(bg.at(k, (k * 7) % 1024).a, 255);
    seam_x += bg.diff(1023, k, 0, k), inner_x += bg.diff(511, k, 512, k);
    seam_y += bg.diff(k, 1023, k, 0), inner_y += bg.diff(k, 511, k, 512);
  }
  EXPECT_LE(seam_x, 2 * inner_x + 1024);
  EXPECT_LE(seam_y, 2 * inner_y + 1024);
  // Dark enough that the light panels stand out.
  const texel t = bg.at(300, 300);
  EXPECT_LT(t.r + t.g + t.b, 3 * 80);

  image intro("bitmaps/intro.png");
  expect_size(intro, 1024, 768);
  ASSERT_EQ(intro.ok, 1);
  for (int k = 0; k < 768; k += 7) EXPECT_EQ(intro.at((k * 13) % 1024, k).a, 255);
  // The name stands light on the dark ground, centred.
  EXPECT_GT(intro.visible(0, 0, 1024, 768), 0);
  int light = 0;
  for (int v = 392; v < 460; ++v)
    for (int u = 300; u < 724; ++u) light += intro.at(u, v).r > 200;
  EXPECT_GT(light, 3000);
}

TEST(InterfaceArt, MapHoldsThreeLooksOfTheEarthNorthUp) {
  image im("map.png");
  expect_size(im, 512, 1024);
  ASSERT_EQ(im.ok, 1);
  // Tile (i, j) of a copy starting at row r0: texels (14i.., r0 + 14j..).
  auto mean = [&](int i, int j, int r0) {
    texel s{0, 0, 0, 0};
    for (int y = 0; y < 14; ++y)
      for (int x = 0; x < 14; ++x) {
        const texel t = im.at(14 * i + x, r0 + 14 * j + y);
        s.r += t.r, s.g += t.g, s.b += t.b, s.a += t.a;
      }
    return texel{s.r / 196, s.g / 196, s.b / 196, s.a / 196};
  };
  for (int r0 : {0, 252, 504}) {
    SCOPED_TRACE(r0);
    // Opaque over the whole copy.
    for (int v = r0; v < r0 + 252; v += 5)
      for (int u = 0; u < 504; u += 7) ASSERT_EQ(im.at(u, v).a, 255) << u << "," << v;
    // Longitude band 3 (150..140 W), latitude band 9 (0..10 N): the Pacific,
    // bluer than band 19 (10..20 E), band 11 (20..30 N): the Sahara.
    const texel sea = mean(3, 9, r0), sand = mean(19, 11, r0);
    EXPECT_GT(sea.b - sea.r, sand.b - sand.r + 20);
    if (r0 < 504) {
      EXPECT_GT(sand.r, sand.b + 10);
    }
    // Band 0 of latitude, at the bottom: Antarctica's ice, brighter than the sea.
    const texel ice = mean(20, 0, r0);
    EXPECT_GT(ice.r + ice.g + ice.b, sea.r + sea.g + sea.b + 150);
  }
  // The looks differ for every tile: plain, available, selected.
  for (int i = 0; i < 36; i += 5)
    for (int j = 0; j < 18; j += 4) {
      long plain_avail = 0, avail_sel = 0;
      for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 14; ++x) {
          plain_avail += im.diff(14 * i + x, 14 * j + y, 14 * i + x, 252 + 14 * j + y);
          avail_sel += im.diff(14 * i + x, 252 + 14 * j + y, 14 * i + x, 504 + 14 * j + y);
        }
      EXPECT_GT(plain_avail, 196L * 20) << i << "," << j;
      EXPECT_GT(avail_sel, 196L * 20) << i << "," << j;
    }
}

}  // namespace
