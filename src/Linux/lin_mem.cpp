#include "Linux/lin_mem.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

#include "Linux/lin_sys.h"

namespace {

// Saturates instead of wrapping: a figure too large for 64 bits reads as the
// largest one.
uint64_t times_1024(uint64_t v) {
  uint64_t r;
  return __builtin_mul_overflow(v, 1024u, &r) ? UINT64_MAX : r;
}

// Reads an unsigned number in the given base at *p; false when none is there.
bool read_number(const char*& p, int base, uint64_t* out) {
  if (!*p || *p == '-' || *p == '+') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = strtoull(p, &end, base);
  if (end == p) return false;
  *out = (errno == ERANGE) ? UINT64_MAX : static_cast<uint64_t>(v);
  p = end;
  return true;
}

void skip_blanks(const char*& p) {
  while (*p == ' ' || *p == '\t') ++p;
}

}  // namespace

uint64_t LIN_proc_field_bytes(const std::string& text, const char* key) {
  const size_t klen = strlen(key);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    if (eol - pos > klen && text.compare(pos, klen, key) == 0 && text[pos + klen] == ':') {
      std::string line = text.substr(pos + klen + 1, eol - pos - klen - 1);
      const char* p = line.c_str();
      skip_blanks(p);
      uint64_t v = 0;
      if (!read_number(p, 10, &v)) return 0;
      skip_blanks(p);
      return strncmp(p, "kB", 2) == 0 ? times_1024(v) : v;
    }
    pos = eol + 1;
  }
  return 0;
}

int LIN_get_task_info(LIN_task_info* out) {
  *out = LIN_task_info();
  std::string s = LIN_read_text("/proc/self/status");
  if (s.empty()) return -1;
  out->virtual_size = LIN_proc_field_bytes(s, "VmSize");
  out->resident_size = LIN_proc_field_bytes(s, "VmRSS");
  return 0;
}

uint64_t LIN_page_size() {
  long n = sysconf(_SC_PAGESIZE);
  return n > 0 ? static_cast<uint64_t>(n) : 0;
}

int LIN_get_vm_stats(LIN_vm_stats* out) {
  *out = LIN_vm_stats();
  out->page_size = LIN_page_size();
  std::string s = LIN_read_text("/proc/meminfo");
  if (s.empty()) return -1;
  out->free_bytes = LIN_proc_field_bytes(s, "MemFree");
  out->active_bytes = LIN_proc_field_bytes(s, "Active");
  out->inactive_bytes = LIN_proc_field_bytes(s, "Inactive");
  out->wired_bytes = LIN_proc_field_bytes(s, "Unevictable");
  return 0;
}

int LIN_get_swap_usage(LIN_swap_usage* out) {
  *out = LIN_swap_usage();
  std::string s = LIN_read_text("/proc/meminfo");
  if (s.empty()) return -1;
  out->total = LIN_proc_field_bytes(s, "SwapTotal");
  out->avail = LIN_proc_field_bytes(s, "SwapFree");
  out->used = out->total > out->avail ? out->total - out->avail : 0;
  return 0;
}

