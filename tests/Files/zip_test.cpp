#include "Files/zip.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "Files/archive_util.h"
#include "Files/errors.h"
#include "GenH/shell.h"
#include "support/test_util.h"

using arch_test::py;
using arch_test::py_bytes;
using arch_test::tree;
using fly_test::read_file;
using fly_test::write_file;

namespace {
// Python that builds zips: mk(path, [(name, data, attr, method), ...]).
const char* const k_mk = R"(
import zipfile, struct, sys
def mk(path, entries, when=(2020, 5, 17, 10, 20, 30)):
    with zipfile.ZipFile(path, 'w') as z:
        for e in entries:
            zi = zipfile.ZipInfo(e[0], date_time=when)
            zi.external_attr = e[2] if len(e) > 2 else 0o100644 << 16
            zi.compress_type = e[3] if len(e) > 3 else zipfile.ZIP_DEFLATED
            z.writestr(zi, e[1])
    # zipfile gives an entry without attributes 0600; some archives carry none.
    d = bytearray(open(path, 'rb').read())
    zero = [e[0].encode() for e in entries if len(e) > 2 and e[2] == 0]
    pos = d.find(b'PK\x01\x02')
    while pos >= 0:
        n = struct.unpack_from('<H', d, pos + 28)[0]
        if bytes(d[pos + 46:pos + 46 + n]) in zero:
            struct.pack_into('<I', d, pos + 38, 0)
        pos = d.find(b'PK\x01\x02', pos + 46)
    open(path, 'wb').write(d)
LINK = 0xA1ED0000
STORED = zipfile.ZIP_STORED
)";

int make_zip(const std::string& body) { return py(std::string(k_mk) + body); }

// An AppleDouble file as file_to_zip lays it out.
std::string apple_double(const std::string& fork) {
  std::string s(reinterpret_cast<const char*>(kMagicCrap), sizeof(kMagicCrap));
  const uint32_t n = static_cast<uint32_t>(fork.size());
  s += static_cast<char>(n >> 24), s += static_cast<char>(n >> 16);
  s += static_cast<char>(n >> 8), s += static_cast<char>(n);
  std::string finder(32, 0);
  memcpy(&finder[0], "TEXTttxt", 8);
  finder[8] = 0x01;  // flags
  return s + finder + fork;
}

time_t local_time(int y, int mo, int d, int h, int mi, int s) {
  struct tm t = {};
  t.tm_year = y - 1900, t.tm_mon = mo - 1, t.tm_mday = d;
  t.tm_hour = h, t.tm_min = mi, t.tm_sec = s, t.tm_isdst = -1;
  return mktime(&t);
}

void set_mtime(const std::string& p, time_t t) {
  const struct timespec ts[2] = {{t, 0}, {t, 0}};
  utimensat(AT_FDCWD, p.c_str(), ts, AT_SYMLINK_NOFOLLOW);
}

bool no_temporaries(const std::string& dir) {
  for (const auto& [name, what] : tree(dir))
    if (name.find(".fly-") != std::string::npos) return false;
  return true;
}
}  // namespace

TEST(ZipRoundTrip, FilesKeepBytesModesAndTimes) {
  const struct {
    const char* name;
    size_t size;
    mode_t mode;
  } cases[] = {
      {"empty.txt", 0, 0644},
      {"one", 1, 0600},
      {"tool", 700001, 0755},
      {"big.dat", 3 << 20, 0644},
  };
  mkdir("src", 0755);
  mkdir("arch", 0755);
  mkdir("out", 0755);
  const time_t when = local_time(2019, 11, 3, 14, 7, 52);
  for (const auto& c : cases) {
    const std::string src = std::string("src/") + c.name, zip = std::string("arch/") + c.name;
    const std::string data = arch_test::pattern(c.size, static_cast<unsigned>(c.size));
    write_file(src, data);
    chmod(src.c_str(), c.mode);
    set_mtime(src, when);
    ASSERT_EQ(file_to_zip(src, zip + ".zip"), 0) << c.name;
    std::string listing;
    EXPECT_EQ(fly_test::run("unzip -l " + zip + ".zip", &listing), 0);
    EXPECT_NE(listing.find(c.name), std::string::npos) << listing;
    EXPECT_EQ(fly_test::run("unzip -tq " + zip + ".zip >/dev/null"), 0) << c.name;
    EXPECT_EQ(py("import zipfile\nz = zipfile.ZipFile('" + zip + ".zip')\ni = z.infolist()\n" +
                 "assert len(i) == 1 and i[0].filename == '" + c.name + "', i\n" +
                 "assert i[0].compress_type == 8\n" + "assert i[0].external_attr >> 16 == " +
                 std::to_string(S_IFREG | c.mode) + ", oct(i[0].external_attr >> 16)\n" +
                 "assert i[0].date_time == (2019, 11, 3, 14, 7, 52), i[0].date_time\n"),
              0)
        << c.name;
    ASSERT_EQ(zip_to_file(zip + ".zip", "out/"), 0) << c.name;
    const std::string out = std::string("out/") + c.name;
    EXPECT_EQ(read_file(out), data) << c.name;
    EXPECT_EQ(arch_test::mode_of(out), c.mode) << c.name;
    EXPECT_EQ(arch_test::mtime_of(out), when) << c.name;
  }
  EXPECT_TRUE(no_temporaries("out"));
}

