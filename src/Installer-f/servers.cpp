#include "Installer-f/servers.h"

#include <cerrno>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Files/zip.h"
#include "GenH/shell.h"
#include "Installer-f/directory.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "OOPS_cpp/http.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/localize.h"
#include "UTL/xer.h"
#include "UTL/xtim.h"

std::string server_name[max_servers];
std::string server_path[max_servers];
std::string server_desc[max_servers];

std::string update_host = "update.tessalinelabs.com";
const char* const maker_site = "www.tessalinelabs.com";
const char* const maker_demo_page = "http://www.tessalinelabs.com/demo.html";

server_rand_fn server_rand = rand;

namespace {
const char* const k_list_name = "serverlist9.txt";
const char* const k_zip_name = "directory.txt.zip";
const char* const k_dir_name = "directory.txt";

// A byte that would end or split a word of the request line, or a header.
bool has_control_byte(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7f) return true;
  return false;
}

// Everything below comes off the network: a bad entry is skipped rather than
// left for the download client's fatal conventions or the file system.
bool host_is_usable(const std::string& host, std::string* why) {
  if (host.empty()) {
    *why = "no host name";
    return false;
  }
  if (host.back() == '/') {
    *why = "a host name ending in \"/\"";
    return false;
  }
  for (unsigned char c : host) {
    if (c <= ' ' || c == 0x7f || c == '/') {
      *why = "a host name that is not a bare name";
      return false;
    }
  }
  return true;
}

bool path_is_usable(const std::string& path, std::string* why) {
  if (path.empty() || path[0] != '/') {
    *why = "a path that does not start with \"/\"";
    return false;
  }
  if (!http_name_is_safe(path.substr(1))) {
    *why = "a path with \"..\" or an empty name in it";
    return false;
  }
  if (has_control_byte(path)) {
    *why = "a path with a control character in it";
    return false;
  }
  return true;
}

void take_release(const std::string& name) {
  if (name.empty() || !http_name_is_safe(name) || has_control_byte(name)) {
    xer << "WARNING: the server list names an unusable release \"" << name << "\"; keeping \""
        << install_name << "\".\n";
    return;
  }
  install_name = name;
}

void unpack_alert(int code, const std::string& zip) {
  __MACIBM_alert(0, UTL_translate_string("The installer cannot extract a file."),
                 UTL_string_sub(UTL_translate_string("Error: %1:message%."),
                                UTL_translate_string(error_str(code))),
                 UTL_string_sub(UTL_translate_string("Compressed File  %1:file%."), zip),
                 UTL_string_sub(UTL_translate_string("Destination Path: %1:file%."), temp_path),
                 t_alert, __FILE__, __LINE__);
}

uint64_t now_us() { return xtim_class::microsecs(); }

// Logs a failed request of host once, with the pause it now waits.
void note_failure(const std::string& host, const std::string& what) {
  const int pause = host_wait(host).failed(now_us());
  if (pause)
    xer << "WARNING: " << host << " did not deliver " << what << "; asking it again in " << pause
        << " s.\n";
}

// After a file list that would not unpack, any server but the current one.
int other_server_pick() {
  const int k = stg.server_count;
  if (k <= 1) return 0;
  return (stg.server_choice + 1 + server_rand() % (k - 1)) % k;
}
}  // namespace

int retry_wait::failed(uint64_t now_us) {
  if (!ready(now_us)) return 0;
  wait_s = wait_s ? std::min(2 * wait_s, 30) : 1;
  next_us = now_us + static_cast<uint64_t>(wait_s) * 1000000u;
  return wait_s;
}

retry_wait& host_wait(const std::string& host) {
  static std::map<std::string, retry_wait> waits;
  return waits[host];
}

int biased_server_pick() {
  const int k = stg.server_count;
  const float r = static_cast<float>(server_rand()) * (1.0f / 2147483648.0f);
  const float p = r > 0.0f ? static_cast<float>(std::pow(static_cast<double>(r), 1.5)) : 0.0f;
  int i = static_cast<int>(static_cast<float>(k) * p);
  if (i > k - 1) i = k - 1;
  if (i < 0) i = 0;
  return i;
}

int uniform_server_pick() {
  const int k = stg.server_count;
  if (k <= 1) return 0;
  return server_rand() % k;
}

void new_installer(std::string url) {
  __MACIBM_alert(
      0, UTL_translate_string("There is a newer version of the Flyvane web updater available."),
      UTL_translate_string("I will take you to the web page where you can downoad it."), "", "",
      t_alert, __FILE__, __LINE__);
  // The address came off the network: only a web page of sane length is opened.
  const bool web = url.compare(0, 7, "http://") == 0 || url.compare(0, 8, "https://") == 0;
  if (web && url.size() < 500)
    go_to_URL(url);
  else
    xer << "WARNING: not opening the updater address \"" << url << "\".\n";
  app_done = 1;
}

void new_format(std::string list_path) {
  stg.new_format_seen = 2;
  __MACIBM_alert(0,
                 UTL_translate_string("OK I am checking the Tessaline Labs servers and I am "
                                      "finding file formats that are newer than I can understand!"),
                 UTL_translate_string("In other words, you need to get a new installer!"),
                 UTL_translate_string(std::string("No problem... grab it at the download section "
                                                  "of ") +
                                      maker_site + "."),
                 list_path, t_alert, __FILE__, __LINE__);
  go_to_URL(maker_demo_page);
  app_done = 1;
}

