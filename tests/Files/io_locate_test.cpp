#include "Files/io_locate.h"

#include <sys/stat.h>

#include <map>

#include "Files/library_util.h"

using namespace lib_test;
using fly_test::alerts;
using fly_test::log_text;
using strings = std::vector<std::string>;

namespace {
strings anywhere(const std::string& vpath) {
  strings out;
  DSF_LookupLibraryResourceAnywhereMultiple(vpath, out);
  return out;
}

strings at(int lon, int lat, const std::string& vpath) {
  strings out;
  DSF_LookupLibraryResourceMultiple(lon, lat, vpath, out);
  return out;
}

// The texts of the non-fatal reports logged since the mark.
std::string log_since(size_t mark) { return log_text().substr(mark); }
}  // namespace

TEST(SceneryScan, PriorityOrderFlagsAndLog) {
  make_folder_tree({"Custom Scenery/B/", "Custom Scenery/-global terrain-/", "Custom Scenery/A/",
                    "Global Scenery/G/", "Resources/default scenery/D/"});
  fly_test::write_file("Custom Scenery/not a folder", "");
  DSF_ScanSceneryFolder();
  EXPECT_EQ(scenery_packages,
            (strings{"Custom Scenery/A/", "Custom Scenery/B/", "Global Scenery/G/",
                     "Custom Scenery/-global terrain-/", "Resources/default scenery/D/"}));
  EXPECT_EQ(package_is_custom, (std::vector<int>{1, 1, 0, 1, 0}));
  EXPECT_EQ(package_problems, (std::vector<int>{0, 0, 0, 0, 0}));
  EXPECT_THAT(log_text(),
              HasSubstr("I found the following scenery packages (prioritized in this order):\n"
                        "  0 Custom Scenery/A/\n  1 Custom Scenery/B/\n  2 Global Scenery/G/\n"
                        "  3 Custom Scenery/-global terrain-/\n  4 Resources/default scenery/D/\n"
                        "\n"));
  EXPECT_TRUE(alerts().empty());  // no library files: nothing to report

  // The overlays come before the terrain, both behind the global scenery.
  make_folder_tree({"Custom Scenery/-global overlays-/"});
  DSF_ScanSceneryFolder();
  EXPECT_EQ(scenery_packages[3], "Custom Scenery/-global overlays-/");
  EXPECT_EQ(scenery_packages[4], "Custom Scenery/-global terrain-/");
  EXPECT_EQ(package_is_custom[3], 1);
}

TEST(SceneryScan, ExportRunsAndKeywords) {
  fix_randrat();
  write_library("Custom Scenery/A/",
                "# a comment\n"
                "EXPORT lib/a.obj a1.obj\n"
                "EXPORT lib/a.obj sub\\a2.obj\n"
                "EXPORT_EXTEND lib/b.obj b1.obj\n"
                "EXPORT_EXTEND lib/b.obj b2.obj\n"
                "EXPORT\n"
                "EXPORT_EXCLUDE lib/c.obj c1.obj\n"
                "EXPORT_EXTENDED lib/d.obj d.obj\n"
                "  EXPORT   lib/e.obj   with spaces.obj\n");
  write_library("Custom Scenery/B/",
                "EXPORT lib/a.obj a3.obj\nEXPORT lib/b.obj b3.obj\nEXPORT lib/c.obj c2.obj\n");
  DSF_ScanSceneryFolder();
  EXPECT_EQ(anywhere("lib/a.obj"), (strings{"Custom Scenery/A/a1.obj", "Custom Scenery/A/sub/a2.obj"}));
  EXPECT_EQ(anywhere("lib/b.obj"), (strings{"Custom Scenery/A/b1.obj", "Custom Scenery/A/b2.obj",
                                            "Custom Scenery/B/b3.obj"}));
  EXPECT_EQ(anywhere("lib/c.obj"), (strings{"Custom Scenery/A/c1.obj"}));
  EXPECT_EQ(anywhere("lib/e.obj"), (strings{"Custom Scenery/A/with spaces.obj"}));
  // Neither a bare EXPORT nor a longer keyword makes an entry.
  EXPECT_EQ(dsf_library.count(""), 0u);
  EXPECT_EQ(dsf_library.count("lib/d.obj"), 0u);
  EXPECT_EQ(dsf_library.size(), 4u);
  EXPECT_TRUE(alerts().empty());

  // Weights of 1: draw k picks the (k+1)-th; the seed wraps at 10000, also
  // below zero.
  std::string p;
  for (auto [seed, want] : std::vector<std::pair<int, std::string>>{
           {0, "Custom Scenery/A/a1.obj"}, {4999, "Custom Scenery/A/a1.obj"},
           {5000, "Custom Scenery/A/sub/a2.obj"}, {15000, "Custom Scenery/A/sub/a2.obj"},
           {-5000, "Custom Scenery/A/sub/a2.obj"}, {-1, "Custom Scenery/A/sub/a2.obj"},
           {-2147483647 - 1, "Custom Scenery/A/sub/a2.obj"}}) {
    p = "lib/a.obj";
    EXPECT_TRUE(DSF_LookupLibraryResource(0, 0, p, seed));
    EXPECT_EQ(p, want) << seed;
  }
  for (int seed : {0, 9999}) {  // "last" always gives its entry
    p = "lib/c.obj";
    EXPECT_TRUE(DSF_LookupLibraryResourceAnywhere(p, seed));
    EXPECT_EQ(p, "Custom Scenery/A/c1.obj");
  }
  p = "lib/none.obj";
  EXPECT_FALSE(DSF_LookupLibraryResource(0, 0, p, 1));
  EXPECT_EQ(p, "lib/none.obj");
  strings out = {"stale"};
  EXPECT_FALSE(DSF_LookupLibraryResourceMultiple(0, 0, "lib/none.obj", out));
  EXPECT_TRUE(out.empty());
}