TEST(ZipRoundTrip, LinksTravelAsTheirText) {
  mkdir("out", 0755);
  ASSERT_EQ(symlink("Versions/Current/Framework", "lnk"), 0);
  ASSERT_EQ(file_to_zip("lnk", "lnk.zip"), 0);
  EXPECT_EQ(py("import zipfile\ni = zipfile.ZipFile('lnk.zip').infolist()\n"
               "assert len(i) == 1 and i[0].filename == 'lnk'\n"
               "assert i[0].external_attr == 0xA1ED0000, hex(i[0].external_attr)\n"
               "assert i[0].compress_type == 0\n"
               "assert zipfile.ZipFile('lnk.zip').read('lnk') == b'Versions/Current/Framework'\n"),
            0);
  EXPECT_EQ(fly_test::run("unzip -tq lnk.zip >/dev/null"), 0);
  // A file, then a link to elsewhere, stand where the link goes: both replaced.
  write_file("out/lnk", "a file in the way");
  ASSERT_EQ(zip_to_file("lnk.zip", "out/"), 0);
  EXPECT_EQ(arch_test::link_text("out/lnk"), "Versions/Current/Framework");
  unlink("out/lnk");
  ASSERT_EQ(symlink("elsewhere", "out/lnk"), 0);
  ASSERT_EQ(zip_to_file("lnk.zip", "out/"), 0);
  EXPECT_EQ(arch_test::link_text("out/lnk"), "Versions/Current/Framework");
  EXPECT_TRUE(no_temporaries("out"));
}

TEST(ZipRoundTrip, ForkSidecarComesBackAsTheSameEntry) {
  mkdir("src", 0755);
  mkdir("out", 0755);
  const std::string fork = arch_test::pattern(5000, 7);
  write_file("src/f.dat", "data fork");
  write_file("src/._f.dat", apple_double(fork));
  ASSERT_EQ(file_to_zip("src/f.dat", "f.zip"), 0);
  EXPECT_EQ(py("import zipfile\nz = zipfile.ZipFile('f.zip')\ni = z.infolist()\n"
               "assert [e.filename for e in i] == ['f.dat', '__MACOSX/._f.dat'], i\n"
               "assert i[1].file_size == 82 + 5000 and i[1].external_attr == 0\n"
               "assert z.read(i[1]) == open('src/._f.dat', 'rb').read()\n"),
            0);
  EXPECT_EQ(fly_test::run("unzip -tq f.zip >/dev/null"), 0);
  ASSERT_EQ(zip_to_file("f.zip", "out/"), 0);
  EXPECT_EQ(read_file("out/f.dat"), "data fork");
  EXPECT_EQ(read_file("out/._f.dat"), read_file("src/._f.dat"));
  EXPECT_FALSE(fly_test::file_exists("out/__MACOSX"));
  // Packing the unpacked file again gives the same entries.
  ASSERT_EQ(file_to_zip("out/f.dat", "again.zip"), 0);
  EXPECT_EQ(py("import zipfile\na, b = zipfile.ZipFile('f.zip'), zipfile.ZipFile('again.zip')\n"
               "assert [(e.filename, a.read(e)) for e in a.infolist()] == "
               "[(e.filename, b.read(e)) for e in b.infolist()]\n"),
            0);

  // No fork bytes, or a file that merely has such a name: one entry.
  write_file("src/._f.dat", apple_double(""));
  ASSERT_EQ(file_to_zip("src/f.dat", "nofork.zip"), 0);
  write_file("src/._f.dat", "not an AppleDouble file");
  ASSERT_EQ(file_to_zip("src/f.dat", "plain.zip"), 0);
  for (const char* z : {"nofork.zip", "plain.zip"})
    EXPECT_EQ(py(std::string("import zipfile\nassert len(zipfile.ZipFile('") + z +
                 "').infolist()) == 1\n"),
              0)
        << z;
}

