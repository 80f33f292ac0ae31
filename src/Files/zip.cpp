#include "Files/zip.h"

#include <fcntl.h>
#include <minizip/zip.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <vector>

#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Files/paths.h"
#include "Files/safe_path.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/xer.h"

const unsigned char kMagicCrap[46] = {
    0x00, 0x05, 0x16, 0x07,                                                  // magic
    0x00, 0x02, 0x00, 0x00,                                                  // version
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,     // filler
    0,    0,    0,    0,                                                     //
    0x00, 0x02,                                                              // two entries
    0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x32, 0x00, 0x00, 0x00, 0x20,  // Finder info
    0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x52,                          // the fork
};
const unsigned char kAppleHeader[24] = {0x00, 0x05, 0x16, 0x07, 0x00, 0x02, 0x00, 0x00};

// A step that returns a code; a failure records this line for the log.
#define STEP(call) ((err = (call)) != 0 ? (APL_RECORD_FAILURE(), err) : 0)

namespace {
constexpr size_t k_chunk = 256 * 1024;
// Entry sizes end below 4 GB: the zip reader of this system misreads zip64
// sizes on 64-bit machines, so larger files are refused rather than packed
// into archives that would not unpack. (Without zip64 records minizip fails
// the entry, never truncates it, when deflate grows data past the limit.)
constexpr uint64_t k_entry_max = 0xFFFFFFFEull;
constexpr uLong k_link_attr = 0xA1ED0000ul;
constexpr size_t k_link_max = PATH_MAX;

// The C library guards its time-zone state with a lock of its own that the
// thread checker cannot see; one lock of ours keeps the conversions in line.
std::mutex g_local_time_mutex;

uint32_t be16(const unsigned char* p) { return (uint32_t(p[0]) << 8) | p[1]; }
uint32_t be32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// The start of an AppleDouble file, kept while the rest streams past: the
// fixed header and then the whole entry table.
struct apple_double_head {
  std::string bytes;
  size_t want() const {
    if (bytes.size() < 26) return 26;
    return 26 + 12 * size_t(be16(reinterpret_cast<const unsigned char*>(bytes.data()) + 24));
  }
  void feed(const char* p, size_t n) {
    while (n > 0 && bytes.size() < want()) {
      const size_t take = std::min(n, want() - bytes.size());
      bytes.append(p, take);
      p += take;
      n -= take;
    }
  }
};

enum class apple_double { ok, not_apple_double, damaged };

// Checks the header and that every entry of the table lies inside the total
// bytes; *fork_len gets the resource fork's length (0 without one).
apple_double parse_apple_double(const unsigned char* head, size_t head_len, uint64_t total,
                                uint64_t* fork_len) {
  *fork_len = 0;
  if (head_len < sizeof(kAppleHeader) || memcmp(head, kAppleHeader, sizeof(kAppleHeader)) != 0)
    return apple_double::not_apple_double;
  if (head_len < 26) return apple_double::damaged;
  const uint32_t count = be16(head + 24);
  if (26 + 12 * uint64_t(count) > std::min<uint64_t>(head_len, total)) return apple_double::damaged;
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* e = head + 26 + 12 * i;
    const uint32_t id = be32(e), off = be32(e + 4), len = be32(e + 8);
    if (uint64_t(off) + len > total) return apple_double::damaged;
    if (id == 2) *fork_len = len;
  }
  return apple_double::ok;
}

// Streams the current entry through sink(data, n); 0, a minizip code (the
// CRC is checked on close), 20002 when the entry yields less than its size,
// or the sink's code.
template <class Sink>
int read_entry(unzFile uf, const unz_file_info64& info, char* buf, Sink&& sink) {
  int err;
  if (STEP(unzOpenCurrentFile(uf))) return err;
  uint64_t total = 0;
  for (;;) {
    const int r = unzReadCurrentFile(uf, buf, static_cast<unsigned>(k_chunk));
    if (r < 0) {
      APL_RECORD_FAILURE();
      unzCloseCurrentFile(uf);
      return r;
    }
    if (r == 0) break;
    total += static_cast<uint64_t>(r);
    if (STEP(sink(buf, static_cast<size_t>(r)))) {
      unzCloseCurrentFile(uf);
      return err;
    }
  }
  if (total < info.uncompressed_size) {
    APL_RECORD_FAILURE();
    unzCloseCurrentFile(uf);
    return err_zip_short_read;
  }
  STEP(unzCloseCurrentFile(uf));
  return err;
}

