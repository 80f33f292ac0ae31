// A destination that refuses modes and times, as FAT and exFAT (EPERM) and
// FUSE drivers (ENOSYS) do, by the preloaded shim.
#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "Files/archive_util.h"
#include "Files/errors.h"
#include "Files/file_ops.h"
#include "Files/p7z.h"
#include "support/nomode.h"

using namespace arch_test;

namespace {
int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

time_t mtime_of(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0 ? st.st_mtime : 0;
}

// A program, a file and a link, packed with their modes and an old time.
void make_archives() {
  write_file("src/tool", "#!/bin/sh\necho tool\n");
  write_file("src/data.txt", pattern(300000, 5));
  chmod("src/tool", 0755);
  chmod("src/data.txt", 0600);
  fly_test::sh("touch -d '2019-11-03 14:07:52' src/tool src/data.txt && ln -s tool src/lnk");
  for (const char* n : {"tool", "data.txt", "lnk"})
    ASSERT_EQ(file_to_zip(std::string("src/") + n, std::string(n) + ".zip"), 0) << n;
  fly_test::sh("cd src && 7zz a -t7z -bso0 -bsp0 ../data.7z data.txt");
}
}  // namespace

// Whole files are kept with the volume's own modes and times, whichever of
// the two refusals the volume gives; each install logs one line for modes and
// one for times however many files it writes. Links still fail.
TEST(NoModes, WholeFilesAreKeptAndTheRefusalIsLoggedOncePerInstall) {
  if (fly_test::ran_in_nomode_child()) return;
  make_archives();
  const std::string out = fly_test::sandbox() + "work/out/";
  const time_t start = time(nullptr);
  int installs = 0;
  for (const int err : {EPERM, ENOSYS}) {
    SCOPED_TRACE(err);
    reset_refusal_notes();
    ++installs;
    fly_test::run("rm -rf out && mkdir -p out/sub");
    fly_test::refuse_modes_below(out, err, true);
    ASSERT_EQ(zip_to_file("tool.zip", "out/"), 0);
    ASSERT_EQ(zip_install_file("data.txt.zip", "out/data.txt"), 0);
    ASSERT_EQ(zip_to_file("tool.zip", "out/sub/"), 0);  // a second file, no second line
    ASSERT_EQ(p7z_install_file("data.7z", "out/sub/data.txt"), 0);
    EXPECT_EQ(copy_file("src/tool", "out/copied"), 0);
    EXPECT_EQ(make_file_executable("out/data.txt"), err);  // the caller hears of it
    EXPECT_EQ(zip_to_file("lnk.zip", "out/"), EPERM);
    EXPECT_EQ(tree("out"), entries({{"tool", "f:" + read_file("src/tool")},
                                    {"data.txt", "f:" + read_file("src/data.txt")},
                                    {"sub", "d"},
                                    {"sub/tool", "f:" + read_file("src/tool")},
                                    {"sub/data.txt", "f:" + read_file("src/data.txt")},
                                    {"copied", "f:" + read_file("src/tool")}}));
    // The shim did refuse: nothing has the archive's mode or time.
    EXPECT_EQ(mode_of("out/tool") & 0111, 0u);
    EXPECT_NE(mode_of("out/data.txt"), 0600u);
    EXPECT_GE(mtime_of("out/tool"), start);
    const std::string log = fly_test::log_text();
    EXPECT_EQ(count_of(log, "WARNING: the destination keeps no file modes"), installs) << log;
    EXPECT_EQ(count_of(log, "WARNING: the destination keeps no file times"), installs) << log;
  }
  // Outside the prefix modes and times hold as ever.
  fly_test::run("mkdir elsewhere");
  ASSERT_EQ(zip_to_file("tool.zip", "elsewhere/"), 0);
  EXPECT_EQ(mode_of("elsewhere/tool"), 0755u);
  EXPECT_LT(mtime_of("elsewhere/tool"), start);
}

// A mode or time call that fails otherwise (a failing disk) still fails the
// entry, and the installed file stays as it was.
TEST(NoModes, OtherFailuresStillFailTheEntry) {
  if (fly_test::ran_in_nomode_child()) return;
  make_archives();
  write_file("out/tool", "installed");
  fly_test::refuse_modes_below(fly_test::sandbox() + "work/out/", EIO);
  EXPECT_EQ(zip_to_file("tool.zip", "out/"), EIO);
  // An entry with DOS bits only sets no mode: the failing time call ends it.
  py("import zipfile\nz = zipfile.ZipFile('plain.zip', 'w')\n"
     "zi = zipfile.ZipInfo('tool', date_time=(2020, 5, 17, 10, 20, 30))\n"
     "zi.external_attr = 0x20\nz.writestr(zi, b'dos')\nz.close()\n");
  EXPECT_EQ(zip_to_file("plain.zip", "out/"), -1);
  EXPECT_EQ(tree("out"), entries({{"tool", "f:installed"}}));
  EXPECT_EQ(count_of(fly_test::log_text(), "keeps no file"), 0);
}
