// Status codes of the file, archive and network operations and their texts.
//
// 0 is success; positive values below 20001 are errno values; -5000..-33 are
// the old file-manager result codes still found in stored files and logs;
// 20001 and up are the program's own codes.
#pragma once

#include <atomic>
#include <string>

enum {
  err_zip_open = 20001,  // a zip or 7z archive could not be opened
  err_zip_short_read = 20002,
  err_zip_create = 20003,
  err_unzip_short_write = 20004,
  err_fork_too_big = 20005,  // a resource fork of 2 GB or more
  err_map_failed = 20006,    // a file could not be opened for reading
  err_net_reconnect = 20007,
  err_net_bad_state = 20008,
  err_net_alloc = 20009,
  err_net_write = 20010,
  err_net_no_server = 20011,
  err_bad_apple_double = 20012,
  err_no_mz = 20013,
  err_no_pe = 20014,
  err_unsafe_path = 20015,        // an archive names a path outside its output folder
  err_damaged_archive = 20016,    // an archive's data cannot be decoded
  err_archive_encrypted = 20017,  // an archive's items need a password
  err_archive_method = 20018,     // a compression method or filter the readers lack
  err_zip64 = 20019,              // a zip archive in the 64-bit format
  err_content_mismatch = 20030,   // an unpacked file's MD5 is not the one it must have
};

struct err_msg_row {
  int code;
  const char* text;  // null ends the table
};
extern const err_msg_row kErrMsgs[];

// "" for 0, the table's text, else "Error code N".
std::string error_str(int code);
// Failed deletions are never shown to the user: always 0.
int show_del_err(int err);
// 0 when a folder counts as made (0, EEXIST, -48), else 1.
int show_make_dir_err(int err);

// Where the last failing file operation gave up, for log lines only. Any
// thread may write it, so a mixed pair is possible and harmless.
extern std::atomic<const char*> sErrFile;
extern std::atomic<int> sErrLine;
inline void APL_record_failure(const char* file, int line) {
  sErrFile.store(file, std::memory_order_relaxed);
  sErrLine.store(line, std::memory_order_relaxed);
}
#define APL_RECORD_FAILURE() APL_record_failure(__FILE__, __LINE__)