TEST(SceneryScan, BackupsStandBehind) {
  DSF_ClearLibrary();
  scenery_packages = {"P/"};
  for (auto [name, flags] : std::vector<std::pair<std::string, uint32_t>>{
           {"A", 1 | lib_package_end}, {"X", 1 | lib_backup}, {"B", 1}, {"Y", 1 | lib_backup}})
    DSF_RegisterEntry("v", new lib_entry{nullptr, nullptr, 0, flags, name});
  strings order;
  for (const lib_entry* e = dsf_library["v"]; e; e = e->next) order.push_back(e->path);
  EXPECT_EQ(order, (strings{"A", "B", "Y", "X"}));
  // A backup first, then a plain entry: the plain one goes in front.
  DSF_RegisterEntry("w", new lib_entry{nullptr, nullptr, 0, 1 | lib_backup, "X"});
  DSF_RegisterEntry("w", new lib_entry{nullptr, nullptr, 0, 1, "A"});
  EXPECT_EQ(dsf_library["w"]->path, "A");

  // Long mixed runs keep the rule: plain entries in order, then the backups
  // newest first.
  uint32_t seed = 7;
  strings plain, backups;
  for (int i = 0; i < 300; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const bool backup = (seed >> 28) < 5;
    const std::string name = std::to_string(i);
    DSF_RegisterEntry("mix", new lib_entry{nullptr, nullptr, 0, backup ? uint32_t{lib_backup} : 0u, name});
    if (backup)
      backups.insert(backups.begin(), name);
    else
      plain.push_back(name);
  }
  strings want = plain, got;
  want.insert(want.end(), backups.begin(), backups.end());
  for (const lib_entry* e = dsf_library["mix"]; e; e = e->next) got.push_back(e->path);
  EXPECT_EQ(got, want);

  // From library files: a backup of the first package stands behind the
  // second package's plain export.
  write_library("Custom Scenery/A/", "EXPORT_BACKUP v back.obj\n");
  write_library("Custom Scenery/B/", "EXPORT v main.obj\n");
  DSF_ScanSceneryFolder();
  EXPECT_EQ(anywhere("v"), (strings{"Custom Scenery/B/main.obj"}));
  DSF_ClearLibrary();
  scenery_packages = {"Custom Scenery/A/", "Custom Scenery/B/"};
  DSF_RegisterEntry("v", new lib_entry{nullptr, nullptr, 1, 1 | lib_backup, "b.obj"});
  EXPECT_EQ(anywhere("v"), (strings{"Custom Scenery/B/b.obj"}));
}