TEST(ZipForeign, ZipDashYTreeUnpacks) {
  mkdir("d", 0755);
  mkdir("d/sub", 0755);
  write_file("d/sub/tool", "#!/bin/sh\n");
  chmod("d/sub/tool", 0755);
  write_file("d/data", arch_test::pattern(100000, 3));
  chmod("d/data", 0640);
  ASSERT_EQ(symlink("sub/tool", "d/link"), 0);
  ASSERT_EQ(fly_test::run("zip -qry y.zip d"), 0);
  mkdir("out", 0755);
  ASSERT_EQ(zip_to_file("y.zip", "out/"), 0);
  EXPECT_EQ(tree("out/d"), tree("d"));
  EXPECT_EQ(arch_test::mode_of("out/d/sub/tool"), 0755u);
  EXPECT_EQ(arch_test::mode_of("out/d/data"), 0640u);
}

TEST(ZipForeign, MacFoldersAttributesAndMissingFolders) {
  // Entries of another system: the "__MACOSX" folders, DOS attributes only,
  // no attributes at all, and files whose folders have no entries.
  ASSERT_EQ(make_zip("mk('m.zip', [('__MACOSX/', b'', 0x10), ('a', b'A', 0x20),\n"
                     "  ('__MACOSX/._a', " +
                     py_bytes(apple_double("rsrc")) +
                     ", 0), ('zero', b'Z', 0),\n"
                     "  ('deep/er/file', b'F')])\n"),
            0);
  mkdir("out", 0755);
  const mode_t mask = umask(022);
  ASSERT_EQ(zip_to_file("m.zip", "out/"), 0);
  umask(mask);
  EXPECT_FALSE(fly_test::file_exists("out/__MACOSX"));
  EXPECT_EQ(read_file("out/._a"), apple_double("rsrc"));
  EXPECT_EQ(arch_test::mode_of("out/a"), 0644u);  // 0x20 carries no mode
  EXPECT_EQ(arch_test::mtime_of("out/a"), local_time(2020, 5, 17, 10, 20, 30));
  EXPECT_EQ(arch_test::mode_of("out/zero"), 0644u);
  EXPECT_GT(arch_test::mtime_of("out/zero"), local_time(2020, 5, 18, 0, 0, 0));  // untouched
  EXPECT_EQ(read_file("out/deep/er/file"), "F");
}

