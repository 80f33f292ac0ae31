#include "UTL/memory.h"

#include <dlfcn.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "GenH/shell.h"
#include "Linux/lin_mem.h"
#include "UTL/cmnd.h"
#include "UTL/xer.h"

// ---------------------------------------------------------------------------
// Allocation. No header, pool or bookkeeping: memory from new may be freed
// with free and memory from malloc with delete.

namespace {

thread_local uint64_t t_new_calls = 0;

void* alloc_or_throw(std::size_t size) {
  ++t_new_calls;
  if (size == 0) size = 1;
  for (;;) {
    if (void* p = malloc(size)) return p;
    std::new_handler h = std::get_new_handler();
    if (!h) throw std::bad_alloc();
    h();
  }
}

void* alloc_or_null(std::size_t size) noexcept {
  try {
    return alloc_or_throw(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void* aligned_or_throw(std::size_t size, std::align_val_t al) {
  std::size_t a = static_cast<std::size_t>(al);
  if (a < sizeof(void*)) a = sizeof(void*);
  if (size == 0) size = 1;
  for (;;) {
    void* p = nullptr;
    if (posix_memalign(&p, a, size) == 0) return p;
    std::new_handler h = std::get_new_handler();
    if (!h) throw std::bad_alloc();
    h();
  }
}

void* aligned_or_null(std::size_t size, std::align_val_t al) noexcept {
  try {
    return aligned_or_throw(size, al);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

inline void release(void* p) noexcept {
  if (p) free(p);
}

}  // namespace

uint64_t UTL_operator_new_calls() { return t_new_calls; }

void* operator new(std::size_t size) { return alloc_or_throw(size); }
void* operator new[](std::size_t size) { return alloc_or_throw(size); }
void* operator new(std::size_t size, const char*, int) { return alloc_or_throw(size); }
void* operator new[](std::size_t size, const char*, int) { return alloc_or_throw(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return alloc_or_null(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return alloc_or_null(size);
}
void* operator new(std::size_t size, const std::nothrow_t&, const char*, int) noexcept {
  return alloc_or_null(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&, const char*, int) noexcept {
  return alloc_or_null(size);
}

void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, const char*, int) noexcept { release(p); }
void operator delete[](void* p, const char*, int) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&, const char*, int) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&, const char*, int) noexcept { release(p); }

// The compiler calls the sized and aligned forms on its own; they must free
// what the forms above allocate, or a sanitizer's own versions would see a
// malloc block handed to its operator delete.
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void* operator new(std::size_t size, std::align_val_t al) { return aligned_or_throw(size, al); }
void* operator new[](std::size_t size, std::align_val_t al) { return aligned_or_throw(size, al); }
void* operator new(std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return aligned_or_null(size, al);
}
void* operator new[](std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return aligned_or_null(size, al);
}
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }

// ---------------------------------------------------------------------------
// Scaling of byte counts.

namespace {
const uint64_t k_14_gig = 14ull << 30;

unsigned int clamp_uint(uint64_t v) {
  return v > UINT_MAX ? UINT_MAX : static_cast<unsigned int>(v);
}
}  // namespace

// The thresholds are 1.4 KiB (1433.6) and 1.4 MiB (1468006.4) in whole bytes.
unsigned int mem_to_number(uint64_t n) {
  if (n > k_14_gig) return clamp_uint(n >> 30);
  if (n > 1468006) return clamp_uint(n >> 20);
  if (n > 1433) return clamp_uint(n >> 10);
  return clamp_uint(n);
}

char mem_to_suffix(uint64_t n) {
  if (n > k_14_gig) return 'G';
  if (n > 1468006) return 'M';
  if (n > 1433) return 'K';
  return 'B';
}

const char* sm_string(int share_mode) {
  switch (share_mode & 0xFF) {
    case 1: return "Copy-on-write";
    case 2: return "Private";
    case 3: return "Empty";
    case 4: return "Shared";
    case 5: return "True-Shared";
    case 6: return "Private-Aliased";
    case 7: return "Shared-Aliased";
    default: return "Unknown";
  }
}

// ---------------------------------------------------------------------------
// The report.

namespace {

std::atomic<bool> first_report{true};

// The address space's lower half ends here; the vsyscall page lies far above
// it, across the non-canonical hole, which is no unused address space.
const uint64_t k_upper_half = 1ull << 63;

void size_line(FILE* f, const char* label, uint64_t bytes, const char* tail) {
  fprintf(f, "%s%5u%c%s", label, mem_to_number(bytes), mem_to_suffix(bytes), tail);
}

std::string image_name(uint64_t addr) {
  Dl_info dl;
  if (!dladdr(reinterpret_cast<void*>(static_cast<uintptr_t>(addr)), &dl)) return "";
  if (!dl.dli_fname || !*dl.dli_fname) return "null";
  const char* slash = strrchr(dl.dli_fname, '/');
  return slash ? slash + 1 : dl.dli_fname;
}

}  // namespace

void UTL_reset_mem_report() { first_report = true; }

void dump_mem_stats(char* msg) {
  if (!msg) msg = const_cast<char*>("");
  xer << "OK check MemoryLog.txt! I just sent him a dump from " << msg << "\n";

  const bool first = first_report.exchange(false);
  const std::string path = app_path + "MemoryLog.txt";
  FILE* f = fopen(path.c_str(), first ? "w" : "a");
  const bool to_file = f != nullptr;
  if (!to_file) f = stdout;

  LIN_task_info task;
  LIN_vm_stats vm;
  LIN_swap_usage swap;
  LIN_get_task_info(&task);
  LIN_get_vm_stats(&vm);
  LIN_get_swap_usage(&swap);

  fprintf(f, "dump_mem_stats: %s\n", msg);
  fprintf(f, "OS X Info:\n");
  size_line(f, "    Page size:        ", vm.page_size,
            "      This is the size of one virtual memory page.\n");
  size_line(f, "    Vsize (reported): ", task.virtual_size,
            "      This is the total virtual address space used by Flyvane (including empty "
            "regions).\n");
  size_line(f, "    Rsize:            ", task.resident_size,
            "      This is the total amount of real RAM used by Flyvane (virtual pages resident "
            "in RAM).\n");
  size_line(f, "    Free pages:       ", vm.free_bytes,
            "      This is the total free RAM on the machine.\n");
  size_line(f, "    Active Pages:     ", vm.active_bytes,
            "      This is the total actively used RAM among all apps - it probably can't be "
            "paged out without causing huge performance problems.\n");
  size_line(f, "    Inactive Pages:   ", vm.inactive_bytes,
            "      This is the total inactive RAM from all apps - pages that is elligible to be "
            "paged out since it hasn't been used recently.\n");
  size_line(f, "    Wired Pages:      ", vm.wired_bytes,
            "      This is the total wired RAM - pages that are 'wired down' and cannot ever be "
            "paged out.\n");
  size_line(f, "    Total Swap Pages: ", swap.total, "\n");
  size_line(f, "    Avail Swap Pages: ", swap.avail, "\n");
  size_line(f, "    Used  Swap Pages: ", swap.used, "\n");

  fprintf(f, "    I will now print the entire map of virtual memory.\n");
  fprintf(f, "        Address           Size    r-private r-shared sharing-mode (ref count)\n");

  std::vector<LIN_vm_region> regions;
  LIN_get_vm_regions(&regions);
  uint64_t total_size = 0, total_private = 0, total_shared = 0;
  uint64_t largest_free = 0, total_free = 0, largest_gap = 0, total_gap = 0;
  uint64_t prev_end = 0;
  for (const LIN_vm_region& r : regions) {
    if (r.start > prev_end && r.start < k_upper_half) {
      const uint64_t gap = r.start - prev_end;
      fprintf(f, "        0x%08llX      %5u%c               --------\n",
              static_cast<unsigned long long>(prev_end), mem_to_number(gap), mem_to_suffix(gap));
      if (gap > largest_gap) largest_gap = gap;
      total_gap += gap;
    }
    fprintf(f, "        0x%08llX      %5u%c       %5u%c %5u%c   %20s (%3d)       %s\n",
            static_cast<unsigned long long>(r.start), mem_to_number(r.size),
            mem_to_suffix(r.size), mem_to_number(r.private_resident),
            mem_to_suffix(r.private_resident), mem_to_number(r.shared_resident),
            mem_to_suffix(r.shared_resident), sm_string(r.share_mode), r.ref_count,
            image_name(r.start).c_str());
    if (r.share_mode == LIN_SM_EMPTY) {
      if (r.size > largest_free) largest_free = r.size;
      total_free += r.size;
    } else {
      total_size += r.size;
      total_private += r.private_resident;
      total_shared += r.shared_resident;
    }
    prev_end = r.start + r.size;
  }

  size_line(f, "    Total vsize:     ", total_size,
            "      This is the total non-empty virtual address space used by Flyvane.\n");
  size_line(f, "    Total rsize:     ", total_private + total_shared,
            "      This is the total amount of real memory used by Flyvane (shared and "
            "exclusive).\n");
  size_line(f, "    Shared rsize:    ", total_shared,
            "      This is the total amonut of real memory used by Flyvane that is shared with "
            "other processes.\n");
  size_line(f, "    Private rsize:   ", total_private,
            "      This is the total amount of real memory used by Flyvane exclusively "
            "(private).\n");
  size_line(f, "    Largest free:    ", largest_free,
            "      This is the largest empty region in Flyvane's address space.\n");
  size_line(f, "    Total free:      ", total_free,
            "      This is the size of all empty regions in Flyvane's address space.\n");
  size_line(f, "    Largest gap:     ", largest_gap,
            "      This is the size of the largest unused gap in Flyvane's address space.\n");
  size_line(f, "    Total gap:       ", total_gap,
            "      This is the size of all of the gaps in Flyvane's address space - that is, "
            "total unused address space.\n");

  if (to_file)
    fclose(f);
  else
    fflush(f);
}

void DumpMemCmd() {
  char msg[] = "Remote Commanded Dump";
  dump_mem_stats(msg);
}

UTL_remote_cmd dump_mem_now("Dump Memory Info", DumpMemCmd);
