// The end-to-end trace of screens and clickable items, and the scripted
// input of FLY_SCRIPT (see GenH/script.h).
#include "GenH/script.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "GenH/mnw.h"
#include "GenH/ui_items.h"
#include "GenH/window.h"
#include "OGL/gl_calls.h"
#include "TEX/TEX_image.h"
#include "TEX/TEX_png.h"
#include "UTL/xer.h"

namespace {
// Where the program was started: relative script paths mean this folder, not
// the working folder start-up moves to.
const std::string g_start_dir = [] {
  std::error_code ec;
  return std::filesystem::current_path(ec).string();
}();

std::string from_start_dir(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  return g_start_dir + "/" + path;
}

std::string g_screen_name;
std::vector<std::string> g_screen_texts;

struct item_rect {
  int x, y, w, h;
};
item_rect top_left_rect(const ui_item& it) {
  const int x = static_cast<int>(it.x1), y = static_cast<int>(mnw.window_dy - it.y2);
  return {x, y, static_cast<int>(it.x2 - it.x1), static_cast<int>(it.y2 - it.y1)};
}

std::string item_line(const ui_item& it) {
  const item_rect r = top_left_rect(it);
  char buf[128];
  snprintf(buf, sizeof(buf), " rect=%d,%d,%d,%d enabled=%d checked=%d window=%d", r.x, r.y, r.w,
           r.h, it.enabled ? 1 : 0, it.checked ? 1 : 0, it.window);
  return "item key=\"" + MACIBM_trace_quote(it.key) + "\" shown=\"" +
         MACIBM_trace_quote(it.shown) + "\"" + buf;
}

double now_s() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

[[noreturn]] void script_failed(const std::string& why) {
  const std::string line = "SCRIPT FAILED: " + why;
  xer << line << "\n";
  xer.flush();
  MACIBM_trace_line(line);
  fprintf(stderr, "%s\n", line.c_str());
  fflush(nullptr);
  _exit(3);
}

// Whether the frame shows what a wait or click names.
bool frame_shows(const std::string& what) {
  if (what == g_screen_name) return true;
  for (const std::string& t : g_screen_texts)
    if (!t.empty() && t.find(what) != std::string::npos) return true;
  return UI_item_seen(what) != nullptr;
}

const ui_item* enabled_item(const std::string& what) {
  for (const ui_item& it : UI_items_seen())
    if ((it.key == what || it.shown == what) && it.enabled) return &it;
  return nullptr;
}

bool save_back_buffer(const std::string& path) {
  if (!gl.ReadPixels || mnw.window_dx < 1 || mnw.window_dy < 1) return false;
  std::vector<unsigned char> px(static_cast<size_t>(mnw.window_dx) * mnw.window_dy * 4);
  gl.ReadBuffer(GL_BACK);
  gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.ReadPixels(0, 0, mnw.window_dx, mnw.window_dy, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  for (size_t i = 3; i < px.size(); i += 4) px[i] = 255;  // a screenshot is opaque
  const TEX_image_desc d{GL_RGBA, mnw.window_dx, mnw.window_dy, 0, 0};
  return TEX_save_png(path, d, px.data());
}

std::string volumes_folder() {
  const char* v = getenv("FLY_MOUNTED_VOLUMES");
  return v && *v ? std::string(v) : std::string();
}

struct script_state {
  std::vector<std::string> lines;
  size_t next = 0;
  double started = -1;  // when the current command began to wait
  bool loaded = false;
};
script_state& script() {
  static auto* s = new script_state;
  return *s;
}

// Runs the command; false while it must wait for a later frame.
bool run_command(const std::string& cmd, const std::string& arg, double waited) {
  if (cmd == "click") {
    const ui_item* it = enabled_item(arg);
    if (!it) {
      if (waited > 10) script_failed("no enabled item \"" + arg + "\" to click");
      return false;
    }
    const int x = static_cast<int>((it->x1 + it->x2) / 2);
    const int y = static_cast<int>(mnw.window_dy - (it->y1 + it->y2) / 2);
    LIN_script_move(x, y);
    LIN_script_button(1, 1);
    LIN_script_button(0, 1);
    return true;
  }
  if (cmd == "type") {
    LIN_script_text(arg.c_str());
    return true;
  }
  if (cmd == "key") {
    const int code = MACIBM_script_key_code(arg);
    if (!code) script_failed("unknown key \"" + arg + "\"");
    LIN_script_key(1, code, 0, 0);
    LIN_script_key(0, code, 0, 0);
    return true;
  }
  if (cmd == "wait") {
    std::string what = arg;
    double limit = 30;
    const size_t sp = arg.rfind(' ');
    if (sp != std::string::npos) {
      char* end = nullptr;
      const double v = strtod(arg.c_str() + sp + 1, &end);
      if (end && !*end && v > 0) limit = v, what = arg.substr(0, sp);
    }
    if (frame_shows(what)) return true;
    if (waited > limit) script_failed("wait for \"" + what + "\" timed out");
    return false;
  }
  if (cmd == "sleep") return waited >= atof(arg.c_str());
  if (cmd == "screenshot") {
    const std::string path = from_start_dir(arg);
    if (!save_back_buffer(path)) script_failed("cannot write the screenshot " + path);
    MACIBM_trace_line("screenshot " + path);
    return true;
  }
  if (cmd == "insert" || cmd == "eject") {
    const std::string vols = volumes_folder();
    if (vols.empty()) script_failed(cmd + " needs FLY_MOUNTED_VOLUMES");
    namespace fs = std::filesystem;
    std::error_code ec;
    if (cmd == "eject") {
      for (const auto& e : fs::directory_iterator(vols, ec)) fs::remove(e.path(), ec);
    } else {
      std::string folder = from_start_dir(arg);
      while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
      const fs::path disc = folder;
      fs::create_directory_symlink(disc, fs::path(vols) / disc.filename(), ec);
      if (ec) script_failed("cannot insert " + arg + ": " + ec.message());
    }
    xer << "SCRIPT: " << cmd << (arg.empty() ? "" : " ") << arg << "\n";
    return true;
  }
  if (cmd == "quit") {
    shell_hooks.quit_request();
    return true;
  }
  script_failed("unknown command \"" + cmd + "\"");
}
}  // namespace

std::string MACIBM_trace_quote(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '"') out += "\\\"";
    else if (c == '\\') out += "\\\\";
    else out += c;
  }
  return out;
}