TEST(SceneryScan, RegionsLimitEntries) {
  const size_t mark = log_text().size();
  write_library("Custom Scenery/A/",
                "REGION_RECT 0 0 1 1\n"  // nothing being defined yet
                "REGION_DEFINE world\nREGION_RECT -180 -90 179 89\n"
                "REGION_DEFINE box\nREGION_RECT 10 20 12 22\nREGION_RECT 10 0 5 5\n"
                "REGION_RECT -181 0 0 0\nREGION_RECT 0 0 180 0\nREGION_RECT 2147483647 0 0 0\n"
                "REGION box\nEXPORT boxed in_box.obj\n"
                "REGION world\nEXPORT global g.obj\n"
                "REGION nowhere\nEXPORT global g2.obj\n"
                "REGION_DEFINE box\n");
  write_library("Custom Scenery/B/", "REGION box\nEXPORT boxed fallback.obj\n");
  DSF_ScanSceneryFolder();
  const std::string log = log_since(mark);
  for (const char* m : {"REGION_RECT command used but no region has been defined.",
                        "The boundaries to a REGION_RECT command are out of range: 190,90->185,95",
                        "The boundaries to a REGION_RECT command are out of range: -1,90->180,90",
                        "The boundaries to a REGION_RECT command are out of range: 180,90->360,90",
                        "out of range: 2147483827,90->180,90",
                        "REGION nowhere - region unknown.  Ingoring",
                        "REGION_DEFINE box - region already defined.  Ignoring."})
    EXPECT_THAT(log, HasSubstr(m));
  // Region names belong to one file: B's REGION box is unknown there and
  // its export applies everywhere.
  EXPECT_THAT(log, HasSubstr("\"Custom Scenery/B/library.txt\" (Files/io_locate: "));
  EXPECT_EQ(alerts().size(), 2u);  // one per package

  EXPECT_EQ(at(11, 21, "boxed"), (strings{"Custom Scenery/A/in_box.obj"}));
  EXPECT_EQ(at(10, 20, "boxed"), (strings{"Custom Scenery/A/in_box.obj"}));
  EXPECT_EQ(at(12, 22, "boxed"), (strings{"Custom Scenery/A/in_box.obj"}));
  EXPECT_EQ(at(13, 21, "boxed"), (strings{"Custom Scenery/B/fallback.obj"}));
  EXPECT_EQ(at(0, 0, "boxed"), (strings{"Custom Scenery/B/fallback.obj"}));
  // The whole globe, corner cells included; off the globe no region applies.
  for (auto [lon, lat] : std::vector<std::pair<int, int>>{{-180, -90}, {179, 89}, {0, 0}})
    EXPECT_EQ(at(lon, lat, "global"), (strings{"Custom Scenery/A/g.obj", "Custom Scenery/A/g2.obj"}));
  for (auto [lon, lat] : std::vector<std::pair<int, int>>{
           {180, 0}, {0, 90}, {180, 90}, {-181, 0}, {0, -91}, {2147483647, -2147483647 - 1}}) {
    EXPECT_TRUE(at(lon, lat, "global").empty()) << lon << "," << lat;
    EXPECT_EQ(at(lon, lat, "boxed"), (strings{"Custom Scenery/B/fallback.obj"}));
    std::string p = "global";
    EXPECT_FALSE(DSF_LookupLibraryResource(lon, lat, p, 0));
  }
  EXPECT_EQ(anywhere("global").size(), 2u);
}

