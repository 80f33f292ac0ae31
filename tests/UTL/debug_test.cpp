#include "UTL/debug.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "support/test_util.h"

extern "C" __attribute__((noinline)) int fly_probe_fn(int x) { return x * 3 + 1; }

template <class Fn>
static std::string capture(Fn fn) {
  FILE* f = fopen("capture.txt", "w");
  fn(f);
  fclose(f);
  return fly_test::read_file("capture.txt");
}
static long lines(const std::string& s) { return std::count(s.begin(), s.end(), '\n'); }

// A mapped page followed by an unmapped one (left mapped: each case is its own process).
static char* page_then_hole(int prot = PROT_READ | PROT_WRITE) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  char* base =
      static_cast<char*>(mmap(nullptr, 2 * page, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  munmap(base + page, page);
  return base;
}

TEST(ValidMemory, RangesAndPermissions) {
  const unsigned page = static_cast<unsigned>(sysconf(_SC_PAGESIZE));
  char* base = page_then_hole(PROT_READ);
  EXPECT_EQ(UTL_valid_memory(nullptr, 4, 1, 0), 0);
  EXPECT_EQ(UTL_valid_memory(nullptr, 0, 1, 1), 1);  // an empty range is valid
  EXPECT_EQ(UTL_valid_memory(base, page, 1, 0), 1);
  EXPECT_EQ(UTL_valid_memory(base, 8, 1, 1), 0);  // not writable
  EXPECT_EQ(UTL_valid_memory(base + page - 4, 8, 1, 0), 0);
  EXPECT_EQ(UTL_valid_memory(reinterpret_cast<void*>(~uintptr_t(0) - 2), 16, 0, 0), 0);  // wraps
}

static volatile int g_sink = 0;
static __attribute__((noinline)) int recurse(FILE* f, int depth, void* pc) {
  if (depth == 0) {
    UTL_dump_stack(f, nullptr, pc);
    return 0;
  }
  int r = recurse(f, depth - 1, pc);
  g_sink = g_sink + 1;  // keeps the call from becoming a jump
  return r + 1;
}

TEST(DumpStack, StopsAtOneHundredLinesAndAtBadFrameLinks) {
  std::string out = capture([](FILE* f) { recurse(f, 150, nullptr); });
  EXPECT_EQ(lines(out), 100);
  EXPECT_LT(out.find("recurse"), out.find('\n'));  // it starts in the caller
  // A program counter takes line 0 and counts toward the limit.
  out = capture([](FILE* f) { recurse(f, 150, reinterpret_cast<void*>(&fly_probe_fn)); });
  EXPECT_EQ(lines(out), 100);
  EXPECT_EQ(out.rfind("  0) fly_probe_fn + 0", 0), 0u);

  char* page = page_then_hole();
  auto* frames = reinterpret_cast<stack_frame*>(page);
  void* ret = reinterpret_cast<void*>(&fly_probe_fn);
  for (int i = 0; i < 200; ++i) frames[i] = {&frames[i + 1], ret};
  auto crawl = [&] { return lines(capture([&](FILE* f) { UTL_dump_stack(f, frames, nullptr); })); };
  EXPECT_EQ(crawl(), 100);
  frames[2].next = &frames[0];  // a saved frame pointer below its frame
  EXPECT_EQ(crawl(), 2);
  frames[2].next = reinterpret_cast<stack_frame*>(page + sysconf(_SC_PAGESIZE));  // unmapped
  EXPECT_EQ(crawl(), 3);
}

TEST(DebugInit, BrokenPipeIsAnErrorNotAnEnd) {
  UTL_debug_init();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  EXPECT_EQ(write(fds[1], "x", 1) == -1 ? errno : 0, EPIPE);
}

