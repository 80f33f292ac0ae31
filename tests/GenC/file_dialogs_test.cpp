#include <sys/stat.h>

#include <cstdlib>

#include "GenH/file_dialogs.h"
#include "GenH/shell.h"
#include "Linux/lin_zenity.h"
#include "support/test_util.h"

namespace {
std::vector<std::vector<std::string>> g_runs;
int g_status = 0;
std::string g_answer;
int g_flushes = 0;
int fake_runner(const std::vector<std::string>& argv, std::string* out, int* start_errno,
                std::string*, int (*)()) {
  g_runs.push_back(argv);
  *out = g_answer;
  *start_errno = 0;
  return g_status;
}

struct Dialogs : ::testing::Test {
  void SetUp() override {
    file_dialog_runner = fake_runner;
    file_dialog_flush_input = [] { ++g_flushes; };
    g_runs.clear(), g_status = 0, g_answer.clear(), g_flushes = 0;
    unsetenv("FLY_DIALOG_ANSWER");
  }
};

// A stand-in for zenity on PATH that records its arguments, one a line.
std::string fake_zenity(const std::string& script_body) {
  const std::string bin = fly_test::sandbox() + "bin/";
  fly_test::write_file(bin + "zenity", "#!/bin/sh\n" + script_body);
  chmod((bin + "zenity").c_str(), 0755);
  return bin;
}
}  // namespace

TEST_F(Dialogs, CancelLeavesThePathAndFlushesInput) {
  std::string path = "/keep/this/";
  g_status = 1;
  g_answer = "/somewhere\n";
  EXPECT_EQ(GetFilePathFromUser(2, "Pick", "Select", 1, path, path), 0);
  EXPECT_EQ(path, "/keep/this/");
  EXPECT_EQ(g_flushes, 1);
  g_status = 5;  // a dialog error is no choice either, and the user hears of it
  fly_test::clear_alerts();
  EXPECT_EQ(GetFilePathFromUser(2, "Pick", "Select", 1, path, path), 0);
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s1, "The file dialog could not be shown.");
  EXPECT_EQ(fly_test::alerts()[0].s2, "zenity: exit status 5");
  g_status = 0;
  g_answer = "";
  EXPECT_EQ(GetFilePathFromUser(2, "Pick", "Select", 1, path, path), 0);
  EXPECT_EQ(GetFilePathFromUser(3, "Pick", "Select", 1, path, path), 0);  // no such kind
  EXPECT_EQ(g_runs.size(), 3u);
  EXPECT_EQ(path, "/keep/this/");

  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  g_status = 1;
  EXPECT_EQ(GetFilePathFromUser(2, "Pick", "Select", 1, path, path), 0);
  EXPECT_THAT(fly_test::log_text(),
              HasSubstr("WARNING: could not show the file dialog (zenity: no display)"));
}

TEST_F(Dialogs, FolderComesBackWithoutSlashAndIsRememberedPerKey) {
  const std::string start = fly_test::sandbox() + "start";
  const std::string picked = fly_test::sandbox() + "picked";
  mkdir(start.c_str(), 0755);
  mkdir(picked.c_str(), 0755);
  std::string path = start + "/";
  g_answer = picked + "/\n";
  ASSERT_EQ(GetFilePathFromUser(2, "Pick", "Select", 1, path, path), 1);
  EXPECT_EQ(path, picked);
  EXPECT_EQ(g_runs[0], (std::vector<std::string>{"zenity", "--file-selection", "--directory",
                                                 "--title=Pick",
                                                 "--filename=" + start + "/"}));
  std::string other;
  g_answer = "/\n";
  ASSERT_EQ(GetFilePathFromUser(2, "", "", 1, "/no/such/folder", other), 1);
  EXPECT_EQ(other, "/");
  EXPECT_EQ(g_runs[1].back(), "--filename=" + picked + "/");  // where key 1 was last
  EXPECT_EQ(g_runs[1][3], "--title=Flyvane");
  GetFilePathFromUser(2, "", "", 7, "", other);
  EXPECT_EQ(g_runs[2].back(), "--title=Flyvane");  // key 7 has no place yet

  // A save dialog proposes the default name in its folder.
  std::string name = "movie.mov";
  g_answer = picked + "/movie.mov\n";
  ASSERT_EQ(GetFilePathFromUser(1, "Save", "", 2, start, name), 1);
  EXPECT_EQ(name, picked + "/movie.mov");
  EXPECT_EQ(g_runs[3].back(), "--filename=" + start + "/movie.mov");
}

