// The installer's entry point: off the disc, the shell, the wizard's button
// images, the preferences and the installed copies, then the frame loop.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "Files/errors.h"
#include "Files/paths.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/window.h"
#include "Installer-f/registry.h"
#include "Installer-f/relocate.h"
#include "Installer-f/screens.h"
#include "Installer-f/stg.h"
#include "Installer-f/temp_folder.h"
#include "Installer-f/web_flow.h"
#include "Installer-f/web_screens.h"
#include "Installer-f/wizard_frame.h"
#include "Installer-f/wizard_globals.h"
#include "Linux/lin_paths.h"
#include "OOPS_cpp/pref.h"
#include "OOPS_cpp/tman.h"
#include "UTL/xer.h"


namespace {
void reset_stg() {
  stg.dir_state = 0;
  stg.target_platform = 3;  // the host's own: Linux
  stg.new_format_seen = 0;
  stg.download_failed = 0;
  stg.extract_failed = 0;
  stg.server_count = -1;
  stg.server_choice = 0;
  stg.current_action = 3;
  stg.current_progress = 0;
  stg.stream_count = 0;
  stg.total_zip_kb = 0;
  stg.total_size_kb = 0;
}

// The folder "-path" names. A relative one lies under the folder the
// program was started in, which MACIBM_init leaves for the program's own:
// it is made absolute first ("." parts dropped). Empty when there is no
// switch, or when the working folder cannot be told (*warning says why).
std::string path_switch(int argc, char** argv, std::string* warning) {
  if (argc <= 2 || std::string(argv[1]) != "-path") return "";
  const std::string given = argv[2];
  if (given.empty() || given[0] == '/') return given;
  char* cwd = getcwd(nullptr, 0);
  if (!cwd) {
    *warning = "WARNING: -path " + given + " is left out: the folder it is relative to is " +
               "unknown (" + error_str(errno) + ").\n";
    return "";
  }
  std::string path = cwd;
  free(cwd);
  for (size_t at = 0; at <= given.size();) {
    size_t end = given.find('/', at);
    if (end == std::string::npos) end = given.size();
    const std::string part = given.substr(at, end - at);
    if (!part.empty() && part != ".") path += (path.back() == '/' ? "" : "/") + part;
    at = end + 1;
  }
  if (given.back() == '/' && path.back() != '/') path += '/';
  return path;
}

wizard_screen_fn first_screen_fn(web_target t) {
  if (t == web_target::net_start) return net_start;
  if (t == web_target::demo_start) return demo_start;
  return dvd_start;
}
}  // namespace

int main(int argc, char** argv) {
  // Off the disc first, so that its disc can be ejected later; on success
  // the copy runs and this process has ended.
  if (relocate_off_disc()) return 1;
  std::string path_warning;
  const std::string path_arg = path_switch(argc, argv, &path_warning);

  shell_hooks.app_update = APP_update;
  shell_hooks.app_handlemenu = APP_handlemenu;
  shell_hooks.quit_request = wizard_close_request;
  shell_hooks.closing_down = temp_folder_close_down;
  shell_hooks.end_work = wizard_finish_close;
  MACIBM_init(argc, const_cast<const char* const*>(argv));
  if (!relocate_warning.empty()) xer << relocate_warning << "\n";
  const std::string refused = LIN_private_temp_refusal();
  if (!refused.empty()) {
    std::string own;
    get_OS_abs_path(os_dir_temp, own);
    xer << "The temporary folder " << refused << ": this run works in " << own << "\n";
  }

  static const char* const k_buttons[6] = {
      "RESOURCE:elements_English.png", "RESOURCE:elements_French.png",
      "RESOURCE:elements_German.png",  "RESOURCE:elements_Russian.png",
      "RESOURCE:elements_Italian.png", "RESOURCE:elements_Spanish.png"};
  tman.load_texture(tex_fail_fatal, 413,
                    0x12092, tex_load_startup,
                    k_buttons[mnw.language >= 0 && mnw.language <= 5 ? mnw.language : 0]);

  static const struct {
    const char* name;
    os_dir_type kind;
  } k_dirs[] = {{"os_dir_this_app\t\t=", os_dir_this_app},
                {"os_dir_desktop\t\t=", os_dir_desktop},
                {"os_dir_default_apps\t=", os_dir_default_apps},
                {"os_dir_temp\t\t\t=", os_dir_temp},
                {"os_dir_prefs\t\t\t=", os_dir_prefs}};
  for (const auto& d : k_dirs) {
    std::string p;
    get_OS_abs_path(d.kind, p);
    xer << d.name << p << (d.kind == os_dir_prefs ? "\n\n" : "\n");
  }
  xer.flush();

  get_OS_abs_path(os_dir_temp, temp_path);
  std::string app;
  get_OS_abs_path(os_dir_app_bundle, app);
  temp_folder_claim(temp_path, app);
  install_name = no_install_name;
  reset_stg();
  pref.IO_set(11, 0);  // after the reset: stored preferences win
  cmd_line_path = path_arg;
  xer << path_warning;
  locate_all_flyvanes();

  const first_screen_choice first = first_screen_from_env();
  g_wizard = first_screen_fn(first.screen);
  if (g_wizard != dvd_start) enter_first_screen(first);
  if (first.open_prefs) handle_prefs();

  // Scripted runs (tests, benchmarks) may stop after a number of frames.
  const char* limit = getenv("FLY_QUIT_AFTER_FRAMES");
  const long frames = limit ? atol(limit) : 0;
  while (!app_done) {
    temp_folder_follow(temp_path);
    MACIBM_event_proc();
    if (frames > 0 && MACIBM_frame_count >= frames) shell_hooks.quit_request();
  }
  wizard_finish_close();
  MACIBM_finishup(1);
  return 0;
}
