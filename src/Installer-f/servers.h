// The web road's first step: the update-server list ("serverlist9.txt", a
// SERVERS file) from the maker's update host, the choice of one server, and
// the file list ("directory.txt.zip") from that server into sim_info.
#pragma once

#include <cstdint>
#include <string>

enum { max_servers = 10 };

// Server i: host name (no scheme, no trailing "/"), the folder of the release
// on it (the list's path + install_name + "/") and a line for the user.
extern std::string server_name[max_servers];
extern std::string server_path[max_servers];
extern std::string server_desc[max_servers];

// Where the server list is published, and the maker's pages that the
// new-updater and new-format messages send the user to.
extern std::string update_host;
extern const char* const maker_site;
extern const char* const maker_demo_page;
// The updater's own version; a list whose INS_VERSION is above it announces a
// newer updater.
constexpr int installer_version = 20502;

// The random source of the server picks (rand by default; 0 .. 2^31-1).
using server_rand_fn = int (*)();
extern server_rand_fn server_rand;

// The pause before a host that just failed is asked again: 1 s after the first
// failure, doubling up to 30 s, ended by a success. The clock is
// xtim_class::microsecs.
struct retry_wait {
  uint64_t next_us = 0;  // no request before this
  int wait_s = 0;        // the current pause; 0 after a success
  bool ready(uint64_t now_us) const { return now_us >= next_us; }
  // A failure of a request started while ready: the pause doubles. Its
  // length in seconds, or 0 for a failure inside a pause already counted.
  int failed(uint64_t now_us);
  void succeeded() { *this = retry_wait(); }
};
// The pause of a host by its name (the update host, or server_name[i]).
retry_wait& host_wait(const std::string& host);

// One step of the web road, called once per frame: by stg.server_count and
// stg.dir_state it polls the server list, polls the file list from the chosen
// server and unpacks it, or reads it into sim_info. A host that failed is not
// asked again before its pause is over (meanwhile another server may be), and
// each failure is logged once.
void UTL_download_directory();

// What reading a downloaded list gave.
enum {
  server_list_read = 1,      // servers read and one picked
  server_list_unusable = 0,  // no usable server: counts as a failed fetch
  server_list_new_format = -1,
  server_list_new_installer = -2,
};
// Reads the downloaded list at path into the server table, install_name and
// stg (server_count, server_choice); calls new_format or new_installer.
// server_list_unusable leaves server_count at -1, so the list is fetched again.
int read_server_list(const std::string& path);

// Tell the user, open the page and end the program after this frame.
void new_installer(std::string url);
void new_format(std::string list_path);

// The picks over stg.server_count: biased towards the first servers, and
// uniform. Both give 0 when there is no server.
int biased_server_pick();
int uniform_server_pick();
