// The about box's version check and the newer installer: what the box knows,
// the reading of the server list, the decision, and the download, unpacking
// and start of a newer installer. The box's drawing calls these each frame.
#pragma once

#include <string>

constexpr int about_my_version = 92102;

struct about_state {
  int version_str_found = 0;  // a list with a FINAL line was read
  std::string version_str_net, version_str_net_beta;
  int version_final = -1, version_beta = -1;
  std::string final_server, final_path, beta_server, beta_path;  // as the list gives them
  int is_latest = 1, is_beta = 0;
  std::string installer_server, installer_path;
  std::string installer_app_name;
  std::string err_msg;
  // 0 nothing yet, 1 a newer installer is offered, 2 downloading, 3 unpacked,
  // start it next, 4 finished with a message.
  int ins_state = 0;
};
extern about_state about_box;

// Where the box keeps what it downloads, below the working folder.
extern const char* const about_prefs_folder;     // "Output/preferences/"
extern const char* const about_server_list_file;  // ...serverlist9.txt
extern const char* const about_installer_zip;    // ...installer.zip

// Reads the SERVERS file at path into st (display texts, version numbers,
// installer places); 1 when it is a server list.
int about_read_server_list(const std::string& path, about_state& st);
// Compares the versions read with this program's: is_latest, is_beta,
// ins_state, err_msg and the installer to fetch.
void about_decide(about_state& st);

// One frame of the box's work: makes the folder, polls the server list until
// one with a FINAL line has come, and runs the installer download, unpacking
// and start. Nothing is drawn.
void about_per_frame(about_state& st);
// The box's update button.
void about_get_new(about_state& st);

// Texts the box shows.
std::string about_product_line(int is_demo);
std::string about_version_line(const about_state& st);
std::string about_status_text(const about_state& st);  // "" in states 0 and 1

// Starts the unpacked installer (launch_app by default); returns only on
// failure, with an error code.
using about_launch_fn = int (*)(const std::string& app, const std::string& arg, int finish_first);
extern about_launch_fn about_launcher;

// The box itself: window 993 with its own frames until it is closed.
void MACIBM_about();
// One frame of the box's drawing and buttons.
void MACIBM_about_frame(about_state& st);
