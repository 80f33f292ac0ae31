#include "Files/zip.h"

#include <signal.h>
#include <sys/resource.h>

#include <cerrno>

#include "Files/archive_util.h"
#include "Files/errors.h"
#include "GenH/shell.h"

using namespace arch_test;

// Python that builds zips: mk(path, [(name, data[, attr[, method]]), ...]).
static void make_zip(const std::string& body) {
  py(R"(
import zipfile, struct
def mk(path, entries):
    with zipfile.ZipFile(path, 'w') as z:
        for e in entries:
            zi = zipfile.ZipInfo(e[0], date_time=(2020, 5, 17, 10, 20, 30))
            zi.external_attr = e[2] if len(e) > 2 else 0o100644 << 16
            zi.compress_type = e[3] if len(e) > 3 else zipfile.ZIP_DEFLATED
            z.writestr(zi, e[1])
LINK = 0xA1ED0000
)" + body);
}

TEST(ZipRoundTrip, FilesKeepBytesModesAndTimes) {
  fly_test::run("mkdir src out");
  write_file("victim", "victim");
  const struct { std::string name; int size; mode_t mode; } cases[] = {
      {"empty.txt", 0, 0644}, {"tool", 700001, 0755}, {"big.dat", 3 << 20, 0600}};
  for (const auto& [name, size, mode] : cases) {
    const std::string src = "src/" + name, zip = name + ".zip", out = "out/" + name;
    write_file(src, pattern(size, size));
    chmod(src.c_str(), mode);
    fly_test::run("touch -d '2019-11-03 14:07:52' " + src);
    ASSERT_EQ(file_to_zip(src, zip), 0) << name;
    const std::string listing = fly_test::sh("unzip -Z -T " + zip + " && unzip -tq " + zip);
    EXPECT_NE(listing.find(" defN 20191103.140752 " + name + "\n"), std::string::npos) << listing;
    py("import zipfile\ni = zipfile.ZipFile('" + zip + "').infolist()\n" +
       "assert len(i) == 1 and i[0].external_attr >> 16 == " + std::to_string(S_IFREG | mode));
    ASSERT_EQ(symlink("../victim", out.c_str()), 0);  // replaced, never written through
    ASSERT_EQ(zip_to_file(zip, "out/"), 0) << name;
    EXPECT_EQ(read_file(out), read_file(src)) << name;
    EXPECT_EQ(mode_of(out), mode) << name;
    EXPECT_EQ(std::filesystem::last_write_time(out), std::filesystem::last_write_time(src)) << name;
  }
  EXPECT_EQ(read_file("victim"), "victim");
}

TEST(ZipRoundTrip, LinksAndForkSidecars) {
  fly_test::run("mkdir src out");
  ASSERT_EQ(symlink("Versions/Current/Framework", "lnk"), 0);
  write_file("src/f.dat", "data fork");
  write_file("src/._f.dat", apple_double(pattern(5000, 7)));
  ASSERT_EQ(file_to_zip("lnk", "lnk.zip"), 0);
  ASSERT_EQ(file_to_zip("src/f.dat", "f.zip"), 0);
  py("import zipfile\nz = zipfile.ZipFile('lnk.zip')\ni = z.infolist()\n"
     "assert len(i) == 1 and i[0].external_attr == 0xA1ED0000 and i[0].compress_type == 0\n"
     "assert z.read('lnk') == b'Versions/Current/Framework'\n"
     "z = zipfile.ZipFile('f.zip')\ni = z.infolist()\n"
     "assert [e.filename for e in i] == ['f.dat', '__MACOSX/._f.dat'], i\n"
     "assert i[1].external_attr == 0o100644 << 16\n"
     "assert z.read(i[1]) == open('src/._f.dat', 'rb').read()\n");
  EXPECT_EQ(fly_test::run("unzip -tq lnk.zip && unzip -tq f.zip"), 0);
  ASSERT_EQ(symlink("elsewhere", "out/lnk"), 0);  // a link in the way is replaced
  ASSERT_EQ(zip_to_file("lnk.zip", "out/"), 0);
  ASSERT_EQ(zip_to_file("f.zip", "out/"), 0);
  EXPECT_TRUE(tree("out") == entries({{"lnk", "l:Versions/Current/Framework"},
                                      {"f.dat", "f:data fork"},
                                      {"._f.dat", "f:" + read_file("src/._f.dat")}}));
}