TEST(ZipDamage, BadEntriesLeaveTheInstalledFile) {
  mkdir("out", 0755);
  const std::string good = arch_test::pattern(50000, 1);
  ASSERT_EQ(make_zip("mk('good.zip', [('keep.txt', " + py_bytes("old") +
                     "),\n"
                     "  ('data.bin', " +
                     py_bytes(good) + ", 0o100644 << 16, STORED)])\n" +
                     R"(
d = bytearray(open('good.zip', 'rb').read())
z = zipfile.ZipFile('good.zip')
i = z.getinfo('data.bin')
start = i.header_offset + 30 + struct.unpack('<H', d[i.header_offset + 26:i.header_offset + 28])[0] \
        + struct.unpack('<H', d[i.header_offset + 28:i.header_offset + 30])[0]
e = bytearray(d); e[start + 1000] ^= 0x40
open('flipped.zip', 'wb').write(e)
# A size larger than the data, in both headers: the entry runs short.
e = bytearray(d)
struct.pack_into('<I', e, i.header_offset + 22, i.file_size + 10)
for pos in range(len(d)):
    if e[pos:pos + 4] == b'PK\x01\x02' and e[pos + 46:pos + 46 + 8] == b'data.bin':
        struct.pack_into('<I', e, pos + 24, i.file_size + 10)
open('short.zip', 'wb').write(e)
)"),
            0);
  ASSERT_EQ(zip_to_file("good.zip", "out/"), 0);
  ASSERT_EQ(read_file("out/data.bin"), good);
  write_file("out/keep.txt", "installed");
  const struct {
    const char* zip;
    int code;
  } cases[] = {{"flipped.zip", UNZ_CRCERROR}, {"short.zip", err_zip_short_read}};
  for (const auto& c : cases) {
    EXPECT_EQ(zip_to_file(c.zip, "out/"), c.code) << c.zip;
    EXPECT_EQ(read_file("out/data.bin"), good) << c.zip;   // never destroyed
    EXPECT_EQ(read_file("out/keep.txt"), "old") << c.zip;  // earlier entries stay
    write_file("out/keep.txt", "installed");
    EXPECT_TRUE(no_temporaries("out")) << c.zip;
  }
  const std::string log = fly_test::log_text();
  EXPECT_NE(log.find("Zip to file failed with error -105. file = "), std::string::npos);
  EXPECT_NE(log.find(". inFile=out/data.bin."), std::string::npos);
  EXPECT_NE(log.find("UNZIP zip_to_file failed with err=20002"), std::string::npos);
  EXPECT_NE(log.find("zip_file=short.zip, out_dir=out/."), std::string::npos);
}

TEST(ZipDamage, MissingOrForeignArchives) {
  write_file("not.zip", "this is no zip archive at all");
  for (const char* z : {"missing.zip", "not.zip"}) EXPECT_EQ(zip_to_file(z, "out/"), 20001) << z;
  const std::string log = fly_test::log_text();
  EXPECT_NE(log.find("OK I am about to report that I could not open a zip file for extraction!\n"
                     "That incoming file is not.zip\nIn c-form, it is not.zip\nThe size is 7\n"),
            std::string::npos)
      << log;
  // An output folder that does not exist.
  ASSERT_EQ(make_zip("mk('a.zip', [('a', b'x')])\n"), 0);
  EXPECT_EQ(zip_to_file("a.zip", "nowhere/"), ENOENT);
}

TEST(ZipSafety, TraversalIsRefusedBeforeAnythingIsWritten) {
  const std::string outside = fly_test::sandbox() + "work/outside";
  const struct {
    const char* what;
    std::string entries;  // python list after the harmless first entry
    bool link_on_disk;    // out/sub is a link to outside before the run
  } cases[] = {
      {"dot-dot", "('../evil', b'x')", false},
      {"absolute", "('" + outside + "/evil', b'x')", false},
      {"inner dot-dot", "('a/../../evil', b'x')", false},
      {"dot then dot-dot", "('a/./../../evil', b'x')", false},
      {"backslash", "('a\\\\..\\\\..\\\\evil', b'x')", false},
      {"folder entry", "('../evil/', b'', 0x10)", false},
      {"fork entry", "('__MACOSX/../../evil', b'x')", false},
      {"through own link", "('lnk', b'" + outside + "', LINK), ('lnk/evil', b'x')", false},
      {"relative link", "('lnk', b'../outside', LINK), ('lnk/evil', b'x')", false},
      {"link given later", "('lnk/evil', b'x'), ('lnk', b'../outside', LINK)", false},
      {"link in other case", "('LNK', b'../outside', LINK), ('lnk/evil', b'x')", false},
      {"fork through link", "('lnk', b'../outside', LINK), ('__MACOSX/lnk/._keep', b'x')", false},
      {"link on disk", "('sub/evil', b'x')", true},
  };
  mkdir("outside", 0755);
  write_file("outside/keep", "keep");
  std::string script;
  for (size_t i = 0; i < std::size(cases); ++i)
    script += "mk('t" + std::to_string(i) + ".zip', [('first.txt', b'harmless'), " +
              cases[i].entries + "])\n";
  ASSERT_EQ(make_zip(script), 0);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    mkdir("out", 0755);
    if (c.link_on_disk) {
      ASSERT_EQ(symlink("../outside", "out/sub"), 0);
    }
    const auto before = tree(".");
    EXPECT_EQ(zip_to_file("t" + std::to_string(i) + ".zip", "out/"), err_unsafe_path) << c.what;
    EXPECT_EQ(tree("."), before) << c.what;
    EXPECT_EQ(tree("outside").size(), 1u) << c.what;
    unlink("out/sub");
    rmdir("out");
  }
  EXPECT_NE(fly_test::log_text().find("Zip to file refused the unsafe path \"../evil\""),
            std::string::npos);
  EXPECT_EQ(error_str(err_unsafe_path).find("We refused to unpack"), 0u);
}

