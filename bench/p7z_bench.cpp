// 7z extraction: p7z_to_file against 7zz x on one solid archive of a master
// folder (about 500 MB at the default scale), for time and peak memory, both
// measured as child processes in the same run. The archive is packed with
// LZMA, the method of the installer's 7z archives, and with LZMA2 in blocks,
// which 7zz can also decode on several threads. Every generated file lives
// under /tmp and is removed at the end.
//
//   bench_p7z_bench [--scale S] [--runs N] [--methods LZMA,LZMA2]
#include <cstdio>
#include <set>
#include <sstream>

#include "Files/p7z.h"
#include "Linux/lin_sys.h"
#include "bench_util.h"

using bench::child_result;
using bench::run_shell;

namespace {
struct best {
  double secs = 1e30;
  long rss_kb = 0;
  void take(const child_result& r) {
    if (r.status != 0) {
      fprintf(stderr, "a run failed with status %d\n", r.status);
      exit(1);
    }
    secs = std::min(secs, r.secs);
    rss_kb = std::max(rss_kb, r.max_rss_kb);
  }
};
}  // namespace

int main(int argc, char** argv) {
  double scale = 0.75;
  int runs = 3;
  std::string methods = "LZMA,LZMA2";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--scale") scale = atof(argv[i + 1]);
    if (a == "--runs") runs = std::max(1, atoi(argv[i + 1]));
    if (a == "--methods") methods = argv[i + 1];
  }
  bench::scratch tmp("p7z-bench");
  const std::string corpus = tmp.path() + "corpus";
  bench::make_corpus(scale, corpus);
  run_shell("find '" + corpus + "' -type l -delete");  // 7z items here are files only
  std::set<std::string> folders;
  uint64_t bytes = 0;
  for (const auto& it : bench::list_corpus(corpus)) {
    folders.insert(bench::folder_of(it.rel));
    bytes += it.size;
  }
  const int procs = LIN_processor_count();
  printf("corpus: %.1f MB; %d processors; best of %d runs\n", bytes / 1e6, procs, runs);

  std::stringstream list(methods);
  for (std::string method; std::getline(list, method, ',');) {
    const std::string archive = tmp.path() + method + ".7z";
    printf("packing a solid %s archive...\n", method.c_str());
    fflush(stdout);
    run_shell("cd '" + tmp.path() + "' && 7zz a -bd -bso0 -bsp0 -ms=on -m0=" + method + " '" +
              archive + "' corpus");
    const std::string ours = tmp.path() + "ours/", peer = tmp.path() + "peer/";
    best b_ours, b_peer;
    for (int r = 0; r < runs; ++r) {
      run_shell("rm -rf '" + ours + "' '" + peer + "'");
      LIN_make_dirs(ours + "corpus");  // p7z_to_file makes no folders
      for (const std::string& f : folders) LIN_make_dirs(ours + "corpus/" + f);
      b_ours.take(bench::in_child([&] { return p7z_to_file(archive, ours) == 0 ? 0 : 1; }));
      b_peer.take(
          bench::exec_child({"7zz", "x", "-y", "-bd", "-bso0", "-bsp0", "-o" + peer, archive}));
    }
    if (system(("diff -r '" + corpus + "' '" + ours + "corpus' > /dev/null").c_str()) != 0) {
      fprintf(stderr, "the unpacked tree differs from the corpus\n");
      return 1;
    }
    struct stat st;
    stat(archive.c_str(), &st);
    const double mb = bytes / 1e6;
    printf("%s, archive %.1f MB:\n", method.c_str(), st.st_size / 1e6);
    printf("  %-14s %8.3f s %8.1f MB/s  peak %7.1f MB\n", "p7z_to_file", b_ours.secs,
           mb / b_ours.secs, b_ours.rss_kb / 1024.0);
    printf("  %-14s %8.3f s %8.1f MB/s  peak %7.1f MB\n", "7zz x", b_peer.secs, mb / b_peer.secs,
           b_peer.rss_kb / 1024.0);
    printf("  ratio time 7zz x / p7z_to_file:        %.3f  (target >= 1)\n",
           b_peer.secs / b_ours.secs);
    printf("  ratio peak memory 7zz x / p7z_to_file: %.3f  (target >= 1)\n",
           static_cast<double>(b_peer.rss_kb) / b_ours.rss_kb);
    fflush(stdout);
    unlink(archive.c_str());
  }
  return 0;
}