// Other tools see archives made on Unix with UTF-8 names: unzip and 7zz give
// the same names, bytes, modes and links as zip_to_file.
TEST(ZipForeign, UnzipAnd7zzUnpackOurArchivesAlike) {
  const struct { std::string name; mode_t mode; } files[] = {
      {"tool", 0755}, {"plain.txt", 0644}, {"secret", 0600}, {"\xc3\x9cnic\xc3\xb8" "d\xc3\xa9 name.txt", 0644},
      {"\xd0\xba\xd0\xb0\xd1\x80\xd1\x82\xd0\xb0.dds", 0640}};
  fly_test::run("mkdir src zips ours unzip 7zz");
  std::vector<std::string> names;
  for (const auto& [name, mode] : files) {
    write_file("src/" + name, pattern(3000, mode));
    chmod(("src/" + name).c_str(), mode);
    names.push_back(name);
  }
  ASSERT_EQ(symlink("Versions/Current/Lib", "src/lib link"), 0);
  ASSERT_EQ(symlink("\xc3\x9cnic\xc3\xb8" "d\xc3\xa9 name.txt", "src/to_named"), 0);
  names.push_back("lib link"), names.push_back("to_named");
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string zip = "zips/" + std::to_string(i) + ".zip";
    ASSERT_EQ(file_to_zip("src/" + names[i], zip), 0) << names[i];
    ASSERT_EQ(zip_to_file(zip, "ours/"), 0) << names[i];
    EXPECT_EQ(fly_test::run("LANG=C.UTF-8 unzip -q " + zip + " -d unzip"), 0) << names[i];
    EXPECT_EQ(fly_test::run("7zz x -y -bso0 -bsp0 " + zip + " -o7zz"), 0) << names[i];
  }
  const entries ours = tree("ours");
  EXPECT_EQ(ours, tree("src"));
  for (const char* other : {"unzip", "7zz"}) {
    EXPECT_EQ(tree(other), ours) << other;
    for (const std::string& n : names)
      EXPECT_EQ(mode_of(std::string(other) + "/" + n) & 0777, mode_of("ours/" + n) & 0777)
          << other << " " << n;
  }
  for (const auto& [name, mode] : files) EXPECT_EQ(mode_of("ours/" + name), mode) << name;
}

TEST(ZipForeign, ZipDashYTreeWithoutFolderEntriesUnpacks) {
  write_file("d/sub/tool", "#!/bin/sh\n");
  write_file("d/data", pattern(100000, 3));
  ASSERT_EQ(fly_test::run("mkdir out && ln -s sub/tool d/link && zip -qryD y.zip d"), 0);
  ASSERT_EQ(zip_to_file("y.zip", "out/"), 0);
  EXPECT_EQ(tree("out/d"), tree("d"));
}

