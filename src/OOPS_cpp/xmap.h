// The common data-file header, its writer `ouf_open` on the shared output
// stream `ouf`, and the read-only mapped file `xmap_class` with the in-place
// text scanners every data-file reader walks its body with.
#pragma once

#include <fstream>
#include <string>

enum { xmap_binary = 10000, xmap_text = 10001 };

// The one output stream of every data-file writer: one file at a time, closed
// by the writer that opened it.
extern std::ofstream ouf;

// Opens ouf on the app-relative path and writes the header; 1 when the stream
// is good, 0 after a second failed attempt (the first failure makes the
// file's folder).
int ouf_open(const std::string& path, int type, int version, const std::string& notice);

class xmap_class {
 public:
  explicit xmap_class(const std::string& path);
  ~xmap_class();
  xmap_class(const xmap_class&) = delete;
  xmap_class& operator=(const xmap_class&) = delete;

  // (Re)maps the file; the new map_base, null when it cannot be opened. An
  // empty file is an empty map (map_base == map_end, not null).
  const char* retry(const std::string& path);
  // Checks the header from the start: the matched version or 0. versions
  // ends with 0; word may be null; rest gets the text after the version.
  int check_file(int type, const int* versions, const char* word, std::string* rest);
  // Copies len bytes at the cursor to dst and advances; with swap_bytes each
  // whole 32-bit word is reversed.
  void read_n_rev(void* dst, long len);
  void read_n_rev(long dst, long len) { read_n_rev(reinterpret_cast<void*>(dst), len); }

  // Mode 1 writes through ouf_open, mode 0 maps and checks; 1 on success.
  int io_file_open(int mode, const std::string& path, int* versions, int type);
  void io_file_close();

  int TXT_str_scan_match(const char* word, int eol_ok);
  void TXT_str_scan_space(std::string* out);
  void TXT_str_scan_eoln(std::string* out);
  int TXT_int_scan();
  void TXT_xer_line();

  int swap_bytes;
  std::string path;
  int io_mode;
  const char* map_base;
  const char* cursor;
  const char* map_end;
  int fd;  // -1 when none

 private:
  void release();
  size_t map_len_ = 0;  // bytes really mapped (0 for an empty map)
};