TEST(SceneryScan, RatiosAndWeights) {
  fix_randrat();
  const size_t mark = log_text().size();
  read_as_library(
      "EXPORT_RATIO 16777216 big/v big.obj\n"
      "EXPORT_RATIO -1 neg/v neg.obj\n"
      "EXPORT_RATIO 3 w w3.obj\nEXPORT_RATIO 1 w w1.obj\n"
      "EXPORT_RATIO 0 zero zero.obj\n"
      "EXPORT_RATIO 5000 many many.obj\n");
  const std::string log = log_since(mark);
  EXPECT_THAT(log, HasSubstr("Library error: you cannot have a ratio of more than 2^24 lib items "
                             "for big.obj -> big/v."));
  EXPECT_THAT(log, HasSubstr("for neg.obj -> neg/v."));
  EXPECT_EQ(alerts().size(), 1u);
  ASSERT_TRUE(dsf_library.count("big/v"));
  EXPECT_EQ(dsf_library["big/v"]->flags, static_cast<uint32_t>(lib_package_end));  // weight 0
  EXPECT_EQ(dsf_library["neg/v"]->flags & lib_weight_mask, 0xFFFFFFu);
  std::string p = "big/v";
  EXPECT_FALSE(DSF_LookupLibraryResource(0, 0, p, 3));
  EXPECT_TRUE(anywhere("big/v").empty());
  EXPECT_TRUE(anywhere("zero").empty());

  // 3:1 over every draw.
  std::map<std::string, int> picks;
  for (int seed = 0; seed < 10000; ++seed) {
    p = "w";
    ASSERT_TRUE(DSF_LookupLibraryResource(0, 0, p, seed));
    ++picks[p];
  }
  EXPECT_EQ(picks["Custom Scenery/P/w3.obj"], 7500);
  EXPECT_EQ(picks["Custom Scenery/P/w1.obj"], 2500);
  EXPECT_EQ(anywhere("w"), (strings{"Custom Scenery/P/w3.obj", "Custom Scenery/P/w3.obj",
                                    "Custom Scenery/P/w3.obj", "Custom Scenery/P/w1.obj"}));

  // A big weight is listed 1024 times, the cap logged once.
  EXPECT_EQ(anywhere("many").size(), 1024u);
  EXPECT_EQ(anywhere("neg/v").size(), 1024u);
  anywhere("many");
  const std::string after = log_since(mark);
  size_t warnings = 0;
  for (size_t at = 0; (at = after.find("WARNING: the library entry", at)) != std::string::npos; ++at)
    ++warnings;
  EXPECT_EQ(warnings, 2u);
  EXPECT_THAT(after, HasSubstr("WARNING: the library entry Custom Scenery/P/many.obj for many has "
                               "a weight of 5000"));

  // Weights whose sum passes 2^31 still draw every entry.
  read_as_library("EXPORT_RATIO 16777215 h a.obj\n");
  for (int i = 0; i < 200; ++i)
    DSF_RegisterEntry("h", new lib_entry{nullptr, nullptr, 0, 0xFFFFFFu, "b.obj"});
  p = "h";
  ASSERT_TRUE(DSF_LookupLibraryResource(0, 0, p, 9999));
  EXPECT_EQ(p, "Custom Scenery/P/b.obj");
  p = "h";
  ASSERT_TRUE(DSF_LookupLibraryResource(0, 0, p, 0));
  EXPECT_EQ(p, "Custom Scenery/P/a.obj");
}

TEST(SceneryScan, ReportsAlertOncePerPackage) {
  write_library("Custom Scenery/A/", "REGION x\nREGION y\n");
  write_library("Global Scenery/G/", "EXPORT a b\n", "I\n700 version\nLIBRARY\n");
  DSF_ScanSceneryFolder();
  const std::string log = log_text();
  EXPECT_THAT(log, HasSubstr("REGION x - region unknown.  Ingoring\n"));
  EXPECT_THAT(log, HasSubstr("REGION y - region unknown.  Ingoring\n"));
  EXPECT_THAT(log, HasSubstr("***Error with scenery file \"Global Scenery/G/library.txt\" "
                             "(Files/io_locate: "));
  EXPECT_THAT(log, HasSubstr(".)\n  Incorrect version for scenery library file.  Will skip.\n"));
  EXPECT_EQ(dsf_library.count("a"), 0u);
  ASSERT_EQ(alerts().size(), 2u);
  EXPECT_EQ(alerts()[0].s1, "Error loading the scenery package:");
  EXPECT_EQ(alerts()[0].s2, "Custom Scenery/A/");
  EXPECT_EQ(alerts()[0].s3, "The scenery may not look correct.");
  EXPECT_EQ(alerts()[0].s4, "Please see the log.txt file for detailed error information.");
  EXPECT_EQ(alerts()[0].type, 1);
  EXPECT_EQ(alerts()[0].file, "Files/io_locate");
  EXPECT_EQ(alerts()[1].s2, "Global Scenery/G/");
  EXPECT_EQ(package_problems, (std::vector<int>{1, 1}));

  // A file outside every package alerts each time; an overlong message is
  // cut to the buffer.
  fly_test::clear_alerts();
  const std::string huge(10000, 'z');
  __DSF_NonFatalError("here", 7, "Elsewhere/x.dsf", "%s", huge.c_str());
  __DSF_NonFatalError("here", 8, "Elsewhere/x.dsf", "again");
  ASSERT_EQ(alerts().size(), 2u);
  EXPECT_EQ(alerts()[1].s2, "Elsewhere/x.dsf");
  EXPECT_THAT(log_text(), HasSubstr("\"Elsewhere/x.dsf\" (here: 7.)\n  " + huge.substr(0, 4095) + "\n"));

  // Fatal reports name the package and end the program.
  EXPECT_FATAL_ALERT(__DSF_FatalError("f", 1, "Custom Scenery/A/x.dsf", "bad"),
                     "Error loading the scenery package:");
  EXPECT_EQ(alerts().back().s2, "Custom Scenery/A/");
  EXPECT_EQ(alerts().back().s3, "Flyvane cannot run with this package installed - you may need to "
                                "remove the custom  scenery package.");
  EXPECT_FATAL_ALERT(__DSF_FatalError("f", 1, "Global Scenery/G/x.dsf", "bad"), "Error loading");
  EXPECT_EQ(alerts().back().s3,
            "Flyvane cannot run with this package installed - You may need to reinstall Flyvane.");
  EXPECT_FATAL_ALERT(__DSF_FatalError("f", 1, "Elsewhere/x.dsf", "bad"), "Error loading");
  EXPECT_EQ(alerts().back().s2, "Elsewhere/x.dsf");
  EXPECT_EQ(alerts().back().s3, "Flyvane cannot run with this corrupt file.");
}