TEST(ZipDamage, BadEntriesLeaveTheInstalledFile) {
  make_zip("mk('good.zip', [('data.bin', " + py_bytes(pattern(50000, 1)) +
           ", 0o100644 << 16, zipfile.ZIP_STORED)])\n" + R"(
d = bytearray(open('good.zip', 'rb').read())
i = zipfile.ZipFile('good.zip').getinfo('data.bin')
e = bytearray(d); e[i.header_offset + 30 + 8 + 1000] ^= 0x40
open('flipped.zip', 'wb').write(e)
# A size larger than the data, in both headers: the entry runs short.
e = bytearray(d)
struct.pack_into('<I', e, i.header_offset + 22, i.file_size + 10)
struct.pack_into('<I', e, d.find(b'PK\x01\x02') + 24, i.file_size + 10)
open('short.zip', 'wb').write(e)
)");
  write_file("not.zip", "this is no zip archive at all");
  write_file("out/data.bin", "installed");
  const std::pair<const char*, int> cases[] = {
      {"flipped.zip", UNZ_CRCERROR}, {"short.zip", err_zip_short_read},
      {"missing.zip", err_zip_open}, {"not.zip", err_zip_open}};
  for (const auto& [zip, code] : cases) {
    EXPECT_EQ(zip_to_file(zip, "out/"), code) << zip;
    EXPECT_EQ(tree("out"), entries({{"data.bin", "f:installed"}})) << zip;
  }
}

TEST(ZipSafety, TraversalIsRefusedBeforeAnythingIsWritten) {
  g_case_sensitive = 1;  // names may be case-repaired onto what is on disk
  write_file("outside/keep", "keep");
  // Each case follows a harmless entry; out/sub is a link to outside.
  make_zip("o = '" + fly_test::sandbox() + "work/outside'" + R"(
cases = [[('../evil', b'x')], [(o + '/evil', b'x')], [('a/../../evil', b'x')],
    [('a/./../../evil', b'x')], [('a\\..\\..\\evil', b'x')], [('../evil/', b'', 0x10)],
    [('__MACOSX/../../evil', b'x')], [('lnk', o.encode(), LINK), ('lnk/evil', b'x')],
    [('lnk', b'../outside', LINK), ('lnk/evil', b'x')],
    [('lnk/evil', b'x'), ('lnk', b'../outside', LINK)],
    [('LNK', b'../outside', LINK), ('lnk/evil', b'x')],
    [('lnk', b'../outside', LINK), ('__MACOSX/lnk/._keep', b'x')],
    [('sub/evil', b'x')], [('SUB/evil', b'x')]]
for i, c in enumerate(cases): mk('t%d.zip' % i, [('first.txt', b'harmless')] + c)
)");
  mkdir("out", 0755);
  ASSERT_EQ(symlink("../outside", "out/sub"), 0);
  const auto before = tree(".");
  for (int i = 0; i < 13; ++i) {
    EXPECT_EQ(zip_to_file("t" + std::to_string(i) + ".zip", "out/"), err_unsafe_path) << i;
    EXPECT_EQ(tree("."), before) << i;
  }
  // Spelt otherwise, the link is not taken for the folder: a real one is made beside it.
  EXPECT_EQ(zip_to_file("t13.zip", "out/"), 0);
  EXPECT_EQ(read_file("out/SUB/evil"), "x");
  EXPECT_EQ(tree("outside"), entries({{"keep", "f:keep"}}));
  EXPECT_THAT(fly_test::log_text(), HasSubstr("Zip to file refused the unsafe path \"../evil\""));
}

TEST(ZipAppleDouble, TablesAreBoundChecked) {
  auto with = [](std::string s, size_t at, std::string bytes) { return s.replace(at, 2, bytes); };
  const std::string good = apple_double("fork bytes");
  const std::pair<std::string, int> cases[] = {
      {good, 0},
      {with(good.substr(0, 26), 24, std::string(2, 0)), 0},  // no entries
      {with(good, 2, "\x16\x08"), err_bad_apple_double},     // magic
      {good.substr(0, 24), err_bad_apple_double},
      {with(good.substr(0, 30), 24, "\xFF\xFF"), err_bad_apple_double},  // count
      {with(good, 24, std::string("\x01\x2C", 2)), err_bad_apple_double},
      {with(good, 44, std::string("\x7F\0", 2)), err_bad_apple_double},  // offset
      {with(good, 46, std::string("\x10\0", 2)), err_bad_apple_double},  // length
  };
  for (const auto& [bytes, code] : cases) {
    fly_test::run("rm -rf out; mkdir out");
    // Only the leading "._" of the last component names the data file.
    make_zip("mk('f.zip', [('a._b', b'data'), ('__MACOSX/._a._b', " + py_bytes(bytes) + ", 0)])\n");
    EXPECT_EQ(zip_to_file("f.zip", "out/"), code) << py_bytes(bytes);
    EXPECT_EQ(tree("out").count("._a._b") ? read_file("out/._a._b") : "none",
              code ? "none" : bytes);
    EXPECT_TRUE(no_temporaries("out"));
  }
}

