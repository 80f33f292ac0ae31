// The web update and web demo flows without their drawing: what each screen
// does to the engine on its first frame and on every frame, and the texts it
// shows. A screen callback fills a web_page through its function here, maps
// the targets to its screen functions, draws its own widgets and returns what
// the function returned (1: go on to next at once). Main thread only.
#pragma once

#include "Installer-f/formats.h"
#include "Installer-f/wizard_globals.h"

#include <string>
#include <vector>

struct next_struct;

// Screens a web screen leads to.
enum class web_target {
  none,  // the button is disabled
  dvd_start,
  net_start,
  net_pick_dest,
  net_get_updates,
  net_check_disk,
  net_run_patch,
  net_done,
  demo_start,
  see_eula,
  demo_get_updates,
  demo_pick_dest,
  demo_run_patch,
  demo_done,
  wizard_quit,
  run_sim,  // dvd_do_run_sim: starts the simulator of dest_dir_path
};

// What a web screen shows this frame; filled afresh every frame.
struct web_page {
  std::string title;
  std::string text;
  std::string progress_text;
  float progress = -1;  // below 0: no bar
  web_target back = web_target::none;
  web_target next = web_target::none;
  int show_servers = 0;
  std::vector<std::string> choices;
  std::vector<web_target> choice_targets;  // parallel to choices
  void (*on_cancel)() = nullptr;           // run by Quit before the program ends
};

// The disk-space panel (UTIL_disk_space): draws its text for the two
// messages and returns 1 when the space is enough.
using disk_space_fn = int (*)(const std::string& enough_text, const std::string& short_text);

struct web_step {
  std::string name;  // translated
  web_target screen;
};
// The step lists the flows' first screens install.
std::vector<web_step> net_step_list();  // without "Pick Destination" when cmd_line_path is set
std::vector<web_step> demo_step_list();

// The web update flow.
int net_start_page(int first_frame, web_page& page);
// After UTIL_pick_install has run this frame.
int net_pick_dest_page(int first_frame, web_page& page);
int net_get_updates_page(int first_frame, web_page& page);
int net_check_disk_page(int first_frame, web_page& page, disk_space_fn disk_space);
int net_run_patch_page(int first_frame, web_page& page);
int net_done_page(int first_frame, web_page& page);

// The web demo flow. The licence screen in this flow goes back to
// demo_start and on to demo_get_updates.
int demo_start_page(int first_frame, web_page& page);
int demo_get_updates_page(int first_frame, web_page& page);
int demo_run_patch_page(int first_frame, web_page& page);
int demo_done_page(int first_frame, web_page& page);

// demo_pick_dest in two halves around its widgets (the Change Destination
// button, the name field). The first: the cancel question when the user went
// back from the running install (1: they chose to continue it; next is
// demo_run_patch and the screen returns 1 at once), the first-visit
// defaults; changed is set when the choice must be measured again.
int demo_pick_dest_begin(int first_frame, int& changed);
// The folder dialog gave folder as the new parent: it ends in "/" and the
// choice is measured again.
void demo_parent_picked(const std::string& folder, int& changed);
// The second: destination, texts, sizes and the disk-space verdict.
int demo_pick_dest_page(int changed, web_page& page, disk_space_fn disk_space);

// The destination screen's statics, kept for the life of the program.
struct demo_destination {
  std::string desktop_f;       // the Desktop folder
  std::string parent_dir;      // where the new copy goes, ending in "/" once picked
  std::string install_folder;  // the new copy's folder name (the name field edits it)
  std::string made_dir;        // the folder the demo install created, "" before
};
extern demo_destination demo_dest;
// 1 from the start of the demo's downloads until they end or are cancelled.
extern int demo_install_is_running;
// The smoothed fractions of the two install screens; kept between visits.
extern float net_totl_inst_rat;
extern float demo_totl_inst_rat;

// The web road after another road: the server list and the file list are
// fetched again.
void web_flow_enter();

// ---- The texts, as the screens compute them

// The file-list download's progress line and fraction: the percentage of
// the Content-Length (length) when the server announced a positive one, else
// the connecting sentence with an empty bar; no download yet: 0 %.
void file_list_progress(int exists, long long length, long long written, std::string& line,
                        float& progress);
// The download size: "%.1f GB" above 1024000 KB, "%.0f MB" above 1024 KB,
// else "%.0f KB".
std::string web_size_text(float kb);
// One pass's smoothing of the fraction done: weight 5 x frame period held to
// [0, 1], result held to [0, 1]; nothing to install counts as all done.
float web_smooth(float previous, float frame_period, float done_kb, float total_kb);
// The action line for stg.current_action.
std::string web_action_line(int action, const std::string& file, float file_progress);
// The time line; empty until more than 1 % is done and while nothing has
// arrived yet (no rate to tell the time by).
std::string web_time_line(const next_struct& n, float total_zip_kb, float now_s, float inst_rat);

// ---- The first screen for tests

// FLY_FIRST_SCREEN: "net_start", "demo_start" or "dvd_start" choose the first
// screen, "prefs" opens the preferences window before the wizard starts at
// dvd_start. Without it (or for an unknown value, logged) the wizard starts
// at dvd_start.
struct first_screen_choice {
  web_target screen = web_target::dvd_start;
  int open_prefs = 0;
};
first_screen_choice parse_first_screen(const char* value);
first_screen_choice first_screen_from_env();
// What the start-up does with the choice before the first frame: a web flow
// starts its road from the server list.
void enter_first_screen(const first_screen_choice& c);

// ---- The installer preferences window's rules (handle_prefs)

// The platform list shows platform 1..3 as entries 0..2.
int prefs_platform_entry();
// After the window's widgets ran this pass: the list's entry, whether the
// stream-count box is ticked (ticked with no count gives 1, not ticked gives
// 0, automatic), and the typed proxy port (taken only as 1..65535).
void prefs_after_widgets(int platform_entry, int streams_ticked);
// The box shows ticked while a stream count is set.
int prefs_streams_ticked();