TEST(ZipSafety, CaseRepairedNamesAreCheckedAsWritten) {
  g_case_sensitive = 1;
  mkdir("out", 0755);
  mkdir("out/Data", 0755);
  ASSERT_EQ(make_zip("mk('c.zip', [('data/x.txt', b'x')])\n"), 0);
  ASSERT_EQ(zip_to_file("c.zip", "out/"), 0);
  EXPECT_EQ(read_file("out/Data/x.txt"), "x");  // repaired into the existing folder
  mkdir("outside", 0755);
  ASSERT_EQ(symlink("../outside", "out/Lnk"), 0);
  ASSERT_EQ(make_zip("mk('l.zip', [('lnk/evil', b'x')])\n"), 0);
  EXPECT_EQ(zip_to_file("l.zip", "out/"), err_unsafe_path);
  EXPECT_TRUE(tree("outside").empty());
  g_case_sensitive = 0;
}

TEST(ZipAppleDouble, TablesAreBoundChecked) {
  auto with_count = [](std::string s, uint16_t n) {
    s[24] = static_cast<char>(n >> 8), s[25] = static_cast<char>(n);
    return s;
  };
  const std::string good = apple_double("fork bytes");
  std::string far_offset = good;
  far_offset[44] = 0x7f;  // the fork's offset, far past the end
  std::string long_fork = good;
  long_fork[46] = 0x10;  // the fork's length
  std::string bad_magic = good;
  bad_magic[3] = 0x08;
  const struct {
    const char* what;
    std::string bytes;
    int code;
  } cases[] = {
      {"good", good, 0},
      {"bad magic", bad_magic, err_bad_apple_double},
      {"header only", good.substr(0, 24), err_bad_apple_double},
      {"huge count", with_count(good.substr(0, 30), 0xFFFF), err_bad_apple_double},
      {"count past table", with_count(good, 300), err_bad_apple_double},
      {"offset past end", far_offset, err_bad_apple_double},
      {"length past end", long_fork, err_bad_apple_double},
      {"no entries", with_count(good.substr(0, 26), 0), 0},
  };
  for (const auto& c : cases) {
    fly_test::run("rm -rf out");
    mkdir("out", 0755);
    ASSERT_EQ(
        make_zip("mk('f.zip', [('f', b'data'), ('__MACOSX/._f', " + py_bytes(c.bytes) + ", 0)])\n"),
        0);
    EXPECT_EQ(zip_to_file("f.zip", "out/"), c.code) << c.what;
    if (c.code == 0)
      EXPECT_EQ(read_file("out/._f"), c.bytes) << c.what;
    else
      EXPECT_FALSE(fly_test::file_exists("out/._f")) << c.what;
    EXPECT_TRUE(no_temporaries("out")) << c.what;
  }
  EXPECT_NE(fly_test::log_text().find("Unzip RF failed with error 20012. file = "),
            std::string::npos);
}

TEST(ZipAppleDouble, OnlyTheLeadingDotUnderscoreNamesTheDataFile) {
  const std::string ad = apple_double("rsrc");
  ASSERT_EQ(make_zip("mk('f.zip', [('a._b', b'data'), ('__MACOSX/._a._b', " + py_bytes(ad) +
                     ", 0),\n  ('__MACOSX/._missing', " + py_bytes(ad) +
                     ", 0), ('__MACOSX/no_prefix', " + py_bytes(ad) + ", 0)])\n"),
            0);
  mkdir("out", 0755);
  ASSERT_EQ(zip_to_file("f.zip", "out/"), 0);
  EXPECT_EQ(read_file("out/._a._b"), ad);
  EXPECT_EQ(tree("out").size(), 2u);  // nothing for a data file that is not there
}