TEST(SceneryScan, RegionBitmapThroughTheLoader) {
  fake_bitmap::pixels.assign(360 * 180, 0);
  fake_bitmap::pixels[100 * 360 + 190] = 255;  // bottom-up row 100 = lat 10; column 190 = lon 10
  fake_bitmap::pixels[179 * 360 + 0] = 1;       // the north-west corner cell
  DSF_bitmap_loader = fake_bitmap::load;
  const size_t mark = log_text().size();
  read_as_library(
      "REGION_BITMAP early.png\n"
      "REGION_DEFINE r\nREGION_RECT 0 0 5 5\nREGION_BITMAP maps\\world.png\n"
      "REGION r\nEXPORT v in.obj\n");
  EXPECT_EQ(fake_bitmap::asked, (strings{"Custom Scenery/P/maps/world.png"}));
  EXPECT_THAT(log_since(mark), HasSubstr("REGION_BITMAP used with no region defined.  "
                                         "REGION_BITMAP will be ignored."));
  EXPECT_EQ(at(10, 10, "v").size(), 1u);
  EXPECT_EQ(at(-180, 89, "v").size(), 1u);
  EXPECT_TRUE(at(0, 0, "v").empty());  // the bitmap replaces the rectangle
  EXPECT_TRUE(at(10, 11, "v").empty());
  EXPECT_TRUE(at(11, 10, "v").empty());

  fake_bitmap::width = 100;
  fake_bitmap::height = 50;
  read_as_library("REGION_DEFINE r\nREGION_BITMAP small.png\n");
  fake_bitmap::ok = 0;
  read_as_library("REGION_DEFINE r\nREGION_BITMAP gone.png\n");
  DSF_bitmap_loader = nullptr;
  read_as_library("REGION_DEFINE r\nREGION_BITMAP none.png\n");
  const std::string log = log_since(mark);
  EXPECT_THAT(log, HasSubstr("REGION_BITMAP with bitmap small.png has a size of 100, 50 but need "
                             "sa size of 360x180."));
  EXPECT_THAT(log, HasSubstr("Unable to load bitmap file 'gone.png' for REGION_BITMAP command - "
                             "will skip."));
  EXPECT_THAT(log, HasSubstr("Unable to load bitmap file 'none.png'"));
}