// The entry's time as local time; the fields the entry lacks come from now and
// daylight saving is the system's to decide.
time_t entry_time(const tm_unz& d) {
  const time_t now = time(nullptr);
  struct tm t;
  std::lock_guard<std::mutex> lock(g_local_time_mutex);
  localtime_r(&now, &t);
  t.tm_sec = static_cast<int>(d.tm_sec);
  t.tm_min = static_cast<int>(d.tm_min);
  t.tm_hour = static_cast<int>(d.tm_hour);
  t.tm_mday = static_cast<int>(d.tm_mday);
  t.tm_mon = static_cast<int>(d.tm_mon);
  t.tm_year = static_cast<int>(d.tm_year) - 1900;
  t.tm_isdst = -1;
  return mktime(&t);
}

std::string log_tail(int err) {
  return std::to_string(err) + ". file = " + sErrFile.load() +
         " line = " + std::to_string(sErrLine.load()) + ". inFile=";
}

// Splits a path into its folder (with "/", "" for none) and last component.
void split(const std::string& path, std::string* dir, std::string* leaf) {
  const size_t slash = path.find_last_of('/');
  *dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  *leaf = slash == std::string::npos ? path : path.substr(slash + 1);
}

// The AppleDouble sidecar of path: "._" before its last component.
std::string sidecar_of(const std::string& path) {
  std::string dir, leaf;
  split(path, &dir, &leaf);
  return dir + "._" + leaf;
}

// The reverse: rel with the "._" prefix of its last component taken off; ""
// when it has none.
std::string data_file_of(const std::string& rel) {
  std::string dir, leaf;
  split(rel, &dir, &leaf);
  if (leaf.size() <= 2 || !leaf.starts_with("._")) return "";
  return dir + leaf.substr(2);
}

int fork_entry(unzFile uf, out_folder& folder, const std::string& rel, const std::string& shown,
               const unz_file_info64& info, char* buf) {
  int err = 0;
  bool data_exists = false;
  const std::string data_rel = data_file_of(rel);
  if (!data_rel.empty()) {
    int dir;
    std::string leaf;
    if (folder.open_parent(data_rel, false, &dir, &leaf) == 0) {
      struct stat st;
      data_exists = fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
      close(dir);
    }
  }
  out_file out;
  apple_double_head head;
  if (!data_exists || !STEP(out.create(folder, rel, false))) {
    STEP(read_entry(uf, info, buf, [&](const char* p, size_t n) {
      head.feed(p, n);
      return data_exists ? out.write(p, n) : 0;
    }));
  }
  if (!err) {
    uint64_t fork_len;
    if (parse_apple_double(reinterpret_cast<const unsigned char*>(head.bytes.data()),
                           head.bytes.size(), info.uncompressed_size,
                           &fork_len) != apple_double::ok) {
      APL_RECORD_FAILURE();
      err = err_bad_apple_double;
    }
  }
  if (!err && data_exists) STEP(out.commit());
  if (err) xer << "Unzip RF failed with error " << log_tail(err) << shown << ".\n";
  return err;
}

int link_entry(unzFile uf, out_folder& folder, const std::string& rel, const std::string& shown,
               const unz_file_info64& info, char* buf) {
  int err = 0;
  std::string text;
  if (info.uncompressed_size > k_link_max) {
    APL_RECORD_FAILURE();
    err = ENAMETOOLONG;
  } else {
    STEP(read_entry(uf, info, buf, [&](const char* p, size_t n) {
      text.append(p, n);
      return text.size() > k_link_max ? ENAMETOOLONG : 0;
    }));
  }
  if (!err && text.find('\0') != std::string::npos) {
    APL_RECORD_FAILURE();
    err = EINVAL;
  }
  if (!err) STEP(make_link_at(folder, rel, text, true));
  if (err) xer << "Zip to symlink failed with error " << log_tail(err) << shown << ".\n";
  return err;
}

