// Where the archive extractors may write. Archives come from discs and from
// plain-HTTP servers, so their names are checked as a whole before anything
// is written, and output files are made so that they never follow a link that
// stands in their way.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

#include "Files/md5.h"

// 1 when an entry name stays below the output folder: not empty, not
// absolute, no "\" and no NUL byte, no ".." component.
int archive_name_is_safe(const std::string& name);

// A path an archive will create, relative to its output folder.
struct archive_target {
  std::string rel;
  bool is_link = false;  // the entry makes a symbolic link
};

// Checks every target of one archive before extraction: each name is safe,
// none passes through a link made by another entry of the archive (compared
// ignoring case, since paths may be case-repaired on the way), and none passes
// through a link that already exists below base, the full path of the output
// folder. 0, or err_unsafe_path with *bad set to the offending name.
int check_archive_targets(const std::vector<archive_target>& targets, const std::string& base,
                          std::string* bad);

// The content one unpacked file must have: want is its MD5 as the file list
// gives it; got receives the MD5 of what was unpacked for it ("" while
// nothing was).
struct content_check {
  std::string want;
  std::string got;
};

// The output folder of one extraction, opened once. Paths below it are walked
// one component at a time without following links.
class out_folder {
 public:
  explicit out_folder(const std::string& full_path);
  ~out_folder();
  out_folder(const out_folder&) = delete;
  out_folder& operator=(const out_folder&) = delete;

  // Opens the folder that holds the last component of rel (creating missing
  // folders when make is set); *leaf gets that component. The caller closes
  // *fd. 0, an errno, or err_unsafe_path when a link is in the way.
  int open_parent(const std::string& rel, bool make, int* fd, std::string* leaf);
  // Makes the folder rel and the missing folders above it; one that exists
  // already counts as made.
  int make_dirs(const std::string& rel);

  // The file or link rel of this extraction is checked against *check: one
  // with other content never takes the place of what is there
  // (err_content_mismatch).
  void check_content(const std::string& rel, content_check* check);
  content_check* check_for(const std::string& rel) const;

 private:
  int base_fd(int* fd);
  std::string path_;
  int fd_ = -1;
  std::string check_rel_;
  content_check* check_ = nullptr;
};

// A file being extracted. It is written under a temporary name in its folder
// and renamed over the target only by commit, so a failed extraction leaves
// what was installed there, and a link at the target is replaced, never
// written through.
class out_file {
 public:
  out_file() = default;
  ~out_file();  // drops an uncommitted temporary
  out_file(const out_file&) = delete;
  out_file& operator=(const out_file&) = delete;

  // 0, or an errno when the folder cannot be opened or the file not created.
  int create(out_folder& folder, const std::string& rel, bool make_dirs);
  // 0, the errno of a failed write (ENOSPC on a full disk), or 20004.
  int write(const void* data, size_t n);
  // Permission bits and access and modification times (seconds), applied to
  // the temporary before commit; 0 or an errno.
  int set_mode(mode_t mode);
  int set_time(time_t when);
  // Closes, checking the close, and renames over the target; 0 or an errno.
  int commit();
  void discard();

 private:
  int dir_ = -1;
  int fd_ = -1;
  std::string leaf_, tmp_;
  content_check* check_ = nullptr;  // hashed as written when set
  MD5_CTX md5_;
};

// 1 when a and b are the same name ignoring letter case, as the case repair
// of paths compares them.
int same_ignoring_case(const std::string& a, const std::string& b);

// Removes the entries of leaf's folder that spell leaf otherwise (ignoring
// case) and are not the entry leaf itself (on a case-blind volume they are
// one); folders are left alone. 0 or an errno.
int drop_other_spellings(out_folder& folder, const std::string& leaf);

// Makes rel a symbolic link to text, replacing whatever file or link was
// there; only a link call that returns 0 is success. 0 or an errno.
int make_link_at(out_folder& folder, const std::string& rel, const std::string& text,
                 bool make_dirs);
