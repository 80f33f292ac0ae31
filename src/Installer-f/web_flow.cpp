#include "Installer-f/web_flow.h"
#include "Installer-f/wizard_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Files/file_ops.h"
#include "Files/paths.h"
#include "GenH/shell.h"
#include "GenH/window.h"
#include "Installer-f/frame_passes.h"
#include "Installer-f/servers.h"
#include "Installer-f/utils.h"
#include "Installer-f/web_download.h"
#include "OOPS_cpp/http.h"
#include "UTL/localize.h"
#include "UTL/str_to_int.h"
#include "UTL/xer.h"
#include "UTL/xtim.h"

demo_destination demo_dest;
int demo_install_is_running = 0;
float net_totl_inst_rat = 0;
float demo_totl_inst_rat = 0;

namespace {
// Next row of the scan, per search screen.
int net_ctr = 0;
int demo_ctr = 0;

std::string with_slash(std::string p) {
  if (!p.empty() && p.back() != '/') p += '/';
  return p;
}

// The destination the command line names, as a folder.
void take_cmd_line_path() {
  if (!cmd_line_path.empty() && cmd_line_path.back() != '/') cmd_line_path += '/';
}

// The first-frame rule of both search screens: a file list read before is
// read again, once no scan task still reads or writes the model. The scan
// starts from row 0 also when the road was started again (the list is then
// fetched anew): a row count left from the last scan would skip it.
void search_first_frame(int& ctr) {
  checksum_directory_kill();
  if (stg.dir_state == 3) stg.dir_state = 1;
  ctr = 0;
}

// The file-list road still has work to poll (a failed road waits for the user).
bool road_busy() {
  return stg.server_count == -1 || stg.dir_state == 0 || stg.dir_state == 1;
}

// The search screens' texts (translated) while the road fetches the server
// list and the file list; false once the file list is read (dir_state 3).
bool road_texts(web_page& p, const std::string& server_word, const std::string& download_text,
                const std::string& processing_text) {
  if (stg.server_count == -1) {
    p.text = UTL_translate_string("I am contacting ") + update_host + server_word;
    return true;
  }
  switch (stg.dir_state) {
    case 0: {
      const int c = stg.server_choice;
      const std::string name = c >= 0 && c < max_servers ? server_name[c] : std::string();
      p.text = UTL_string_sub(download_text, name);
      const down_class* d = http.slots[1];
      file_list_progress(d != nullptr, d ? d->content_length : -1, d ? d->bytes_written : 0,
                         p.progress_text, p.progress);
      return true;
    }
    case 1:
      p.text = processing_text;
      return true;
    case 2:
      p.text = UTL_translate_string("There was a problem reading information from the servers.");
      return true;
  }
  return false;
}

// The install screens' loop: grab_files passes for at most 0.02 s of this
// frame, the fraction smoothed after each. 1 once the downloads ended. Only
// the last pass's texts reach the frame, so they are made once, after it.
int install_passes(web_page& p, float& inst_rat) {
  const uint64_t t0 = xtim_class::microsecs();
  do {
    if (grab_files() != 0) return 1;
    inst_rat = web_smooth(inst_rat, xtim.frame_period, next.done_size_kb, stg.total_size_kb);
  } while (xtim_class::microsecs() < t0 + 20000);
  if (stg.download_failed) {
    p.text = UTL_string_sub(
        UTL_translate_string(
            "I can not download the file '%1:filename%'.\n\nYour internet connection may not be "
            "working, or the server could be undergoing maintainance or an upgrade right "
            "now.\n\nI am trying another server now to see if I can still get you a "
            "download..."),
        crnt_file_path);
  } else {
    p.text = web_time_line(next, stg.total_zip_kb, xtim.real_elapsed, inst_rat);
    p.progress_text = web_action_line(stg.current_action, crnt_file_name, stg.current_progress);
    p.progress = inst_rat;
  }
  // The downloads are polled here only: the pump's wait would stall them.
  MACIBM_skip_event_wait = 1;
  return 0;
}

// The preparing block of both install screens: 0 when the user cancelled or
// a folder could not be made.
bool prepare_install() {
  if (!choose_files() || make_dirs() != 0) return false;
  // A failure of an earlier attempt must not end this one at its first pass.
  stg.extract_failed = 0;
  stg.download_failed = 0;
  reset_refusal_notes();
  web_download_reset();
  return true;
}

std::string fmt(const char* f, double v) {
  char b[64];
  snprintf(b, sizeof(b), f, v);
  return b;
}
}  // namespace

