#include "Files/launch.h"

#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "Files/errors.h"
#include "Linux/lin_media.h"
#include "Linux/lin_sys.h"
#include "UTL/xer.h"
#include "support/test_util.h"

using fly_test::read_file;
using fly_test::write_file;

namespace {

// ---- the large-address-aware flag ------------------------------------------

// A DOS header whose e_lfanew points at a PE signature and COFF header.
std::string pe_image(uint32_t pe_at, uint16_t characteristics, const char* sig = "PE\0\0") {
  std::string f(pe_at + 24 + 40, '\x90');
  f[0] = 'M';
  f[1] = 'Z';
  for (int i = 0; i < 4; ++i) f[60 + i] = static_cast<char>((pe_at >> (8 * i)) & 0xFF);
  memcpy(&f[pe_at], sig, 4);
  f[pe_at + 4] = 0x4C;  // i386
  f[pe_at + 5] = 0x01;
  f[pe_at + 22] = static_cast<char>(characteristics & 0xFF);
  f[pe_at + 23] = static_cast<char>(characteristics >> 8);
  return f;
}

TEST(LargeAddressAware, SetsOnlyTheBitAndIsIdempotent) {
  for (uint32_t at : {64u, 0x80u, 0x1F8u}) {
    const std::string before = pe_image(at, 0x0102);
    write_file("a.exe", before);
    ASSERT_EQ(make_file_large_address_aware("a.exe"), 0) << at;
    std::string want = before;
    want[at + 22] = 0x22;  // 0x0102 | 0x0020
    EXPECT_EQ(read_file("a.exe"), want) << at;
    ASSERT_EQ(make_file_large_address_aware("a.exe"), 0) << at;
    EXPECT_EQ(read_file("a.exe"), want) << at;
  }
  // The high byte of Characteristics is left alone.
  write_file("b.exe", pe_image(0x80, 0x2122));
  ASSERT_EQ(make_file_large_address_aware("b.exe"), 0);
  EXPECT_EQ(read_file("b.exe"), pe_image(0x80, 0x2122));
}

TEST(LargeAddressAware, RefusesWhatIsNoPeFileAndLeavesItIntact) {
  std::string dos_only = pe_image(0x80, 0x0102, "NE\0\0");
  std::string bad_sig_tail = pe_image(0x80, 0x0102, "PE\0X");
  std::string past_end = pe_image(0x80, 0x0102);
  past_end[61] = 0x10;  // e_lfanew 0x1080, beyond the file
  std::string huge_offset = pe_image(0x80, 0x0102);
  huge_offset[63] = static_cast<char>(0xFF);  // 0xFF000080: would be negative as signed
  std::string pe_cut = pe_image(0x80, 0x0102).substr(0, 0x80 + 20);
  struct {
    const char* what;
    std::string data;
    int code;
  } cases[] = {
      {"text", "This is a plain text file, long enough to hold a DOS header of 64 bytes.\n",
       err_no_mz},
      {"empty", "", EIO},
      {"short MZ", "MZ\x90\x00", EIO},
      {"DOS only", dos_only, err_no_pe},
      {"signature tail", bad_sig_tail, err_no_pe},
      {"offset past end", past_end, EIO},
      {"huge offset", huge_offset, EIO},
      {"COFF header cut", pe_cut, EIO},
  };
  for (const auto& c : cases) {
    write_file("x.exe", c.data);
    EXPECT_EQ(make_file_large_address_aware("x.exe"), c.code) << c.what;
    EXPECT_EQ(read_file("x.exe"), c.data) << c.what;
  }
  EXPECT_EQ(make_file_large_address_aware("missing.exe"), ENOENT);
  EXPECT_EQ(error_str(make_file_large_address_aware("missing.exe")), "No such file or directory");
}

// ---- bundles and launching ------------------------------------------------

std::string plist(const std::string& exe_entry) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
         "\t<key>CFBundleName</key>\n\t<string>Other</string>\n" +
         exe_entry + "</dict>\n</plist>\n";
}

// Records its arguments, one a line, and the signal state it started with.
std::string recorder_script(const std::string& out) {
  return "#!/bin/sh\n"
         "{ printf '%s\\n' \"$0\" \"$@\"; grep -E '^Sig(Blk|Ign)' /proc/$$/status; } > '" +
         out + ".part'\nmv '" + out + ".part' '" + out + "'\n";
}

void make_exe(const std::string& path, const std::string& text) {
  write_file(path, text);
  chmod(path.c_str(), 0755);
}

// The launched program runs on after the launching process has gone.
std::string wait_for(const std::string& path) {
  for (int i = 0; i < 1000 && !fly_test::file_exists(path); ++i) usleep(20000);
  return read_file(path);
}

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  std::string l;
  while (std::getline(in, l)) v.push_back(l);
  return v;
}