TEST_F(Dialogs, PromptGoesVerbatimToTheRealZenity) {
  const std::string bin = fake_zenity(
      "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$ZARGS\"\necho \"$CHOSEN\"\n");
  setenv("PATH", (bin + ":/usr/bin:/bin").c_str(), 1);
  const std::string args_file = fly_test::sandbox() + "args.txt";
  setenv("ZARGS", args_file.c_str(), 1);
  const std::string chosen = fly_test::sandbox() + "chosen dir";
  mkdir(chosen.c_str(), 0755);
  setenv("CHOSEN", chosen.c_str(), 1);
  file_dialog_runner = LIN_run_capture;
  std::string path = "unchanged";
  const std::string prompt = "Say \"hi\" $(touch pwned) `touch pwned2` ; rm x";
  ASSERT_EQ(GetFilePathFromUser(2, prompt, "O'K", 5, "", path), 1);  // key 5: no place yet
  EXPECT_EQ(path, chosen);
  EXPECT_EQ(fly_test::read_file(args_file),
            "--file-selection\n--directory\n--title=" + prompt + "\n");
  EXPECT_FALSE(fly_test::file_exists("pwned"));
  EXPECT_FALSE(fly_test::file_exists("pwned2"));
}

TEST_F(Dialogs, AnUnshownDialogIsLoggedAndAlerted) {
  const std::string empty = fly_test::sandbox() + "empty_bin";
  mkdir(empty.c_str(), 0755);
  setenv("PATH", empty.c_str(), 1);
  file_dialog_runner = LIN_run_capture;
  fly_test::clear_alerts();
  std::string path = "/as/it/was";
  EXPECT_EQ(GetFilePathFromUser(2, "Pick", "Select", 1, "", path), 0);
  EXPECT_EQ(path, "/as/it/was");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("WARNING: could not show the file dialog (zenity"));
  ASSERT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_EQ(fly_test::alerts()[0].s2, "zenity: No such file or directory");

  std::string out;
  int err = 0;
  EXPECT_EQ(LIN_run_capture({"zenity"}, &out, &err), -1);
  EXPECT_EQ(err, ENOENT);
  setenv("PATH", "/usr/bin:/bin", 1);
  EXPECT_EQ(LIN_run_capture({"sh", "-c", "printf 'a\\nb'; exit 3"}, &out, &err), 3);
  EXPECT_EQ(out, "a\nb");

  // zenity refusing its arguments: its own words reach the log and the alert.
  setenv("PATH", (fake_zenity("echo 'Gtk chatter' >&2\necho 'bad option' >&2\nexit 255\n") +
                  ":/usr/bin:/bin").c_str(), 1);
  EXPECT_EQ(GetFilePathFromUser(2, "Pick", "Select", 1, "", path), 0);
  EXPECT_THAT(fly_test::log_text(), HasSubstr("(zenity: Gtk chatter\nbad option)"));
  ASSERT_EQ(fly_test::alerts().size(), 2u);
  EXPECT_EQ(fly_test::alerts()[1].s2, "zenity: bad option");
}

TEST_F(Dialogs, EnvironmentAnswersWithoutADialog) {
  const std::string from_env = fly_test::sandbox() + "from env";
  mkdir(from_env.c_str(), 0755);
  setenv("FLY_DIALOG_ANSWER", (from_env + "/").c_str(), 1);
  std::string path;
  EXPECT_EQ(GetFilePathFromUser(2, "Pick", "Select", 1, "", path), 1);
  EXPECT_EQ(path, from_env);
  setenv("FLY_DIALOG_ANSWER", "-", 1);
  EXPECT_EQ(GetFilePathFromUser(2, "Pick", "Select", 1, "", path), 0);
  EXPECT_EQ(path, from_env);
  // Its answers are checked as the dialog's are.
  fly_test::clear_alerts();
  setenv("FLY_DIALOG_ANSWER", "/no/such/folder", 1);
  EXPECT_EQ(GetFilePathFromUser(2, "Pick", "Select", 1, "", path), 0);
  EXPECT_EQ(path, from_env);
  EXPECT_EQ(fly_test::alerts().size(), 1u);
  EXPECT_TRUE(g_runs.empty());
}

