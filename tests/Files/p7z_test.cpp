#include "Files/p7z.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <vector>

#include "Files/archive_util.h"
#include "Files/errors.h"
#include "support/test_util.h"

using arch_test::py;
using arch_test::tree;
using fly_test::read_file;
using fly_test::write_file;

namespace {
// Packs names (relative to the working folder) with 7zz and the given switches.
void pack(const std::string& archive, const std::string& switches, const std::string& names) {
  ASSERT_EQ(fly_test::run("7zz a -bd -bso0 -bsp0 " + switches + " " + archive + " " + names), 0)
      << archive;
}

std::string methods_of(const std::string& archive) {
  std::string out;
  fly_test::run("7zz l -slt " + archive + " | grep '^Method = '", &out);
  return out;
}

// Something like machine code: call and jump opcodes with addresses, which
// the branch filters rewrite.
std::string code_like(size_t n, unsigned seed) {
  std::string s = arch_test::pattern(n, seed);
  for (size_t i = 0; i + 5 < n; i += 23) s[i] = static_cast<char>(i % 2 ? 0xE8 : 0xE9);
  return s;
}

// Renames an item in place: an archive made with a plain header, the stored
// name replaced by another of the same length and the header CRCs redone.
int rename_item(const std::string& archive, const std::string& from, const std::string& to) {
  return py(R"(
import struct, zlib, sys
p, a, b = )" +
            arch_test::py_bytes(archive) + ", " + arch_test::py_bytes(from) + ", " +
            arch_test::py_bytes(to) + R"(
a, b = a.decode(), b.decode()
d = bytearray(open(p, 'rb').read())
off, size = struct.unpack_from('<QQ', d, 12)
h = 32 + off
assert d[h] == 1, 'header is packed'
a16, b16 = a.encode('utf-16-le'), b.encode('utf-16-le')
assert len(a16) == len(b16)
i = d.find(a16, h)
assert i > 0, 'name not found'
d[i:i + len(a16)] = b16
struct.pack_into('<I', d, 28, zlib.crc32(d[h:h + size]))
struct.pack_into('<I', d, 8, zlib.crc32(d[12:32]))
open(p, 'wb').write(d)
)");
}

bool no_temporaries(const std::string& dir) {
  for (const auto& [name, what] : tree(dir))
    if (name.find(".fly-") != std::string::npos) return false;
  return true;
}
}  // namespace

TEST(P7z, BranchFiltersAndMethods) {
  const struct {
    const char* what;
    const char* switches;
    const char* method;  // expected in the listing
  } cases[] = {
      {"lzma+bcj", "-m0=LZMA -mf=BCJ", "BCJ"},
      {"lzma+bcj2", "-m0=LZMA -mf=BCJ2", "BCJ2"},
      {"lzma2", "-m0=LZMA2 -mf=off", "LZMA2"},
      {"copy", "-m0=Copy", "Copy"},
  };
  write_file("prog", code_like(300000, 5));
  mkdir("out", 0755);
  for (const auto& c : cases) {
    const std::string archive = std::string(c.what) + ".7z";
    pack(archive, c.switches, "prog");
    EXPECT_NE(methods_of(archive).find(c.method), std::string::npos)
        << c.what << ": " << methods_of(archive);
    unlink("out/prog");
    std::string out_name;
    ASSERT_EQ(p7z_to_file(archive, "out/", &out_name, 0), 0) << c.what;
    EXPECT_EQ(read_file("out/prog"), read_file("prog")) << c.what;
    EXPECT_EQ(out_name, "out/prog") << c.what;
  }
}

TEST(P7z, SolidArchiveWithFoldersAndAnEmptyItem) {
  mkdir("d", 0755);
  mkdir("d/sub", 0755);
  write_file("d/a", arch_test::pattern(400000, 1));
  write_file("d/sub/c", std::string(100000, 'c'));
  write_file("d/empty", "");
  write_file("d/sub/z", "last");
  pack("s.7z", "-ms=on -m0=LZMA", "d");
  mkdir("out", 0755);
  // Folders are not made: they must exist below the output folder.
  EXPECT_EQ(p7z_to_file("s.7z", "out/"), ENOENT);
  mkdir("out/d", 0755);
  mkdir("out/d/sub", 0755);
  std::string out_name;
  ASSERT_EQ(p7z_to_file("s.7z", "out/", &out_name, 0), 0);
  EXPECT_EQ(tree("out/d"), tree("d"));
  EXPECT_EQ(out_name.compare(0, 6, "out/d/"), 0) << out_name;  // the last item written
  EXPECT_TRUE(no_temporaries("out"));
}

TEST(P7z, OneFileUnderTheCallersNameAndUtf8Names) {
  mkdir("u", 0755);
  write_file("u/Z\xC3\xBCrich \xE2\x9C\x88.txt",
             "gr\xC3\xBC\xC3\x9F"
             "e");
  pack("u.7z", "", "u");
  mkdir("out", 0755);
  mkdir("out/u", 0755);
  ASSERT_EQ(p7z_to_file("u.7z", "out/"), 0);
  EXPECT_EQ(read_file("out/u/Z\xC3\xBCrich \xE2\x9C\x88.txt"),
            "gr\xC3\xBC\xC3\x9F"
            "e");
  std::string name = "renamed.txt";
  ASSERT_EQ(p7z_to_file("u.7z", "out/", &name, 1), 0);
  EXPECT_EQ(read_file("out/renamed.txt"),
            "gr\xC3\xBC\xC3\x9F"
            "e");
  EXPECT_EQ(name, "out/renamed.txt");
}

