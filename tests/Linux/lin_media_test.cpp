#include "Linux/lin_media.h"

#include <unistd.h>

#include <cerrno>

#include "Linux/lin_sys.h"
#include "support/test_util.h"

TEST(Mountinfo, ParsesEscapesAndFindsTheDeepestMount) {
  const std::vector<LIN_mount> t = LIN_parse_mountinfo(
      "26 1 254:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
      "40 26 11:0 / /media/u/FLY\\040DISC ro shared:7 master:2 - iso9660 /dev/sr0 ro,uid=1000\n"
      "41 26 8:17 / /media/u/FLY ro - vfat /dev/sdb1 rw\n"
      "42 26 0:30 /sub /srv/back\\134slash rw - nfs server:/export rw\n"
      "not a mountinfo line\n"
      "43 26 7:0 / /mnt/iso ro - iso9660 /dev/loop0\n"                // no super options
      "44 26 0:31 / /media/u/FLY\\040DISC rw - tmpfs tmpfs rw\n");  // stacked on 40
  ASSERT_EQ(t.size(), 6u);
  EXPECT_EQ(std::to_string(t[1].major) + ":" + std::to_string(t[1].minor), "11:0");
  EXPECT_EQ(t[1].source + "|" + t[1].super_options, "/dev/sr0|ro,uid=1000");
  EXPECT_EQ(t[3].root + "|" + t[3].mount_point, "/sub|/srv/back\\slash");
  EXPECT_EQ(t[4].source + "|" + t[4].super_options, "/dev/loop0|");
  const std::pair<const char*, int> cases[] = {
      {"/", 26}, {"/media/u/FLY/x/y", 41}, {"/media/u/FLYING/x", 26}, {"/srv/back\\slash", 42},
      {"/media/u/FLY DISC/Flyvane 9/directory.txt.zip", 44}, {"relative/path", 0}};
  for (const auto& [path, id] : cases) {
    const LIN_mount* m = LIN_mount_of(t, path);
    EXPECT_EQ(m ? m->id : 0, id) << path;
  }
}

static std::string g_calls;

// A sysfs tree as the kernel lays it out: dev/block/M:m links into devices/,
// partitions inside their disk's folder.
static void disk(const std::string& maj_min, const std::string& rel, const char* removable,
                 const char* scsi_type = nullptr) {
  const std::string dir = LIN_sysfs_root + "/devices/" + rel;
  LIN_make_dirs(dir + (scsi_type ? "/device" : ""));
  fly_test::write_file(dir + (*removable ? "/removable" : "/partition"),
                       (*removable ? removable : "1") + std::string("\n"));
  if (scsi_type) fly_test::write_file(dir + "/device/type", std::string(scsi_type) + "\n");
  if (rel.find("loop") != std::string::npos) LIN_make_dirs(dir + "/loop");
  ASSERT_EQ(symlink(("../../devices/" + rel).c_str(),
                    (LIN_sysfs_root + "/dev/block/" + maj_min).c_str()), 0);
}

TEST(BlockMedia, ClassifiesDevicesAndEjectsOnlyRemovableOnes) {
  LIN_sysfs_root = fly_test::sandbox() + "sys";
  LIN_make_dirs(LIN_sysfs_root + "/dev/block");
  disk("8:0", "pci0/ata1/block/sda", "0", "0");
  disk("8:1", "pci0/ata1/block/sda/sda1", "");
  disk("8:16", "pci0/usb1/block/sdb", "1", "0");
  disk("8:17", "pci0/usb1/block/sdb/sdb1", "");
  disk("65:0", "pci0/usb2/block/sdq", "1", "5");  // an optical drive behind a bridge
  disk("259:3", "virtual/block/loop8", "0");
  struct { unsigned major, minor; LIN_media_kind kind; } cases[] = {
      {8, 1, lin_media_fixed},    {8, 17, lin_media_removable}, {65, 0, lin_media_optical},
      {11, 1, lin_media_optical}, {7, 5, lin_media_loop},       {259, 3, lin_media_loop},
      {0, 31, lin_media_unknown}, {8, 32, lin_media_unknown}};
  for (const auto& c : cases)
    EXPECT_EQ(LIN_block_media(c.major, c.minor), c.kind) << c.major << ":" << c.minor;

  LIN_eject_ops_in_use = {
      [](const LIN_mount& m) { g_calls += "umount " + m.mount_point + ";"; return 0; },
      [](const std::string& dev) { g_calls += "eject " + dev + ";"; return 0; }};
  EXPECT_EQ(LIN_eject_mount({1, 0, 8, 1, "/", "/", "", "ext4", "/dev/sda1", ""}), ENODEV);
  EXPECT_EQ(LIN_eject_mount({2, 0, 0, 31, "/", "/tmp", "", "tmpfs", "tmpfs", ""}), ENODEV);
  EXPECT_EQ(g_calls, "");
  EXPECT_EQ(LIN_eject_mount({3, 0, 8, 17, "/", "/media/S", "", "vfat", "/dev/sdb1", ""}), 0);
  EXPECT_EQ(g_calls, "umount /media/S;eject /dev/sdb1;");
}

TEST(RunTool, ExitStatusOutputMissingProgramAndTimeout) {
  std::string out;
  EXPECT_EQ(LIN_run_tool({"sh", "-c", "read x; echo \"[$x]\"; echo err >&2; exit 3"}, 9000, &out),
            3);
  EXPECT_EQ(out, "[]\nerr\n");  // stdin is /dev/null: a tool never waits for input
  EXPECT_EQ(LIN_run_tool({"no-such-program-here"}, 10000, &out), 127);
  // A hung tool is killed, also when it has closed its output.
  EXPECT_EQ(LIN_run_tool({"sh", "-c", "exec >/dev/null 2>&1; sleep 30"}, 200, &out), 128 + 9);
  EXPECT_EQ(LIN_system_eject_ops.eject("/nonexistent/sr9"), ENOENT);
}

