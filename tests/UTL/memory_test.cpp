#include "UTL/memory.h"

#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "GenH/shell.h"
#include "UTL/cmnd.h"
#include "support/test_util.h"

#ifdef __SANITIZE_ADDRESS__
// A failed malloc must return null here, as it does without the sanitizer,
// so the allocation loop can be tested.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

namespace {

TEST(MemScale, ThresholdsAndUnits) {
  struct row {
    uint64_t bytes;
    unsigned number;
    char suffix;
  };
  const uint64_t gig = 1ull << 30;
  const row rows[] = {
      {0, 0, 'B'},
      {1433, 1433, 'B'},
      {1434, 1, 'K'},
      {1468006, 1433, 'K'},
      {1468007, 1, 'M'},
      {2000000, 1, 'M'},
      {14 * gig, 14336, 'M'},
      {14 * gig + 1, 14, 'G'},
      {15 * gig, 15, 'G'},
      {~0ull, 4294967295u, 'G'},  // too large for the figure: the largest one
  };
  for (const row& r : rows) {
    EXPECT_EQ(mem_to_number(r.bytes), r.number) << r.bytes;
    EXPECT_EQ(mem_to_suffix(r.bytes), r.suffix) << r.bytes;
  }
  char buf[32];
  snprintf(buf, sizeof(buf), "%5u%c", mem_to_number(2000000), mem_to_suffix(2000000));
  EXPECT_STREQ(buf, "    1M");
}

TEST(MemScale, ShareModeNamesUseTheLowByte) {
  const char* const names[] = {"Unknown",      "Copy-on-write",   "Private",
                               "Empty",        "Shared",          "True-Shared",
                               "Private-Aliased", "Shared-Aliased", "Unknown"};
  for (int m = 0; m <= 8; ++m) EXPECT_STREQ(sm_string(m), names[m]) << m;
  EXPECT_STREQ(sm_string(0x102), "Private");
  EXPECT_STREQ(sm_string(-1), "Unknown");
}

int handler_calls = 0;
void give_up_handler() {
  ++handler_calls;
  std::set_new_handler(nullptr);
}
void throwing_handler() {
  ++handler_calls;
  throw std::bad_alloc();
}

TEST(OperatorNew, ZeroSizeNewHandlerAndNothrow) {
  void* a = ::operator new(0);
  void* b = ::operator new(0);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(a, b);
  ::operator delete(a);
  ::operator delete(b);

  volatile size_t huge = ~size_t(0) / 2;  // no allocator can give this
  handler_calls = 0;
  std::set_new_handler(give_up_handler);
  EXPECT_THROW((void)::operator new(huge), std::bad_alloc);
  EXPECT_EQ(handler_calls, 1);  // called once, then no handler is left
  EXPECT_THROW((void)::operator new[](huge, __FILE__, __LINE__), std::bad_alloc);
  EXPECT_EQ(handler_calls, 1);

  EXPECT_EQ(::operator new(huge, std::nothrow), nullptr);
  std::set_new_handler(throwing_handler);
  EXPECT_EQ(::operator new[](huge, std::nothrow, __FILE__, __LINE__), nullptr);
  EXPECT_EQ(handler_calls, 2);
  std::set_new_handler(nullptr);
}

TEST(OperatorNew, BlocksMixWithMallocAndFree) {
  // Through pointers, so the compiler cannot see the mix.
  void* (*volatile alloc)(std::size_t) = static_cast<void* (*)(std::size_t)>(&::operator new);
  void (*volatile release)(void*) = &free;
  void* p = alloc(64);
  memset(p, 1, 64);
  release(p);
  void (*volatile sized_delete)(void*, std::size_t) =
      static_cast<void (*)(void*, std::size_t)>(&::operator delete);
  sized_delete(malloc(32), 32);
  void* (*volatile aligned)(std::size_t, std::align_val_t) =
      static_cast<void* (*)(std::size_t, std::align_val_t)>(&::operator new);
  void* q = aligned(100, std::align_val_t(64));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(q) % 64, 0u);
  release(q);
  char* r = new (__FILE__, __LINE__) char[10];
  release(r);
}

