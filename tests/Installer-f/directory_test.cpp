#include <gtest/gtest.h>

#include "engine_util.h"

using engine_test::header;
using engine_test::sig;
using fly_test::write_file;

namespace {
int read_text(const std::string& text) {
  write_file("directory.txt", text);
  return read_directory("directory.txt", "scanning");
}
const std::string A = sig('a'), B = sig('b');
}  // namespace

TEST(ReadDirectory, Headers) {
  const std::string body = "FILE 0 0 1 2 3 " + A + " x\n";
  struct {
    std::string text;
    int result;
  } cases[] = {
      {header(900) + body, 3},
      {header(840) + body, 3},
      {header(901) + body, 2},
      {"\xEF\xBB\xBF" + header(900) + body, 3},
      {"A\n900 version\nINSTALLER\n" + body, 3},
      {"I\n900 version\nINSTALLERS\n" + body, 2},
      {"I\n900 version\nSERVERS\n" + body, 2},
      {"B\n900 version\nINSTALLER\n" + body, 2},
      {body, 2},
      {"", 2},
  };
  for (const auto& c : cases) {
    sim_info.assign(3, {engine_test::version("All/old", A, A)});
    EXPECT_EQ(read_text(c.text), c.result) << c.text;
    EXPECT_EQ(sim_info.size(), c.result == 3 ? 1u : 0u) << c.text;
  }
}

TEST(ReadDirectory, OnlyAHeaderGivesAnEmptyModel) {
  stg.disc_has_scenery = stg.disc_has_sim = 1;
  stg.total_zip_kb = 5;
  stg.files_to_install = 4;
  deleted_files.insert("a/");
  EXPECT_EQ(read_text(header()), 3);
  EXPECT_TRUE(sim_info.empty());
  EXPECT_EQ(stg.disc_has_scenery, 0);
  EXPECT_EQ(stg.disc_has_sim, 0);
  EXPECT_EQ(stg.total_zip_kb, 0);
  EXPECT_EQ(stg.files_to_install, 0);
  EXPECT_TRUE(deleted_files.empty());
}

TEST(ReadDirectory, RowsVersionsDiscsAndPrefixes) {
  const std::string text = header() + "FILE 0 0 1 2 3 " + A +
                           " bare name\n"
                           "  \tDIR All/Resources/my dir /\n"
                           "\n"
                           "FILE 7 1 900 10 20 " +
                           A +
                           " f.txt\n"
                           "FILE 0 1 920 11 21 " +
                           B +
                           " f.txt\n"
                           "DISK 1\n"
                           "FILE 0 2 920 1 1 GONE g.txt\n"
                           "COMMENT FILE 0 0 0 0 0 " +
                           A +
                           " ignored\n"
                           "FILEX 0 0 0 0 0 " +
                           A +
                           " ignored\n"
                           "DIR\tLinux/\n"
                           "FILE 0 9 1 1 1 " +
                           A +
                           " h  \r\n"
                           "FILE 0 -1 1 1 1 " +
                           A +
                           " i\n"
                           "DIR All/Resources/my dir /\n"
                           "FILE 0 1 1 1 1 " +
                           A + " f.txt\n";
  ASSERT_EQ(read_text(text), 3);
  ASSERT_EQ(sim_info.size(), 6u);
  EXPECT_EQ(sim_info[0][0].path, "bare name");
  EXPECT_EQ(sim_info[0][0].disk, 0);
  ASSERT_EQ(sim_info[1].size(), 2u);
  const file_version_struct& f = sim_info[1].back();
  EXPECT_EQ(f.path, "All/Resources/my dir /f.txt");
  EXPECT_EQ(f.version, 920);
  EXPECT_EQ(f.zip_kb, 11);
  EXPECT_EQ(f.size_kb, 21);
  EXPECT_EQ(f.sig_want, B);
  EXPECT_EQ(f.sig_have, "NONE");
  EXPECT_EQ(f.current, 0);
  EXPECT_EQ(sim_info[1][0].sig_want, A);
  EXPECT_EQ(sim_info[2][0].sig_want, "GONE");
  EXPECT_EQ(sim_info[2][0].disk, 1);
  EXPECT_EQ(sim_info[2][0].platform, 2);
  EXPECT_EQ(sim_info[3][0].path, "Linux/h  ");
  EXPECT_EQ(sim_info[3][0].platform, 6);
  EXPECT_EQ(sim_info[4][0].platform, 0);
  // The same path again further down starts a row of its own.
  EXPECT_EQ(sim_info[5][0].path, f.path);
  EXPECT_EQ(stg.disc_has_sim, 1);
  EXPECT_EQ(stg.disc_has_scenery, 0);
}