TEST(SceneryScan, CutOffCommandsEnd) {
  fake_bitmap::ok = 1;
  fake_bitmap::width = 360;
  fake_bitmap::height = 180;
  fake_bitmap::pixels.assign(360 * 180, 1);
  DSF_bitmap_loader = fake_bitmap::load;
  for (const std::string& body :
       strings{"", "E", "EXPORT", "EXPORT ", "EXPORT a", "EXPORT a ", "EXPORT_RATIO",
               "EXPORT_RATIO ", "EXPORT_RATIO 5", "EXPORT_RATIO -", "EXPORT_RATIO 5 v",
               "REGION", "REGION ", "REGION_DEFINE ", "REGION_DEFINE r\nREGION_RECT",
               "REGION_DEFINE r\nREGION_RECT 1 2", "REGION_DEFINE r\nREGION_RECT 1 2 3 ",
               "REGION_DEFINE r\nREGION_BITMAP ", "REGION_DEFINE r\nREGION_BITMAP m.png",
               std::string("EXPORT a\0b c", 12), "\r", "\n\n\t ", "  ", std::string(1, '\0'),
               "EXPORT_RATIO 99999999999999999999 v r"}) {
    lib_test::mem_reader r(body);
    DSF_ClearLibrary();
    scenery_packages = {"Custom Scenery/P/"};
    package_problems = {0};
    package_is_custom = {1};
    DSF_ReadLibraryCommands(r.x, 0);
    EXPECT_EQ(r.x.cursor, r.x.map_end) << body;
  }
}

TEST(SceneryScan, RescanReplacesEverything) {
  write_library("Custom Scenery/A/", "REGION_DEFINE r\nREGION_RECT 0 0 0 0\nREGION r\nEXPORT v a.obj\n");
  DSF_ScanSceneryFolder();
  EXPECT_EQ(at(0, 0, "v").size(), 1u);
  write_library("Custom Scenery/A/", "EXPORT w b.obj\n");
  DSF_ScanSceneryFolder();
  EXPECT_EQ(dsf_library.size(), 1u);
  EXPECT_EQ(anywhere("w"), (strings{"Custom Scenery/A/b.obj"}));
  EXPECT_TRUE(dsf_regions.empty());

  // Hostile folders: a "\" in a package name and a pipe for a library file
  // neither end nor stall the scan.
  write_library("Custom Scenery/a\\b/", "EXPORT x y\n");
  make_folder_tree({"Custom Scenery/C/"});
  ASSERT_EQ(mkfifo("Custom Scenery/C/library.txt", 0644), 0);
  DSF_ScanSceneryFolder();
  EXPECT_EQ(scenery_packages.size(), 3u);
  EXPECT_EQ(dsf_library.count("x"), 0u);
  EXPECT_THAT(log_text(), HasSubstr("WARNING: the scenery package Custom Scenery/a\\b/"));
}

TEST(SceneryLocate, FolderSearches) {
  const size_t mark = log_text().size();
  std::string out = "stale";
  DSF_LocateResourceNoLib(0, "x.txt", "base/", true, out);
  EXPECT_EQ(out, "");
  EXPECT_EQ(log_since(mark), "Failed to find resource 'x.txt' at 'base/x.txt'\n"
                             "Failed to find resource 'x.txt' at 'Resources/x.txt'\n");

  // Textures: each folder in its .dds, .png, .bmp forms, in that order.
  fly_test::write_file("Resources/bitmaps/terrain/t.dds", "");
  fly_test::write_file("base/custom object textures/t.bmp", "");
  DSF_LocateResourceNoLib(1, "t.png", "base/", false, out);
  EXPECT_EQ(out, "base/custom object textures/t.bmp");
  fly_test::write_file("base/custom terrain textures/t.png", "");
  DSF_LocateResourceNoLib(1, "t.png", "base/", false, out);
  EXPECT_EQ(out, "base/custom terrain textures/t.png");
  fly_test::write_file("base/t.bmp", "");
  DSF_LocateResourceNoLib(1, "t.xyz", "base/", false, out);
  EXPECT_EQ(out, "base/t.bmp");
  DSF_LocateResourceNoLib(1, "u.png", "base/", true, out);
  const std::string tried = log_since(mark);
  EXPECT_THAT(tried, HasSubstr("'u.png' at 'base/u.dds'\nFailed to find resource 'u.png' at "
                               "'base/u.png'\nFailed to find resource 'u.png' at 'base/u.bmp'\n"));
  EXPECT_THAT(tried, HasSubstr("'u.png' at 'Resources/u.bmp'\n"));
  fly_test::write_file("Resources/abc", "");  // four characters or fewer: unchanged
  DSF_LocateResourceNoLib(1, "abc", "base/", false, out);
  EXPECT_EQ(out, "Resources/abc");

  fly_test::write_file("Resources/objects/o.obj", "");
  DSF_LocateResourceNoLib(5, "o.obj", "base/", false, out);
  EXPECT_EQ(out, "Resources/objects/o.obj");
  DSF_LocateResourceNoLib(9, "o.obj", "base/", false, out);  // other kinds: base only
  EXPECT_EQ(out, "");
  fly_test::write_file("base/custom terrain textures/k.ter", "");
  DSF_LocateResourceNoLib(2, "k.ter", "base/", false, out);
  EXPECT_EQ(out, "base/custom terrain textures/k.ter");

  EXPECT_EQ(extract_package("Custom Scenery/X/objects/a.obj"), "Custom Scenery/X/");
  EXPECT_EQ(extract_package("Custom Scenery/X:y"), "Custom Scenery/X:");
  EXPECT_EQ(extract_package("Custom Scenery/"), "");
  EXPECT_EQ(extract_package("Global Scenery/G/a"), "Global Scenery/G/");
  EXPECT_EQ(extract_package("Resources/default scenery/D/a"), "Resources/default scenery/D/");
  EXPECT_EQ(extract_package("Resources/objects/a"), "");
  EXPECT_EQ(extract_package(""), "");
}

