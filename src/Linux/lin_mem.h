// Memory figures of the process and the machine, from /proc. Every call leaves
// the figures it cannot read at 0 and says so by its result (0 on success).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Share modes of a region of the address map (the names come from sm_string).
enum {
  LIN_SM_COW = 1,
  LIN_SM_PRIVATE = 2,
  LIN_SM_EMPTY = 3,
  LIN_SM_SHARED = 4,
  LIN_SM_TRUESHARED = 5,
  LIN_SM_PRIVATE_ALIASED = 6,
  LIN_SM_SHARED_ALIASED = 7
};

struct LIN_task_info {
  uint64_t virtual_size = 0;   // VmSize
  uint64_t resident_size = 0;  // VmRSS
};

struct LIN_vm_stats {
  uint64_t page_size = 0;
  uint64_t free_bytes = 0;      // MemFree
  uint64_t active_bytes = 0;    // Active
  uint64_t inactive_bytes = 0;  // Inactive
  uint64_t wired_bytes = 0;     // Unevictable (mlocked pages included)
};

struct LIN_swap_usage {
  uint64_t total = 0;
  uint64_t avail = 0;
  uint64_t used = 0;
};

struct LIN_vm_region {
  uint64_t start = 0;
  uint64_t size = 0;
  uint64_t private_resident = 0;  // Private_Clean + Private_Dirty
  uint64_t shared_resident = 0;   // Shared_Clean + Shared_Dirty
  int share_mode = LIN_SM_EMPTY;
  int ref_count = 0;
  std::string path;  // the mapped file or the kernel's name ("[heap]"), "" for anonymous
};

int LIN_get_task_info(LIN_task_info* out);
uint64_t LIN_page_size();
int LIN_get_vm_stats(LIN_vm_stats* out);
int LIN_get_swap_usage(LIN_swap_usage* out);
// The whole address map, lowest address first.
int LIN_get_vm_regions(std::vector<LIN_vm_region>* out);

// 1 when [p, p + len) lies wholly in mapped memory with the asked permissions.
// Reads /proc/self/maps into a buffer on the stack: no allocation, so it is
// safe on a failing thread.
int LIN_range_mapped(const void* p, size_t len, int need_read, int need_write);

// Parsers of the /proc texts, for the calls above and for tests.
// A "Key:   123 kB" field of /proc/meminfo or /proc/self/status, in bytes;
// 0 when absent or unreadable.
uint64_t LIN_proc_field_bytes(const std::string& text, const char* key);
int LIN_parse_smaps(const std::string& text, std::vector<LIN_vm_region>* out);
