// Scenery library speed: DSF_ScanSceneryFolder over a generated folder of
// 1,000 packages with 100 library lines each, then 100,000 single lookups
// by cell and seed. Peers in the same run: the same files read with
// std::getline into a std::map of vectors, and std::map::find of the same
// virtual paths.
//
//   bench_scenery_bench [--packages N] [--lines N] [--lookups N] [--runs N]
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Files/io_locate.h"
#include "GenH/shell.h"
#include "bench_util.h"

namespace {
struct lcg {
  uint32_t s = 12345;
  uint32_t next() { return s = s * 1664525u + 1013904223u; }
  int below(int n) { return static_cast<int>((next() >> 8) % static_cast<uint32_t>(n)); }
};

// Writes the packages below the working folder: mostly plain exports of a
// shared set of virtual paths, some weighted or extending, and a region.
void make_folder(int packages, int lines, int paths) {
  lcg r;
  for (int p = 0; p < packages; ++p) {
    char dir[64];
    snprintf(dir, sizeof(dir), "Custom Scenery/pkg%04d/", p);
    if (p == 0) mkdir("Custom Scenery", 0755);
    mkdir(dir, 0755);
    std::ostringstream o;
    o << "I\n800 version\nLIBRARY\n\n";
    o << "REGION_DEFINE box\nREGION_RECT " << (r.below(300) - 180) << " " << (r.below(120) - 90)
      << " " << 170 << " " << 80 << "\n";
    for (int l = 3; l < lines; ++l) {
      const int v = r.below(paths);
      if (l == lines / 2) o << "REGION box\n";
      switch (r.below(10)) {
        case 0:
          o << "EXPORT_RATIO " << 1 + r.below(5) << " lib/o" << v << ".obj objects/w" << l
            << ".obj\n";
          break;
        case 1:
          o << "EXPORT_EXTEND lib/o" << v << ".obj objects/e" << l << ".obj\n";
          break;
        default:
          o << "EXPORT lib/o" << v << ".obj objects/o" << l << ".obj\n";
      }
    }
    std::ofstream(std::string(dir) + "library.txt") << o.str();
  }
}

// The peer's reading: every line's keyword, virtual and real path.
size_t peer_scan(int packages, std::map<std::string, std::vector<std::string>>& lib) {
  lib.clear();
  size_t entries = 0;
  for (int p = 0; p < packages; ++p) {
    char dir[64];
    snprintf(dir, sizeof(dir), "Custom Scenery/pkg%04d/", p);
    std::ifstream in(std::string(dir) + "library.txt");
    std::string line, word, vpath, rpath;
    while (std::getline(in, line)) {
      std::istringstream ls(line);
      ls >> word;
      if (word.rfind("EXPORT", 0) != 0) continue;
      if (word == "EXPORT_RATIO") ls >> rpath;
      ls >> vpath >> rpath;
      lib[vpath].push_back(dir + rpath);
      ++entries;
    }
  }
  return entries;
}
}  // namespace

int main(int argc, char** argv) {
  int packages = 1000, lines = 100, lookups = 100000, runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const int v = atoi(argv[i + 1]);
    if (a == "--packages") packages = std::max(1, v);
    if (a == "--lines") lines = std::max(4, v);
    if (a == "--lookups") lookups = std::max(1, v);
    if (a == "--runs") runs = std::max(1, v);
  }
  srand(1);
  for (float& f : randrat) f = static_cast<float>(rand() * (1.0 / 2147483648.0) * 0.9999);

  bench::scratch dir("scenery", false, bench::tmp_root());
  if (chdir(dir.path().c_str()) != 0) return 1;
  const int paths = 2000;
  make_folder(packages, lines, paths);
  printf("%d packages of %d lines, %d lookups, best of %d\n", packages, lines, lookups, runs);

  const double scan = bench::best_of(runs, [] { DSF_ScanSceneryFolder(); });
  std::map<std::string, std::vector<std::string>> peer;
  size_t peer_entries = 0;
  const double peer_t = bench::best_of(runs, [&] { peer_entries = peer_scan(packages, peer); });
  if (scenery_packages.size() != static_cast<size_t>(packages) || dsf_library.empty()) {
    fprintf(stderr, "scan found %zu packages, %zu paths\n", scenery_packages.size(),
            dsf_library.size());
    return 1;
  }
  printf("scan:   %8.2f us per package  (getline peer %8.2f us, ratio %.2f; %zu paths, %zu "
         "peer entries)\n",
         scan / packages * 1e6, peer_t / packages * 1e6, scan / peer_t, dsf_library.size(),
         peer_entries);

  // The same queries for both: virtual path, cell, seed.
  struct query {
    std::string vpath;
    int lon, lat, seed;
  };
  lcg r;
  std::vector<query> qs;
  for (int i = 0; i < lookups; ++i)
    qs.push_back({"lib/o" + std::to_string(r.below(paths + paths / 10)) + ".obj",
                  r.below(360) - 180, r.below(180) - 90, r.below(1 << 30)});
  size_t found = 0, peer_found = 0;
  const double look = bench::best_of(runs, [&] {
    found = 0;
    std::string p;
    for (const query& q : qs) {
      p = q.vpath;
      found += DSF_LookupLibraryResource(q.lon, q.lat, p, q.seed);
    }
  });
  const double peer_look = bench::best_of(runs, [&] {
    peer_found = 0;
    std::string p;
    for (const query& q : qs) {
      const auto it = peer.find(q.vpath);
      if (it == peer.end()) continue;
      p = it->second[static_cast<size_t>(q.seed) % it->second.size()];
      ++peer_found;
    }
  });
  printf("lookup: %8.3f us per lookup   (map::find peer %8.3f us, ratio %.2f; %zu and %zu found)\n",
         look / lookups * 1e6, peer_look / lookups * 1e6, look / peer_look, found, peer_found);
  return 0;
}