// ---- Step lists

std::vector<web_step> net_step_list() {
  std::vector<web_step> s = {{UTL_translate_string("Welcome"), web_target::net_start}};
  if (cmd_line_path.empty())
    s.push_back({UTL_translate_string("Pick Destination"), web_target::net_pick_dest});
  s.push_back({UTL_translate_string("Search for Updates"), web_target::net_get_updates});
  s.push_back({UTL_translate_string("Check Disk Space"), web_target::net_check_disk});
  s.push_back({UTL_translate_string("Install Updates"), web_target::net_run_patch});
  s.push_back({UTL_translate_string("Finish"), web_target::net_done});
  return s;
}

std::vector<web_step> demo_step_list() {
  return {{UTL_translate_string("Welcome"), web_target::demo_start},
          {UTL_translate_string("License"), web_target::see_eula},
          {UTL_translate_string("Check Servers"), web_target::demo_get_updates},
          {UTL_translate_string("Pick Destination"), web_target::demo_pick_dest},
          {UTL_translate_string("Install"), web_target::demo_run_patch},
          {UTL_translate_string("Finish"), web_target::demo_done}};
}

// ---- The web update flow

int net_start_page(int first_frame, web_page& p) {
  take_cmd_line_path();
  if (first_frame) {
    checksum_directory_kill();
    locate_all_flyvanes();
    web_download_reset();
  }
  if (!cmd_line_path.empty())
    dest_dir_path = cmd_line_path;
  else if (dest_dir_path.empty() && all_skysuites.size() == 1)
    dest_dir_path = all_skysuites[0];
  else
    dest_dir_path.clear();
  p.title = UTL_translate_string("Flyvane 9 Web Updater");
  p.text = UTL_translate_string(
      "I will guide you through the process of updating your copy of Flyvane 9 to the "
      "latest version.");
  p.next = cmd_line_path.empty() ? web_target::net_pick_dest : web_target::net_get_updates;
  return 0;
}

int net_pick_dest_page(int first_frame, web_page& p) {
  if (first_frame) {
    checksum_directory_kill();
    web_download_reset();
  }
  p.title = UTL_translate_string("Pick Destination");
  if (all_skysuites.size() >= 2)
    p.text = UTL_translate_string(
        "You have more than one copy of Flyvane 9 installed on this computer.  ");
  p.text += UTL_translate_string("Please select which copy of Flyvane 9 you would like to update.");
  p.back = web_target::net_start;
  p.next = dest_dir_path.empty() ? web_target::none : web_target::net_get_updates;
  return 0;
}

int net_get_updates_page(int first_frame, web_page& p) {
  if (first_frame) search_first_frame(net_ctr);
  p.title = UTL_translate_string("Search for Updates");
  p.back = web_target::net_pick_dest;
  float fraction = 0;
  bool scanned = false;
  UTIL_frame_passes(first_frame, 16000, 200, [&] {
    UTL_download_directory();
    if (road_busy() || stg.dir_state != 3) return road_busy();
    scanned = checksum_directory(net_ctr, 0, fraction) == 1;
    return !scanned;
  });
  if (road_texts(p, UTL_translate_string(" to find an update server."),
                 UTL_translate_string("I am downloading patch info from %1:server name%."),
                 UTL_translate_string("I am processing information about the available patches.")))
    return 0;
  p.on_cancel = checksum_directory_kill;
  if (scanned) {
    // The update keeps the tiles the copy has: without them every installed
    // tile the list names would count as deselected and be deleted.
    scenery_from_install();
    recalc_disk_sizes();
    p.back = web_target::none;
    p.next = web_target::net_check_disk;
    return 1;
  }
  p.text = UTL_string_sub(
      UTL_translate_string("I am scanning %1:folder path% to see what files need updating."),
      dest_dir_path);
  p.progress_text = UTL_string_sub(UTL_translate_string("Scanning %1:number% of %2:total% files."),
                                   std::to_string(net_ctr), std::to_string(sim_info.size()));
  p.progress = fraction;
  return 0;
}

