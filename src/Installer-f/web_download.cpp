#include "Installer-f/web_download.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Files/p7z.h"
#include "Files/safe_path.h"
#include "Files/zip.h"
#include "GenH/shell.h"
#include "Installer-f/directory.h"
#include "Installer-f/folders.h"
#include "Installer-f/row_names.h"
#include "Installer-f/selection.h"
#include "Installer-f/servers.h"
#include "Installer-f/stg.h"
#include "Installer-f/wizard_globals.h"
#include "OOPS_cpp/http.h"
#include "UTL/localize.h"
#include "UTL/xer.h"
#include "UTL/xtim.h"

next_struct next;

namespace {
// The server each stream fetches its current row from: a failure elsewhere
// moves the choice without restarting the downloads that still run.
int stream_server[web_streams] = {-1, -1, -1, -1};
// Per row of sim_info: a bit for each server given up for it, its failures
// on the server it is fetched from now, and when it may be asked again.
std::vector<unsigned> failed_servers;
std::vector<int> row_tries;
std::vector<uint64_t> row_retry_us;
// Per server: since when it has delivered nothing (0 while it works), and
// whether it has been given up for the rest of the run.
uint64_t server_failing_us[32];
bool server_dead[32];
std::vector<std::string> given_up;
bool given_up_told = false;

// A failed file is asked again after 1 s, 2 s and 4 s before its server is
// given up for it; a server that has delivered nothing for 10 s is given up
// for every file.
constexpr int k_row_tries = 4;
constexpr uint64_t k_server_dead_us = 10000000;

float clock_now() { return xtim.real_elapsed; }
uint64_t now_us() { return xtim_class::microsecs(); }
bool known_server(int s) { return s >= 0 && s < 32; }

void size_rows() {
  if (failed_servers.size() == sim_info.size()) return;
  failed_servers.assign(sim_info.size(), 0);
  row_tries.assign(sim_info.size(), 0);
  row_retry_us.assign(sim_info.size(), 0);
}

int stream_target() {
  int target;
  if (stg.stream_count != 0) {
    target = stg.stream_count;
  } else {
    const float rate =
        (next.done_zip_kb + next.partial_kb) / std::max(1.0f, clock_now() - next.start_time);
    target = rate > 200 ? 9 : rate > 150 ? 8 : rate > 100 ? 6 : rate > 50 ? 4 : 2;
  }
  return std::min(std::max(target, 1), static_cast<int>(web_streams));
}

// Stream i is done with its row: it takes another, or stops, or wakes a
// sleeping stream, as the download rate asks.
void adapt(int i) {
  const int target = stream_target();
  int n = 0;
  for (int k = 0; k < web_streams; ++k) n += next.stream_active[k] != 0;
  if (n < target) {
    for (int k = 0; k < web_streams; ++k) {
      if (!next.stream_active[k]) {
        next.stream_active[k] = 1;
        next.stream_wants_row[k] = 1;
        break;
      }
    }
  }
  if (target < n)
    next.stream_active[i] = 0;
  else
    next.stream_wants_row[i] = 1;
}

// The server row r is fetched from next, other than those given up for it
// or for the run: the biased pick, moved on to the first such; -1 when there
// is none.
int next_server_for(int row) {
  const int k = std::min(stg.server_count, 32);
  const int first = biased_server_pick();
  for (int t = 0; t < k; ++t) {
    const int c = (first + t) % k;
    if (!(failed_servers[row] & (1u << c)) && !server_dead[c]) return c;
  }
  return -1;
}

// Row r is given up for server s: it moves to another server (true), or is
// given up (false, told once for the whole run at its end).
bool leave_server(int row, int s, int stream, const std::string& url) {
  if (known_server(s)) failed_servers[row] |= 1u << s;
  row_tries[row] = 0;
  row_retry_us[row] = 0;
  const int c = stg.server_count > 0 ? next_server_for(row) : -1;
  if (c >= 0) {
    stg.server_choice = c;
    stream_server[stream] = c;
    return true;
  }
  const file_version_struct& v = sim_info[row].back();
  xer << "WARNING: no update server could deliver " << v.path << " (last tried " << url
      << "); the file is left as it is.\n";
  given_up.push_back(url);
  stg.download_failed = 0;  // no other server is being tried for it
  return false;
}

// A download of row r from server s failed: the row waits and asks again, or
// leaves the server. False when the row is given up.
bool download_failed(int row, int s, int stream, const std::string& url) {
  const uint64_t now = std::max<uint64_t>(now_us(), 1);  // 0 means working
  if (!server_failing_us[s]) server_failing_us[s] = now;
  if (!server_dead[s] && now - server_failing_us[s] >= k_server_dead_us) {
    server_dead[s] = true;
    xer << "WARNING: the update server " << server_name[s]
        << " has delivered nothing for 10 s; it is not asked again in this run.\n";
  }
  if (++row_tries[row] < k_row_tries && !server_dead[s]) {
    const int pause = 1 << (row_tries[row] - 1);
    row_retry_us[row] = now + static_cast<uint64_t>(pause) * 1000000u;
    xer << "WARNING: " << server_name[s] << " did not deliver " << url << "; asking again in "
        << pause << " s.\n";
    return true;
  }
  return leave_server(row, s, stream, url);
}

// One alert for every file given up in the run.
void tell_given_up() {
  if (given_up.empty() || given_up_told) return;
  given_up_told = true;
  const int n = static_cast<int>(given_up.size());
  __MACIBM_alert(0, UTL_translate_string("The installer cannot download a file."),
                 UTL_string_sub(UTL_translate_plural(n,
                                                     "None of the update servers could send "
                                                     "%1:count% file:",
                                                     "None of the update servers could send "
                                                     "%1:count% files, the first:"),
                                std::to_string(n)),
                 given_up.front(),
                 UTL_translate_string("Run the update again later to fetch what is missing."),
                 t_alert, __FILE__, __LINE__);
}

}  // namespace