TEST(P7z, UnsafeNamesAreRefusedBeforeAnythingIsWritten) {
  const std::string abs = fly_test::sandbox() + "work/outside/evil";
  const std::string placeholder_abs = "X" + abs.substr(1);
  const struct {
    const char* what;
    std::string stored, patched;
  } cases[] = {
      {"dot-dot", "XX/outside/evil", "../outside/evil"},
      {"absolute", placeholder_abs, abs},
      {"inner dot-dot", "a/XX/XX/outside/evil", "a/../../outside/evil"},
      {"backslash", "aXXXXXXXoutsideXevil", "a\\..\\..\\outside\\evil"},
  };
  mkdir("outside", 0755);
  write_file("outside/keep", "keep");
  mkdir("out", 0755);
  for (const auto& c : cases) {
    fly_test::run("rm -rf pack && mkdir -p pack");
    const std::string stored = "pack/" + c.stored;
    fly_test::run("mkdir -p \"$(dirname '" + stored + "')\"");
    write_file(stored, "evil");
    write_file("pack/first.txt", "harmless");
    ASSERT_EQ(fly_test::run("cd pack && 7zz a -bd -bso0 -bsp0 -mhc=off ../t.7z first.txt '" +
                            c.stored + "'"),
              0)
        << c.what;
    ASSERT_EQ(rename_item("t.7z", c.stored, c.patched), 0) << c.what;
    EXPECT_EQ(p7z_to_file("t.7z", "out/"), err_unsafe_path) << c.what;
    EXPECT_TRUE(tree("out").empty()) << c.what;
    EXPECT_EQ(tree("outside").size(), 1u) << c.what;
    unlink("t.7z");
  }
}

TEST(P7z, LinkAtTheOutputPathIsReplacedNotWrittenThrough) {
  write_file("a", "new bytes");
  pack("a.7z", "", "a");
  mkdir("out", 0755);
  write_file("victim", "victim");
  ASSERT_EQ(symlink("../victim", "out/a"), 0);
  ASSERT_EQ(p7z_to_file("a.7z", "out/"), 0);
  EXPECT_FALSE(arch_test::is_link("out/a"));
  EXPECT_EQ(read_file("out/a"), "new bytes");
  EXPECT_EQ(read_file("victim"), "victim");
}

TEST(P7z, DamagedForeignAndMissingArchives) {
  write_file("data.bin", arch_test::pattern(200000, 9));
  write_file("keep.txt", "keep");
  pack("lzma.7z", "-m0=LZMA", "data.bin");
  pack("copy.7z", "-m0=Copy", "data.bin");
  // A flipped byte in the packed data: the decoder fails, or the CRC does.
  ASSERT_EQ(py("for p in ('lzma.7z', 'copy.7z'):\n"
               "    d = bytearray(open(p, 'rb').read()); d[32 + 5000] ^= 0x21\n"
               "    open('bad-' + p, 'wb').write(d)\n"
               "d = open('lzma.7z', 'rb').read()\n"
               "open('cut.7z', 'wb').write(d[:len(d) // 2])\n"),
            0);
  write_file("not.7z", "just some text, no archive");
  write_file("empty.7z", "");
  ASSERT_EQ(fly_test::run("zip -q a.zip keep.txt"), 0);
  mkdir("out", 0755);
  write_file("out/data.bin", "installed");
  const struct {
    const char* archive;
    int code;
  } cases[] = {
      {"bad-lzma.7z", err_damaged_archive},
      {"bad-copy.7z", err_damaged_archive},
      {"cut.7z", err_zip_open},
      {"not.7z", err_zip_open},
      {"empty.7z", err_zip_open},
      {"a.zip", err_zip_open},
      {"missing.7z", ENOENT},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(p7z_to_file(c.archive, "out/"), c.code) << c.archive;
    EXPECT_EQ(read_file("out/data.bin"), "installed") << c.archive;
    EXPECT_TRUE(no_temporaries("out")) << c.archive;
  }
  EXPECT_NE(error_str(err_damaged_archive).find("damaged"), std::string::npos);
}

TEST(P7z, CallbacksReadAndSeek) {
  write_file("f", "0123456789");
  CFileInStream s{fopen("f", "rb")};
  ASSERT_NE(s.File, nullptr);
  char buf[16];
  size_t got = 99;
  EXPECT_EQ(SzFileReadImp(&s, buf, 0, &got), 0);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(SzFileSeekImp(&s, 6), 0);
  EXPECT_EQ(SzFileReadImp(&s, buf, sizeof(buf), &got), 0);  // short: the end
  EXPECT_EQ(std::string(buf, got), "6789");
  EXPECT_EQ(SzFileSeekImp(&s, 1ull << 40), 0);  // beyond 2 GB is a position like any
  EXPECT_EQ(SzFileReadImp(&s, buf, sizeof(buf), nullptr), 0);
  fclose(s.File);
}

TEST(P7z, ParallelExtractionsStayApart) {
  constexpr int k_threads = 6;
  for (int t = 0; t < k_threads; ++t) {
    const std::string n = "f" + std::to_string(t);
    write_file(n, code_like(200000 + t, t));
    pack(n + ".7z", t % 2 ? "-mf=BCJ2" : "-m0=LZMA", n);
    mkdir(("out" + std::to_string(t)).c_str(), 0755);
  }
  std::vector<int> results(k_threads, -99);
  std::vector<std::thread> threads;
  for (int t = 0; t < k_threads; ++t)
    threads.emplace_back([t, &results] {
      int r = 0;
      for (int i = 0; i < 4 && r == 0; ++i)
        r = p7z_to_file("f" + std::to_string(t) + ".7z", "out" + std::to_string(t) + "/");
      results[t] = r;
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < k_threads; ++t) {
    const std::string n = "f" + std::to_string(t);
    EXPECT_EQ(results[t], 0) << t;
    EXPECT_EQ(read_file("out" + std::to_string(t) + "/" + n), read_file(n)) << t;
  }
}
