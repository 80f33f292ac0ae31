#include "Linux/lin_mem.h"

#include <sys/mman.h>
#include <unistd.h>

#include "support/test_util.h"

namespace {

TEST(LinMem, ProcFieldsInBytes) {
  const std::string text =
      "MemTotal:       24000000 kB\n"
      "MemFree:            1000 kB\n"
      "Active(anon):        5 kB\n"
      "Active:              7 kB\n"
      "HugePages_Total:       3\n"
      "Broken:      99999999999999999999 kB\n";
  EXPECT_EQ(LIN_proc_field_bytes(text, "MemFree"), 1000u * 1024);
  EXPECT_EQ(LIN_proc_field_bytes(text, "Active"), 7u * 1024);  // not Active(anon)
  EXPECT_EQ(LIN_proc_field_bytes(text, "HugePages_Total"), 3u);
  EXPECT_EQ(LIN_proc_field_bytes(text, "Broken"), UINT64_MAX);  // saturates, no wrap
  EXPECT_EQ(LIN_proc_field_bytes(text, "Mem"), 0u);
  EXPECT_EQ(LIN_proc_field_bytes(text, "Missing"), 0u);
}

TEST(LinMem, SmapsShareModesAndRefCounts) {
  const std::string text =
      "00400000-00402000 r-xp 00000000 08:01 77   /usr/bin/prog\n"
      "Rss:                   8 kB\n"
      "Shared_Clean:          8 kB\n"
      "Private_Clean:         0 kB\n"
      "VmFlags: rd ex\n"
      "00402000-00403000 rw-p 00002000 08:01 77   /usr/bin/prog\n"
      "Rss:                   4 kB\n"
      "Private_Dirty:         4 kB\n"
      "00500000-00600000 rw-p 00000000 00:00 0    [heap]\n"
      "Rss:                  12 kB\n"
      "Private_Clean:         4 kB\n"
      "Private_Dirty:         8 kB\n"
      "7f0000000000-7f0000001000 ---p 00000000 00:00 0 \n"
      "Rss:                   0 kB\n"
      "7f0000001000-7f0000003000 rw-s 00000000 00:05 9    /dev/shm/x (deleted)\n"
      "Rss:                   4 kB\n"
      "Shared_Dirty:          4 kB\n";
  std::vector<LIN_vm_region> r;
  ASSERT_EQ(LIN_parse_smaps(text, &r), 0);
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[0].start, 0x400000u);
  EXPECT_EQ(r[0].size, 0x2000u);
  EXPECT_EQ(r[0].shared_resident, 8192u);
  EXPECT_EQ(r[0].share_mode, LIN_SM_COW);
  EXPECT_EQ(r[0].ref_count, 2);  // the file is mapped twice
  EXPECT_EQ(r[0].path, "/usr/bin/prog");
  EXPECT_EQ(r[1].share_mode, LIN_SM_PRIVATE);
  EXPECT_EQ(r[2].private_resident, 12u * 1024);
  EXPECT_EQ(r[2].share_mode, LIN_SM_PRIVATE);
  EXPECT_EQ(r[2].ref_count, 1);
  EXPECT_EQ(r[3].share_mode, LIN_SM_EMPTY);
  EXPECT_EQ(r[4].share_mode, LIN_SM_SHARED);
  EXPECT_EQ(r[4].path, "/dev/shm/x (deleted)");
}

TEST(LinMem, OwnFiguresAreThere) {
  LIN_task_info t;
  ASSERT_EQ(LIN_get_task_info(&t), 0);
  EXPECT_GT(t.virtual_size, t.resident_size);
  EXPECT_GT(t.resident_size, 0u);
  LIN_vm_stats vm;
  ASSERT_EQ(LIN_get_vm_stats(&vm), 0);
  EXPECT_EQ(vm.page_size, static_cast<uint64_t>(sysconf(_SC_PAGESIZE)));
  EXPECT_GT(vm.free_bytes, 0u);
  LIN_swap_usage sw;
  ASSERT_EQ(LIN_get_swap_usage(&sw), 0);
  EXPECT_EQ(sw.used, sw.total - sw.avail);

  // The map holds a region we just made, private and resident once touched.
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  char* p = static_cast<char*>(
      mmap(nullptr, 4 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(p, MAP_FAILED);
  p[0] = 1;
  std::vector<LIN_vm_region> regions;
  ASSERT_EQ(LIN_get_vm_regions(&regions), 0);
  bool found = false;
  for (size_t i = 0; i < regions.size(); ++i) {
    if (i) {
      EXPECT_GT(regions[i].start, regions[i - 1].start);
    }
    const LIN_vm_region& r = regions[i];
    if (r.start <= reinterpret_cast<uintptr_t>(p) &&
        reinterpret_cast<uintptr_t>(p) < r.start + r.size) {
      found = true;
      EXPECT_GE(r.private_resident, page);
      EXPECT_EQ(r.share_mode, LIN_SM_PRIVATE);
    }
  }
  EXPECT_TRUE(found);
  munmap(p, 4 * page);
}

}  // namespace