namespace {
const char* const kUnread =
    "The folder you picked could not be read back from the file dialog; nothing was changed.";
}

// An answer in which the dialog's locale turned "ü" into "?" names a folder
// that is not there: it is refused, with the alert, whatever the kind, and
// the next dialog still opens where the last good choice was.
TEST_F(Dialogs, AnAnswerNamingNothingHereIsRefused) {
  const std::string real = fly_test::sandbox() + "Fl\xC3\xBCgel \xC3\xBC";
  const std::string file = fly_test::sandbox() + "a file";
  mkdir(real.c_str(), 0755);
  fly_test::write_file(file, "x");
  std::string path = "/as/it/was";
  g_answer = real + "\n";
  ASSERT_EQ(GetFilePathFromUser(2, "Pick", "Select", 1, "", path), 1);
  EXPECT_EQ(path, real);

  fly_test::clear_alerts();
  const std::pair<int, std::string> refused[] = {
      {2, fly_test::sandbox() + "Fl?gel ?"},
      {2, file},                     // a file for a folder
      {2, "relative/folder"},
      {2, ""},
      {0, real},                     // a folder for a file to open
      {0, real + "/missing file"},
      {1, real + "/?/movie.mov"},    // saved into a folder that is not there
  };
  for (const auto& [kind, answer] : refused) {
    g_answer = answer + "\n";
    std::string kept = "/as/it/was";
    EXPECT_EQ(GetFilePathFromUser(kind, "Pick", "Select", 1, "", kept), 0) << answer;
    EXPECT_EQ(kept, "/as/it/was") << answer;
  }
  ASSERT_EQ(fly_test::alerts().size(), std::size(refused));
  EXPECT_EQ(fly_test::alerts()[0].s1, kUnread);
  EXPECT_EQ(fly_test::alerts()[0].type, 1);
  EXPECT_THAT(fly_test::log_text(),
              HasSubstr("WARNING: the file dialog answered '" + fly_test::sandbox() +
                        "Fl?gel ?', which names nothing here"));
  for (size_t i = 1; i < g_runs.size(); ++i)  // each opened where the good choice was
    EXPECT_THAT(g_runs[i].back(), ::testing::StartsWith("--filename=" + real + "/")) << i;

  // What the other kinds take.
  g_answer = file + "\n";
  EXPECT_EQ(GetFilePathFromUser(0, "Open", "", 3, "", path), 1);
  EXPECT_EQ(path, file);
  g_answer = real + "/new.mov\n";
  EXPECT_EQ(GetFilePathFromUser(1, "Save", "", 3, "", path), 1);
  EXPECT_EQ(path, real + "/new.mov");
  EXPECT_EQ(fly_test::alerts().size(), std::size(refused));
}

namespace {
std::string g_alert_text;
}

TEST(UserAlert, CutsAt255BytesOnACharacterBoundary) {
  MACIBM_system_alert = [](const std::string& s1, const std::string&, const std::string&,
                           const std::string&) { g_alert_text = s1; };
  const std::string ascii(300, 'x');
  DoUserAlert(ascii.c_str());
  EXPECT_EQ(g_alert_text, std::string(255, 'x'));
  const std::string wide = std::string(254, 'y') + "\xC3\xA9" + "tail";  // é spans bytes 254-255
  DoUserAlert(wide.c_str());
  EXPECT_EQ(g_alert_text, std::string(254, 'y'));
  DoUserAlert("short");
  EXPECT_EQ(g_alert_text, "short");
}

TEST(ByteOrder, FlipsTwoAndFourBytes) {
  short s = 0x1234;
  EXPECT_EQ(EndianFlipShort(&s), &s);
  EXPECT_EQ(s, 0x3412);
  int32_t l = 0x12345678;
  EXPECT_EQ(EndianFlipLong(&l), 0x78563412);
  EXPECT_EQ(l, 0x78563412);
  int32_t n = -2;  // 0xFFFFFFFE
  EXPECT_EQ(static_cast<uint32_t>(EndianFlipLong(&n)), 0xFEFFFFFFu);
}
