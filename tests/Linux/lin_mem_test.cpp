#include "Linux/lin_mem.h"

#include "support/test_util.h"

TEST(LinMem, ProcFieldsInBytes) {
  const std::string text =
      "MemFree:            1000 kB\nActive(anon):        5 kB\nActive:              7 kB\n"
      "HugePages_Total:       3\nBroken:      99999999999999999999 kB\n";
  EXPECT_EQ(LIN_proc_field_bytes(text, "MemFree"), 1000u * 1024);
  EXPECT_EQ(LIN_proc_field_bytes(text, "Active"), 7u * 1024);  // not Active(anon)
  EXPECT_EQ(LIN_proc_field_bytes(text, "HugePages_Total"), 3u);
  EXPECT_EQ(LIN_proc_field_bytes(text, "Broken"), UINT64_MAX);  // saturates, no wrap
  EXPECT_EQ(LIN_proc_field_bytes(text, "Mem"), 0u);
}

TEST(LinMem, SmapsShareModesAndRefCounts) {
  const std::string text =
      "00400000-00402000 r-xp 00000000 08:01 77   /usr/bin/prog\n"
      "Rss:                   8 kB\nShared_Clean:          8 kB\nVmFlags: rd ex\n"
      "00402000-00403000 rw-p 00002000 08:01 77   /usr/bin/prog\n"
      "Rss:                   4 kB\nPrivate_Dirty:         4 kB\n"
      "7f0000000000-7f0000001000 ---p 00000000 00:00 0 \nRss:                   0 kB\n"
      "7f0000001000-7f0000003000 rw-s 00000000 00:05 9    /dev/shm/x (deleted)\n"
      "Rss:                   4 kB\nShared_Dirty:          4 kB\n";
  std::vector<LIN_vm_region> r;
  ASSERT_EQ(LIN_parse_smaps(text, &r), 0);
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0].start + r[0].size, 0x402000u);
  EXPECT_EQ(r[0].shared_resident, 8192u);
  EXPECT_EQ(r[0].ref_count, 2);  // the file is mapped twice
  EXPECT_EQ(r[3].path, "/dev/shm/x (deleted)");
  const int modes[] = {LIN_SM_COW, LIN_SM_PRIVATE, LIN_SM_EMPTY, LIN_SM_SHARED};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(r[i].share_mode, modes[i]) << i;
}
