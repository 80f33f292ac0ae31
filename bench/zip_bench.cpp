// Zip speed on the per-file archives of a master folder: file_to_zip against
// zip -q, then zip_to_file against unzip -o -q, each on one thread and on one
// thread per processor (xargs -P for the programs), in the same run. Every
// generated file lives under /tmp and is removed at the end.
//
//   bench_zip_bench [--scale S] [--runs N]
#include <cstdio>
#include <set>

#include "Files/zip.h"
#include "Linux/lin_sys.h"
#include "bench_util.h"

using bench::best_of;
using bench::corpus_item;
using bench::folder_of;
using bench::run_shell;

namespace {
void make_folders(const std::string& root, const std::set<std::string>& folders) {
  run_shell("rm -rf '" + root + "'");
  LIN_make_dirs(root);
  for (const std::string& f : folders) LIN_make_dirs(root + f);
}

uint64_t tree_bytes(const std::string& dir) {
  static uint64_t total;
  total = 0;
  nftw(
      dir.c_str(),
      [](const char*, const struct stat* st, int flag, struct FTW*) {
        if (flag == FTW_F) total += static_cast<uint64_t>(st->st_size);
        return 0;
      },
      32, FTW_PHYS);
  return total;
}
}  // namespace

int main(int argc, char** argv) {
  double scale = 1.0;
  int runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--scale") scale = atof(argv[i + 1]);
    if (a == "--runs") runs = std::max(1, atoi(argv[i + 1]));
  }
  bench::scratch tmp("zip-bench");
  const std::string corpus = tmp.path() + "corpus", ours = tmp.path() + "ours/",
                    peer = tmp.path() + "peer/", out = tmp.path() + "out/";
  bench::make_corpus(scale, corpus);
  const std::vector<corpus_item> items = bench::list_corpus(corpus);
  std::set<std::string> folders;
  uint64_t bytes = 0;
  for (const corpus_item& it : items) folders.insert(folder_of(it.rel)), bytes += it.size;
  const int procs = LIN_processor_count();
  const std::string np = std::to_string(procs);

  // Packing.
  // Argument pairs for zip, triples for unzip.
  std::vector<std::string> zip_args, unzip_args;
  for (const corpus_item& it : items) {
    zip_args.insert(zip_args.end(), {peer + it.rel + ".zip", corpus + "/" + it.rel});
    unzip_args.insert(unzip_args.end(), {ours + it.rel + ".zip", "-d", out + folder_of(it.rel)});
  }
  const std::string zip_list = tmp.path() + "zip.list", unzip_list = tmp.path() + "unzip.list";
  bench::write_nul_list(zip_list, zip_args);
  bench::write_nul_list(unzip_list, unzip_args);
  std::atomic<int> failures{0};
  auto pack_one = [&](size_t i) {
    if (file_to_zip(corpus + "/" + items[i].rel, ours + items[i].rel + ".zip") != 0) ++failures;
  };
  auto zip_cmd = [&](int p) {
    return "xargs -0 -n2 -P" + std::to_string(p) + " zip -q -j -y < '" + zip_list + "'";
  };
  const double pack1 = best_of(
      runs, [&] { make_folders(ours, folders); },
      [&] {
        for (size_t i = 0; i < items.size(); ++i) pack_one(i);
      });
  const double pack1_peer = best_of(
      runs, [&] { make_folders(peer, folders); }, [&] { run_shell(zip_cmd(1)); });
  const double packn = best_of(
      runs, [&] { make_folders(ours, folders); },
      [&] { bench::parallel(procs, items.size(), pack_one); });
  const double packn_peer = best_of(
      runs, [&] { make_folders(peer, folders); }, [&] { run_shell(zip_cmd(procs)); });
  if (failures) {
    fprintf(stderr, "file_to_zip failed %d times\n", failures.load());
    return 1;
  }
  const uint64_t ours_bytes = tree_bytes(ours), peer_bytes = tree_bytes(peer);

  // Unpacking our archives, as the installer does: the folders exist.
  auto unpack_one = [&](size_t i) {
    if (zip_to_file(ours + items[i].rel + ".zip", out + folder_of(items[i].rel)) != 0) ++failures;
  };
  auto unzip_cmd = [&](int p) {
    return "xargs -0 -n3 -P" + std::to_string(p) + " unzip -o -q < '" + unzip_list + "'";
  };
  const double unpack1 = best_of(
      runs, [&] { make_folders(out, folders); },
      [&] {
        for (size_t i = 0; i < items.size(); ++i) unpack_one(i);
      });
  const double unpack1_peer = best_of(
      runs, [&] { make_folders(out, folders); }, [&] { run_shell(unzip_cmd(1)); });
  const double unpackn_peer = best_of(
      runs, [&] { make_folders(out, folders); }, [&] { run_shell(unzip_cmd(procs)); });
  const double unpackn = best_of(
      runs, [&] { make_folders(out, folders); },
      [&] { bench::parallel(procs, items.size(), unpack_one); });
  if (failures) {
    fprintf(stderr, "zip_to_file failed %d times\n", failures.load());
    return 1;
  }
  if (system(("diff -r --no-dereference '" + corpus + "' '" + out + "' > /dev/null").c_str()) !=
      0) {
    fprintf(stderr, "the unpacked tree differs from the corpus\n");
    return 1;
  }

  // One archive holding the whole tree: one process against one call, so that
  // starting a program per archive does not decide the comparison.
  const std::string all = tmp.path() + "all.zip";
  run_shell("cd '" + tmp.path() + "' && zip -q -r -y all.zip corpus");
  const double whole = best_of(
      runs, [&] { make_folders(out, {}); },
      [&] {
        if (zip_to_file(all, out) != 0) ++failures;
      });
  const double whole_peer = best_of(
      runs, [&] { make_folders(out, {}); },
      [&] { run_shell("unzip -o -q '" + all + "' -d '" + out + "'"); });
  if (failures) {
    fprintf(stderr, "zip_to_file of the whole tree failed\n");
    return 1;
  }

  const double mb = static_cast<double>(bytes) / 1e6;
  printf("corpus: %zu files and links, %.1f MB; %d processors; best of %d runs\n", items.size(), mb,
         procs, runs);
  printf("archives: file_to_zip %.1f MB, zip -q %.1f MB\n", ours_bytes / 1e6, peer_bytes / 1e6);
  auto row = [&](const std::string& what, double t) {
    printf("  %-40s %8.3f s %8.1f MB/s\n", what.c_str(), t, mb / t);
  };
  row("file_to_zip, 1 thread", pack1);
  row("zip -q, 1 process at a time", pack1_peer);
  row("file_to_zip, " + np + " threads", packn);
  row("xargs -P" + np + " zip -q", packn_peer);
  row("zip_to_file, 1 thread", unpack1);
  row("unzip -o -q, 1 process at a time", unpack1_peer);
  row("zip_to_file, " + np + " threads", unpackn);
  row("xargs -P" + np + " unzip -o -q", unpackn_peer);
  row("zip_to_file, the tree in one archive", whole);
  row("unzip -o -q, the tree in one archive", whole_peer);
  printf("ratio zip -q / file_to_zip (1 thread):                %.3f  (target >= 1)\n",
         pack1_peer / pack1);
  printf("ratio xargs -P%s zip -q / file_to_zip (%s threads):     %.3f  (target >= 1)\n",
         np.c_str(), np.c_str(), packn_peer / packn);
  printf("ratio unzip -o -q / zip_to_file (1 thread):           %.3f  (target >= 1)\n",
         unpack1_peer / unpack1);
  printf("ratio xargs -P%s unzip -o -q / zip_to_file (%s threads): %.3f  (target >= 1)\n",
         np.c_str(), np.c_str(), unpackn_peer / unpackn);
  printf("ratio unzip -o -q / zip_to_file (one archive):       %.3f  (target >= 1)\n",
         whole_peer / whole);
  return 0;
}
