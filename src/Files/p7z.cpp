#include "Files/p7z.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "Files/errors.h"
#include "Files/paths.h"
#include "Files/safe_path.h"
#include "UTL/xer.h"

namespace {
constexpr int k_sz_fail = static_cast<int>(0x80004005u);
constexpr size_t k_read_chunk = 256 * 1024;

// What the decoder reads through: the stream record and its buffer.
struct p7z_source {
  CFileInStream in;
  std::unique_ptr<char[]> buf{new char[k_read_chunk]};
  int64_t size = 0;
  int read_errno = 0;  // a failing disc, told apart from a damaged archive
  std::string reason;  // the reader's own words for the first failure, for the log
};

la_ssize_t read_cb(struct archive*, void* data, const void** out) {
  auto* s = static_cast<p7z_source*>(data);
  size_t got = 0;
  SzFileReadImp(&s->in, s->buf.get(), k_read_chunk, &got);
  if (got == 0 && ferror(s->in.File)) {
    s->read_errno = errno ? errno : EIO;
    return ARCHIVE_FATAL;
  }
  *out = s->buf.get();
  return static_cast<la_ssize_t>(got);
}

la_int64_t seek_cb(struct archive*, void* data, la_int64_t offset, int whence) {
  auto* s = static_cast<p7z_source*>(data);
  la_int64_t pos = offset;
  if (whence == SEEK_CUR) pos += ftello(s->in.File);
  if (whence == SEEK_END) pos += s->size;
  if (pos < 0 || SzFileSeekImp(&s->in, static_cast<unsigned long long>(pos)) != 0)
    return ARCHIVE_FATAL;
  return pos;
}

la_int64_t skip_cb(struct archive*, void* data, la_int64_t request) {
  auto* s = static_cast<p7z_source*>(data);
  const la_int64_t cur = ftello(s->in.File);
  if (cur < 0 || request <= 0) return 0;
  const la_int64_t to = cur + request < s->size ? cur + request : s->size;
  if (SzFileSeekImp(&s->in, static_cast<unsigned long long>(to)) != 0) return 0;
  return to - cur;
}

// Item names are UTF-16 in the archive; the reader converts them through the
// thread's character type, which is made UTF-8 for the call. The locale is
// made once and kept: it is never changed, and making and freeing locales on
// several threads at once is best avoided.
class utf8_ctype {
 public:
  utf8_ctype() {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (utf8) old_ = uselocale(utf8);
  }
  ~utf8_ctype() {
    if (old_) uselocale(old_);
  }
  utf8_ctype(const utf8_ctype&) = delete;
  utf8_ctype& operator=(const utf8_ctype&) = delete;

 private:
  locale_t old_ = static_cast<locale_t>(0);
};

// Keeps the reader's first complaint; a read error of the disc is the reason
// whatever the reader made of it.
void note_reason(struct archive* a, p7z_source& src) {
  if (!src.reason.empty()) return;
  if (src.read_errno) {
    src.reason = strerror(src.read_errno);
    return;
  }
  const char* text = a ? archive_error_string(a) : nullptr;
  src.reason = text && *text ? text : "the reader gave no reason";
}

struct reader_deleter {
  void operator()(struct archive* a) const { archive_read_free(a); }
};
using reader = std::unique_ptr<struct archive, reader_deleter>;

// Opens the 7z reader over the source from its start; null when the file is
// not a readable 7z archive.
reader open_reader(p7z_source& src) {
  if (SzFileSeekImp(&src.in, 0) != 0) return nullptr;
  reader a(archive_read_new());
  if (!a) return nullptr;
  archive_read_support_format_7zip(a.get());
  archive_read_set_read_callback(a.get(), read_cb);
  archive_read_set_seek_callback(a.get(), seek_cb);
  archive_read_set_skip_callback(a.get(), skip_cb);
  archive_read_set_callback_data(a.get(), &src);
  if (archive_read_open1(a.get()) != ARCHIVE_OK) {
    note_reason(a.get(), src);
    return nullptr;
  }
  return a;
}

// The reader says what it lacks only in words: a method or filter it has no
// decoder for.
bool unsupported_coding(const char* text) {
  return strstr(text, "codec ID") || strstr(text, "Unsupported filter") ||
         strstr(text, "Unsupported form of BCJ2") || strstr(text, "many filters");
}

int failure_of(struct archive* a, p7z_source& src) {
  note_reason(a, src);
  if (src.read_errno) return src.read_errno;
  if (archive_errno(a) == ENOMEM) return ENOMEM;
  if (archive_read_has_encrypted_entries(a) > 0) return err_archive_encrypted;
  const char* text = archive_error_string(a);
  if (text && unsupported_coding(text)) return err_archive_method;
  return err_damaged_archive;
}

// The stored name as UTF-8, "" when there is none.
std::string name_of(struct archive_entry* e) {
  const char* n = archive_entry_pathname_utf8(e);
  if (!n) n = archive_entry_pathname(e);
  return n ? n : "";
}

int write_item(struct archive* a, struct archive_entry* e, p7z_source& src, out_file& out) {
  if (archive_entry_filetype(e) == AE_IFLNK) {
    // A link stays a plain file holding the link text.
    const char* t = archive_entry_symlink_utf8(e);
    if (!t) t = archive_entry_symlink(e);
    const std::string text = t ? t : "";
    return out.write(text.data(), text.size());
  }
  static const char k_zeros[4096] = {};
  la_int64_t written = 0;
  for (;;) {
    const void* block;
    size_t n;
    la_int64_t offset;
    const int r = archive_read_data_block(a, &block, &n, &offset);
    if (r == ARCHIVE_EOF) return 0;
    // ARCHIVE_WARN here is a CRC mismatch: the bytes are not the item's.
    if (r != ARCHIVE_OK) return failure_of(a, src);
    while (written < offset) {  // a hole: zeros
      const size_t gap = static_cast<size_t>(
          std::min<la_int64_t>(offset - written, static_cast<la_int64_t>(sizeof(k_zeros))));
      if (int err = out.write(k_zeros, gap)) return err;
      written += static_cast<la_int64_t>(gap);
    }
    if (int err = out.write(block, n)) return err;
    written += static_cast<la_int64_t>(n);
  }
}
}  // namespace