TEST(Bundle, ExecutableFromInfoPlist) {
  LIN_make_dirs("A.app/Contents/MacOS");
  write_file("A.app/Contents/Info.plist",
             plist("\t<key>CFBundleExecutable</key>\n\t<string>Fly &amp; Go</string>\n"));
  LIN_make_dirs("B.app/Contents");
  write_file("B.app/Contents/Info.plist", plist(""));  // no executable named: the bundle's name
  LIN_make_dirs("C.bundle/Contents");
  write_file("C.bundle/Contents/Info.plist", plist("<key>CFBundleExecutable</key><string/>"));
  LIN_make_dirs("NoPlist.app/Contents/MacOS");
  write_file("plain", "x");
  struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"A.app", "A.app/Contents/MacOS/Fly & Go"},
      {"B.app", "B.app/Contents/MacOS/B"},
      {"C.bundle", "C.bundle/Contents/MacOS/C"},
      {"NoPlist.app", "NoPlist.app"},
      {"plain", "plain"},
      {"missing", "missing"},
  };
  for (const auto& c : cases) EXPECT_EQ(APL_bundle_executable(c.in), c.out) << c.in;
}

class Launch : public ::testing::Test {
 protected:
  void SetUp() override {
    record_ = fly_test::sandbox() + "args.txt";
    LIN_make_dirs("Fake Sim.app/Contents/MacOS");
    write_file("Fake Sim.app/Contents/Info.plist",
               plist("\t<key>CFBundleExecutable</key>\n\t<string>fake-sim</string>\n"));
    make_exe("Fake Sim.app/Contents/MacOS/fake-sim", recorder_script(record_));
  }
  std::string record_;
};

TEST_F(Launch, BundleGetsPathArgumentAndInstallerExitsWithOne) {
  EXPECT_EXIT(launch_app("Fake Sim.app/", "/home/u/Fly vane 9/", 1), ::testing::ExitedWithCode(1),
              "");
  const std::vector<std::string> got = lines(wait_for(record_));
  ASSERT_GE(got.size(), 3u);
  EXPECT_EQ(got[0], "Fake Sim.app/Contents/MacOS/fake-sim");
  EXPECT_EQ(got[1], "-path");
  EXPECT_EQ(got[2], "/home/u/Fly vane 9/");
  EXPECT_NE(fly_test::log_text().find(
                "Launching: Fake Sim.app/Contents/MacOS/fake-sim with /home/u/Fly vane 9/\n"),
            std::string::npos);
}

TEST_F(Launch, PlainExecutableWithoutArgumentsAndWithAFreshSignalState) {
  make_exe("runme", recorder_script(record_));
  // The installer ignores SIGPIPE and its threads may block signals; the
  // program it starts must not inherit either.
  EXPECT_EXIT(
      {
        signal(SIGPIPE, SIG_IGN);
        sigset_t s;
        sigemptyset(&s);
        sigaddset(&s, SIGUSR1);
        sigprocmask(SIG_BLOCK, &s, nullptr);
        launch_app("runme", "", 0);
      },
      ::testing::ExitedWithCode(1), "");
  const std::vector<std::string> got = lines(wait_for(record_));
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], "runme");
  for (size_t i = 1; i < 3; ++i) {
    const unsigned long long mask =
        strtoull(got[i].substr(got[i].find(':') + 1).c_str(), nullptr, 16);
    EXPECT_EQ(mask & ((1ull << (SIGPIPE - 1)) | (1ull << (SIGUSR1 - 1))), 0u) << got[i];
  }
}

TEST_F(Launch, FailedExecReturnsItsErrorWithoutClosingDown) {
  write_file("not-executable", "#!/bin/sh\necho\n");
  chmod("not-executable", 0644);
  LIN_make_dirs("Broken.app/Contents/MacOS");  // names an executable it lacks
  write_file("Broken.app/Contents/Info.plist",
             plist("<key>CFBundleExecutable</key><string>gone</string>"));
  LIN_make_dirs("just-a-folder");
  struct {
    const char* app;
    int code;
  } cases[] = {
      {"missing-program", ENOENT},
      {"not-executable", EACCES},
      {"Broken.app/", ENOENT},
      {"just-a-folder/", EACCES},
      {"", ENOENT},
  };
  // Output buffered before the launch must be written once, by this process
  // alone: the failing child may not flush its copy of the buffers.
  FILE* pending = fopen("pending.txt", "w");
  ASSERT_NE(pending, nullptr);
  setvbuf(pending, nullptr, _IOFBF, 4096);
  fputs("written once\n", pending);
  for (const auto& c : cases) {
    EXPECT_EQ(launch_app(c.app, "arg", 1), c.code) << c.app;
    // Still running normally: the log is open and the child was reaped.
    EXPECT_TRUE(xer.is_open()) << c.app;
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << c.app;
    EXPECT_EQ(errno, ECHILD) << c.app;
  }
  fclose(pending);
  EXPECT_EQ(read_file("pending.txt"), "written once\n");
  const std::string log = fly_test::log_text();
  EXPECT_NE(log.find("Launching: Broken.app/Contents/MacOS/gone with arg\n"), std::string::npos);
  EXPECT_NE(log.find("WARNING: could not launch missing-program: No such file or directory"),
            std::string::npos)
      << log;
}