int file_entry(unzFile uf, out_folder& folder, const std::string& rel, const std::string& shown,
               const unz_file_info64& info, char* buf) {
  int err = 0;
  out_file out;
  if (!STEP(out.create(folder, rel, true)) &&
      !STEP(read_entry(uf, info, buf, [&](const char* p, size_t n) { return out.write(p, n); })) &&
      info.external_fa != 0) {
    const mode_t perm = (info.external_fa >> 16) & 0777;
    // Archives from elsewhere carry only DOS bits here; they keep the defaults.
    // A destination that refuses modes or times still gets the whole file.
    if (perm) {
      const int e = out.set_mode(perm);
      if (e && !mode_refused(shown, e)) STEP(e);
    }
    if (!err) {
      const time_t when = entry_time(info.tmu_date);
      const int e = when == static_cast<time_t>(-1) ? EINVAL : out.set_time(when);
      if (e && (when == static_cast<time_t>(-1) || !time_refused(shown, e))) {
        APL_RECORD_FAILURE();
        err = -1;
      }
    }
  }
  if (!err) STEP(out.commit());
  if (err) xer << "Zip to file failed with error " << log_tail(err) << shown << ".\n";
  return err;
}

struct zip_entry {
  unz_file_info64 info;
  std::string name;
  bool zip64 = false;  // its record holds 64-bit sizes or offsets
};

// Whether an extra field holds the zip64 record (header id 1).
bool has_zip64_extra(const std::vector<unsigned char>& x) {
  for (size_t p = 0; p + 4 <= x.size(); p += 4 + (x[p + 2] | (size_t(x[p + 3]) << 8)))
    if ((x[p] | (x[p + 1] << 8)) == 1) return true;
  return false;
}

int read_info(unzFile uf, zip_entry& e) {
  int err = unzGetCurrentFileInfo64(uf, &e.info, nullptr, 0, nullptr, 0, nullptr, 0);
  if (err != UNZ_OK) return err;
  // Sized from the entry: a long name is never cut.
  std::vector<char> name(e.info.size_filename + 1);
  std::vector<unsigned char> extra(e.info.size_file_extra);
  err = unzGetCurrentFileInfo64(uf, &e.info, name.data(), static_cast<uLong>(name.size()),
                                extra.data(), static_cast<uLong>(extra.size()), nullptr, 0);
  if (err == UNZ_OK) e.name.assign(name.data(), e.info.size_filename);
  e.zip64 = has_zip64_extra(extra);
  return err;
}

// The zip64 end record is found through a locator just before the ordinary
// end record, which the reader looks for from the end of the file.
bool ends_in_zip64_record(const std::string& full) {
  const int fd = open(full.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::string tail;
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_size >= 22) {
    const off_t n = std::min<off_t>(st.st_size, 0xFFFF + 22 + 20);
    tail.resize(static_cast<size_t>(n));
    if (pread(fd, tail.data(), tail.size(), st.st_size - n) != n) tail.clear();
  }
  close(fd);
  const size_t end = tail.rfind(std::string("PK\5\6", 4));
  return end != std::string::npos && end >= 20 && tail.compare(end - 20, 4, "PK\6\7") == 0;
}

const char* method_name(uLong method) {
  static const std::pair<uLong, const char*> k_names[] = {
      {1, "Shrink"}, {6, "Implode"},    {9, "Deflate64"}, {12, "BZip2"},
      {14, "LZMA"},  {93, "Zstandard"}, {95, "XZ"},       {98, "PPMd"}};
  for (const auto& [m, name] : k_names)
    if (m == method) return name;
  return "unknown";
}

// The reader's codes in words, for the log.
std::string reason_of(int err) {
  switch (err) {
    case UNZ_CRCERROR:
      return "an entry's data does not match its CRC";
    case UNZ_BADZIPFILE:
      return "the reader finds the archive malformed";
    case UNZ_ERRNO:
      return "the archive could not be read";
    case Z_DATA_ERROR:
      return "an entry's compressed data is invalid";
    case Z_BUF_ERROR:
      return "an entry's compressed data ends too early";
    case err_zip_open:
      return "it is no zip archive the reader can open";
    case err_zip_short_read:
      return "an entry holds less than its size";
    default:
      return error_str(err);
  }
}

enum class entry_kind { folder, fork, link, file };

bool is_macosx(const std::string& name) { return name.starts_with("__MACOSX"); }