int count_of(const std::string& s, const std::string& what) {
  int n = 0;
  for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
  return n;
}

TEST(MemReport, FirstReplacesLaterAppend) {
  fly_test::write_file("MemoryLog.txt", "left from an earlier run\n");
  UTL_reset_mem_report();
  char first[] = "first";
  char second[] = "second";
  dump_mem_stats(first);
  std::string text = fly_test::read_file("MemoryLog.txt");
  EXPECT_EQ(text.rfind("dump_mem_stats: first\nOS X Info:\n", 0), 0u);
  dump_mem_stats(second);
  text = fly_test::read_file("MemoryLog.txt");
  EXPECT_EQ(count_of(text, "dump_mem_stats: "), 2);
  EXPECT_NE(text.find("dump_mem_stats: second\n"), std::string::npos);
  const std::string log = fly_test::log_text();
  EXPECT_NE(log.find("OK check MemoryLog.txt! I just sent him a dump from first\n"),
            std::string::npos);
  EXPECT_NE(log.find("OK check MemoryLog.txt! I just sent him a dump from second\n"),
            std::string::npos);
}

TEST(MemReport, LinesAndFigures) {
  UTL_reset_mem_report();
  char msg[] = "format";
  dump_mem_stats(msg);
  const std::string text = fly_test::read_file("MemoryLog.txt");
  const char* const figure_lines[] = {
      R"(    Page size:        +\d+K      This is the size of one virtual memory page\.)",
      R"(    Vsize \(reported\): +\d+[KMG]      This is the total virtual address space used by Flyvane \(including empty regions\)\.)",
      R"(    Wired Pages:      +\d+[BKMG]      This is the total wired RAM - pages that are 'wired down' and cannot ever be paged out\.)",
      R"(        Address           Size    r-private r-shared sharing-mode \(ref count\))",
      R"(        0x[0-9A-F]{8,}      +\d+[BKMG]               --------)",
      R"(        0x[0-9A-F]{8,}      +\d+[BKMG]       +\d+[BKMG] +\d+[BKMG]    *(Copy-on-write|Private|Empty|Shared) \( *\d+\)       .*test_UTL)",
      R"(    Total vsize:     +\d+[KMG]      This is the total non-empty virtual address space used by Flyvane\.)",
      R"(    Total gap:       +\d+[KMG]      This is the size of all of the gaps in Flyvane's address space - that is, total unused address space\.)",
  };
  for (const char* re : figure_lines)
    EXPECT_TRUE(std::regex_search(text, std::regex(std::string("(^|\n)") + re + "\n"))) << re;
  // The page size is the machine's.
  char page[32];
  const long ps = sysconf(_SC_PAGESIZE);
  snprintf(page, sizeof(page), "%5u%c", mem_to_number(static_cast<uint64_t>(ps)),
           mem_to_suffix(static_cast<uint64_t>(ps)));
  EXPECT_NE(text.find(std::string("    Page size:        ") + page), std::string::npos);
}

TEST(MemReport, UnopenableFileGoesToStandardOutput) {
  UTL_reset_mem_report();
  app_path = fly_test::sandbox() + "no such folder/";
  char msg[] = "to stdout";
  testing::internal::CaptureStdout();
  dump_mem_stats(msg);
  const std::string out = testing::internal::GetCapturedStdout();
  app_path.clear();
  EXPECT_EQ(out.rfind("dump_mem_stats: to stdout\nOS X Info:\n", 0), 0u);
  EXPECT_NE(out.find("    Total gap:"), std::string::npos);
}

TEST(MemReport, RemoteCommandDumps) {
  UTL_reset_mem_report();
  EXPECT_STREQ(dump_mem_now.name, "Dump Memory Info");
  UTL_remote_cmd::invoke(nullptr, dump_mem_now.id);
  EXPECT_EQ(fly_test::read_file("MemoryLog.txt").rfind("dump_mem_stats: Remote Commanded Dump\n", 0),
            0u);
}

}  // namespace
