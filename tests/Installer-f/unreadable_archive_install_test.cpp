// A disc whose archive the readers cannot decode: the install's question says
// why in the user's language, and the log names the archive.
#include "Files/errors.h"
#include "Installer-f/install_step.h"
#include "Installer-f/run_screens.h"
#include "UTL/localize.h"
#include "engine_util.h"

using namespace engine_test;

TEST(DiscUnpack, AnEncryptedArchiveIsExplainedInTheUsersLanguage) {
  const std::string root = fly_test::sandbox() + "unreadable/";
  dvd_path = root + "disc/";
  install_name = "R";
  temp_path = root + "temp/";
  dest_dir_path = root + "inst/";
  LIN_make_dirs(temp_path);
  LIN_make_dirs(dest_dir_path + "Resources");
  sim_info = {{version("All/Resources/a.txt", sig('a'), "NONE")}};
  sim_info[0].back().to_install = 1;
  write_file(root + "src/a.txt", "text\n");
  sh("cd " + q(root) + " && mkdir -p disc/R/All/Resources && cd src && " +
     "zip -q -P secret ../disc/R/All/Resources/a.txt.zip a.txt");

  UTL_translate_load_path(2, std::string(FLY_SOURCE_DIR) + "/resources/German.txt");
  const std::string encrypted = UTL_translate_string(error_str(err_archive_encrypted));
  scripted_prompts prompts;  // the question closed: the install goes on
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
  ASSERT_EQ(prompts.asked.size(), 1u);
  EXPECT_EQ(prompts.asked[0].lines.at(0).text,
            "heading\n\nI was unable to unzip the file " + temp_path + sig('a') +
                "_0.zip to the folder " + dest_dir_path + "Resources/.  (Original file was: " +
                dvd_path + "R/All/Resources/a.txt.zip) (" + encrypted + ")\n\nadvice");
  EXPECT_NE(fly_test::log_text().find("WARNING: the zip archive " + temp_path + sig('a') +
                                      "_0.zip did not unpack: \"a.txt\" is encrypted (error "
                                      "20017).\n"),
            std::string::npos);
}