int read_server_list(const std::string& path) {
  xmap_class x(path);
  static const int k_versions[] = {820, 0};
  if (!x.map_base || x.check_file(xmap_text, k_versions, "SERVERS", nullptr) != 820) {
    new_format(path);
    return server_list_new_format;
  }
  stg.server_count = 0;
  std::string host, where, desc, why;
  while (x.cursor < x.map_end) {
    if (x.TXT_str_scan_match("BETA", 1)) {
      std::string name;
      x.TXT_str_scan_eoln(&name);
      if (stg.get_beta) take_release(name);
    } else if (x.TXT_str_scan_match("FINAL", 1)) {
      std::string name;
      x.TXT_str_scan_eoln(&name);
      if (!stg.get_beta) take_release(name);
    } else if (x.TXT_str_scan_match("INS_VERSION", 0)) {
      const int n = x.TXT_int_scan();
      std::string url;
      x.TXT_str_scan_space(&url);
      x.TXT_str_scan_space(nullptr);
      x.TXT_str_scan_eoln(nullptr);
      if (n > installer_version) {
        new_installer(url);
        return server_list_new_installer;
      }
    } else if (x.TXT_str_scan_match("ENDOFLIST", 1)) {
      break;
    } else if (x.TXT_str_scan_match("SERVER", 1)) {
      x.TXT_str_scan_eoln(&host);
      x.TXT_str_scan_eoln(&where);
      x.TXT_str_scan_eoln(&desc);
      if (stg.server_count >= max_servers) continue;  // the first ten are used
      const std::string folder = where + install_name + "/";
      if (!host_is_usable(host, &why) || !path_is_usable(folder, &why)) {
        xer << "WARNING: skipping the update server \"" << host << "\" \"" << where
            << "\" of the server list: " << why << ".\n";
        continue;
      }
      server_name[stg.server_count] = host;
      server_path[stg.server_count] = folder;
      server_desc[stg.server_count] = desc;
      ++stg.server_count;
    } else {
      x.TXT_str_scan_eoln(nullptr);
    }
  }
  if (stg.server_count == 0) {
    xer << "WARNING: the server list " << path << " names no usable server; asking again.\n";
    stg.server_count = -1;
    stg.server_choice = 0;
    return server_list_unusable;
  }
  stg.server_choice = biased_server_pick();
  return server_list_read;
}

void UTL_download_directory() {
  if (stg.server_count == -1) {
    if (!host_wait(update_host).ready(now_us())) return;
    const std::string list = temp_path + k_list_name;
    const int got = http.net_check(0, update_host, std::string("/") + k_list_name, list);
    if (got == 2) note_failure(update_host, "the server list");
    if (got != 1) return;
    const int read = read_server_list(list);
    if (read == server_list_read) host_wait(update_host).succeeded();
    if (read == server_list_unusable) note_failure(update_host, "a usable server list");
    return;
  }
  if (stg.dir_state == 0) {
    if (stg.server_count <= 0) {  // nothing to fetch from: start the road again
      stg.server_count = -1;
      return;
    }
    if (stg.server_choice < 0 || stg.server_choice >= stg.server_count) stg.server_choice = 0;
    // A server in its pause gives way to the next one that may be asked; when
    // every one is waiting, nothing is asked this time.
    const int k = stg.server_count;
    int c = stg.server_choice;
    for (int t = 0; t < k && !host_wait(server_name[c]).ready(now_us()); ++t)
      c = (stg.server_choice + t + 1) % k;
    if (!host_wait(server_name[c]).ready(now_us())) return;
    stg.server_choice = c;
    const std::string zip = temp_path + k_zip_name;
    const int got = http.net_check(1, server_name[c], server_path[c] + k_zip_name, zip);
    if (got == 0) return;
    if (got == 2) {
      note_failure(server_name[c], server_path[c] + k_zip_name);
      stg.server_choice = uniform_server_pick();
      return;
    }
    // A list left from an earlier road must not stand in for a missing one.
    const std::string dir = temp_path + k_dir_name;
    delete_file(dir);
    int code = zip_to_file(zip, temp_path);
    if (code == 0 && !file_exists(dir)) code = ENOENT;
    if (code == 0 && is_sim_link(dir, nullptr)) code = err_unsafe_path;  // read nothing else
    if (code == 0) {
      host_wait(server_name[c]).succeeded();
      stg.dir_state = 1;
    } else {
      xer << "WARNING: the file list from " << server_name[c]
          << " did not unpack: " << error_str(code) << "\n";
      host_wait(server_name[c]).failed(now_us());
      unpack_alert(code, zip);
      stg.server_choice = other_server_pick();
    }
    delete_file(zip);
    return;
  }
  if (stg.dir_state == 1) {
    const std::string dir = temp_path + k_dir_name;
    if (!file_exists(dir)) {  // gone from the temporary folder: fetch it again
      stg.dir_state = 0;
      return;
    }
    const std::string text = UTL_translate_string(
        "Scanning directory text file to see if you already have Flyvane installed...");
    stg.dir_state = read_directory(dir, text);
  }
}
