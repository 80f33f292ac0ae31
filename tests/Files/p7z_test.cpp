#include "Files/p7z.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "Files/archive_util.h"
#include "Files/errors.h"
#include "GenH/shell.h"

using namespace arch_test;

static void pack(const std::string& to, const std::string& switches, const std::string& names) {
  ASSERT_EQ(fly_test::run("7zz a -bd -bso0 -bsp0 " + switches + " " + to + " " + names), 0);
}

// Something like machine code: call and jump opcodes, which the branch filters rewrite.
static std::string code_like(size_t n, unsigned seed) {
  std::string s = pattern(n, seed);
  for (size_t i = 0; i + 5 < n; i += 23) s[i] = static_cast<char>(i % 2 ? 0xE8 : 0xE9);
  return s;
}

TEST(P7z, BranchFiltersAndMethods) {
  write_file("prog", code_like(300000, 5));
  write_file("victim", "victim");
  mkdir("out", 0755);
  for (const auto& [switches, method] : std::initializer_list<std::pair<std::string, std::string>>{
           {"-m0=LZMA -mf=BCJ", "BCJ"}, {"-m0=LZMA -mf=BCJ2", "BCJ2"}, {"-m0=LZMA2", "LZMA2"}}) {
    pack(method + ".7z", switches, "prog");
    fly_test::sh("7zz l -slt " + method + ".7z | grep -q '^Method = .*" + method + "'");
    unlink("out/prog");
    ASSERT_EQ(symlink("../victim", "out/prog"), 0);  // replaced, never written through
    ASSERT_EQ(p7z_to_file(method + ".7z", "out/"), 0) << method;
    EXPECT_TRUE(read_file("out/prog") == read_file("prog")) << method;
    EXPECT_TRUE(read_file("victim") == "victim") << method;
  }
}

TEST(P7z, SolidArchiveWithFoldersAnEmptyItemAndUtf8Names) {
  fly_test::run("mkdir -p d/sub out");
  write_file("d/a", pattern(400000, 1));
  write_file("d/sub/c", std::string(100000, 'c'));
  write_file("d/empty", "");
  write_file("d/sub/Z\xC3\xBCrich \xE2\x9C\x88.txt", "gr\xC3\xBC\xC3\x9F");
  pack("s.7z", "-ms=on -m0=LZMA", "d");
  EXPECT_EQ(p7z_to_file("s.7z", "out/"), ENOENT);  // folders are not made
  fly_test::run("mkdir -p out/d/sub");
  ASSERT_EQ(p7z_to_file("s.7z", "out/"), 0);
  EXPECT_TRUE(tree("out/d") == tree("d"));
  EXPECT_TRUE(no_temporaries("out"));
}

TEST(P7z, UnsafeNamesAreRefusedBeforeAnythingIsWritten) {
  fly_test::run("mkdir -p outside pack/a out && touch outside/keep pack/first.txt");
  write_file("pack/a\\..\\..\\outside\\evil", "evil");
  for (const std::string& name : std::initializer_list<std::string>{
           "../outside/evil", "a/../../outside/evil", fly_test::sandbox() + "work/outside/evil",
           "a\\..\\..\\outside\\evil"}) {
    write_file("outside/evil", "evil");  // packed with its full path, then gone
    fly_test::sh("cd pack && rm -f ../t.7z && 7zz a -bd -bso0 -bsp0 -spf ../t.7z first.txt '" +
                 name + "' && rm ../outside/evil");
    EXPECT_EQ(p7z_to_file("t.7z", "out/"), err_unsafe_path) << name;
    EXPECT_TRUE(tree("out").empty() && tree("outside").size() == 1) << name;
  }
}

TEST(P7z, DamagedForeignAndMissingArchives) {
  write_file("data.bin", pattern(200000, 9));
  pack("lzma.7z", "-m0=LZMA", "data.bin");
  pack("copy.7z", "-m0=Copy", "data.bin");
  // A flipped byte in the packed data: the decoder fails, or the CRC does.
  py("for p in ('lzma.7z', 'copy.7z'):\n"
     "    d = bytearray(open(p, 'rb').read()); d[32 + 5000] ^= 0x21\n"
     "    open('bad-' + p, 'wb').write(d)\n"
     "d = open('lzma.7z', 'rb').read()\n"
     "open('cut.7z', 'wb').write(d[:len(d) // 2])\n");
  write_file("not.7z", "just some text, no archive");
  ASSERT_EQ(fly_test::run("zip -q a.zip data.bin && mkdir out"), 0);
  write_file("out/data.bin", "installed");
  const std::pair<const char*, int> cases[] = {
      {"bad-lzma.7z", err_damaged_archive}, {"bad-copy.7z", err_damaged_archive},
      {"cut.7z", err_zip_open}, {"not.7z", err_zip_open}, {"a.zip", err_zip_open},
      {"missing.7z", ENOENT}};
  for (const auto& [archive, code] : cases) {
    EXPECT_EQ(p7z_to_file(archive, "out/"), code) << archive;
    EXPECT_EQ(tree("out"), entries({{"data.bin", "f:installed"}})) << archive;
  }
}

TEST(Archives, ParallelExtractionsStayApart) {
  constexpr int k_threads = 6;
  std::vector<int> results(k_threads, -99);
  std::vector<std::thread> threads;
  for (int t = 0; t < k_threads; ++t) {
    const std::string d = "d" + std::to_string(t) + "/";
    ASSERT_EQ(fly_test::run("mkdir -p " + d + "out/" + d), 0);
    write_file(d + "f", code_like(300000 + t, t));
    write_file(d + "._f", apple_double(pattern(1000, t)));
    ASSERT_EQ(file_to_zip(d + "f", d + "f.zip"), 0);
    pack(d + "f.7z", t % 2 ? "-mf=BCJ2" : "-m0=LZMA", d + "f");
  }
  for (int t = 0; t < k_threads; ++t)
    threads.emplace_back([d = "d" + std::to_string(t) + "/", &r = results[t]] {
      r = 0;
      for (int i = 0; i < 4 && r == 0; ++i)
        r = zip_to_file(d + "f.zip", d + "out/") || p7z_to_file(d + "f.7z", d + "out/");
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < k_threads; ++t) {
    const std::string d = "d" + std::to_string(t) + "/", out = d + "out/";
    EXPECT_TRUE(results[t] == 0 && read_file(out + "f") == read_file(d + "f") &&
                read_file(out + d + "f") == read_file(d + "f") &&
                read_file(out + "._f") == read_file(d + "._f"))
        << t;
  }
}

TEST(P7zInstallFile, HoldsItsFileAloneAndGivesItTheRowsSpelling) {
  g_case_sensitive = 1;
  write_file("src/tile.dsf", "new tile");
  write_file("src/other.dsf", "other");
  fly_test::sh("cd src && 7zz a -bd -bso0 -bsp0 ../one.7z tile.dsf && 7zz a -bd -bso0 -bsp0 "
               "../two.7z tile.dsf other.dsf");
  write_file("out/TILE.dsf", "old spelling");
  const auto before = tree("out");
  EXPECT_EQ(p7z_install_file("two.7z", "out/Tile.dsf"), err_unsafe_path);
  EXPECT_EQ(tree("out"), before);
  ASSERT_EQ(p7z_install_file("one.7z", "out/Tile.dsf"), 0);
  EXPECT_EQ(tree("out"), entries({{"Tile.dsf", "f:new tile"}}));
}