// ---- disc eject, with a fake mount table and fake operations ---------------

struct eject_calls {
  std::vector<std::string> unmounted, ejected;
  int unmount_result = 0, eject_result = 0;
};
eject_calls g_calls;
int rec_unmount(const LIN_mount& m) {
  g_calls.unmounted.push_back(m.mount_point);
  return g_calls.unmount_result;
}
int rec_eject(const std::string& dev) {
  g_calls.ejected.push_back(dev);
  return g_calls.eject_result;
}

std::string octal_escape(const std::string& s) {
  std::string o;
  for (char c : s) o += c == ' ' ? std::string("\\040") : std::string(1, c);
  return o;
}

class Eject : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls = {};
    LIN_eject_ops_in_use = {rec_unmount, rec_eject};
    char real[4096];
    ASSERT_NE(realpath(fly_test::sandbox().c_str(), real), nullptr);
    base_ = std::string(real);
    LIN_make_dirs(base_ + "/media/FLY DISC/Flyvane 9");
    LIN_make_dirs(base_ + "/media/STICK");
    LIN_make_dirs(base_ + "/media/image");
    LIN_make_dirs(base_ + "/data");
    LIN_sysfs_root = base_ + "/sys";  // empty: only the device numbers speak
    const std::string table =
        "26 1 254:1 / / rw - ext4 /dev/vda1 rw\n"
        "50 26 11:0 / " +
        octal_escape(base_ + "/media/FLY DISC") +
        " ro - iso9660 /dev/sr0 ro\n"
        "51 26 7:3 / " +
        base_ +
        "/media/image ro - iso9660 /dev/loop3 ro\n"
        "52 26 0:44 / " +
        base_ + "/data rw - tmpfs tmpfs rw\n";
    LIN_mountinfo_path = base_ + "/mountinfo";
    write_file(LIN_mountinfo_path, table);
  }
  void TearDown() override { LIN_eject_ops_in_use = LIN_system_eject_ops; }
  std::string base_;
};

TEST_F(Eject, DiscIsUnmountedThenItsDriveOpened) {
  EXPECT_EQ(eject_dvd(base_ + "/media/FLY DISC/"), 0);
  EXPECT_EQ(g_calls.unmounted, std::vector<std::string>{base_ + "/media/FLY DISC"});
  EXPECT_EQ(g_calls.ejected, std::vector<std::string>{"/dev/sr0"});
  // Any path on the disc will do, relative ones and links to it too.
  ASSERT_EQ(symlink((base_ + "/media/FLY DISC").c_str(), "disc-link"), 0);
  EXPECT_EQ(eject_dvd("disc-link/Flyvane 9/"), 0);
  EXPECT_EQ(g_calls.ejected.size(), 2u);
  EXPECT_NE(fly_test::log_text().find("Ejecting " + base_ + "/media/FLY DISC (/dev/sr0"),
            std::string::npos);
}

TEST_F(Eject, OutcomesByVolumeAndStep) {
  struct {
    const char* what;
    std::string path;
    int unmount_result, eject_result;
    int code;
    size_t unmounts, ejects;
  } cases[] = {
      {"image: unmount only", base_ + "/media/image/", 0, 0, 0, 1, 0},
      {"system disk stays mounted", base_ + "/media/STICK", 0, 0, ENODEV, 0, 0},
      {"tmpfs stays mounted", base_ + "/data", 0, 0, ENODEV, 0, 0},
      {"busy disc is not ejected", base_ + "/media/FLY DISC", EBUSY, 0, EBUSY, 1, 0},
      {"drive that will not open", base_ + "/media/FLY DISC", 0, EIO, EIO, 1, 1},
      {"missing path", base_ + "/media/NONE/", 0, 0, ENOENT, 0, 0},
      {"empty path", "", 0, 0, ENOENT, 0, 0},
  };
  for (const auto& c : cases) {
    g_calls = {};
    g_calls.unmount_result = c.unmount_result;
    g_calls.eject_result = c.eject_result;
    EXPECT_EQ(eject_dvd(c.path), c.code) << c.what;
    EXPECT_EQ(g_calls.unmounted.size(), c.unmounts) << c.what;
    EXPECT_EQ(g_calls.ejected.size(), c.ejects) << c.what;
  }
  LIN_mountinfo_path = base_ + "/no-table";
  EXPECT_EQ(eject_dvd(base_ + "/media/FLY DISC"), ENOENT);
  EXPECT_TRUE(g_calls.unmounted.empty());
}