int extract_and_delete_file(std::string archive, std::string dest, const std::string& want_md5,
                            std::string* got_md5) {
  content_check check{want_md5, std::string()};
  content_check* const checked = want_md5.empty() ? nullptr : &check;
  std::string folder;
  get_path_with_path(folder, dest);
  int err;
  const std::string rel =
      dest.starts_with(dest_dir_path) ? dest.substr(dest_dir_path.size()) : std::string();
  delete_gone_row_links("-/" + rel, deleted_files);
  if (passes_row_link("-/" + rel)) {
    xer << "WARNING: not installing " << dest << ": a folder on its way is a link that the "
        << "file list names.\n";
    err = err_unsafe_path;
  } else {
    if (!dir_exists(folder)) make_folder_chain(folder);
    err = archive.ends_with(".7z") ? p7z_install_file(archive, dest, checked)
                                   : zip_install_file(archive, dest, checked);
  }
  // An archive that holds some other name has not installed dest.
  if (err == 0 && checked && check.got.empty()) err = err_content_mismatch;
  if (err == 0 && !entry_exists(dest)) err = ENOENT;
  if (got_md5) *got_md5 = check.got;
  if (stg.log_actions) xer << "EXPANDING file " << dest << ", with result=" << err << ".\n";
  if (err == err_content_mismatch) {
    // Not this archive's fault to tell the user of: another server may have the right file.
  } else if (err != 0) {
    stg.extract_failed = 1;
    __MACIBM_alert(0, UTL_translate_string("The installer cannot extract a file."),
                   UTL_translate_string("Error: ") + UTL_translate_string(error_str(err)),
                   UTL_translate_string("Compressed File: ") + archive,
                   UTL_translate_string("Destination: ") + dest, t_alert, __FILE__, __LINE__);
  } else if (dest.find("Contents/MacOS/") != std::string::npos) {
    const int code = make_file_executable(dest);
    if (stg.log_actions) xer << "CHMODING  file " << dest << ", with result=" << code << ".\n";
  }
  delete_file(archive);
  return err;
}

void web_download_reset() {
  for (int k = 0; k < web_streams; ++k) {
    delete http.slots[k + 2];  // its partial body goes with it
    http.slots[k + 2] = nullptr;
    if (!temp_path.empty()) delete_file(temp_path + std::to_string(k) + ".zip");
    stream_server[k] = -1;
    next.stream_active[k] = k < 2;
    next.stream_wants_row[k] = k < 2;
    next.stream_row[k] = 0;
  }
  next.next_row = 0;
  next.start_time = clock_now();
  next.partial_kb = 0;
  next.done_zip_kb = 0;
  next.done_size_kb = 0;
  failed_servers.clear();
  size_rows();
  for (int s = 0; s < 32; ++s) server_failing_us[s] = 0, server_dead[s] = false;
  given_up.clear();
  given_up_told = false;
  note_row_names();
}

const std::vector<std::string>& web_download_given_up() { return given_up; }