TEST(ZipNames, LongNamesAndOutName) {
  const std::string dir(200, 'd'), leaf(230, 'e');
  ASSERT_EQ(make_zip("mk('l.zip', [('" + dir + "/" + leaf + "', b'long'), ('second', b'2')])\n"),
            0);
  mkdir("out", 0755);
  std::string name;
  ASSERT_EQ(zip_to_file("l.zip", "out/", &name, 0), 0);
  EXPECT_EQ(name, dir + "/" + leaf);
  EXPECT_EQ(read_file("out/" + dir + "/" + leaf), "long");
  // The first entry under a name of the caller's; the rest under their own.
  name = "renamed";
  ASSERT_EQ(zip_to_file("l.zip", "out/", &name, 1), 0);
  EXPECT_EQ(read_file("out/renamed"), "long");
  EXPECT_EQ(read_file("out/second"), "2");
  EXPECT_EQ(name, dir + "/" + leaf);
}

TEST(ZipWrite, ShortWriteReportsTheSystemError) {
  ASSERT_EQ(make_zip("mk('big.zip', [('big', b'\\0' * 2000000)])\n"), 0);
  mkdir("out", 0755);
  write_file("out/big", "installed");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // A file-size limit stands in for a full disk: writes fail with an errno.
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl = {65536, 65536};
    setrlimit(RLIMIT_FSIZE, &rl);
    _exit(zip_to_file("big.zip", "out/") == EFBIG ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(read_file("out/big"), "installed");
  EXPECT_TRUE(no_temporaries("out"));
}

TEST(ZipWrite, FileToZipFailures) {
  mkdir("folder", 0755);
  write_file("f", "x");
  write_file("damaged", "x");
  std::string ad = apple_double("fork");
  ad[46] = 0x40;  // fork length past the end
  write_file("._damaged", ad);
  const struct {
    const char* src;
    const char* zip;
    int code;
  } cases[] = {
      {"missing", "a.zip", ENOENT},
      {"folder", "b.zip", err_map_failed},
      {"f", "no/such/folder/c.zip", err_zip_create},
      {"damaged", "d.zip", err_bad_apple_double},
  };
  for (const auto& c : cases) EXPECT_EQ(file_to_zip(c.src, c.zip), c.code) << c.src;
  EXPECT_NE(fly_test::log_text().find("file_to_zip failed with error 20003.\nfile = "),
            std::string::npos);
}

TEST(ZipConcurrency, ParallelExtractionsStayApart) {
  constexpr int k_threads = 6;
  for (int t = 0; t < k_threads; ++t) {
    const std::string d = "src" + std::to_string(t);
    mkdir(d.c_str(), 0755);
    write_file(d + "/file", arch_test::pattern(300000 + t, t));
    write_file(d + "/._file", apple_double(arch_test::pattern(1000, t)));
    ASSERT_EQ(file_to_zip(d + "/file", d + ".zip"), 0);
  }
  std::vector<int> results(k_threads, -99);
  std::vector<std::thread> threads;
  for (int t = 0; t < k_threads; ++t)
    threads.emplace_back([t, &results] {
      const std::string d = "src" + std::to_string(t), out = "out" + std::to_string(t) + "/";
      mkdir(out.c_str(), 0755);
      int r = 0;
      for (int i = 0; i < 5 && r == 0; ++i) r = zip_to_file(d + ".zip", out);
      if (r == 0) r = file_to_zip(out + "file", out + "re.zip");
      results[t] = r;
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < k_threads; ++t) {
    const std::string d = "src" + std::to_string(t), out = "out" + std::to_string(t) + "/";
    EXPECT_EQ(results[t], 0) << t;
    EXPECT_EQ(read_file(out + "file"), read_file(d + "/file")) << t;
    EXPECT_EQ(read_file(out + "._file"), read_file(d + "/._file")) << t;
  }
}

TEST(ZipLarge, FilesOf4GiBAndMoreAreRefused) {
  // Sparse: nothing is written but the tail.
  const struct {
    const char* name;
    off_t size;
  } cases[] = {{"at_limit", (off_t(1) << 32) - 1}, {"beyond", (off_t(1) << 32) + 4096}};
  for (const auto& c : cases) {
    const int fd = open(c.name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "tail", 4, c.size - 4), 4);
    close(fd);
    EXPECT_EQ(file_to_zip(c.name, std::string(c.name) + ".zip"), EFBIG) << c.name;
    EXPECT_FALSE(fly_test::file_exists(std::string(c.name) + ".zip")) << c.name;
  }
}