int net_check_disk_page(int first_frame, web_page& p, disk_space_fn disk_space) {
  if (first_frame) web_download_reset();
  p.title = UTL_translate_string("Check Disk Space");
  p.back = web_target::net_get_updates;
  p.next = web_target::net_run_patch;
  p.show_servers = 1;
  if (stg.total_size_kb == 0) {
    p.next = web_target::net_done;
    return 1;
  }
  const int enough = disk_space(
      UTL_translate_string("You have enough free disk space to update Flyvane 9"),
      UTL_translate_string("You do not have enough free disk space to update Flyvane 9."));
  if (enough) {
    p.text = UTL_string_sub(
        UTL_translate_string("You are about to download %1:download size% of compressed data "
                             "to update to %2:install name%."),
        web_size_text(stg.total_zip_kb), install_name);
  } else {
    p.next = web_target::none;
    p.text = UTL_translate_string(
        "There is a newer version of Flyvane 9 available, but you do not have enough "
        "free disk space to download and install the update.\n\nPlease free some space "
        "on your hard drive.");
  }
  return 0;
}

int net_run_patch_page(int first_frame, web_page& p) {
  if (first_frame && !prepare_install()) {
    p.next = web_target::net_check_disk;
    return 1;
  }
  p.title = UTL_translate_string("Installing");
  p.show_servers = 1;
  p.back = web_target::net_check_disk;
  if (!install_passes(p, net_totl_inst_rat)) return 0;
  web_download_reset();
  p.back = web_target::none;
  p.next = web_target::net_done;
  return 1;
}

int net_done_page(int, web_page& p) {
  p.next = web_target::wizard_quit;
  p.title = UTL_translate_string("Finshed Web Update");
  if (stg.total_size_kb == 0) {
    p.text = UTL_string_sub(
        UTL_translate_string("This copy of Flyvane (%1:install path%) is already up to date."),
        dest_dir_path);
  } else if (stg.extract_failed) {
    p.text = UTL_translate_string(
        "There were problems updating Flyvane.  You can try this updater again using a "
        "different server.");
    return 0;
  } else {
    p.text = UTL_string_sub(UTL_translate_string("I have finished updating %1:install path%."),
                            dest_dir_path);
  }
  p.choices.push_back(UTL_translate_string("Fly Flyvane Now"));
  p.choice_targets.push_back(web_target::run_sim);
  return 0;
}

// ---- The web demo flow

int demo_start_page(int first_frame, web_page& p) {
  if (first_frame) {
    accept_eula = 0;
    locate_all_flyvanes();
    web_download_reset();
  }
  p.title = UTL_translate_string("Welcome");
  p.text = UTL_translate_string(
      "I will guide you through the process of installing the web demo of Flyvane 9.");
  if (!all_skysuites.empty())
    p.text += UTL_translate_string(
        "\n\nWarning: you already have Flyvane 9 installed on this computer.  Are you "
        "sure you want to install a new demo copy of Flyvane 9?");
  p.next = web_target::see_eula;
  return 0;
}

int demo_get_updates_page(int first_frame, web_page& p) {
  if (first_frame) search_first_frame(demo_ctr);
  p.title = UTL_translate_string("Check Servers");
  p.back = web_target::see_eula;
  UTIL_frame_passes(first_frame, 16000, 200, [] {
    UTL_download_directory();
    return road_busy();
  });
  if (road_texts(p, UTL_translate_string(" to find a demo server."),
                 UTL_translate_string("I am downloading demo info from %1:server name%."),
                 UTL_translate_string("I am processing information about the available demo.")))
    return 0;
  p.back = web_target::none;
  p.next = web_target::demo_pick_dest;
  return 1;
}

int demo_pick_dest_begin(int first_frame, int& changed) {
  changed = 0;
  if (!first_frame) return 0;
  if (demo_install_is_running) {
    const int r = abort_alert(
        "Are you sure you want to cancel the installation?  This will delete the partially "
        "installed copy of the Flyvane 9 demo.",
        "Cancel", "the demo installation and delete partial installation.", "Continue",
        "the demo installation process.");
    if (r == 0) return 1;
    // The window closed while the question was up: the program ends as Quit
    // ends it, with the partial copy kept.
    if (app_done) return 0;
    // Only the folder this install made, and only while it is still the
    // destination: never a folder the user had before.
    if (!demo_dest.made_dir.empty() && demo_dest.made_dir == dest_dir_path)
      recursive_delete_folder(dest_dir_path);
    demo_dest.made_dir.clear();
    demo_install_is_running = 0;
  }
  web_download_reset();
  get_OS_abs_path(os_dir_desktop, demo_dest.desktop_f);
  changed = 1;
  if (demo_dest.parent_dir.empty()) {
    get_OS_abs_path(os_dir_default_apps, demo_dest.parent_dir);
    demo_dest.install_folder =
        UTL_string_sub(UTL_translate_string("%1:install name% Demo"), "Flyvane 9");
  }
  return 0;
}