int grab_files() {
  const int rows = static_cast<int>(sim_info.size());
  size_rows();
  next.partial_kb = 0;

  for (int i = 0; i < web_streams; ++i) {
    if (!next.stream_active[i]) continue;
    if (next.stream_wants_row[i]) {
      next.stream_row[i] = next.next_row;
      next.next_row = std::min(std::max(next.next_row + 1, 0), rows);
      stream_server[i] = -1;
    }
    const int r = next.stream_row[i];
    if (r < 0 || r >= rows) continue;
    file_version_struct& v = sim_info[r].back();
    next.stream_wants_row[i] = 0;

    if (!v.path.empty() && v.path.back() == '/')
      __MACIBM_alert(0, "I am working through the list and found a path that has no file!",
                     "This is impossible to download or delete!", "It is:", v.path, t_exit,
                     __FILE__, __LINE__);
    if (stg.server_count > 0 && (stream_server[i] < 0 || stream_server[i] >= stg.server_count)) {
      stream_server[i] =
          stg.server_choice >= 0 && stg.server_choice < stg.server_count ? stg.server_choice : 0;
      // A server given up for the run is not asked for another file.
      if (known_server(stream_server[i]) && server_dead[stream_server[i]]) {
        const int c = next_server_for(r);
        if (c >= 0) stream_server[i] = stg.server_choice = c;
      }
    }
    const int s = stg.server_count > 0 ? stream_server[i] : -1;
    const std::string url = (s >= 0 ? server_path[s] : std::string()) + v.path + ".zip";
    std::string rel = v.path;
    trim_dest_folder(rel);
    const std::string dest = dest_dir_path + rel;
    crnt_file_path = url;
    const size_t slash = url.find_last_of('/');
    crnt_file_name = slash == std::string::npos ? url : url.substr(slash + 1);

    bool done = true;
    if (!http_name_is_safe(v.path) || !http_name_is_safe(rel)) {
      // The file list reader refuses such rows; never act on one regardless.
      xer << "WARNING: not touching " << v.path << ": it would reach outside the install.\n";
    } else if (v.to_delete) {
      stg.current_action = 0;
      const int err =
          keep_despite_delete(v, dest) ? 0 : delete_installed_file(v, dest, deleted_files);
      if (stg.log_actions)
        xer << "now we want to nuke a file: DELETING  file " << dest << ", with result=" << err
            << ".\n";
    } else if (v.to_install) {
      stg.current_action = 1;
      if (!known_server(s) || server_dead[s]) {
        done = !leave_server(r, s, i, url);
      } else if (now_us() < row_retry_us[r]) {
        done = false;  // waits for its next try
      } else {
        const int slot = i + 2;
        const std::string archive = temp_path + std::to_string(i) + ".zip";
        const int got = http.net_check(slot, server_name[s], url, archive);
        if (got == 0) {
          const down_class* d = http.slots[slot];
          if (!d)
            stg.current_progress = 0;
          else if (d->content_length > 0)
            stg.current_progress =
                static_cast<float>(d->bytes_written) / static_cast<float>(d->content_length);
          else
            stg.current_progress = -0.01f;
          if (stg.current_progress > 0) next.partial_kb += stg.current_progress * v.zip_kb;
          done = false;
        } else if (got == 2) {
          stg.download_failed = 1;
          done = !download_failed(r, s, i, url);  // else the row stays on this stream
        } else {
          std::string got;
          const int err = extract_and_delete_file(archive, dest, v.sig_want, &got);
          if (err == err_content_mismatch) {
            // A stale mirror or a wrong upload: the file stays as it was, and
            // the file is fetched as after any failed download.
            xer << "WARNING: " << server_name[s] << " sent " << url << " for " << dest
                << " with the MD5 " << (got.empty() ? std::string("of no such file") : got)
                << " where the file list has " << v.sig_want << "; the file is left as it is.\n";
            stg.download_failed = 1;
            done = !download_failed(r, s, i, url);
          } else {
            stg.download_failed = 0;
            server_failing_us[s] = 0;
            if (err == 0) {
              v.current = 1;
              v.sig_have = v.sig_want;
            }
            next.done_zip_kb += v.zip_kb;
            next.done_size_kb += v.size_kb;
          }
        }
      }
    } else {
      stg.current_action = v.current ? 2 : 3;
    }
    if (done) adapt(i);
  }

  for (int i = 0; i < web_streams; ++i)
    if (next.stream_active[i] && next.stream_row[i] >= 0 && next.stream_row[i] < rows)
      return stg.extract_failed;
  next.finished = 1;
  remove_empty_folders(deleted_files);
  // What a stream fetched for a file it then gave up is of no more use.
  for (int k = 0; k < web_streams && !temp_path.empty(); ++k)
    if (entry_exists(temp_path + std::to_string(k) + ".zip"))
      delete_file(temp_path + std::to_string(k) + ".zip");
  sync_install_folder();  // finished means on disk
  if (!given_up.empty()) stg.extract_failed = 1;
  tell_given_up();
  return 1;
}
