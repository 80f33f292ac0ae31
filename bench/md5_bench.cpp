// File MD5 speed: calc_file_md5 on one thread and on one thread per
// processor, against md5sum and xargs -P<processors> md5sum on the same files
// in the same run. The tree is a master folder made by make-corpus.py.
//
//   bench_md5_bench [--scale S] [--corpus DIR] [--runs N]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Files/md5.h"
#include "Linux/lin_sys.h"
#include "bench_util.h"

using bench::best_of;
using bench::run_shell;

namespace {
std::vector<std::string> g_files;
uint64_t g_bytes = 0;

int collect(const char* path, const struct stat* st, int flag, struct FTW*) {
  if (flag == FTW_F && S_ISREG(st->st_mode)) {
    g_files.push_back(path);
    g_bytes += static_cast<uint64_t>(st->st_size);
  }
  return 0;
}

void hash_one(size_t i, std::vector<std::string>& out) {
  if (calc_file_md5(g_files[i], out[i]) != 0) out[i] = "FAILED";
}

void hash_all(std::vector<std::string>& out) {
  for (size_t i = 0; i < g_files.size(); ++i) hash_one(i, out);
}

void hash_parallel(int threads, std::vector<std::string>& out) {
  bench::parallel(threads, g_files.size(), [&](size_t i) { hash_one(i, out); });
}
}  // namespace

int main(int argc, char** argv) {
  double scale = 1.0;
  int runs = 3;
  std::string corpus;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--scale")
      scale = atof(argv[i + 1]);
    else if (a == "--corpus")
      corpus = argv[i + 1];
    else if (a == "--runs")
      runs = std::max(1, atoi(argv[i + 1]));
  }
  // The corpus is kept between runs (the ".done" file says it is whole).
  if (corpus.empty()) {
    char name[64];
    snprintf(name, sizeof(name), "/flyvane-md5-corpus-%g", scale);
    corpus = bench::tmp_root() + name;
  }
  if (!bench::exists(corpus + ".done")) {
    run_shell("rm -rf " + bench::q(corpus));
    bench::make_corpus(scale, corpus);
    std::ofstream(corpus + ".done") << "ok\n";
  }
  nftw(corpus.c_str(), collect, 32, FTW_PHYS);
  std::sort(g_files.begin(), g_files.end());
  if (g_files.empty()) {
    fprintf(stderr, "no files in %s\n", corpus.c_str());
    return 1;
  }
  const int procs = LIN_processor_count();
  const std::string list = corpus + ".list";
  bench::write_nul_list(list, g_files);

  // Same answers as md5sum, and every file in the page cache before timing.
  std::vector<std::string> ours(g_files.size());
  hash_all(ours);
  const std::string sums = corpus + ".md5sum";
  run_shell("xargs -0 md5sum < '" + list + "' > '" + sums + "'");
  {
    std::map<std::string, std::string> ref;
    std::ifstream in(sums);
    for (std::string line; std::getline(in, line);)
      if (line.size() > 34) ref[line.substr(34)] = line.substr(0, 32);
    for (size_t i = 0; i < g_files.size(); ++i)
      if (ref[g_files[i]] != ours[i]) {
        fprintf(stderr, "MISMATCH %s: %s vs md5sum %s\n", g_files[i].c_str(), ours[i].c_str(),
                ref[g_files[i]].c_str());
        return 1;
      }
  }

  const size_t per_proc =
      (g_files.size() + static_cast<size_t>(procs) * 4 - 1) / (static_cast<size_t>(procs) * 4);
  const std::string np = std::to_string(procs);
  const double t_one = best_of(runs, [&] { hash_all(ours); });
  const double t_par = best_of(runs, [&] { hash_parallel(procs, ours); });
  const double t_md5sum =
      best_of(runs, [&] { run_shell("xargs -0 md5sum < '" + list + "' > /dev/null"); });
  const double t_xargs = best_of(
      runs, [&] { run_shell("xargs -0 -P" + np + " md5sum < '" + list + "' > /dev/null"); });
  const double t_xargs_n = best_of(runs, [&] {
    run_shell("xargs -0 -P" + np + " -n" + std::to_string(per_proc) + " md5sum < '" + list +
              "' > /dev/null");
  });

  const double mb = static_cast<double>(g_bytes) / 1e6;
  printf("corpus %s: %zu files, %.1f MB; %d processors; best of %d runs\n", corpus.c_str(),
         g_files.size(), mb, procs, runs);
  auto row = [&](const char* what, double t) {
    printf("  %-44s %8.3f s %8.1f MB/s\n", what, t, mb / t);
  };
  row("calc_file_md5, 1 thread", t_one);
  row(("calc_file_md5, " + np + " threads").c_str(), t_par);
  row("md5sum", t_md5sum);
  row(("xargs -P" + np + " md5sum").c_str(), t_xargs);
  row(("xargs -P" + np + " -n" + std::to_string(per_proc) + " md5sum").c_str(), t_xargs_n);
  printf("ratio md5sum / calc_file_md5 (1 thread):            %.3f  (target >= 0.909)\n",
         t_md5sum / t_one);
  printf("ratio xargs -P%s md5sum / calc_file_md5 (%s threads): %.3f  (target >= 3)\n", np.c_str(),
         np.c_str(), t_xargs / t_par);
  printf("ratio xargs -P%s -n%zu md5sum / calc_file_md5 (%s threads): %.3f\n", np.c_str(), per_proc,
         np.c_str(), t_xargs_n / t_par);
  return 0;
}