TEST(ZipNames, LongNamesAreSizedFromTheEntry) {
  const std::string name = std::string(200, 'd') + "/" + std::string(230, 'e');
  make_zip("mk('l.zip', [('" + name + "', b'long')])\n");
  mkdir("out", 0755);
  std::string got;
  ASSERT_EQ(zip_to_file("l.zip", "out/", &got, 0), 0);
  EXPECT_EQ(got, name);
  EXPECT_EQ(read_file("out/" + name), "long");
}

TEST(ZipWrite, ShortWriteReportsTheSystemError) {
  make_zip("mk('big.zip', [('big', b'\\0' * 2000000)])\n");
  write_file("out/big", "installed");
  const struct rlimit rl = {65536, 65536};  // a file-size limit stands in for a full disk
  EXPECT_EXIT(signal(SIGXFSZ, SIG_IGN); setrlimit(RLIMIT_FSIZE, &rl);
              _exit(zip_to_file("big.zip", "out/") == EFBIG ? 0 : 1), ::testing::ExitedWithCode(0),
              "");
  EXPECT_EQ(tree("out"), entries({{"big", "f:installed"}}));
}

TEST(ZipWrite, FileToZipFailures) {
  write_file("f", "x");
  write_file("damaged", "x");
  std::string ad = apple_double("fork");
  write_file("._damaged", ad.replace(46, 1, "\x40"));  // fork length past the end
  // Sparse files of 4 GiB and more: minizip could not read such archives back.
  fly_test::run("truncate -s 4294967295 at_limit && truncate -s 4294971392 beyond");
  for (const char* big : {"at_limit", "beyond"}) EXPECT_EQ(file_to_zip(big, "b.zip"), EFBIG) << big;
  EXPECT_EQ(file_to_zip("damaged", "d.zip"), err_bad_apple_double);
  EXPECT_EQ(file_to_zip("f", "no/such/folder/c.zip"), err_zip_create);
}

TEST(ZipInstallFile, HoldsItsFileAloneAndGivesItTheRowsSpelling) {
  g_case_sensitive = 1;
  make_zip("fork = " + py_bytes(apple_double("fork")) + R"(
mk('one.zip', [('readme.txt', b'new'), ('__MACOSX/', b'', 0x10), ('__MACOSX/._readme.txt', fork)])
mk('extra.zip', [('README.txt', b'x'), ('other.txt', b'x')])
mk('link.zip', [('lnk', b'../../outside', LINK), ('README.txt', b'x')])
mk('sub.zip', [('sub/', b'', 0x10), ('README.txt', b'x')])
mk('twice.zip', [('readme.txt', b'x'), ('README.txt', b'y')])
)");
  write_file("out/Readme.txt", "old spelling");
  write_file("out/._Readme.txt", "its old fork");
  write_file("out/keep.txt", "keep");
  const auto before = tree("out");
  for (const char* zip : {"extra.zip", "link.zip", "sub.zip", "twice.zip"}) {
    EXPECT_EQ(zip_install_file(zip, "out/README.txt"), err_unsafe_path) << zip;
    EXPECT_EQ(tree("out"), before) << zip;
  }
  ASSERT_EQ(zip_install_file("one.zip", "out/README.txt"), 0);
  EXPECT_EQ(tree("out"), entries({{"README.txt", "f:new"},
                                  {"._README.txt", "f:" + apple_double("fork")},
                                  {"keep.txt", "f:keep"}}));
}
