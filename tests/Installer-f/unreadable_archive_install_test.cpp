// A disc whose archives the readers cannot decode: the install's question
// says why in the user's language, and the log names each archive.
#include <algorithm>

#include "Files/errors.h"
#include "Installer-f/install_step.h"
#include "Installer-f/run_screens.h"
#include "UTL/localize.h"
#include "engine_util.h"

using namespace engine_test;

TEST(DiscUnpack, UnreadableArchivesAreExplainedInTheUsersLanguage) {
  const std::string root = fly_test::sandbox() + "unreadable/",
                    tile = "All/Global Scenery/+40-130/+47-122.dsf";
  dvd_path = root + "disc/";
  install_name = "R";
  temp_path = root + "temp/";
  dest_dir_path = root + "inst/";
  LIN_make_dirs(temp_path);
  LIN_make_dirs(dest_dir_path + "Resources");
  sim_info = {{version("All/Resources/a.txt", sig('a'), "NONE")}, {version(tile, sig('b'), "NONE")}};
  for (auto& row : sim_info) row.back().to_install = 1;
  write_file(root + "src/a.txt", "text\n");
  write_file(root + "src/+47-122.dsf", std::string(20000, 't'));
  sh("cd " + q(root) + " && mkdir -p disc/R/All/Resources " + q("disc/R/All/Global Scenery/+40-130") +
     " && cd src && zip -q -P secret ../disc/R/All/Resources/a.txt.zip a.txt && "
     "7zz a -bso0 -bsp0 -m0=Deflate64 " + q("../disc/R/" + tile + ".7z") + " +47-122.dsf");

  UTL_translate_load_path(2, std::string(FLY_SOURCE_DIR) + "/resources/German.txt");
  const std::string encrypted = UTL_translate_string(error_str(err_archive_encrypted)),
                    method = UTL_translate_string(error_str(err_archive_method));
  scripted_prompts prompts;  // each question closed: the install goes on
  int f = 0, status = 0;
  const bool ended = frames_until(
      [&] {
        if ((status = install_files(f, 0)) == 3)
          UTIL_cancel_install("heading", "advice", "Cancel", "the install.", "Continue",
                              "the install.");
      },
      [&] { return status == 1; });
  install_files_kill();
  UTL_translate_clear();
  ASSERT_TRUE(ended);
  EXPECT_NE(encrypted, error_str(err_archive_encrypted));  // the German text, not the English
  std::vector<std::string> messages;
  for (const prompt_window& w : prompts.asked) messages.push_back(w.lines.at(0).text);
  ASSERT_EQ(messages.size(), 2u);
  std::sort(messages.begin(), messages.end());  // the zip's task path sorts first
  EXPECT_TRUE(messages[0].ends_with(sig('a') + "_0.zip to the folder " + dest_dir_path +
                                    "Resources/.  (Original file was: " + dvd_path +
                                    "R/All/Resources/a.txt.zip) (" + encrypted + ")\n\nadvice"))
      << messages[0];
  EXPECT_NE(messages[1].find(sig('b') + "_1.7z"), std::string::npos) << messages[1];
  EXPECT_TRUE(messages[1].ends_with("(" + method + ")\n\nadvice")) << messages[1];
  const std::string log = fly_test::log_text();
  EXPECT_NE(log.find("WARNING: the zip archive " + temp_path + sig('a') +
                     "_0.zip did not unpack: \"a.txt\" is encrypted (error 20017).\n"),
            std::string::npos);
  EXPECT_NE(log.find("WARNING: the 7z archive " + temp_path + sig('b') +
                     "_1.7z did not unpack: Unknown codec ID"),
            std::string::npos);
  EXPECT_FALSE(file_exists(dest_dir_path + "Resources/a.txt"));
  EXPECT_EQ(sim_info[0].back().current + sim_info[1].back().current, 0);
}
