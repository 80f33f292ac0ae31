#include "engine_util.h"

using namespace engine_test;

static int read_text(const std::string& text) {
  write_file("directory.txt", text);
  return read_directory("directory.txt", "scanning");
}
const std::string A = sig('a'), F = "FILE 0 0 1 1 1 " + A + " ", M = "FILE 0 1 1 1 1 " + A + " ",
                  G = "FILE 0 0 1 1 1 GONE ", H = header();

// A list is taken (with the rows given) or refused whole (-1): bad headers, paths outside the
// install folder, a file that is another row's folder (one gone, or other platforms: fine).
TEST(ReadDirectory, HeadersAndUnsafeLists) {
  std::vector<std::pair<std::string, int>> cases = {
      {H, 0},
      {"I\n840 version\nINSTALLER\n\n" + F + "x\n", 1},
      {"\xEF\xBB\xBF" + H + F + "x\n", 1},
      {"A\n900 version\nINSTALLER\n" + F + "x\n", 1},
      {"I\n901 version\nINSTALLER\n\n" + F + "x\n", -1},
      {"I\n900 version\nINSTALLERS\n" + F, -1},
      {"B\n900 version\nINSTALLER\n" + F, -1},
      {F + "x\n", -1},
      {"", -1},
      {H + "DIR /abs/\n" + F + "x\n", -1},
      {H + "DIR All/../\n" + F + "x\n", -1},
      {H + "FILE 0 0 1 1 1 " + A + "\n", -1},
      {H + F + "All/Resources/x\n" + M + "Macintosh/Resources/x/passwd\n", -1},
      {H + "FILE 0 2 1 1 1 " + A + " Windows/x\n" + M + "Macintosh/x\n" + M + "Macintosh/x/y\n",
       -1},
      {H + F + "All/..a/b..\n" + G + "All/ .  /x\n", 2},
      {H + G + "All/x\n" + F + "All/x/y\n" + M + "Macintosh/z\nFILE 0 2 1 1 1 " + A +
           " Windows/z/w\n",
       4},
      // Without letter case: a file that is a folder, two wanted rows of one file (also across
      // "All/" and a platform tree, or further down), one of them gone, other platforms.
      {H + F + "All/contents\n" + F + "All/Contents/x\n", -1},
      {H + F + "All/Contents/x\n" + F + "All/contents\n", -1},
      {H + F + "All/readme.txt\n" + F + "All/README.txt\n", -1},
      {H + F + "All/a/x\n" + F + "All/b\n" + F + "All/A/x\n", -1},
      {H + F + "All/x\nFILE 0 3 1 1 1 " + A + " Linux/X\n", -1},
      {H + "FILE 0 6 1 1 1 " + A + " All/x\nFILE 0 3 1 1 1 " + A + " Linux/x\n", -1},
      {H + G + "All/Foo.txt\n" + F + "All/foo.txt\n", 2},
      {H + M + "Macintosh/x\nFILE 0 2 1 1 1 " + A + " Windows/X\n", 2},
      {H + G + "All/contents\n" + F + "All/Contents/x\n", 2}};
  // Ignored lines; versions of a row; the same path further down is a new row.
  cases.push_back({H + "COMMENT " + F + "c\nFILEX " + F + "c\n  \tDIR\tAll/d /\n\n" + F + "f \r\n" +
                       F + "f\nDISK 1\nDIR All/\n" + F + "d /f\n",
                   2});
  for (const char* p :
       {"/etc/passwd", "All/../../x", "All/a/../b", "../x", "All/./x", "All//x", "./x", "All/.."})
    cases.push_back({H + F + "ok\n" + F + p + "\n", -1});
  for (const std::string& s : {sig('A'), std::string(31, 'a'), std::string(33, 'a'),
                               std::string("NONE"), "../../../../etc/x" + std::string(15, 'a')})
    cases.push_back({H + "FILE 0 0 1 1 1 " + s + " All/x\n", -1});
  for (const auto& [text, rows] : cases) {
    sim_info.assign(3, {version("All/old", A, A)});
    EXPECT_EQ(read_text(text), rows < 0 ? 2 : 3) << text;
    EXPECT_EQ(int(sim_info.size()), std::max(rows, 0)) << text;
    for (const file_history_struct& h : sim_info) EXPECT_EQ(h.back().sig_have, "NONE");
  }
  // The log says which line was wrong and why (H is four lines).
  read_text(H + F + "All/a\n\n" + F + "All/b\r\n" + F + "All/../c\n");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("is refused: line 8: unsafe path \"All/../c\""));
  read_text(H + F + "All/x\n" + F + "All/X\n");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("line 6: two rows name one file"));
  read_text("I\n901 version\nINSTALLER\n");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("lines 1-3 are not the header"));
  write_file("directory.txt", H + "DIR All/Resources/\n" + F + "sub/\n");
  EXPECT_FATAL_ALERT(read_directory("directory.txt", ""), "found a path that has no file!");
}

// Only tiles with valid bands are global and mark the grid; short names are safe.
TEST(ReadDirectory, ScenerySectorsAndGrid) {
  std::string text = H, got;
  for (const char* p :
       {"All/Global Scenery/+80+170/+89+179.dsf", "All/Global Scenery/-90-180/-90-180.DSF",
        "All/Custom/-global terrain-/+10+010.dsf", "All/Custom Scenery/+40-130/+47-122.dsf",
        "All/Global Scenery/x.dsf", "All/Global Scenery/+99+999.dsf"})
    text += F + p + "\n";
  ASSERT_EQ(read_text(text), 3);
  for (const file_history_struct& h : sim_info)
    got += std::to_string(h[0].is_global) + ":" + std::to_string(h[0].lat_band) + "/" +
           std::to_string(h[0].lon_band) + " ";
  EXPECT_EQ(got, "1:17/35 1:0/0 1:10/19 0:0/0 1:8/17 0:18/117 ");
  EXPECT_EQ(std::count(std::begin(stg.scenery_available), std::end(stg.scenery_available), 1), 4);
  int lon = 99, lat = 99;
  EXPECT_TRUE(find_sector(&lon, &lat, "a/+1") && lat == 9);
  EXPECT_TRUE(find_sector(&lon, &lat, "a/+10+020/") && lat == 10 && lon == 20);  // "/" ignored
}