entry_kind kind_of(const zip_entry& e) {
  if (!e.name.empty() && e.name.back() == '/') return entry_kind::folder;
  if (is_macosx(e.name)) return entry_kind::fork;
  if (((e.info.external_fa >> 16) & 0xA000) == 0xA000) return entry_kind::link;
  return entry_kind::file;
}

std::string without_trailing_slashes(std::string s) {
  while (!s.empty() && s.back() == '/') s.pop_back();
  return s;
}

class unzipper {
 public:
  unzipper(unzFile uf, const std::string& out_dir, std::string* out_name, int use_out_name,
           const std::string& only = std::string(), content_check* check = nullptr)
      : uf_(uf),
        out_dir_(out_dir),
        base_(full_path(out_dir)),
        folder_(base_),
        out_name_(out_name),
        use_out_name_(use_out_name && out_name),
        given_name_(use_out_name_ ? *out_name : std::string()),
        only_(only) {
    if (check && !only_.empty()) folder_.check_content(only_, check);
  }

  int run() {
    int err;
    if (STEP(list())) return err;
    if (STEP(check())) return err;
    if (STEP(readable())) return err;
    std::unique_ptr<char[]> buf(new char[k_chunk]);
    // An installed file's fork follows its data, so a file that does not
    // unpack or check out keeps its old fork too.
    for (int pass = 0; pass < (only_.empty() ? 1 : 2); ++pass) {
      if ((err = unpack(pass, buf.get())) != 0) return err;
      // Without its data a checked file is not installed, nor its fork.
      if (content_check* c = folder_.check_for(only_); c && c->got.empty())
        return err_content_mismatch;
    }
    if (!only_.empty()) {
      // The file now carries its row's spelling; older spellings of it go.
      if (STEP(drop_other_spellings(folder_, only_))) return err;
      if (STEP(drop_other_spellings(folder_, "._" + only_))) return err;
    }
    return 0;
  }

 private:
  // The entries of one pass: all of them, or for an installed file its data
  // (pass 0) and then its fork (pass 1).
  int unpack(int pass, char* buf) {
    int err = unzGoToFirstFile(uf_);
    for (size_t i = 0; i < entries_.size() && err == UNZ_OK; ++i) {
      const zip_entry& e = entries_[i];
      if (i == 0 && out_name_) *out_name_ = e.name;
      const entry_kind kind = kind_of(e);
      if (!only_.empty() && (kind == entry_kind::fork) != (pass == 1)) {
        err = unzGoToNextFile(uf_);
        continue;
      }
      const std::string rel = target_of(i, kind);
      int r = 0;
      switch (kind) {
        case entry_kind::folder:
          if (!rel.empty() && (r = folder_.make_dirs(repaired(rel))) != 0) {
            APL_RECORD_FAILURE();
            xer << "Zip to file failed with error " << log_tail(r) << out_dir_ << e.name << ".\n";
          }
          break;
        case entry_kind::fork:
          if (!rel.empty())
            r = fork_entry(uf_, folder_, repaired(rel), full_path(out_dir_ + data_file_of(rel)),
                           e.info, buf);
          break;
        case entry_kind::link:
          r = link_entry(uf_, folder_, repaired(rel), full_path(out_dir_ + rel), e.info, buf);
          break;
        case entry_kind::file:
          r = file_entry(uf_, folder_, repaired(rel), out_dir_ + rel, e.info, buf);
          break;
      }
      if (r) {
        xer << "UNZIP zip_to_file failed with err=" << r << "\n";
        return r;
      }
      err = unzGoToNextFile(uf_);
    }
    if (err != UNZ_OK && err != UNZ_END_OF_LIST_OF_FILE) {
      APL_RECORD_FAILURE();
      return err;
    }
    return 0;
  }

  // Reads the whole central directory first, so that the archive can be
  // judged before anything is written.
  int list() {
    int err = unzGoToFirstFile(uf_);
    while (err == UNZ_OK) {
      zip_entry e;
      const int ie = read_info(uf_, e);
      if (ie != UNZ_OK) {
        xer << "unzGetCurrentFileInfo err != UNZ_OK! err=" << ie << "\n";
        return ie;
      }
      entries_.push_back(std::move(e));
      err = unzGoToNextFile(uf_);
    }
    return err == UNZ_END_OF_LIST_OF_FILE ? 0 : err;
  }

