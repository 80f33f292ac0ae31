// The close-down of the run's temporary folder when its name was swapped
// from outside (a link to the user's files, another folder in its place):
// what the name now leads to stays whole, and the log says why.
#include "Installer-f/temp_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include "Files/paths.h"
#include "Linux/lin_paths.h"
#include "support/test_util.h"

using fly_test::read_file;
using fly_test::run;
using fly_test::sandbox;
using fly_test::write_file;

namespace {
bool there(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

std::string listing(const std::string& folder) {
  std::string out;
  run("ls -A '" + folder + "' | tr '\\n' ' '", &out);
  return out;
}

// The user's files, a folder of them with a sub-folder.
void user_files(const std::string& u) {
  write_file(u + "/letter.txt", "the user's letter");
  write_file(u + "/photos/one.jpg", "the user's photo");
}

void expect_user_files(const std::string& u) {
  EXPECT_EQ(read_file(u + "/letter.txt"), "the user's letter");
  EXPECT_EQ(read_file(u + "/photos/one.jpg"), "the user's photo");
}

// What a run leaves in its folder: archives, the file list, a sub-folder,
// and a link out of it that is never followed.
void run_files(const std::string& d, const std::string& user) {
  write_file(d + "/0a1b_7.zip", "an archive copy");
  write_file(d + "/directory.txt", "the file list");
  write_file(d + "/Resources/x.png", "unpacked");
  ASSERT_EQ(symlink(user.c_str(), (d + "/Resources/out").c_str()), 0);
}
}  // namespace

// For the fixed folder and for a folder of the run's own: the name intact,
// the folder goes; removed and made a link, renamed away and made a link, or
// renamed away with a folder of the user's put in its place, the name and
// what it leads to stay, the folder the run holds is emptied all the same,
// and a WARNING names the folder.
TEST(TempFolderCloseDown, ANameSwappedFromOutsideIsLeftAlone) {
  const char* const swaps[] = {
      nullptr,  // left as it was
      "rm -r '$D' && ln -s '$U' '$D'",
      "mv '$D' '$D.away' && ln -s '$U' '$D'",
      "mv '$D' '$D.away' && mkdir '$D' && cp -a '$U/.' '$D/'",
  };
  int n = 0;
  for (int own = 0; own < 2; ++own)
    for (const char* swap : swaps) {
      const std::string base = sandbox() + "t" + std::to_string(++n), user = base + "/user";
      SCOPED_TRACE(std::string(own ? "own, " : "fixed, ") + (swap ? swap : "intact"));
      run("mkdir -p '" + base + "'");
      user_files(user);
      lin_temp_claim holder;  // another installer, so that this run makes one of its own
      if (own) holder = LIN_claim_temp_dir(base, "");
      lin_temp_claim c = LIN_claim_temp_dir(base, "");
      ASSERT_FALSE(c.dir.empty());
      ASSERT_EQ(c.own, own);
      const std::string d = c.dir;
      run_files(d, user);
      if (swap) {
        std::string cmd = swap;
        for (size_t at; (at = cmd.find("$D")) != std::string::npos;) cmd.replace(at, 2, d);
        for (size_t at; (at = cmd.find("$U")) != std::string::npos;) cmd.replace(at, 2, user);
        ASSERT_EQ(run(cmd), 0);
      }
      const size_t logged = fly_test::log_text().size();
      LIN_close_temp_dir(c);
      EXPECT_EQ(c.fd, -1);
      const std::string log = fly_test::log_text().substr(logged);

      expect_user_files(user);
      if (!swap) {
        EXPECT_FALSE(there(d));
        EXPECT_EQ(log, "");
        continue;
      }
      EXPECT_THAT(log, HasSubstr("WARNING: The temporary folder " + d +
                                 " was removed or replaced from outside"));
      EXPECT_TRUE(there(d));
      expect_user_files(d);  // through the link, or the folder put in its place
      if (std::string(swap).find("mv") == 0) {
        // The folder the run held, renamed: its files went, through the lock's
        // descriptor; a folder of the run's own keeps its mark for the sweep.
        EXPECT_EQ(listing(d + ".away"), own ? ".flyvane-temp " : "");
      }
      if (own) close(holder.fd);
    }
}

// The close-down of the folder the installer took, as the shell calls it:
// the running program's copy started from the disc is spared both at the
// start and at the end; with the folder renamed away and a link to the
// user's files in its place, the copy stays, the run's files go, the link
// and the user's files stay.
TEST(TempFolderCloseDown, TheProgramsCopyAndTheUsersFilesStay) {
  std::string temp;
  get_OS_abs_path(os_dir_temp, temp);
  ASSERT_EQ(temp, sandbox() + "tmp/flyvane-" + std::to_string(getuid()) + "/");
  const std::string d = temp.substr(0, temp.size() - 1), user = sandbox() + "user";
  user_files(user);
  write_file(temp + "flyvane_installer", "the program's copy");
  write_file(temp + "Resources/elements_English.png", "its resources");
  write_file(temp + "stale.zip", "left by a run that crashed");
  temp_folder_claim(temp, temp + "flyvane_installer");
  EXPECT_EQ(listing(d), "Resources flyvane_installer ");

  write_file(temp + "0a1b_7.zip", "an archive copy");
  ASSERT_EQ(symlink(user.c_str(), (temp + "out").c_str()), 0);
  ASSERT_EQ(run("mv '" + d + "' '" + d + ".away' && ln -s '" + user + "' '" + d + "'"), 0);
  temp_folder_close_down();
  expect_user_files(user);
  EXPECT_EQ(listing(user), "letter.txt photos ");
  EXPECT_EQ(read_file(d + ".away/flyvane_installer"), "the program's copy");
  EXPECT_EQ(listing(d + ".away"), "Resources flyvane_installer ");
  EXPECT_EQ(listing(d + ".away/Resources"), "elements_English.png ");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("WARNING: The temporary folder " + d +
                                              " was removed or replaced from outside"));
  temp_folder_close_down();  // once only: a second call touches nothing
  expect_user_files(user);
}
