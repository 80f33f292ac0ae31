// Archives the readers cannot decode are refused for what they are, the
// installed file stays as it was, and the log says why, naming the archive.
#include <archive.h>

#include "Files/archive_util.h"
#include "Files/errors.h"
#include "Files/p7z.h"

using namespace arch_test;

namespace {
struct refusal {
  std::string archive, make;  // make: a shell command, "" when made already
  int code;
  std::string reason;  // the start of the logged reason
};

void expect_refused(const std::vector<refusal>& cases,
                    int (*unpack)(const std::string&, const std::string&)) {
  for (const refusal& r : cases) {
    if (!r.make.empty()) {
      ASSERT_EQ(fly_test::run(r.make + " >/dev/null"), 0) << r.make;
    }
    EXPECT_EQ(unpack(r.archive, "out/data.bin"), r.code) << r.archive;
    EXPECT_TRUE(read_file("out/data.bin") == "installed") << r.archive;
    const std::string log = fly_test::log_text(),
                      key = " archive " + r.archive + " did not unpack: " + r.reason;
    const size_t at = log.rfind(key), start = log.rfind('\n', at) + 1;
    const std::string line =
        at == std::string::npos ? key : log.substr(start, log.find('\n', at) - start);
    EXPECT_TRUE(line.starts_with("WARNING: the ") &&
                line.ends_with(" (error " + std::to_string(r.code) + ")."))
        << line;
  }
  EXPECT_TRUE(no_temporaries("out"));
}

void make_data_and_dest() {
  ASSERT_EQ(fly_test::run("mkdir -p out"), 0);
  std::string text;  // packs well, so that no packer falls back to storing it
  for (int i = 0; text.size() < 150000; ++i) text += std::to_string(i * 7919 % 1000) + "\n";
  write_file("data.bin", text);
  write_file("out/data.bin", "installed");
}
}  // namespace

TEST(UnreadableArchives, ZipByKindBeforeAnythingIsWritten) {
  make_data_and_dest();
  // zip64 by each of its two records alone; BZip2 packed larger than its data,
  // which the reader once passed on raw as the file.
  py("import os, zipfile\n"
     "def pack(name, how=zipfile.ZIP_DEFLATED):\n"
     "    with zipfile.ZipFile(name, 'w', how) as z: z.write('data.bin')\n"
     "with zipfile.ZipFile('rawbz2.zip', 'w', zipfile.ZIP_BZIP2) as z:\n"
     "    z.writestr('data.bin', os.urandom(20000))\n"
     "zipfile.ZIP_FILECOUNT_LIMIT = 0\n"
     "pack('end64.zip')\n"
     "zipfile.ZIP_FILECOUNT_LIMIT, zipfile.ZIP64_LIMIT = 0xFFFF, 0\n"
     "pack('both64.zip')\n"
     "d = open('both64.zip', 'rb').read()\n"
     "open('entry64.zip', 'wb').write(d[:d.rfind(b'PK\\x06\\x06')] + "
     "d[d.rfind(b'PK\\x05\\x06'):])\n");
  const std::string q7 = "7zz a -bd -bso0 -bsp0 -tzip ";
  expect_refused(
      {{"pk.zip", "zip -q -P secret pk.zip data.bin", err_archive_encrypted,
        "\"data.bin\" is encrypted"},
       {"aes.zip", q7 + "-mem=AES256 -psecret aes.zip data.bin", err_archive_encrypted,
        "\"data.bin\" is encrypted"},
       {"d64.zip", q7 + "-m0=Deflate64 d64.zip data.bin", err_archive_method,
        "\"data.bin\" uses compression method 9 (Deflate64)"},
       {"rawbz2.zip", "", err_archive_method, "\"data.bin\" uses compression method 12 (BZip2)"},
       {"z64.zip", "zip -q -fz z64.zip data.bin", err_zip64, "it ends in a zip64 directory record"},
       {"entry64.zip", "", err_zip64, "\"data.bin\" has 64-bit sizes (zip64)"},
       {"end64.zip", "", err_zip64, "it ends in a zip64 directory record"},
       // Damage still reads as damage, the reader's code put in words.
       {"bad.zip",
        "zip -q plain.zip data.bin && /usr/bin/python3 -c \"d = bytearray(open('plain.zip', "
        "'rb').read()); d[len(d) // 3] ^= 0x55; open('bad.zip', 'wb').write(d)\"",
        Z_DATA_ERROR, "an entry's compressed data is invalid"}},
      [](const std::string& a, const std::string& d) { return zip_install_file(a, d); });
}

TEST(UnreadableArchives, SevenZipByKindWithTheReadersReason) {
  make_data_and_dest();
  const std::string a7 = "7zz a -bd -bso0 -bsp0 ";
  std::vector<refusal> cases = {
      {"enc.7z", a7 + "-psecret enc.7z data.bin", err_archive_encrypted,
       "\"data.bin\" is encrypted"},
      {"names.7z", a7 + "-psecret -mhe=on names.7z data.bin", err_archive_encrypted,
       "The archive header is encrypted"},
      {"d64.7z", a7 + "-m0=Deflate64 d64.7z data.bin", err_archive_method, "Unknown codec ID"},
      {"bad.7z",
       a7 + "-m0=LZMA lz.7z data.bin && /usr/bin/python3 -c \"d = bytearray(open('lz.7z', "
            "'rb').read()); d[32 + (len(d) - 32) // 3] ^= 0x21; open('bad.7z', 'wb').write(d)\"",
       err_damaged_archive, ""}};
  // Newer readers decode the ARM64 branch filter.
  if (archive_version_number() < 3007000)
    cases.push_back({"arm64.7z", a7 + "-mf=ARM64 arm64.7z data.bin", err_archive_method,
                     "Unexpected codec ID"});
  expect_refused(cases,
                 [](const std::string& a, const std::string& d) { return p7z_install_file(a, d); });
  EXPECT_EQ(fly_test::log_text().find("the reader gave no reason"), std::string::npos);
}
