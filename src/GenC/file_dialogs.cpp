#include "GenH/file_dialogs.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include "GenH/shell.h"
#include "GenH/window.h"
#include "Linux/lin_window.h"
#include "Linux/lin_zenity.h"
#include "OGL/gl_frame.h"
#include "OGL/ogl_draw.h"
#include "UTL/localize.h"
#include "UTL/xer.h"

file_dialog_runner_fn file_dialog_runner = LIN_run_capture;
void (*file_dialog_flush_input)() = nullptr;

namespace {
std::map<int, std::string> g_last_folder;  // per pref_key, this run only

bool is_dir(const std::string& p) {
  struct stat st;
  return !p.empty() && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool exists(const std::string& p) {
  struct stat st;
  return !p.empty() && stat(p.c_str(), &st) == 0;
}
std::string as_folder(const std::string& p) { return p.back() == '/' ? p : p + "/"; }

std::string parent_of(const std::string& p) {
  const size_t s = p.find_last_of('/');
  if (s == std::string::npos) return "";
  return s == 0 ? "/" : p.substr(0, s);
}

// Where the dialog opens: a folder opens inside it, a file is preselected.
std::string opening_place(int kind, const std::string& start, int pref_key,
                          const std::string& name) {
  std::string at;
  if (is_dir(start)) {
    at = as_folder(start);
  } else if (exists(start)) {
    return start;
  } else if (auto it = g_last_folder.find(pref_key); it != g_last_folder.end() && is_dir(it->second)) {
    at = as_folder(it->second);
  }
  if (kind == 1 && !name.empty()) at += name;
  return at;
}

OGL_kept_picture g_picture;  // the window's, while the dialog is up
bool g_closing = false;

// Between waits for the dialog: the window keeps its picture, drops its
// input and hears its close, which ends the dialog and then the program.
int keep_window_while_up() {
  const int came = LIN_events_while_away();
  if (came & lin_away_expose) OGL_put_back_picture(g_picture);
  if ((came & lin_away_close) && !g_closing) {
    g_closing = true;
    shell_hooks.quit_request();
  }
  return g_closing;
}

int run_dialog(const std::vector<std::string>& argv, std::string* out, int* start_errno,
               std::string* err) {
  if (const char* answer = getenv("FLY_DIALOG_ANSWER")) {
    *start_errno = 0;
    if (strcmp(answer, "-") == 0) return 1;
    *out = std::string(answer) + "\n";
    return 0;
  }
  if (!file_dialog_runner) return -1;
  if (!LIN_window_is_open()) return file_dialog_runner(argv, out, start_errno, err, nullptr);
  g_closing = false;
  // The page as the user last saw it whole: the click that opened the dialog
  // may have shown a part of the next frame, its button pressed.
  if (!OGL_frame_whole_picture(&g_picture.rgba, &g_picture.width, &g_picture.height))
    LIN_window_picture(&g_picture.rgba, &g_picture.width, &g_picture.height);
  const int status = file_dialog_runner(argv, out, start_errno, err, keep_window_while_up);
  // A hangup or SIGTERM to the whole group may have ended the dialog itself.
  keep_window_while_up();
  g_picture = OGL_kept_picture();
  return g_closing ? -2 : status;
}

std::string trimmed(const std::string& text) {
  const size_t b = text.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  return text.substr(b, text.find_last_not_of(" \t\r\n") + 1 - b);
}

std::string last_line(const std::string& text) {
  const std::string t = trimmed(text);
  const size_t nl = t.find_last_of('\n');
  return nl == std::string::npos ? t : trimmed(t.substr(nl + 1));
}

// zenity leaves with 1, as if cancelled, when it has no display to show on.
bool had_no_display(const std::string& err) {
  return (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) ||
         err.find("cannot open display") != std::string::npos;
}

// What an answer names must be there: the folder chosen, the file to open,
// the folder a save goes into. A name the dialog could not print as it is
// comes back with "?" for its characters and names nothing, and would make a
// new folder beside the one picked.
bool answer_exists(int kind, const std::string& p) {
  if (p.empty() || p[0] != '/') return false;
  if (kind == 2) return is_dir(p);
  if (kind == 0) return exists(p) && !is_dir(p);
  return is_dir(parent_of(p));
}

// The dialog never came up: the log gets what the program said, the user an alert.
void report_unshown(const std::string& program, const std::string& why) {
  xer << "WARNING: could not show the file dialog (" << program << ": " << why << ")\n";
  __MACIBM_alert(0, UTL_translate_string("The file dialog could not be shown."),
                 program + ": " + cut_utf8(last_line(why), 200), "", "", t_alert, __FILE__,
                 __LINE__);
}
}  // namespace

int GetFilePathFromUser(int kind, const std::string& prompt, const std::string& button_label,
                        int pref_key, const std::string& start_location, std::string& path) {
  if (kind < 0 || kind > 2) return 0;
  const std::string start =
      opening_place(kind, start_location, pref_key, kind == 1 ? path : std::string());
  (void)button_label;  // zenity's file selection keeps its own button label
  const std::vector<std::string> argv =
      LIN_zenity_args(kind, prompt.empty() ? "Flyvane" : prompt, start);
  std::string out, err;
  int start_errno = 0;
  const int status = run_dialog(argv, &out, &start_errno, &err);
  if (file_dialog_flush_input) file_dialog_flush_input();
  if (status == -2) return 0;  // the program is closing
  if (status < 0) {
    report_unshown(argv[0], strerror(start_errno ? start_errno : EIO));
    return 0;
  }
  if (status > 1 || (status == 1 && had_no_display(err))) {
    std::string why = trimmed(err);
    if (why.empty()) why = status == 1 ? "no display" : "exit status " + std::to_string(status);
    report_unshown(argv[0], why);
    return 0;
  }
  if (status != 0) return 0;  // cancelled

  if (!out.empty() && out.back() == '\n') out.pop_back();
  if (!out.empty() && out.back() == '\r') out.pop_back();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  if (!answer_exists(kind, out)) {
    xer << "WARNING: the file dialog answered '" << out << "', which names nothing here\n";
    __MACIBM_alert(0,
                   UTL_translate_string("The folder you picked could not be read back from the "
                                        "file dialog; nothing was changed."),
                   "", "", "", t_alert, __FILE__, __LINE__);
    return 0;
  }
  path = out;
  g_last_folder[pref_key] = (kind == 2) ? out : parent_of(out);
  return 1;
}

std::string cut_utf8(const std::string& text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t cut = max_bytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80) --cut;
  return text.substr(0, cut);
}

void DoUserAlert(const char* message) {
  const std::string m = cut_utf8(message ? message : "", 255);
  if (MACIBM_system_alert) MACIBM_system_alert(m, "", "", "");
}

short* EndianFlipShort(short* value) {
  const uint16_t v = static_cast<uint16_t>(*value);
  *value = static_cast<short>(static_cast<uint16_t>((v >> 8) | (v << 8)));
  return value;
}

int32_t EndianFlipLong(int32_t* value) {
  const uint32_t v = static_cast<uint32_t>(*value);
  *value = static_cast<int32_t>((v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24));
  return *value;
}