  // The path below out_dir an entry writes ("" for nothing): a fork entry
  // writes the sidecar named by the text after "__MACOSX/".
  std::string target_of(size_t i, entry_kind kind) const {
    const std::string& name = entries_[i].name;
    switch (kind) {
      case entry_kind::folder:
        return is_macosx(name) ? std::string() : without_trailing_slashes(name);
      case entry_kind::fork: {
        if (name.size() <= 9) return "";
        if (!only_.empty()) return "._" + only_;
        std::string rel = name.substr(9);
        // The fork of a first entry written under another name follows it.
        if (use_out_name_ && !entries_.empty() && data_file_of(rel) == entries_[0].name)
          rel = sidecar_of(given_name_);
        return rel;
      }
      case entry_kind::link:
      case entry_kind::file:
        if (!only_.empty()) return only_;
        return (i == 0 && use_out_name_) ? given_name_ : name;
    }
    return "";
  }

  // rel as set_path_to_full spells it (letter case repaired), below the base.
  std::string repaired(const std::string& rel) const {
    if (!only_.empty()) return rel;  // the row's own spelling
    const std::string f = full_path(out_dir_ + rel);
    return f.size() >= base_.size() ? f.substr(base_.size()) : rel;
  }

  int check() {
    std::vector<archive_target> targets;
    int data_entries = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
      const std::string stored = without_trailing_slashes(entries_[i].name);
      if (!archive_name_is_safe(stored)) return refuse(entries_[i].name);
      const entry_kind kind = kind_of(entries_[i]);
      if (!only_.empty()) {
        // An installed file's archive holds that file and its fork, nothing
        // that could stand in the way of another row.
        const bool ok = kind == entry_kind::folder   ? stored == "__MACOSX"
                        : kind == entry_kind::fork   ? same_ignoring_case(entries_[i].name,
                                                                          "__MACOSX/._" + only_)
                                                     : same_ignoring_case(stored, only_) &&
                                                         ++data_entries == 1;
        if (!ok) return refuse(entries_[i].name);
      }
      const std::string rel = target_of(i, kind);
      if (!rel.empty()) targets.push_back({repaired(rel), kind == entry_kind::link});
    }
    std::string bad;
    if (check_archive_targets(targets, base_, &bad) != 0) return refuse(bad);
    return 0;
  }

  // Entries this reader cannot decode are refused by kind before anything is
  // written, rather than failing later as damaged data.
  int readable() {
    for (const zip_entry& e : entries_) {
      if (kind_of(e) == entry_kind::folder) continue;
      if (e.info.flag & 1) {
        reason_ = "\"" + e.name + "\" is encrypted";
        return err_archive_encrypted;
      }
      if (e.zip64) {
        reason_ = "\"" + e.name + "\" has 64-bit sizes (zip64)";
        return err_zip64;
      }
      if (e.info.compression_method != 0 && e.info.compression_method != Z_DEFLATED) {
        reason_ = "\"" + e.name + "\" uses compression method " +
                  std::to_string(e.info.compression_method) + " (" +
                  method_name(e.info.compression_method) + ")";
        return err_archive_method;
      }
    }
    return 0;
  }

 public:
  // Why the archive was refused, when it was for what it holds.
  const std::string& reason() const { return reason_; }

 private:
  int refuse(const std::string& name) {
    xer << "Zip to file refused the unsafe path \"" << name << "\".\n";
    return err_unsafe_path;
  }

  unzFile uf_;
  const std::string out_dir_, base_;
  out_folder folder_;
  std::string* out_name_;
  const bool use_out_name_;
  const std::string given_name_;
  const std::string only_;  // the one file an install's archive holds, "" for any
  std::vector<zip_entry> entries_;
  std::string reason_;
};

int write_mapped(zipFile zf, const char* p, uint64_t n) {
  while (n > 0) {
    const unsigned part = static_cast<unsigned>(std::min<uint64_t>(n, 1u << 30));
    if (int e = zipWriteInFileInZip(zf, p, part)) return e;
    p += part;
    n -= part;
  }
  return 0;
}

// Entries are made on Unix (host 3, format 2.0), so that other tools take the
// mode and link bits from the upper half of external_fa, and their names are
// UTF-8 (flag bit 11).
constexpr uLong k_made_by_unix = (3u << 8) | 20u;
constexpr uLong k_flag_utf8 = 0x0800u;