void demo_parent_picked(const std::string& folder, int& changed) {
  demo_dest.parent_dir = folder == "/" ? folder : with_slash(folder);
  changed = 1;
}

int demo_pick_dest_page(int changed, web_page& p, disk_space_fn disk_space) {
  const demo_destination& d = demo_dest;
  p.title = UTL_string_sub(UTL_translate_string("Pick Install Destination for %1:install%."),
                           install_name);
  p.back = web_target::see_eula;
  p.next = web_target::demo_run_patch;
  // A name that is more than one folder would make Cancel delete more than
  // the folder the demo made.
  if (d.install_folder.empty() || !install_folder_name_ok(d.install_folder)) {
    dest_dir_path = d.parent_dir;
    p.next = web_target::none;
    p.text = UTL_translate_string("Please pick a name for your Flyvane 9 installation...");
    return 0;
  }
  dest_dir_path = d.parent_dir + d.install_folder + "/";
  if (dir_exists(dest_dir_path)) {
    p.next = web_target::none;
    p.text = UTL_string_sub(
        UTL_translate_string("The folder '%1:install name%' already exists inside the folder "
                             "'%2:parent folder%'.\n\nPlease change the install name or "
                             "destination."),
        d.install_folder, d.parent_dir);
    return 0;
  }
  p.text = UTL_string_sub(
      UTL_translate_string(
          "I will create the folder '%1:install name%' inside the folder '%2:parent folder%'."),
      d.install_folder, d.parent_dir);
  if (d.parent_dir == d.desktop_f)
    p.text += UTL_string_sub(
        UTL_translate_string("\n\n(The folder %1:install name% will appear on your desktop.)"),
        d.install_folder);
  if (changed) {
    // The folder does not exist: the first call marks every file absent.
    int row = 0;
    float fraction = 0;
    while (checksum_directory(row, 0, fraction) != 1) {
    }
    set_install_filter(1, 1);
    scenery_take_none();
    recalc_disk_sizes();
  }
  if (!disk_space(UTL_translate_string(
                      "You have enough free disk space to install the Flyvane 9 demo at this "
                      "location."),
                  UTL_translate_string(
                      "You do not have enough free disk space to install the Flyvane 9 demo at "
                      "this location.  You can install to a different location, or save disk "
                      "space by installing only some of the global scenery.")))
    p.next = web_target::none;
  return 0;
}

int demo_run_patch_page(int, web_page& p) {
  if (!demo_install_is_running) {
    const bool existed = dir_exists(dest_dir_path);
    if (!prepare_install()) {
      p.next = web_target::demo_pick_dest;
      return 1;
    }
    if (!existed) demo_dest.made_dir = dest_dir_path;
    demo_install_is_running = 1;
    register_new_flyvane();
  }
  p.title = UTL_translate_string("Installing");
  p.show_servers = 1;
  p.back = web_target::demo_pick_dest;
  if (!install_passes(p, demo_totl_inst_rat)) return 0;
  web_download_reset();
  demo_install_is_running = 0;
  p.back = web_target::none;
  p.next = web_target::demo_done;
  return 1;
}

int demo_done_page(int, web_page& p) {
  p.next = web_target::wizard_quit;
  p.title = UTL_translate_string("Finshed Web Demo Install");
  if (stg.extract_failed) {
    p.text = UTL_translate_string(
        "There were problem installing the Flyvane 9 web demo - it may not be usable.");
    return 0;
  }
  p.text = UTL_string_sub(
      UTL_translate_string("I have finished installing the Flyvane 9 web demo at: %1:file path%."),
      dest_dir_path);
  p.choices.push_back(UTL_translate_string("Fly Flyvane 9 Now"));
  p.choice_targets.push_back(web_target::run_sim);
  return 0;
}

void web_flow_enter() {
  stg.server_count = -1;
  stg.dir_state = 0;
}

// ---- Texts

