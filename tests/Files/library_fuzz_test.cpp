// A short fuzz run over the library command loop and the lookups that read
// what it built: the committed seeds in library_seeds/ are mutated with a
// fixed generator for a few seconds (FLY_FUZZ_SECONDS, FLY_FUZZ_SEED change
// that). Each input is read from a buffer of exactly its size, so a read past
// it shows under ASan; every input must end with the cursor at its end.
#include <dirent.h>

#include <algorithm>
#include <chrono>

#include "Files/library_util.h"

using namespace lib_test;

namespace {
struct rng {
  uint64_t s;
  uint64_t next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
  size_t below(size_t n) { return n ? static_cast<size_t>(next() % n) : 0; }
};

const char* const k_tokens[] = {
    "EXPORT ", "EXPORT_EXTEND ", "EXPORT_EXCLUDE ", "EXPORT_BACKUP ", "EXPORT_RATIO ",
    "REGION ", "REGION_DEFINE ", "REGION_RECT ", "REGION_BITMAP ", "EXPORT", "REGION_RECT",
    "-180 ", "179 ", "-90 ", "89 ", "360 ", "2147483647 ", "-2147483648 ", "16777216 ",
    "16777215 ", "-1 ", "0 ", "\n", "\r", "\r\n", " ", "\t", "" /* a NUL byte */,
    "\\", ":", "lib/a.obj ", "r ", "europe ", "%s%n%d ", "\xC3\xA9", "\xFF\xFE"};

std::vector<std::string> load_seeds() {
  const std::string dir = std::string(FLY_SOURCE_DIR) + "/tests/Files/library_seeds/";
  std::vector<std::string> seeds;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') seeds.push_back(fly_test::read_file(dir + e->d_name));
    closedir(d);
  }
  std::sort(seeds.begin(), seeds.end());
  return seeds;
}

std::string mutate(std::string s, const std::vector<std::string>& seeds, rng& r) {
  const size_t steps = 1 + r.below(4);
  for (size_t i = 0; i < steps; ++i) {
    const size_t at = r.below(s.size() + 1);
    switch (r.below(6)) {
      case 0:
        if (!s.empty()) s[r.below(s.size())] = static_cast<char>(r.next());
        break;
      case 1: {
        const char* t = k_tokens[r.below(sizeof(k_tokens) / sizeof(k_tokens[0]))];
        s.insert(at, *t ? std::string(t) : std::string(1, '\0'));
        break;
      }
      case 2:
        s.erase(at, r.below(16));
        break;
      case 3:
        if (at < s.size()) s.insert(r.below(s.size() + 1), s.substr(at, r.below(64)));
        break;
      case 4:
        s.resize(at);
        break;
      default: {
        const std::string& o = seeds[r.below(seeds.size())];
        const size_t from = r.below(o.size() + 1);
        s.insert(at, o.substr(from, r.below(200)));
      }
    }
  }
  if (s.size() > 8192) s.resize(8192);
  return s;
}

// Reads one input and runs the lookups over what it registered.
void run_one(const std::string& body, rng& r) {
  fly_test::clear_alerts();
  const fuzz_result res = fuzz_one(body, [&r] { return r.next(); });
  ASSERT_TRUE(res.read_to_end);  // every input must end with the cursor at its end
  ASSERT_LE(res.most_listed, 1024u * 64);
}
}  // namespace

TEST(SceneryFuzz, CommandLoopOnMutatedSeeds) {
  const std::vector<std::string> seeds = load_seeds();
  ASSERT_GE(seeds.size(), 3u) << "library_seeds/ missing";
  const char* secs_env = getenv("FLY_FUZZ_SECONDS");
  const char* seed_env = getenv("FLY_FUZZ_SEED");
  const double budget = secs_env ? atof(secs_env) : 2.0;
  rng r{seed_env ? strtoull(seed_env, nullptr, 10) | 1 : 0x9E3779B97F4A7C15ull};
  DSF_bitmap_loader = fuzz_loader;
  fix_randrat();

  for (const std::string& s : seeds) run_one(s, r);
  std::vector<std::string> pool = seeds;
  const auto start = std::chrono::steady_clock::now();
  size_t runs = 0;
  while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < budget) {
    std::string in = mutate(pool[r.below(pool.size())], seeds, r);
    run_one(in, r);
    if (HasFatalFailure()) return;
    // Every so often the whole road: a library file on disk and a scan.
    if (runs % 256 == 0) {
      write_library("Custom Scenery/F/", in);
      DSF_ScanSceneryFolder();
    }
    if (pool.size() < 256)
      pool.push_back(std::move(in));
    else
      pool[r.below(pool.size())] = std::move(in);
    ++runs;
  }
  printf("%zu fuzz inputs\n", runs);
  EXPECT_GT(runs, 100u);
}