TEST(ReadDirectory, ScenerySectorsAndGrid) {
  struct {
    std::string path;
    int is_global, lat, lon;
  } cases[] = {
      {"All/Global Scenery/+80+170/+89+179.dsf", 1, 17, 35},
      {"All/Global Scenery/-90-180/-90-180.dsf", 1, 0, 0},
      {"All/Global Scenery/+40-130/+47-122.DSF", 1, 13, 5},
      {"All/Resources/default scenery/DSF 820/+10+010.dsf", 1, 10, 19},
      {"All/Custom/-global terrain-/+10+010.dsf", 1, 10, 19},
      {"All/Custom Scenery/+40-130/+47-122.dsf", 0, 0, 0},
      {"All/Global Scenery/+40-130/tile.dsf", 1, 8, 17},  // no number: both read as -1
      {"All/Global Scenery/x.dsf", 1, 8, 17},             // shorter than a tile name
      {"All/Global Scenery/+99+999.dsf", 0, 18, 117},     // out of the grid: bands kept
      {"All/Global Scenery/+47-122.txt", 0, 0, 0},
  };
  std::string text = header();
  for (const auto& c : cases) text += "FILE 0 0 1 1 1 " + A + " " + c.path + "\n";
  ASSERT_EQ(read_text(text), 3);
  ASSERT_EQ(sim_info.size(), std::size(cases));
  int available = 0;
  for (int i : stg.scenery_available) available += i;
  EXPECT_EQ(available, 5);  // 10/19 twice, 8/17 twice
  for (size_t i = 0; i < std::size(cases); ++i) {
    const file_version_struct& v = sim_info[i][0];
    EXPECT_EQ(v.is_global, cases[i].is_global) << cases[i].path;
    EXPECT_EQ(v.lat_band, cases[i].lat) << cases[i].path;
    EXPECT_EQ(v.lon_band, cases[i].lon) << cases[i].path;
    if (v.is_global) {
      EXPECT_EQ(stg.scenery_available[v.lat_band + 18 * v.lon_band], 1);
    }
  }
  EXPECT_EQ(stg.disc_has_scenery, 1);
  EXPECT_EQ(stg.disc_has_sim, 1);
}

TEST(ReadDirectory, FindSectorOnShortNames) {
  int lon = 99, lat = 99;
  EXPECT_EQ(find_sector(&lon, &lat, ""), 1);
  EXPECT_EQ(lat, 8);
  EXPECT_EQ(lon, 17);
  EXPECT_EQ(find_sector(&lon, &lat, "a/+1"), 1);
  EXPECT_EQ(lat, 9);
  EXPECT_EQ(find_sector(&lon, &lat, "a/+10+020/"), 1);  // a trailing "/" is ignored
  EXPECT_EQ(lat, 10);
  EXPECT_EQ(lon, 20);
}

TEST(ReadDirectory, RefusesListsThatReachOutside) {
  const std::string bad_paths[] = {
      "/etc/passwd", "All/../../x", "All/a/../b", "../x", "All/./x", "All//x", "./x", "All/..",
  };
  for (const std::string& p : bad_paths) {
    sim_info.clear();
    EXPECT_EQ(
        read_text(header() + "FILE 0 0 1 1 1 " + A + " ok\nFILE 0 0 1 1 1 " + A + " " + p + "\n"),
        2)
        << p;
    EXPECT_TRUE(sim_info.empty()) << p;
  }
  // Through the prefix as well.
  EXPECT_EQ(read_text(header() + "DIR /abs/\nFILE 0 0 1 1 1 " + A + " x\n"), 2);
  EXPECT_EQ(read_text(header() + "DIR All/../\nFILE 0 0 1 1 1 " + A + " x\n"), 2);
  EXPECT_EQ(read_text(header() + "FILE 0 0 1 1 1 " + A + "\n"), 2);  // no name at all
  const std::string bad_sigs[] = {
      sig('A'),
      std::string(31, 'a'),
      std::string(33, 'a'),
      "NONE",
      "gone",
      sig('g'),
      "../../../../etc/x" + std::string(15, 'a'),
  };
  for (const std::string& s : bad_sigs)
    EXPECT_EQ(read_text(header() + "FILE 0 0 1 1 1 " + s + " All/x\n"), 2) << s;
  EXPECT_NE(fly_test::log_text().find("WARNING: the directory file directory.txt is refused"),
            std::string::npos);
  // A file that another row needs as a folder (a link could lead anywhere).
  EXPECT_EQ(read_text(header() + "FILE 0 0 1 1 1 " + A + " All/Resources/x\nFILE 0 1 1 1 1 " + A +
                      " Macintosh/Resources/x/passwd\n"),
            2);
  // Unless one of them is gone, or they never meet on one platform.
  EXPECT_EQ(read_text(header() + "FILE 0 0 1 1 1 GONE All/x\nFILE 0 0 1 1 1 " + A +
                      " All/x/y\nFILE 0 1 1 1 1 " + A + " Macintosh/z\nFILE 0 2 1 1 1 " + A +
                      " Windows/z/w\n"),
            3);
  // Names with dots and blanks are fine.
  EXPECT_EQ(read_text(header() + "FILE 0 0 1 1 1 " + A + " All/..a/b..\nFILE 0 0 1 1 1 GONE " +
                      "All/ .  /x\n"),
            3);
}

TEST(ReadDirectory, FatalCases) {
  EXPECT_FATAL_ALERT(read_directory("missing.txt", ""),
                     "I tried to read a directory file that does not exist!");
  write_file("directory.txt", header() + "DIR All/Resources/\nFILE 0 0 1 1 1 " + A + " sub/\n");
  EXPECT_FATAL_ALERT(read_directory("directory.txt", ""), "found a path that has no file!");
}
