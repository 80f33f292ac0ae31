#include "UTL/memory.h"

#include <gmock/gmock.h>

#include <cstdlib>

#include "GenH/shell.h"
#include "UTL/cmnd.h"
#include "support/test_util.h"

#ifdef __SANITIZE_ADDRESS__
// A failed malloc must return null here, as it does without the sanitizer.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

TEST(MemScale, ThresholdsAndUnits) {
  const uint64_t gig = 1ull << 30;
  const std::pair<uint64_t, const char*> rows[] = {
      {0, "0B"},         {1433, "1433B"},        {1434, "1K"},     {1468006, "1433K"},
      {1468007, "1M"},   {14 * gig, "14336M"},   {14 * gig + 1, "14G"},
      {1ull << 62, "4294967295G"}};  // clamped, no wrap
  for (const auto& [bytes, want] : rows)
    EXPECT_EQ(std::to_string(mem_to_number(bytes)) + mem_to_suffix(bytes), want) << bytes;
}

TEST(OperatorNew, ZeroSizeNewHandlerNothrowAndFree) {
  static int handler_calls = 0;
  void *a = ::operator new(0), *b = ::operator new(0);
  EXPECT_NE(a, b);
  void (*volatile release)(void*) = &free;  // hidden from the compiler's pairing check
  release(a);  // blocks of operator new are malloc's
  release(b);
  volatile size_t huge = ~size_t(0) / 2;
  std::set_new_handler([] {
    ++handler_calls;
    std::set_new_handler(nullptr);
  });
  EXPECT_THROW((void)::operator new(huge), std::bad_alloc);
  EXPECT_EQ(handler_calls, 1);  // called once, then no handler is left
  EXPECT_EQ(::operator new[](huge, std::nothrow, __FILE__, __LINE__), nullptr);
}

TEST(MemReport, FirstReplacesLaterAppendUnopenableGoesToStdout) {
  fly_test::write_file("MemoryLog.txt", "left from an earlier run\n");
  UTL_reset_mem_report();
  char first[] = "first";
  dump_mem_stats(first);
  UTL_remote_cmd::invoke(nullptr, dump_mem_now.id);
  const std::string text = fly_test::read_file("MemoryLog.txt");
  EXPECT_EQ(text.rfind("dump_mem_stats: first\nOS X Info:\n", 0), 0u);
  EXPECT_NE(text.find("dump_mem_stats: Remote Commanded Dump\n"), std::string::npos);
  EXPECT_THAT(text, testing::ContainsRegex(  // a region line of this program
                        "\n        0x[0-9A-F]{8,} +[0-9]+[BKMG] +[0-9]+[BKMG] +[0-9]+[BKMG] +"
                        "(Copy-on-write|Private|Empty|Shared) \\( *[0-9]+\\) +[^\n]*test_UTL\n"));
  UTL_reset_mem_report();
  app_path = fly_test::sandbox() + "no such folder/";
  testing::internal::CaptureStdout();
  dump_mem_stats(first);
  const std::string out = testing::internal::GetCapturedStdout();
  app_path.clear();
  EXPECT_EQ(out.rfind("dump_mem_stats: first\nOS X Info:\n", 0), 0u);
  EXPECT_NE(out.find("\n    Total gap:  "), std::string::npos);
}
