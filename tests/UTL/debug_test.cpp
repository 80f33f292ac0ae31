#include "UTL/debug.h"

#include <gnu/libc-version.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <regex>
#include <string>
#include <vector>

#include "support/test_util.h"

extern "C" __attribute__((noinline)) int fly_probe_fn(int x) { return x * 3 + 1; }

namespace {

// What a stdio writer puts into a FILE, as a string.
template <class Fn>
std::string capture(Fn fn) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* f = open_memstream(&buf, &len);
  fn(f);
  fclose(f);
  std::string s(buf, len);
  free(buf);
  return s;
}

std::vector<std::string> lines_of(const std::string& s) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < s.size()) {
    size_t eol = s.find('\n', pos);
    if (eol == std::string::npos) eol = s.size();
    out.push_back(s.substr(pos, eol - pos));
    pos = eol + 1;
  }
  return out;
}

// Two pages: the first mapped read-write, the second unmapped.
struct page_pair {
  char* base;
  size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  page_pair() {
    base = static_cast<char*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    munmap(base + page, page);
  }
  ~page_pair() { munmap(base, page); }
};

TEST(ValidMemory, RangesAndPermissions) {
  page_pair pp;
  int on_stack = 0;
  static const char k_text[] = "read only";
  struct row {
    const void* p;
    unsigned len;
    int r, w;
    int want;
  };
  const row rows[] = {
      {nullptr, 4, 1, 0, 0},               // page zero is never mapped
      {nullptr, 0, 1, 1, 1},               // an empty range is always valid
      {&on_stack, sizeof(on_stack), 1, 1, 1},
      {k_text, sizeof(k_text), 1, 0, 1},
      {k_text, sizeof(k_text), 1, 1, 0},   // constants are not writable
      {pp.base, static_cast<unsigned>(pp.page), 1, 1, 1},
      {pp.base + pp.page - 4, 8, 1, 0, 0},  // runs into the unmapped page
      {pp.base + pp.page, 1, 0, 0, 0},
      {reinterpret_cast<void*>(~uintptr_t(0) - 2), 16, 0, 0, 0},  // wraps around
  };
  for (const row& r : rows)
    EXPECT_EQ(UTL_valid_memory(const_cast<void*>(r.p), r.len, r.r, r.w), r.want)
        << r.p << " len " << r.len << " r" << r.r << " w" << r.w;
}

TEST(DebugSymbol, OwnFunctionNamesSymbolSourceAndImage) {
  const std::string line = capture([](FILE* f) {
    print_symbol(f, reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(&fly_probe_fn) + 3));
  });
  // The build carries debug information, so the source line is known.
  EXPECT_TRUE(std::regex_match(line, std::regex(R"(fly_probe_fn \+ 3 \(debug_test\.cpp:\d+\) )"
                                                R"(\(test_UTL \+ \d+\)\n)")))
      << line;
  symbol_info s;
  UTL_get_debug_symbol(reinterpret_cast<void*>(&fly_probe_fn), &s);
  EXPECT_STREQ(s.symbol_name, "fly_probe_fn");
  EXPECT_EQ(s.symbol_addr, reinterpret_cast<void*>(&fly_probe_fn));
  EXPECT_NE(std::string(s.image_path).find("test_UTL"), std::string::npos);
  EXPECT_NE(s.image_base, nullptr);
}

TEST(DebugSymbol, SystemLibraryAndUnknownAddresses) {
  const std::string lib = capture(
      [](FILE* f) { print_symbol(f, reinterpret_cast<void*>(&gnu_get_libc_version)); });
  EXPECT_EQ(lib.rfind("gnu_get_libc_version + 0", 0), 0u) << lib;
  EXPECT_TRUE(std::regex_search(lib, std::regex(R"( \(libc\.so\.6 \+ \d+\)\n$)"))) << lib;

  std::vector<char> heap(16);
  symbol_info s;
  UTL_get_debug_symbol(heap.data(), &s);
  EXPECT_STREQ(s.symbol_name, "");
  EXPECT_EQ(s.symbol_addr, nullptr);
  EXPECT_STREQ(s.source_file, "");
  EXPECT_EQ(s.source_line, -1);
  char want[64];
  snprintf(want, sizeof(want), "0x%08lx (?\?\?)\n",
           static_cast<unsigned long>(reinterpret_cast<uintptr_t>(heap.data())));
  EXPECT_EQ(capture([&](FILE* f) { print_symbol(f, heap.data()); }), want);
}