// Adds one entry holding the n bytes at p (method 0 stores them).
int add_entry(zipFile zf, const std::string& name, const zip_fileinfo& zi, int method,
              const char* p, uint64_t n) {
  int err;
  if (!STEP(zipOpenNewFileInZip4_64(zf, name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr,
                                    method, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                    Z_DEFAULT_STRATEGY, nullptr, 0, k_made_by_unix, k_flag_utf8,
                                    0)) &&
      !STEP(write_mapped(zf, p, n)))
    STEP(zipCloseFileInZip(zf));
  return err;
}

// Makes the archive zip_full; fill(zf) adds its entries. fill's code, else
// the close's.
template <class Fill>
int new_zip(const std::string& zip_full, Fill&& fill) {
  zipFile zf = zipOpen64(zip_full.c_str(), APPEND_STATUS_CREATE);
  if (!zf) {
    APL_RECORD_FAILURE();
    return err_zip_create;
  }
  int err = fill(zf);
  const int close_err = zipClose(zf, nullptr);
  if (!err && close_err) {
    APL_RECORD_FAILURE();
    err = close_err;
  }
  return err;
}

int zip_link(const std::string& src, const std::string& zip_full, const std::string& name) {
  std::string text;
  if (!is_sim_link(src, &text)) {
    APL_RECORD_FAILURE();
    return ENOENT;
  }
  zip_fileinfo zi{};
  zi.external_fa = k_link_attr;
  return new_zip(zip_full,
                 [&](zipFile zf) { return add_entry(zf, name, zi, 0, text.data(), text.size()); });
}

