#include "OOPS_cpp/xmap.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Files/file_ops.h"
#include "Files/paths.h"
#include "GenH/shell.h"
#include "UTL/resource.h"
#include "UTL/xer.h"

namespace {
inline bool is_blank(char c) { return c == ' ' || c == '\t'; }
inline bool is_eol(char c) { return c == '\r' || c == '\n' || c == 0; }

// Where an empty file's map points: a real address, so that callers testing
// the base see an open file.
const char k_empty_map[1] = {0};

const char* const k_no_notice = "no-copyright-string";
}  // namespace

int ouf_open(const std::string& path, int type, int version, const std::string& notice) {
  if (type != xmap_binary && type != xmap_text)
    __MACIBM_alert(0, "Bad ouf_open type!", path, "", "", 2, __FILE__, __LINE__);
  std::string f = path;
  set_path_to_full(f);
  if (f.size() > 3)
    for (size_t i = f.size() - 3; i < f.size(); ++i)
      if (f[i] >= 'A' && f[i] <= 'Z') f[i] = static_cast<char>(f[i] - 'A' + 'a');

  for (int attempt = 0; attempt < 2; ++attempt) {
    ouf.clear();
    if (ouf.is_open()) ouf.close();
    ouf.clear();
    if (type == xmap_binary) {
      ouf.open(f, std::ios::out | std::ios::trunc | std::ios::binary);
      const uint32_t v = static_cast<uint32_t>(version);
      const char hdr[5] = {'i', static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
      ouf.write(hdr, 5);
    } else {
      ouf.open(f, std::ios::out | std::ios::trunc);
      std::string hdr = "I\n" + std::to_string(version) + " version";
      if (notice != k_no_notice) hdr += notice;
      hdr += "\n";
      ouf.write(hdr.data(), static_cast<std::streamsize>(hdr.size()));
    }
    if (ouf.good()) return 1;
    if (attempt == 0) {
      std::string folder = path;
      if (!folder.empty() && folder.back() == '/') folder.pop_back();
      const size_t slash = folder.find_last_of('/');
      if (slash != std::string::npos) make_folder(folder.substr(0, slash + 1));
    }
  }
  __MACIBM_alert(0,
                 "I could not save the file! Could the directory that the file sits in be missing? "
                 "Or flagged as READ-ONLY by the operating system? (Windows machines typically do "
                 "this).",
                 f,
                 "Could the file be flagged as read-only? This happens in Windows if you copy it "
                 "from a CD!",
                 "Try putting this app in the background and then flag the file as NOT read-only, "
                 "or creating the folder listed in the path above.",
                 1, __FILE__, __LINE__);
  return 0;
}

xmap_class::xmap_class(const std::string& p)
    : swap_bytes(0),
      path(p),
      io_mode(0),
      map_base(nullptr),
      cursor(nullptr),
      map_end(nullptr),
      fd(-1) {
  if (!p.empty()) retry(p);
}

xmap_class::~xmap_class() { release(); }

void xmap_class::release() {
  if (map_len_) munmap(const_cast<char*>(map_base), map_len_);
  map_len_ = 0;
  if (fd >= 0) close(fd);
  fd = -1;
  map_base = map_end = nullptr;
}

const char* xmap_class::retry(const std::string& p) {
  std::string name = p;
  const int is_res = UTL_path_is_resource(name);
  if (!is_res) {
    if (!app_path.empty() && p.find(app_path) != std::string::npos)
      __MACIBM_alert(0, "retry: We are getting a file string that is not Skysuite relative!",
                     "This is illegal! All paths must be Skysuite relative!",
                     "The path in question is:", p, 2, __FILE__, __LINE__);
    // ":" is an ordinary name character on this system; only "\" betrays a
    // path that was never converted.
    if (p.find('\\') != std::string::npos)
      __MACIBM_alert(0, "OOPS!", "I got a bad dirchar! I only want '/'!",
                     "The path in question is:", p, 2, __FILE__, __LINE__);
  }
  release();
  path = p;
  std::string f;
  if (is_res) {
    f = UTL_resource_get_file(name);
  } else {
    f = p;
    set_path_to_full(f);
  }
  if (f.empty()) return nullptr;
  // Without blocking: opening a pipe for reading waits for a writer, for ever.
  fd = open(f.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    fd = -1;
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    fd = -1;
    return nullptr;
  }
  const off_t len = st.st_size;
  if (len > 0) {
    void* m = mmap(nullptr, static_cast<size_t>(len), PROT_READ, MAP_PRIVATE, fd, 0);
    if (m == nullptr)
      __MACIBM_alert(0, "Xmapped file ran out of memory", "", "", "", 2, __FILE__, __LINE__);
    if (m == MAP_FAILED) {
      const int e = errno;
      xer << "Mem file error.  Err=" << e << ", file=" << p << "\n";
      if (e == ENOMEM) {
        char num[64];
        snprintf(num, sizeof(num), "errno=%f", static_cast<double>(e));
        __MACIBM_alert(0, "Xmapped out of memory", "c_path=", p, num, 2, __FILE__, __LINE__);
      }
      map_base = map_end = nullptr;
    } else {
      map_base = static_cast<const char*>(m);
      map_len_ = static_cast<size_t>(len);
      map_end = map_base + len;
    }
  } else {
    map_base = map_end = k_empty_map;
  }
  cursor = map_base;
  return map_base;
}

int xmap_class::check_file(int type, const int* versions, const char* word, std::string* rest) {
  if (type != xmap_binary && type != xmap_text)
    __MACIBM_alert(0, "Bad check_file type!", path, "", "", 2, __FILE__, __LINE__);
  if (!map_base || map_end == map_base) return 0;
  cursor = map_base;
  int version = 0;
  if (type == xmap_binary) {
    const char origin = *cursor++;
    if (origin != 'a' && origin != 'i') return 0;
    swap_bytes = (origin == 'a');
    if (map_end - cursor >= 4) {
      uint32_t v;
      memcpy(&v, cursor, 4);
      cursor += 4;
      if (swap_bytes) v = __builtin_bswap32(v);
      version = static_cast<int>(v);
    }
  } else {
    if (map_end - map_base > 3 && memcmp(map_base, "\xEF\xBB\xBF", 3) == 0) cursor += 3;
    const char origin = *cursor++;
    TXT_str_scan_eoln(nullptr);
    if (origin != 'A' && origin != 'I') return 0;
    version = TXT_int_scan();
    TXT_str_scan_eoln(rest);
  }
  bool known = false;
  for (const int* v = versions; v && *v; ++v) known = known || (*v == version);
  if (!known || version == 0) return 0;
  if (!word) return version;
  if (!TXT_str_scan_match(word, 1)) return 0;
  TXT_str_scan_eoln(nullptr);
  return version;
}

void xmap_class::read_n_rev(void* dst, long len) {
  if (len < 0 || !cursor || len > map_end - cursor)
    __MACIBM_alert(0, "Invalid read_n_rev read!", "", "", "", 2, __FILE__, __LINE__);
  if (len <= 0) return;
  unsigned char* d = static_cast<unsigned char*>(dst);
  memcpy(d, cursor, static_cast<size_t>(len));
  cursor += len;
  if (swap_bytes)
    for (long i = 0; i + 4 <= len; i += 4) {
      std::swap(d[i], d[i + 3]);
      std::swap(d[i + 1], d[i + 2]);
    }
}

int xmap_class::io_file_open(int mode, const std::string& p, int* versions, int type) {
  io_mode = mode;
  if (mode == 1) return ouf_open(p, type, versions ? versions[0] : 0, k_no_notice);
  if (mode == 0) return (retry(p) && check_file(type, versions, nullptr, nullptr)) ? 1 : 0;
  return 0;
}

void xmap_class::io_file_close() {
  if (io_mode != 1) return;
  ouf.close();  // a failed close leaves the stream failed
}

int xmap_class::TXT_str_scan_match(const char* word, int eol_ok) {
  while (cursor < map_end && is_blank(*cursor)) ++cursor;
  const char* p = cursor;
  const char* w = word;
  while (*w && p < map_end && *p == *w) ++p, ++w;
  if (*w) return 0;
  const bool ok = (p < map_end) ? (is_blank(*p) || (eol_ok && is_eol(*p))) : (eol_ok != 0);
  if (!ok) return 0;
  cursor = p;
  return 1;
}

void xmap_class::TXT_str_scan_space(std::string* out) {
  while (cursor < map_end && is_blank(*cursor)) ++cursor;
  const char* start = cursor;
  while (cursor < map_end && !is_blank(*cursor) && !is_eol(*cursor)) ++cursor;
  if (out) out->assign(start, static_cast<size_t>(cursor - start));
}

void xmap_class::TXT_str_scan_eoln(std::string* out) {
  while (cursor < map_end && is_blank(*cursor)) ++cursor;
  const char* start = cursor;
  while (cursor < map_end && !is_eol(*cursor)) ++cursor;
  if (out) out->assign(start, static_cast<size_t>(cursor - start));
  while (cursor < map_end && (is_eol(*cursor) || is_blank(*cursor))) ++cursor;
}

int xmap_class::TXT_int_scan() {
  while (cursor < map_end && is_blank(*cursor)) ++cursor;
  int sign = 1;
  if (cursor < map_end && *cursor == '-') sign = -1, ++cursor;
  if (cursor < map_end && *cursor == '+') sign = 1, ++cursor;
  if (cursor >= map_end || is_blank(*cursor)) return 0;
  // Unsigned arithmetic: an overlong number wraps instead of overflowing.
  uint32_t v = 0;
  while (cursor < map_end && !is_blank(*cursor) && !is_eol(*cursor))
    v = v * 10u + static_cast<uint32_t>(static_cast<unsigned char>(*cursor++) - '0');
  return static_cast<int>(sign < 0 ? 0u - v : v);
}

void xmap_class::TXT_xer_line() {
  if (!map_base || !cursor) return;
  const char* c = std::min(std::max(cursor, map_base), map_end);
  const long crs = std::count(map_base, c, '\r'), lfs = std::count(map_base, c, '\n');
  const char* b = c;
  while (b > map_base && b[-1] != '\r' && b[-1] != '\n') --b;
  const char* e = c;
  while (e < map_end && *e != '\r' && *e != '\n') ++e;
  xer << (std::max(crs, lfs) + 1) << " \"" << std::string(b, static_cast<size_t>(e - b)) << "\"\n";
  xer.flush();
}