volatile int g_sink = 0;

__attribute__((noinline)) void crawl_here(FILE* f) {
  UTL_dump_stack(f, nullptr, nullptr);
  g_sink = g_sink + 1;  // keeps the call from becoming a jump
}

__attribute__((noinline)) int recurse(FILE* f, int depth, void* pc) {
  if (depth == 0) {
    UTL_dump_stack(f, nullptr, pc);
    return 0;
  }
  int r = recurse(f, depth - 1, pc);
  g_sink = g_sink + 1;  // keeps the call from becoming a jump
  return r + 1;
}

TEST(DumpStack, StartsInTheCallerAndNumbersTheLines) {
  const std::vector<std::string> lines = lines_of(capture(crawl_here));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("  0) ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("crawl_here"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1].rfind("  1) ", 0), 0u) << lines[1];
}

TEST(DumpStack, DeepRecursionStopsAtOneHundredLines) {
  std::vector<std::string> lines = lines_of(capture([](FILE* f) { recurse(f, 150, nullptr); }));
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_EQ(lines[99].rfind("  99) ", 0), 0u) << lines[99];
  EXPECT_NE(lines[0].find("recurse"), std::string::npos) << lines[0];

  // A program counter takes line 0 and counts toward the limit.
  lines = lines_of(capture([](FILE* f) {
    recurse(f, 150, reinterpret_cast<void*>(&fly_probe_fn));
  }));
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_EQ(lines[0].rfind("  0) fly_probe_fn + 0", 0), 0u) << lines[0];
  EXPECT_NE(lines[1].find("recurse"), std::string::npos) << lines[1];
}

TEST(DumpStack, FramePointerChains) {
  page_pair pp;
  auto* frames = reinterpret_cast<stack_frame*>(pp.base);
  const int room = static_cast<int>(pp.page / sizeof(stack_frame));
  ASSERT_GT(room, 150);
  void* ret = reinterpret_cast<void*>(&fly_probe_fn);
  for (int i = 0; i < room; ++i) frames[i] = {&frames[i + 1], ret};

  // A long ordered chain stops at 100 lines.
  EXPECT_EQ(lines_of(capture([&](FILE* f) { UTL_dump_stack(f, frames, nullptr); })).size(), 100u);

  // A saved frame pointer below its frame ends the crawl.
  frames[2].next = &frames[0];
  std::vector<std::string> lines =
      lines_of(capture([&](FILE* f) { UTL_dump_stack(f, frames, nullptr); }));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].rfind("  1) fly_probe_fn + 0", 0), 0u) << lines[1];

  // A chain into unmapped memory ends quietly; so does a start there.
  frames[2].next = reinterpret_cast<stack_frame*>(pp.base + pp.page);
  EXPECT_EQ(lines_of(capture([&](FILE* f) { UTL_dump_stack(f, frames, nullptr); })).size(), 3u);
  EXPECT_EQ(capture([&](FILE* f) {
              UTL_dump_stack(f, reinterpret_cast<stack_frame*>(pp.base + pp.page), nullptr);
            }),
            "");
}

TEST(DumpHex, GroupsBytesAndCharacters) {
  unsigned char data[20];
  for (int i = 0; i < 20; ++i) data[i] = static_cast<unsigned char>(i < 16 ? 'A' + i : i);
  data[3] = 0x7f;
  const std::string out = capture([&](FILE* f) { dump_hex(f, data, 20); });
  // Past the end, each byte is two blanks and the groups keep their gaps.
  EXPECT_EQ(out, " 4142437F 45464748 494A4B4C 4D4E4F50     ABC. EFGH IJKL MNOP\n"
                 " 10111213" + std::string(3 * 9, ' ') + "     ....\n");
  EXPECT_EQ(capture([&](FILE* f) { dump_hex(f, data, 0); }), "");
}

TEST(DebugInit, BrokenPipeIsAnErrorNotAnEnd) {
  UTL_debug_init();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  errno = 0;
  EXPECT_EQ(write(fds[1], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  close(fds[1]);
}

}  // namespace