// The sidecar's bytes when it holds a resource fork of at least one byte.
int fork_of(const std::string& sidecar, std::unique_ptr<xmap_class>* out) {
  std::string full_side = full_path(sidecar);
  struct stat st;
  if (lstat(full_side.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  auto m = std::make_unique<xmap_class>(sidecar);
  if (!m->map_base) {
    APL_RECORD_FAILURE();
    return err_map_failed;
  }
  const auto* p = reinterpret_cast<const unsigned char*>(m->map_base);
  const uint64_t n = static_cast<uint64_t>(m->map_end - m->map_base);
  if (n > k_entry_max) {
    APL_RECORD_FAILURE();
    return EFBIG;
  }
  uint64_t fork_len;
  switch (parse_apple_double(p, n, n, &fork_len)) {
    case apple_double::not_apple_double:
      return 0;  // a file that merely has such a name
    case apple_double::damaged:
      APL_RECORD_FAILURE();
      return err_bad_apple_double;
    case apple_double::ok:
      break;
  }
  if (fork_len >= (uint64_t(1) << 31)) {
    APL_RECORD_FAILURE();
    return err_fork_too_big;
  }
  if (fork_len > 0) *out = std::move(m);
  return 0;
}

// The entry fields of a file: its local modification time and its mode
// (zeros when it cannot be read).
zip_fileinfo info_of(const std::string& full_path) {
  zip_fileinfo zi{};
  struct stat st;
  if (stat(full_path.c_str(), &st) != 0) return zi;
  struct tm t;
  {
    std::lock_guard<std::mutex> lock(g_local_time_mutex);
    localtime_r(&st.st_mtime, &t);
  }
  zi.tmz_date.tm_sec = static_cast<uInt>(t.tm_sec);
  zi.tmz_date.tm_min = static_cast<uInt>(t.tm_min);
  zi.tmz_date.tm_hour = static_cast<uInt>(t.tm_hour);
  zi.tmz_date.tm_mday = static_cast<uInt>(t.tm_mday);
  zi.tmz_date.tm_mon = static_cast<uInt>(t.tm_mon);
  zi.tmz_date.tm_year = static_cast<uInt>(t.tm_year + 1900);
  zi.external_fa = static_cast<uLong>(st.st_mode) << 16;
  return zi;
}

int zip_file(const std::string& src, const std::string& src_full, const std::string& zip_full,
             const std::string& name) {
  xmap_class data(src);
  if (!data.map_base) {
    APL_RECORD_FAILURE();
    return err_map_failed;
  }
  const uint64_t size = static_cast<uint64_t>(data.map_end - data.map_base);
  if (size > k_entry_max) {
    APL_RECORD_FAILURE();
    return EFBIG;
  }
  return new_zip(zip_full, [&](zipFile zf) {
    int err = add_entry(zf, name, info_of(src_full), Z_DEFLATED, data.map_base, size);
    std::unique_ptr<xmap_class> fork;
    if (err || STEP(fork_of(sidecar_of(src), &fork)) || !fork) return err;
    zip_fileinfo fork_zi{};
    fork_zi.external_fa = static_cast<uLong>(S_IFREG | 0644) << 16;  // no mode 0 for other tools
    return add_entry(zf, "__MACOSX/._" + name, fork_zi, Z_DEFLATED, fork->map_base,
                     static_cast<uint64_t>(fork->map_end - fork->map_base));
  });
}
}  // namespace

namespace {
// only: the one file an install's archive may hold ("" for any).
int unzip_archive(const std::string& zip, const std::string& out_dir, std::string* out_name,
                  int use_out_name, const std::string& only, content_check* check = nullptr) {
  const std::string zip_full = full_path(zip);
  int err;
  std::string reason;
  unzFile uf = unzOpen64(zip_full.c_str());
  if (uf && ends_in_zip64_record(zip_full)) {
    unzClose(uf);
    uf = nullptr;
    APL_RECORD_FAILURE();
    err = err_zip64;
    reason = "it ends in a zip64 directory record";
  } else if (!uf) {
    xer << "OK I am about to report that I could not open a zip file for extraction!\n";
    xer << "That incoming file is " << zip_full << "\n";
    xer << "In c-form, it is " << zip_full << "\n";
    xer << "The size is " << zip_full.size() << "\n";
    APL_RECORD_FAILURE();
    err = err_zip_open;
  } else {
    unzipper u(uf, out_dir, out_name, use_out_name, only, check);
    err = u.run();
    reason = u.reason();
    unzClose(uf);
  }
  if (err) {
    xer << "Zip to file failed with error err = " << err << ". file = " << sErrFile.load()
        << " line = " << sErrLine.load() << ". zip_file=" << zip << ", out_dir=" << out_dir
        << ".\n";
    xer << "WARNING: the zip archive " << zip_full
        << " did not unpack: " << (reason.empty() ? reason_of(err) : reason) << " (error " << err
        << ").\n";
  }
  return err;
}
}  // namespace

int zip_to_file(const std::string& zip, const std::string& out_dir, std::string* out_name,
                int use_out_name) {
  return unzip_archive(zip, out_dir, out_name, use_out_name, std::string());
}

int zip_install_file(const std::string& zip, const std::string& dest, content_check* check) {
  std::string dir, leaf;
  split(dest, &dir, &leaf);
  if (leaf.empty()) return err_unsafe_path;
  return unzip_archive(zip, dir, nullptr, 0, leaf, check);
}

int unzip_resource_fork(unzFile archive, std::string path, const unz_file_info64& info) {
  set_path_to_full(path);
  std::string dir, leaf;
  split(path, &dir, &leaf);
  out_folder folder(dir);
  std::unique_ptr<char[]> buf(new char[k_chunk]);
  return fork_entry(archive, folder, leaf, dir + data_file_of(leaf), info, buf.get());
}

int unzip_symlink(unzFile archive, std::string path, const unz_file_info64& info) {
  set_path_to_full(path);
  std::string dir, leaf;
  split(path, &dir, &leaf);
  out_folder folder(dir);
  std::unique_ptr<char[]> buf(new char[k_chunk]);
  return link_entry(archive, folder, leaf, path, info, buf.get());
}

int file_to_zip(const std::string& src, const std::string& zip) {
  const std::string src_full = full_path(src), zip_full = full_path(zip);
  std::string dir, name;
  split(src, &dir, &name);
  int err = 0;
  struct stat st;
  if (lstat(src_full.c_str(), &st) != 0) {
    err = errno ? errno : EIO;
    APL_RECORD_FAILURE();
  } else if (S_ISLNK(st.st_mode)) {
    err = zip_link(src, zip_full, name);
  } else {
    err = zip_file(src, src_full, zip_full, name);
  }
  if (err)
    xer << "file_to_zip failed with error " << err << ".\nfile = " << sErrFile.load()
        << " line = " << sErrLine.load() << "\n";
  return err;
}
