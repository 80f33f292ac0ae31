// 7z extraction, the twin of zip_to_file for the per-file archives that are
// 7z (LZMA or LZMA2, with the x86 branch filters BCJ and BCJ2). 7z archives
// carry neither forks nor links for this program: every item that is not a
// folder becomes a plain file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

struct content_check;

// The input stream over the archive file that the decoder reads through.
struct CFileInStream {
  FILE* File;
};

// Reads up to size bytes into buffer (nothing when size is 0); the count goes
// to *processed when given. Always 0: a short count is the end of the data.
int SzFileReadImp(void* stream, void* buffer, size_t size, size_t* processed);
// Seeks to pos from the start (64-bit, so archives may pass 2 GB); 0, or
// 0x80004005 when the seek fails.
int SzFileSeekImp(void* stream, unsigned long long pos);

// Extracts every non-folder item of archive into out_dir (ending in "/").
// The items' folders must exist; a stored name may hold "/". With
// use_out_name each item is written as out_dir + *out_name (such an archive
// holds one file); *out_name, when given, receives the full output path of
// each item written. The whole archive is refused (err_unsafe_path) before
// anything is written when an item would land outside out_dir. Each item is
// streamed to a temporary name and renamed over its target once it decoded
// and its CRC checked out.
//
// 0, errno when the archive or an output file cannot be opened, 20001 for a
// file that is not a readable 7z archive, 20016 when an item's data cannot be
// decoded (a damaged archive), ENOMEM, or the errno of a failed write (20004
// when the system gives none).
int p7z_to_file(const std::string& archive, const std::string& out_dir,
                std::string* out_name = nullptr, int use_out_name = 0);

// The archive of one installed file, unpacked to dest: it may hold that file
// alone (named as dest's last component, ignoring case; folders aside), or it
// is refused with err_unsafe_path before anything is written. The file is
// written under dest's spelling; other spellings of it in its folder go.
// With a check, a file whose MD5 is not check->want is refused with
// err_content_mismatch and dest stays as it was.
int p7z_install_file(const std::string& archive, const std::string& dest,
                     content_check* check = nullptr);
