#include "Files/launch.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "Files/errors.h"
#include "Linux/lin_media.h"
#include "Linux/lin_sys.h"
#include "UTL/xer.h"
#include "support/test_util.h"

using fly_test::read_file, fly_test::write_file;

// A DOS header whose e_lfanew points at a PE signature and COFF header.
static std::string pe_image(uint32_t pe_at, uint16_t flags, const char* sig = "PE\0\0") {
  std::string f(pe_at + 24 + 40, '\x90');
  f[0] = 'M', f[1] = 'Z';
  for (int i = 0; i < 4; ++i) f[60 + i] = static_cast<char>(pe_at >> (8 * i));
  memcpy(&f[pe_at], sig, 4);
  f[pe_at + 22] = static_cast<char>(flags), f[pe_at + 23] = static_cast<char>(flags >> 8);
  return f;
}

TEST(LargeAddressAware, SetsOnlyTheBitAndRefusesWhatIsNoPeFile) {
  std::string past_end = pe_image(0x80, 0x0102), huge_offset = past_end;
  past_end[61] = 0x10;                        // e_lfanew 0x1080, beyond the file
  huge_offset[63] = static_cast<char>(0xFF);  // 0xFF000080: negative if read signed
  const struct { std::string data, after; int code; } cases[] = {
      {pe_image(64, 0x0102), pe_image(64, 0x0122), 0},
      {pe_image(0x1F8, 0x2122), pe_image(0x1F8, 0x2122), 0},  // already set, high byte kept
      {std::string(80, 't'), "", err_no_mz},
      {"", "", EIO},
      {pe_image(0x80, 0x0102, "NE\0\0"), "", err_no_pe},
      {pe_image(0x80, 0x0102, "PE\0X"), "", err_no_pe},
      {past_end, "", EIO},
      {huge_offset, "", EIO},
      {pe_image(0x80, 0x0102).substr(0, 0x80 + 20), "", EIO},  // COFF header cut
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    write_file("x.exe", cases[i].data);
    EXPECT_EQ(make_file_large_address_aware("x.exe"), cases[i].code) << i;
    EXPECT_EQ(read_file("x.exe"), cases[i].code ? cases[i].data : cases[i].after) << i;
  }
  EXPECT_EQ(make_file_large_address_aware("missing.exe"), ENOENT);
  // Already set: nothing is written, so a rebuild archives the same file and time.
  write_file("x.exe", pe_image(64, 0x0122));
  const timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, "x.exe", old_times, 0), 0);
  EXPECT_EQ(make_file_large_address_aware("x.exe"), 0);
  struct stat st;
  ASSERT_EQ(stat("x.exe", &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

static void make_bundle(const std::string& app, const std::string& exe) {
  write_file(app + "/Contents/Info.plist",
             "<plist><dict>\n\t<key>CFBundleName</key>\n\t<string>Other</string>\n"
             "\t<key>CFBundleExecutable</key>\n\t<string>" + exe + "</string>\n</dict></plist>\n");
}

TEST(Launch, BundleGetsPathArgumentAndTheInstallerExitsWithOne) {
  const std::string record = fly_test::sandbox() + "args.txt";
  make_bundle("Fake Sim.app", "fake &amp; sim");
  const std::string exe = "Fake Sim.app/Contents/MacOS/fake & sim";
  write_file(exe, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > '" + record + ".part'\nmv '" + record +
                      ".part' '" + record + "'\n");
  chmod(exe.c_str(), 0755);
  EXPECT_EXIT(launch_app("Fake Sim.app/", "/home/u/Fly vane 9/", 1), ::testing::ExitedWithCode(1),
              "");
  // The launched program runs on after the launching process has gone.
  for (int i = 0; i < 1000 && !fly_test::file_exists(record); ++i) usleep(20000);
  EXPECT_EQ(read_file(record), exe + "\n-path\n/home/u/Fly vane 9/\n");
}

TEST(Launch, FailedExecReturnsItsErrorWithoutClosingDown) {
  write_file("not-executable", "#!/bin/sh\necho\n");
  make_bundle("Broken.app", "gone");  // names an executable it lacks
  LIN_make_dirs("just-a-folder");
  // Output buffered before the launch is written once, by this process alone:
  // the failing child must end without flushing its copy of the buffers.
  FILE* pending = fopen("pending.txt", "w");
  ASSERT_NE(pending, nullptr);
  setvbuf(pending, nullptr, _IOFBF, 4096);
  fputs("written once\n", pending);
  auto fails_with = [](const char* app, int code) {
    EXPECT_EQ(launch_app(app, "arg", 1), code) << app;
    EXPECT_TRUE(xer.is_open() && waitpid(-1, nullptr, WNOHANG) == -1) << app;
  };
  for (const char* app : {"missing-program", "Broken.app/", ""}) fails_with(app, ENOENT);
  for (const char* app : {"not-executable", "just-a-folder/"}) fails_with(app, EACCES);
  fclose(pending);
  EXPECT_EQ(read_file("pending.txt"), "written once\n");
}

static struct {
  std::vector<std::string> unmounted, ejected;
  int unmount_result = 0, eject_result = 0;
} g_calls;
static int rec_unmount(const LIN_mount& m) {
  return g_calls.unmounted.push_back(m.mount_point), g_calls.unmount_result;
}
static int rec_eject(const std::string& dev) {
  return g_calls.ejected.push_back(dev), g_calls.eject_result;
}

class Eject : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls = {};
    LIN_eject_ops_in_use = {rec_unmount, rec_eject};
    base_ = std::filesystem::canonical(fly_test::sandbox()).string();
    for (const char* d : {"/media/FLY DISC/Flyvane 9", "/media/STICK", "/media/image", "/data"})
      LIN_make_dirs(base_ + d);
    LIN_sysfs_root = base_ + "/sys";  // empty: only the device numbers speak
    LIN_mountinfo_path = base_ + "/mountinfo";
    write_file(LIN_mountinfo_path,
               "26 1 254:1 / / rw - ext4 /dev/vda1 rw\n50 26 11:0 / " + base_ +
                   "/media/FLY\\040DISC ro - iso9660 /dev/sr0 ro\n51 26 7:3 / " + base_ +
                   "/media/image ro - iso9660 /dev/loop3 ro\n52 26 0:44 / " + base_ +
                   "/data rw - tmpfs tmpfs rw\n");
  }
  std::string base_;
};

