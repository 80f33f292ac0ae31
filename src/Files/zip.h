// Zip archives of the installer: one per installed file. Beyond the file's
// bytes an archive carries the file's resource fork with its Finder
// information as an AppleDouble entry "__MACOSX/._NAME", and a symbolic link
// as an entry whose content is the link text (attributes 0xA1ED0000).
//
// This system has no forks: the AppleDouble data lives in the sidecar file
// "._NAME" beside the data file, holding exactly the bytes of that entry, so
// that unpacking and packing again gives back the same entry.
#pragma once

#include <minizip/unzip.h>

#include <string>

struct content_check;

// The first 46 bytes of the AppleDouble layout (magic, version, filler, two
// entries: Finder info at 50 for 32 bytes, the fork at 82), and the first 24
// of them, which a reader demands.
extern const unsigned char kMagicCrap[46];
extern const unsigned char kAppleHeader[24];

// Unpacks every entry of zip under out_dir (ending in "/"). *out_name, when
// given, receives the first entry's stored name; with use_out_name the first
// entry is written as out_dir + *out_name instead. The whole archive is
// refused (err_unsafe_path) before anything is written when an entry would
// land outside out_dir. A file is streamed to a temporary name in its folder
// and renamed over the target once its CRC checked out, so a damaged entry
// never destroys the installed file. 0 or an error code.
int zip_to_file(const std::string& zip, const std::string& out_dir, std::string* out_name = nullptr,
                int use_out_name = 0);

// Unpacks the archive of one installed file to dest. The archive may hold
// that file (named as dest's last component, ignoring case), its fork entry
// and the "__MACOSX/" folder, nothing else: anything more is refused
// (err_unsafe_path) before anything is written. The file is written under
// dest's spelling, and other spellings of it in its folder are removed.
// With a check, a file (or link) whose MD5 is not check->want is refused with
// err_content_mismatch and dest, its fork included, stays as it was.
int zip_install_file(const std::string& zip, const std::string& dest,
                     content_check* check = nullptr);

// The current entry as an AppleDouble file, stored as the sidecar path (whose
// last component begins with "._") when its data file exists. 0, 20012 for a
// bad header or an entry table that points outside the data, or a code.
int unzip_resource_fork(unzFile archive, std::string path, const unz_file_info64& info);
// The current entry as link text: path becomes a symbolic link to it,
// replacing whatever was there. 0 or a code.
int unzip_symlink(unzFile archive, std::string path, const unz_file_info64& info);

// Creates zip holding src: its bytes (deflated, with its time and mode), or
// for a link the link text; then the fork entry when src has a sidecar with a
// resource fork of at least one byte. A file of 4 GB or more is refused with
// EFBIG before the archive is made. 0 or an error code.
int file_to_zip(const std::string& src, const std::string& zip);
