// The installer's settings and status record, shared by the wizard and the
// engine (main thread only).
#pragma once

enum { stg_lon_bands = 36, stg_lat_bands = 18 };

struct stg_struct {
  int dir_state;        // 0 none, 1 unpacked and waiting, 2 not a directory file, 3 read
  int target_platform;  // 1 Macintosh, 2 Windows, 3 Linux
  int log_actions;      // "_log_actions": log every delete, expand and permission change
  int new_format_seen;
  int download_failed;
  int extract_failed;
  int server_count;   // -1 server list not fetched, else 0..10
  int server_choice;  // index of the update server in use
  int scenery_selection[stg_lon_bands * stg_lat_bands];  // lat_band + 18 * lon_band
  int scenery_available[stg_lon_bands * stg_lat_bands];
  int current_action;  // web download: 0 deleting, 1 downloading, 2 installed, 3 not wanted
  float current_progress;
  int stream_count;  // "_stream_count": 0 automatic, 1..4 fixed
  int get_beta;      // "_get_beta"
  float total_zip_kb;
  float total_size_kb;
  int files_to_install;
  int files_to_delete;
  int disc_has_scenery;
  int disc_has_sim;
};

extern stg_struct stg;
