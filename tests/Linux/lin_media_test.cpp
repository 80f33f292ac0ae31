#include "Linux/lin_media.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "Linux/lin_sys.h"
#include "support/test_util.h"

namespace {

const char* kMountinfo =
    "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
    "26 1 254:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
    "40 26 11:0 / /media/user/FLY\\040DISC ro,nosuid shared:7 master:2 - iso9660 /dev/sr0 "
    "ro,uid=1000\n"
    "41 26 8:17 / /media/user/FLY ro - vfat /dev/sdb1 rw\n"
    "42 26 0:30 /sub /srv/back\\134slash rw - nfs server:/export rw\n"
    "not a mountinfo line\n"
    "43 26 7:0 / /mnt/iso ro - iso9660 /dev/loop0\n"                // no super options
    "44 26 0:31 / /media/user/FLY\\040DISC rw - tmpfs tmpfs rw\n";  // stacked on 40

TEST(Mountinfo, ParsesFieldsEscapesAndOptionalTags) {
  const std::vector<LIN_mount> t = LIN_parse_mountinfo(kMountinfo);
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[2].id, 40);
  EXPECT_EQ(t[2].parent, 26);
  EXPECT_EQ(t[2].major, 11u);
  EXPECT_EQ(t[2].minor, 0u);
  EXPECT_EQ(t[2].mount_point, "/media/user/FLY DISC");
  EXPECT_EQ(t[2].fstype, "iso9660");
  EXPECT_EQ(t[2].source, "/dev/sr0");
  EXPECT_EQ(t[2].super_options, "ro,uid=1000");
  EXPECT_EQ(t[4].root, "/sub");
  EXPECT_EQ(t[4].mount_point, "/srv/back\\slash");
  EXPECT_EQ(t[4].source, "server:/export");
  EXPECT_EQ(t[5].source, "/dev/loop0");
  EXPECT_EQ(t[5].super_options, "");
}

TEST(Mountinfo, MountOfPathIsDeepestWholeComponentPrefix) {
  const std::vector<LIN_mount> t = LIN_parse_mountinfo(kMountinfo);
  struct {
    const char* path;
    int id;
  } cases[] = {
      {"/", 26},
      {"/home/user/file", 26},
      {"/media/user/FLY", 41},
      {"/media/user/FLY/x/y", 41},
      {"/media/user/FLYING/x", 26},                              // not under /media/user/FLY
      {"/media/user/FLY DISC/Flyvane 9/directory.txt.zip", 44},  // the later of two stacked
      {"/srv/back\\slash", 42},
      {"/mnt/iso", 43},
      {"/proc/self", 21},
  };
  for (const auto& c : cases) {
    const LIN_mount* m = LIN_mount_of(t, c.path);
    ASSERT_NE(m, nullptr) << c.path;
    EXPECT_EQ(m->id, c.id) << c.path;
  }
  EXPECT_EQ(LIN_mount_of(t, "relative/path"), nullptr);
  EXPECT_EQ(LIN_mount_of({}, "/"), nullptr);
  EXPECT_EQ(LIN_mount_by_id(t, 43)->mount_point, "/mnt/iso");
  EXPECT_EQ(LIN_mount_by_id(t, 99), nullptr);
}

// A sysfs tree laid out as the kernel lays it out: dev/block/M:m links into
// devices/, partitions inside their disk's folder.
class FakeSysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fly_test::sandbox() + "sys";
    LIN_sysfs_root = root_;
    LIN_make_dirs(root_ + "/dev/block");
  }
  void disk(const std::string& maj_min, const std::string& rel, const char* removable,
            const char* scsi_type, bool partition = false, bool loop = false) {
    const std::string dir = root_ + "/devices/" + rel;
    LIN_make_dirs(dir);
    if (partition) {
      fly_test::write_file(dir + "/partition", "1\n");
    } else {
      fly_test::write_file(dir + "/removable", std::string(removable) + "\n");
      if (scsi_type) {
        LIN_make_dirs(dir + "/device");
        fly_test::write_file(dir + "/device/type", std::string(scsi_type) + "\n");
      }
      if (loop) LIN_make_dirs(dir + "/loop");
    }
    ASSERT_EQ(symlink(("../../devices/" + rel).c_str(), (root_ + "/dev/block/" + maj_min).c_str()),
              0);
  }
  std::string root_;
};

TEST_F(FakeSysfs, ClassifiesBlockDevices) {
  disk("8:0", "pci0/ata1/block/sda", "0", "0");
  disk("8:1", "pci0/ata1/block/sda/sda1", "", nullptr, true);
  disk("8:16", "pci0/usb1/block/sdb", "1", "0");
  disk("8:17", "pci0/usb1/block/sdb/sdb1", "", nullptr, true);
  disk("65:0", "pci0/usb2/block/sdq", "1", "5");  // an optical drive behind a bridge
  disk("259:3", "virtual/block/loop8", "0", nullptr, false, true);
  disk("254:0", "pci0/virtio1/block/vda", "0", nullptr);
  struct {
    unsigned major, minor;
    LIN_media_kind kind;
  } cases[] = {
      {8, 0, lin_media_fixed},      {8, 1, lin_media_fixed},    {8, 16, lin_media_removable},
      {8, 17, lin_media_removable}, {65, 0, lin_media_optical}, {11, 0, lin_media_optical},
      {11, 1, lin_media_optical},   {7, 5, lin_media_loop},     {259, 3, lin_media_loop},
      {254, 0, lin_media_fixed},    {0, 31, lin_media_unknown}, {8, 32, lin_media_unknown},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LIN_block_media(c.major, c.minor), c.kind) << c.major << ":" << c.minor;
}

TEST(RunTool, ExitStatusOutputMissingProgramAndTimeout) {
  std::string out;
  EXPECT_EQ(LIN_run_tool({"sh", "-c", "echo out; echo err >&2; exit 3"}, 10000, &out), 3);
  EXPECT_EQ(out, "out\nerr\n");
  EXPECT_EQ(LIN_run_tool({"sh", "-c", "read x; echo \"[$x]\""}, 10000, &out), 0);
  EXPECT_EQ(out, "[]\n");  // stdin is /dev/null: a tool never waits for input
  EXPECT_EQ(LIN_run_tool({"no-such-program-here"}, 10000, &out), 127);
  EXPECT_NE(out.find("no-such-program-here"), std::string::npos);
  EXPECT_EQ(LIN_run_tool({}, 10000, nullptr), 127);
  // A hung tool is killed, also when it has closed its output.
  EXPECT_EQ(LIN_run_tool({"sleep", "30"}, 200, &out), 128 + 9);
  EXPECT_EQ(LIN_run_tool({"sh", "-c", "exec >/dev/null 2>&1; sleep 30"}, 200, &out), 128 + 9);
}

TEST(SystemEject, MissingDeviceFailsWithItsError) {
  EXPECT_EQ(LIN_system_eject_ops.eject("/nonexistent/sr9"), ENOENT);
}

}  // namespace