TEST_F(Eject, RealTableNeverUnmountsTheSystemDisks) {
  LIN_mountinfo_path = "/proc/self/mountinfo";
  LIN_sysfs_root = "/sys";
  for (const std::string& p : {fly_test::sandbox(), std::string("/"), std::string("/proc/self/")})
    EXPECT_EQ(eject_dvd(p), ENODEV) << p;
  EXPECT_TRUE(g_calls.unmounted.empty());
  EXPECT_TRUE(g_calls.ejected.empty());
}

TEST_F(Eject, IsDvdDiskByMountId) {
  EXPECT_EQ(APL_is_dvd_disk(50), 1);
  EXPECT_EQ(APL_is_dvd_disk(51), 0);  // an image, not a drive
  EXPECT_EQ(APL_is_dvd_disk(26), 0);
  EXPECT_EQ(APL_is_dvd_disk(52), 0);
  EXPECT_EQ(APL_is_dvd_disk(77), 0);
  // An optical drive known only through sysfs (SCSI type 5).
  const std::string dev = base_ + "/sys/devices/usb/block/sdx";
  LIN_make_dirs(dev + "/device");
  LIN_make_dirs(base_ + "/sys/dev/block");
  write_file(dev + "/device/type", "5\n");
  ASSERT_EQ(symlink(dev.c_str(), (base_ + "/sys/dev/block/65:16").c_str()), 0);
  write_file(LIN_mountinfo_path, "60 26 65:16 / /media/x ro - udf /dev/sdx ro\n");
  EXPECT_EQ(APL_is_dvd_disk(60), 1);
}

// ---- libraries --------------------------------------------------------------

TEST(LoadBundle, LoadsAndHandsOverTheLibrary) {
  CFBundleRef lib = nullptr;
  ASSERT_EQ(load_bundle_by_filename("libm.so.6", 1, &lib), 0);
  ASSERT_NE(lib, nullptr);
  EXPECT_NE(dlsym(lib, "cos"), nullptr);
  dlclose(lib);
  EXPECT_EQ(load_bundle_by_filename("libm.so.6", 1, nullptr), 0);
}

TEST(LoadBundle, OpenGLFramework) {
  if (void* probe = dlopen("libGL.so.1", RTLD_NOW | RTLD_LOCAL))
    dlclose(probe);
  else
    GTEST_SKIP() << "no libGL.so.1 here";
  CFBundleRef gl = nullptr;
  ASSERT_EQ(load_bundle_by_filename("OpenGL.framework", 1, &gl), 0);
  EXPECT_NE(dlsym(gl, "glGetString"), nullptr);
  dlclose(gl);
}

TEST(LoadBundle, FailuresGiveTheirCodesSilentlyOrAsFatalAlerts) {
  write_file("not-a-library.so", "plain text\n");
  struct {
    const char* name;
    OSStatus code;
    const char* line;
  } cases[] = {
      {"NoSuchThing.framework", -54, "Could not create bundle for location"},
      {"./missing/libx.so", -54, "Could not create bundle for location"},
      {"./not-a-library.so", -37, "Could not load code for framework"},
      {"", -43, "Could not find bundle in frameworks folder"},
      {"Bad\xff\xfe.framework", -50, "Could not make strsing."},
      {nullptr, -50, "Could not make strsing."},
  };
  for (const auto& c : cases) {
    const std::string shown = c.name ? c.name : "(null)";
    CFBundleRef untouched = reinterpret_cast<CFBundleRef>(0x1234);
    EXPECT_EQ(load_bundle_by_filename(c.name, 0, &untouched), c.code) << shown;
    EXPECT_EQ(untouched, reinterpret_cast<CFBundleRef>(0x1234)) << shown;
    fly_test::clear_alerts();
    EXPECT_FATAL_ALERT(load_bundle_by_filename(c.name, 1, &untouched), c.line);
    ASSERT_EQ(fly_test::alerts().size(), 1u) << shown;
    EXPECT_EQ(fly_test::alerts()[0].s4, c.name ? c.name : "") << shown;
    EXPECT_EQ(fly_test::alerts()[0].s2, "") << shown;
  }
}

}  // namespace