void MACIBM_screen_state(const std::string& name, const std::vector<std::string>& texts) {
  g_screen_name = name;
  g_screen_texts = texts;
}

void MACIBM_trace_items() {
  static std::string last;
  if (!MACIBM_trace_on()) return;
  std::string block = "screen " + g_screen_name + " title=\"" +
                      MACIBM_trace_quote(g_screen_texts.empty() ? "" : g_screen_texts[0]) + "\"";
  for (size_t i = 1; i < g_screen_texts.size(); ++i)
    block += "\ntext \"" + MACIBM_trace_quote(g_screen_texts[i]) + "\"";
  for (const ui_item& it : UI_items_seen()) block += "\n" + item_line(it);
  if (block == last) return;
  last = block;
  MACIBM_trace_line(block + "\nend");
}

int MACIBM_script_parse(const std::string& line, std::string& command, std::string& argument) {
  size_t b = line.find_first_not_of(" \t");
  if (b == std::string::npos || line[b] == '#') return 0;
  size_t e = line.find_last_not_of(" \t\r\n");
  const std::string s = line.substr(b, e - b + 1);
  const size_t sp = s.find_first_of(" \t");
  command = s.substr(0, sp);
  argument.clear();
  if (sp != std::string::npos) {
    const size_t a = s.find_first_not_of(" \t", sp);
    if (a != std::string::npos) argument = s.substr(a);
  }
  return 1;
}

int MACIBM_script_key_code(const std::string& name) {
  // SDL key codes: characters are themselves, the rest a scancode | 1 << 30.
  static const struct {
    const char* name;
    int code;
  } k_keys[] = {{"Return", 13},           {"Tab", 9},
                {"Escape", 27},           {"Backspace", 8},
                {"Delete", 127},          {"Space", 32},
                {"Right", (1 << 30) | 79}, {"Left", (1 << 30) | 80},
                {"Down", (1 << 30) | 81},  {"Up", (1 << 30) | 82},
                {"Home", (1 << 30) | 74},  {"End", (1 << 30) | 77}};
  for (const auto& k : k_keys)
    if (name == k.name) return k.code;
  return 0;
}

int MACIBM_script_on() {
  static const int on = [] {
    const char* f = getenv("FLY_SCRIPT");
    return f && *f ? 1 : 0;
  }();
  return on;
}

int MACIBM_script_running() {
  const script_state& s = script();
  return MACIBM_script_on() && (!s.loaded || s.next < s.lines.size()) ? 1 : 0;
}

void MACIBM_script_frame() {
  script_state& s = script();
  if (!s.loaded) {
    s.loaded = true;
    const char* file = getenv("FLY_SCRIPT");
    if (!file || !*file) return;
    std::ifstream in(from_start_dir(file));
    if (!in) script_failed(std::string("cannot read FLY_SCRIPT ") + file);
    for (std::string line; std::getline(in, line);) s.lines.push_back(line);
  }
  // The first frames set up the screen; commands start once it has drawn.
  if (MACIBM_frame_count < 2) return;
  std::string cmd, arg;
  while (s.next < s.lines.size() && !MACIBM_script_parse(s.lines[s.next], cmd, arg)) ++s.next;
  if (s.next >= s.lines.size()) return;
  if (s.started < 0) s.started = now_s();
  if (run_command(cmd, arg, now_s() - s.started)) {
    MACIBM_trace_line("script " + cmd + (arg.empty() ? "" : " " + arg));
    ++s.next;
    s.started = -1;
  }
}