void file_list_progress(int exists, long long length, long long written, std::string& line,
                        float& progress) {
  const std::string done_text = UTL_translate_string(
      "I am checking the net for the latest version of Flyvane 9 right now, and I am "
      "%1:progress%% done checking.");
  if (!exists) {
    line = UTL_string_sub(done_text, "0");
    progress = 0;
    return;
  }
  if (length <= 0) {  // not announced yet, or nothing to count by
    line = UTL_translate_string(
        "I am checking the net for the latest version of Flyvane 9 right now, and I am "
        "connecting to the server...");
    progress = 0;
    return;
  }
  const double f = std::clamp(static_cast<double>(written) / static_cast<double>(length), 0.0, 1.0);
  line = UTL_string_sub(done_text, std::to_string(static_cast<int>(f * 100)));
  progress = static_cast<float>(f);
}

std::string web_size_text(float kb) {
  if (kb > 1024000) return fmt("%.1f GB", kb / 1048576);
  if (kb > 1024) return fmt("%.0f MB", kb / 1024);
  return fmt("%.0f KB", kb);
}

float web_smooth(float previous, float frame_period, float done_kb, float total_kb) {
  float w = 5 * frame_period;
  if (!(w >= 0)) w = 0;  // NaN too
  if (w > 1) w = 1;
  const float fraction = total_kb > 0 ? done_kb / total_kb : 1.0f;
  float r = (1 - w) * previous + w * fraction;
  if (!(r >= 0)) r = 0;
  if (r > 1) r = 1;
  return r;
}

std::string web_action_line(int action, const std::string& file, float file_progress) {
  switch (action) {
    case 0:
      return UTL_string_sub(
          UTL_translate_string("Deleting %1:file% because that file is no longer needed!"), file);
    case 1: {
      const float pc = std::clamp(file_progress, 0.0f, 1.0f) * 100;
      return UTL_string_sub(
          UTL_translate_string(
              "Downloading and installing %1:file%, currently %2:progress%% done with that file."),
          file, std::to_string(static_cast<int>(pc)));
    }
    case 2:
      return UTL_string_sub(
          UTL_translate_string("Skipping %1:file% because it is already installed."), file);
    case 3:
      return UTL_string_sub(UTL_translate_string("Skipping %1:file% because you don't need it."),
                            file);
  }
  return "";
}

std::string web_time_line(const next_struct& n, float total_zip_kb, float now_s, float inst_rat) {
  const float got = n.done_zip_kb + n.partial_kb;
  const float left = std::max(total_zip_kb - got, 0.0f);
  const float elapsed = std::max(now_s - n.start_time, 1.0f);
  const float rate = got / elapsed;
  if (!(inst_rat > 0.01f) || !(rate > 0)) return "";
  int streams = 0;
  for (int k = 0; k < web_streams; ++k) streams += n.stream_active[k] != 0;
  return UTL_string_sub(
      UTL_translate_plural(streams,
                           "About %1:time% left in the install, downloading at %2:rate% with "
                           "%3:number% download stream.",
                           "About %1:time% left in the install, downloading at %2:rate% with "
                           "%3:number% simultaneous download streams."),
      time_str(left / rate), rate_str(rate),
      std::to_string(streams));
}

// ---- First screen

first_screen_choice parse_first_screen(const char* value) {
  first_screen_choice c;
  if (!value || !*value) return c;
  const std::string v = value;
  if (v == "net_start")
    c.screen = web_target::net_start;
  else if (v == "demo_start")
    c.screen = web_target::demo_start;
  else if (v == "prefs")
    c.open_prefs = 1;
  else if (v != "dvd_start")
    xer << "WARNING: FLY_FIRST_SCREEN=" << v << " names no first screen; starting at dvd_start.\n";
  return c;
}

first_screen_choice first_screen_from_env() {
  return parse_first_screen(getenv("FLY_FIRST_SCREEN"));
}

void enter_first_screen(const first_screen_choice& c) {
  if (c.screen == web_target::net_start || c.screen == web_target::demo_start) web_flow_enter();
}

// ---- Preferences window

int prefs_platform_entry() { return std::clamp(stg.target_platform, 1, 3) - 1; }

int prefs_streams_ticked() { return stg.stream_count != 0; }

void prefs_after_widgets(int platform_entry, int streams_ticked) {
  stg.target_platform = std::clamp(platform_entry, 0, 2) + 1;
  if (!streams_ticked)
    stg.stream_count = 0;
  else
    stg.stream_count = std::clamp(stg.stream_count, 1, 4);
  if (!http.proxy_port_text.empty()) {
    const int port = str_to_int(http.proxy_port_text);
    if (port >= 1 && port <= 65535) http.proxy_port = port;
  }
}
