#include "Linux/lin_discs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "Linux/lin_sys.h"
#include "support/test_util.h"

// The searched mounts of a table: escapes decoded, kernel, automount and
// network kinds left out, order kept.
TEST(DiscVolumes, MountinfoSearchSkipsKernelAutomountAndNetworkKinds) {
  const std::vector<LIN_mount> t = LIN_parse_mountinfo(
      "26 1 254:1 / / rw - ext4 /dev/vda1 rw\n"
      "27 26 0:5 / /proc rw - proc proc rw\n"
      "28 26 0:6 / /sys rw - sysfs sysfs rw\n"
      "29 28 0:7 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
      "30 28 0:8 / /sys/fs/cgroup/cpu rw - cgroup cgroup rw,cpu\n"
      "31 26 0:9 / /media/auto rw - autofs systemd-1 rw\n"
      "32 26 0:10 / /srv/nfs rw - nfs4 server:/export rw\n"
      "33 26 0:11 / /srv/smb rw - cifs //server/share rw\n"
      "34 26 0:12 / /home/u/remote rw - fuse.sshfs u@host:/home rw\n"
      "40 26 11:0 / /media/u/FLY\\040DISC\\0111 ro - iso9660 /dev/sr0 ro\n"
      "41 26 0:13 / /media/u/fuse\\134zip ro - fuse.fuse-zip fuse-zip ro\n"
      "42 26 7:0 / /mnt/iso ro - udf /dev/loop0 ro\n");
  ASSERT_EQ(t.size(), 12u);
  EXPECT_EQ(LIN_volume_folders(t), (std::vector<std::string>{"/", "/media/u/FLY DISC\t1/",
                                                             "/media/u/fuse\\zip/", "/mnt/iso/"}));
}

// The simulated drive: its entries are the volumes in name order; an eject
// takes a link out and hides a real folder without deleting it.
TEST(DiscVolumes, SimulatedDriveListsEntriesAndEjectTakesThemOut) {
  const std::string root = fly_test::sandbox() + "work/", drive = root + "drive";
  LIN_make_dirs(root + "discs/disk_0");
  LIN_make_dirs(root + "discs/disk_1");
  LIN_make_dirs(drive + "/B folder disc");
  fly_test::write_file(drive + "/B folder disc/data.txt", "kept\n");
  fly_test::write_file(drive + "/a file", "not a volume\n");
  ASSERT_EQ(symlink((root + "discs/disk_1").c_str(), (drive + "/C disc 2").c_str()), 0);
  ASSERT_EQ(symlink((root + "discs/disk_0").c_str(), (drive + "/A disc 1").c_str()), 0);
  ASSERT_EQ(symlink((root + "gone").c_str(), (drive + "/D dangling").c_str()), 0);
  LIN_make_dirs(drive + "/.hidden");

  unsetenv(LIN_volumes_env);
  EXPECT_EQ(LIN_simulated_drive(), "");
  EXPECT_FALSE(LIN_is_simulated_volume(drive + "/A disc 1/x"));
  setenv(LIN_volumes_env, drive.c_str(), 1);
  EXPECT_EQ(LIN_simulated_drive(), drive + "/");
  EXPECT_EQ(LIN_mounted_volumes(),
            (std::vector<std::string>{drive + "/A disc 1/", drive + "/B folder disc/",
                                      drive + "/C disc 2/"}));
  EXPECT_TRUE(LIN_is_simulated_volume(drive + "/A disc 1/Flyvane/x.zip"));
  EXPECT_FALSE(LIN_is_simulated_volume(drive + "/"));
  EXPECT_FALSE(LIN_is_simulated_volume(root + "discs/disk_0/"));

  EXPECT_EQ(LIN_eject_simulated_volume(drive + "/A disc 1/"), 0);
  EXPECT_EQ(LIN_eject_simulated_volume(drive + "/B folder disc/data.txt"), 0);
  EXPECT_EQ(LIN_mounted_volumes(), std::vector<std::string>{drive + "/C disc 2/"});
  EXPECT_TRUE(fly_test::file_exists(root + "discs/disk_0"));  // the disc itself stays
  EXPECT_EQ(fly_test::read_file(drive + "/.B folder disc/data.txt"), "kept\n");
  EXPECT_EQ(LIN_eject_simulated_volume(drive + "/A disc 1/"), ENOENT);  // already out
  EXPECT_EQ(LIN_eject_simulated_volume(root + "discs/disk_1/"), ENOENT);
  const std::string log = fly_test::log_text();
  EXPECT_THAT(log, HasSubstr("Ejected the simulated disc " + drive + "/A disc 1\n"));
  EXPECT_THAT(log, HasSubstr("WARNING: could not eject the simulated disc " + drive + "/A disc 1"));
}