int SzFileReadImp(void* stream, void* buffer, size_t size, size_t* processed) {
  size_t got = 0;
  if (size > 0) got = fread(buffer, 1, size, static_cast<CFileInStream*>(stream)->File);
  if (processed) *processed = got;
  return 0;
}

int SzFileSeekImp(void* stream, unsigned long long pos) {
  return fseeko(static_cast<CFileInStream*>(stream)->File, static_cast<off_t>(pos), SEEK_SET) == 0
             ? 0
             : k_sz_fail;
}

namespace {
// only: the one file an install's archive may hold ("" for any), written
// under that spelling.
int p7z_extract(const std::string& archive, const std::string& out_dir, std::string* out_name,
                int use_out_name, const std::string& only, content_check* check = nullptr) {
  const std::string archive_full = full_path(archive), base = full_path(out_dir);
  p7z_source src;
  src.in.File = fopen(archive_full.c_str(), "rbe");
  if (!src.in.File) return errno ? errno : EIO;
  struct stat st;
  if (fstat(fileno(src.in.File), &st) == 0) src.size = st.st_size;
  utf8_ctype utf8;
  const bool fixed = (use_out_name && out_name) || !only.empty();
  const std::string given = !only.empty() ? only : fixed ? *out_name : std::string();

  // First the names only (no data is decoded for them), so that the archive
  // is judged before anything is written.
  int err = 0;
  {
    reader a = open_reader(src);
    std::vector<archive_target> targets;
    struct archive_entry* e;
    for (int first = 1; !err; first = 0) {
      const int r = a ? archive_read_next_header(a.get(), &e) : ARCHIVE_FATAL;
      if (r == ARCHIVE_EOF) break;
      if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
        const int why = a ? failure_of(a.get(), src) : err_zip_open;
        // Names that need a password are an encrypted archive, not a foreign file.
        err = first && why != err_archive_encrypted ? err_zip_open : why;
        break;
      }
      if (archive_entry_filetype(e) == AE_IFDIR) continue;
      if (archive_entry_is_data_encrypted(e)) {
        src.reason = "\"" + name_of(e) + "\" is encrypted";
        err = err_archive_encrypted;
        break;
      }
      if (!only.empty() && (!targets.empty() || !same_ignoring_case(name_of(e), only))) {
        err = err_unsafe_path;  // an installed file's archive holds that file alone
        break;
      }
      const std::string rel = fixed ? given : name_of(e);
      const std::string f = full_path(out_dir + rel);
      targets.push_back({f.size() > base.size() ? f.substr(base.size()) : rel, false});
    }
    if (!err) err = check_archive_targets(targets, base, nullptr);
  }

  if (!err) {
    reader a = open_reader(src);
    if (!a) err = src.read_errno ? src.read_errno : err_zip_open;
    out_folder folder(base);
    if (check && !only.empty()) folder.check_content(only, check);
    struct archive_entry* e;
    while (!err) {
      const int r = archive_read_next_header(a.get(), &e);
      if (r == ARCHIVE_EOF) break;
      if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
        err = failure_of(a.get(), src);
        break;
      }
      if (archive_entry_filetype(e) == AE_IFDIR) continue;
      const std::string path =
          !only.empty() ? base + only : full_path(out_dir + (fixed ? given : name_of(e)));
      if (out_name) *out_name = path;
      out_file out;
      if (!(err = out.create(folder, path.substr(base.size()), false)) &&
          !(err = write_item(a.get(), e, src, out)))
        err = out.commit();
    }
  }
  fclose(src.in.File);
  if (err)
    xer << "WARNING: the 7z archive " << archive_full
        << " did not unpack: " << (src.reason.empty() ? error_str(err) : src.reason) << " (error "
        << err << ").\n";
  if (!err && !only.empty()) {
    out_folder folder(base);
    err = drop_other_spellings(folder, only);
  }
  return err;
}
}  // namespace

int p7z_to_file(const std::string& archive, const std::string& out_dir, std::string* out_name,
                int use_out_name) {
  return p7z_extract(archive, out_dir, out_name, use_out_name, std::string());
}

int p7z_install_file(const std::string& archive, const std::string& dest, content_check* check) {
  const size_t slash = dest.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string() : dest.substr(0, slash + 1);
  const std::string leaf = slash == std::string::npos ? dest : dest.substr(slash + 1);
  if (leaf.empty()) return err_unsafe_path;
  return p7z_extract(archive, dir, nullptr, 0, leaf, check);
}