TEST(SceneryLocate, SecondaryAndLibraryForms) {
  // A texture of a terrain file: its folder, then the package's terrain
  // textures, then the global folders.
  fly_test::write_file("Custom Scenery/X/custom terrain textures/t.dds", "");
  fly_test::write_file("Custom Scenery/X/custom object textures/t.dds", "");
  std::string out;
  DSF_LocateResourceSecondary(1, 2, "Custom Scenery/X/terrain/", "t.png", false, out);
  EXPECT_EQ(out, "Custom Scenery/X/custom terrain textures/t.dds");
  DSF_LocateResourceSecondary(1, 3, "Custom Scenery/X/terrain/", "t.png", false, out);
  EXPECT_EQ(out, "Custom Scenery/X/custom object textures/t.dds");
  fly_test::write_file("Custom Scenery/X/terrain/t.bmp", "");
  DSF_LocateResourceSecondary(1, 2, "Custom Scenery/X/terrain/", "t.png", false, out);
  EXPECT_EQ(out, "Custom Scenery/X/terrain/t.bmp");
  fly_test::write_file("Custom Scenery/X/custom objects/o.obj", "");
  DSF_LocateResourceSecondary(4, 0, "Custom Scenery/X/objects/", "o.obj", false, out);
  EXPECT_EQ(out, "Custom Scenery/X/custom objects/o.obj");
  const size_t mark = log_text().size();
  DSF_LocateResourceSecondary(0, 0, "p/", "n", true, out);
  EXPECT_EQ(out, "");
  EXPECT_EQ(log_since(mark), "Failed to find resource 'n' (parent = 'p/' at 'p/n'\n"
                             "Failed to find resource 'n' (parent = 'p/' at 'Resources/n'\n");

  // The library forms: its candidates first, then the folder search's file;
  // no failure lines once the library found something.
  read_as_library("EXPORT lib/o.obj o.obj\n");
  fly_test::write_file("Resources/objects/lib/o.obj", "");
  strings list;
  DSF_LocateResourcePrimaryMultiple(0, 0, 3, "lib/o.obj", "base/", true, list);
  EXPECT_EQ(list, (strings{"Custom Scenery/P/o.obj", "Resources/objects/lib/o.obj"}));
  DSF_LocateResourceSecondaryMultipleWithLibrary(0, 0, 3, 0, "", "lib/o.obj", true, list);
  EXPECT_EQ(list, (strings{"Custom Scenery/P/o.obj", "Resources/objects/lib/o.obj"}));
  const size_t mark2 = log_text().size();
  DSF_LocateResourcePrimaryMultiple(0, 0, 3, "lib/q.obj", "base/", false, list);
  EXPECT_TRUE(list.empty());
  DSF_LocateResourcePrimaryMultiple(0, 0, 0, "lib/o.obj", "base/", true, list);
  EXPECT_EQ(list, (strings{"Custom Scenery/P/o.obj"}));
  EXPECT_EQ(log_since(mark2), "");

  DSF_LocateResourcePrimary(0, 0, 3, "lib/o.obj", "base/", false, out, 0);
  EXPECT_EQ(out, "Custom Scenery/P/o.obj");
  DSF_LocateResourcePrimary(0, 0, 3, "o.obj", "Custom Scenery/X/", false, out, 0);
  EXPECT_EQ(out, "Custom Scenery/X/custom objects/o.obj");
}