int LIN_parse_smaps(const std::string& text, std::vector<LIN_vm_region>* out) {
  out->clear();
  struct extra {
    bool shared_map = false;
    uint64_t dev = 0, inode = 0;
    uint64_t rss = 0;
  };
  std::vector<extra> ex;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    const std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    const size_t first_blank = line.find_first_of(" \t");
    const std::string first = line.substr(0, first_blank);
    if (first.empty()) continue;
    if (first.back() == ':') {
      // A field of the current region.
      if (out->empty()) continue;
      const char* p = line.c_str() + first.size();
      skip_blanks(p);
      uint64_t v = 0;
      if (!read_number(p, 10, &v)) continue;
      v = times_1024(v);
      LIN_vm_region& r = out->back();
      if (first == "Rss:") ex.back().rss = v;
      if (first == "Private_Clean:" || first == "Private_Dirty:") r.private_resident += v;
      if (first == "Shared_Clean:" || first == "Shared_Dirty:") r.shared_resident += v;
      continue;
    }
    // A region's header: "start-end perms offset dev inode [path]".
    const char* p = line.c_str();
    uint64_t start = 0, end = 0, offset = 0, dmaj = 0, dmin = 0, inode = 0;
    if (!read_number(p, 16, &start) || *p++ != '-' || !read_number(p, 16, &end)) continue;
    skip_blanks(p);
    char perms[5] = {};
    for (int i = 0; i < 4 && *p && *p != ' '; ++i) perms[i] = *p++;
    skip_blanks(p);
    if (!read_number(p, 16, &offset)) continue;
    skip_blanks(p);
    if (!read_number(p, 16, &dmaj) || *p++ != ':' || !read_number(p, 16, &dmin)) continue;
    skip_blanks(p);
    if (!read_number(p, 10, &inode)) continue;
    skip_blanks(p);
    LIN_vm_region r;
    r.start = start;
    r.size = end > start ? end - start : 0;
    r.path = p;
    extra e;
    e.shared_map = perms[3] == 's';
    e.dev = (dmaj << 32) | dmin;
    e.inode = inode;
    out->push_back(r);
    ex.push_back(e);
  }
  // No object reference counts on Linux: a file's count is the number of our
  // regions that map it; an anonymous region counts once.
  std::map<std::pair<uint64_t, uint64_t>, int> file_maps;
  for (const extra& e : ex)
    if (e.inode) ++file_maps[{e.dev, e.inode}];
  for (size_t i = 0; i < out->size(); ++i) {
    LIN_vm_region& r = (*out)[i];
    const extra& e = ex[i];
    r.ref_count = e.inode ? file_maps[{e.dev, e.inode}] : 1;
    if (e.rss == 0 && r.private_resident == 0 && r.shared_resident == 0)
      r.share_mode = LIN_SM_EMPTY;
    else if (e.shared_map)
      r.share_mode = LIN_SM_SHARED;
    else if (r.shared_resident > 0)
      r.share_mode = LIN_SM_COW;
    else
      r.share_mode = LIN_SM_PRIVATE;
  }
  return 0;
}

int LIN_get_vm_regions(std::vector<LIN_vm_region>* out) {
  out->clear();
  std::string s = LIN_read_text("/proc/self/smaps");
  if (s.empty()) return -1;
  return LIN_parse_smaps(s, out);
}

namespace {

uint64_t hex_at(const char*& p, bool* ok) {
  uint64_t v = 0;
  int digits = 0;
  for (;; ++p, ++digits) {
    int d;
    if (*p >= '0' && *p <= '9')
      d = *p - '0';
    else if (*p >= 'a' && *p <= 'f')
      d = *p - 'a' + 10;
    else if (*p >= 'A' && *p <= 'F')
      d = *p - 'A' + 10;
    else
      break;
    if (v >> 60) {  // more than 64 bits: not an address
      *ok = false;
      return 0;
    }
    v = (v << 4) | static_cast<uint64_t>(d);
  }
  *ok = digits > 0;
  return v;
}

}  // namespace

int LIN_range_mapped(const void* p, size_t len, int need_read, int need_write) {
  if (len == 0) return 1;
  const uint64_t begin = reinterpret_cast<uintptr_t>(p);
  uint64_t stop;
  if (__builtin_add_overflow(begin, static_cast<uint64_t>(len), &stop)) return 0;

  int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  uint64_t cur = begin;
  int result = 0;
  char buf[4096];
  char line[128];  // only the addresses and permissions at the start matter
  size_t used = 0;
  bool done = false;
  while (!done) {
    ssize_t n = read(fd, buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n && !done; ++i) {
      if (buf[i] != '\n') {
        if (used < sizeof(line) - 1) line[used++] = buf[i];
        continue;
      }
      line[used] = 0;
      used = 0;
      const char* q = line;
      bool ok1 = false, ok2 = false;
      uint64_t lo = hex_at(q, &ok1);
      if (!ok1 || *q++ != '-') continue;
      uint64_t hi = hex_at(q, &ok2);
      if (!ok2 || *q++ != ' ' || strlen(q) < 4) continue;
      if (hi <= cur) continue;
      if (lo > cur) {
        done = true;  // a gap before the rest of the range
        break;
      }
      if ((need_read && q[0] != 'r') || (need_write && q[1] != 'w')) {
        done = true;
        break;
      }
      cur = hi;
      if (cur >= stop) {
        result = 1;
        done = true;
      }
    }
  }
  close(fd);
  return result;
}