TEST_F(Eject, OutcomesByVolumeAndStep) {
  const struct { std::string path; int unmount, eject, code; size_t unmounts, ejects; } cases[] = {
      {base_ + "/media/image/", 0, 0, 0, 1, 0},      // an image is only unmounted
      {base_ + "/media/STICK", 0, 0, ENODEV, 0, 0},  // the system disk stays mounted
      {base_ + "/data", 0, 0, ENODEV, 0, 0},         // so does a tmpfs
      {base_ + "/media/FLY DISC", EBUSY, 0, EBUSY, 1, 0},
      {base_ + "/media/FLY DISC", 0, EIO, EIO, 1, 1},
      {base_ + "/media/NONE/", 0, 0, ENOENT, 0, 0},
  };
  for (const auto& c : cases) {
    g_calls = {{}, {}, c.unmount, c.eject};
    EXPECT_EQ(eject_dvd(c.path), c.code) << c.path;
    EXPECT_EQ(g_calls.unmounted.size(), c.unmounts) << c.path << c.code;
    EXPECT_EQ(g_calls.ejected.size(), c.ejects) << c.path << c.code;
  }
  g_calls = {};
  ASSERT_EQ(symlink((base_ + "/media/FLY DISC").c_str(), "disc-link"), 0);
  EXPECT_EQ(eject_dvd("disc-link/Flyvane 9/"), 0);
  EXPECT_EQ(g_calls.unmounted, std::vector<std::string>{base_ + "/media/FLY DISC"});
  EXPECT_EQ(g_calls.ejected, std::vector<std::string>{"/dev/sr0"});
  EXPECT_TRUE(APL_is_dvd_disk(50) && !APL_is_dvd_disk(51) && !APL_is_dvd_disk(77));
}

TEST_F(Eject, RealTableNeverUnmountsTheSystemDisks) {
  LIN_mountinfo_path = "/proc/self/mountinfo";
  LIN_sysfs_root = "/sys";
  for (const std::string& p : {fly_test::sandbox(), std::string("/"), std::string("/proc/self/")})
    EXPECT_EQ(eject_dvd(p), ENODEV) << p;
  EXPECT_TRUE(g_calls.unmounted.empty() && g_calls.ejected.empty());
}

TEST(LoadBundle, LoadsOrGivesItsCodeSilentlyOrAsAFatalAlert) {
  CFBundleRef lib = nullptr;
  ASSERT_EQ(load_bundle_by_filename("libm.so.6", 1, &lib), 0);
  EXPECT_NE(dlsym(lib, "cos"), nullptr);
  dlclose(lib);
  write_file("not-a-library.so", "plain text\n");
  for (const auto& [name, code] : std::initializer_list<std::pair<const char*, OSStatus>>{
           {"NoSuchThing.framework", -54}, {"./not-a-library.so", -37}, {"", -43}, {nullptr, -50}})
    EXPECT_EQ(load_bundle_by_filename(name, 0, &lib), code) << code;
  EXPECT_FATAL_ALERT(load_bundle_by_filename("./not-a-library.so", 1, &lib),
                     "Could not load code for framework");
}
