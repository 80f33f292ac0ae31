// The disc install and the MD5 check on a release made from the corpus of
// make-corpus.py, packed as a disc the way the release is (one zip -X -y per
// file, 7zz for the global scenery, md5sum for the sums), each against a
// shell pipeline on the same files in the same run:
//   install: cp of the archives, then xargs -P<processors> -n1 unzip (7zz x
//            for the .7z archives), against make_dirs + install_files (which
//            writes the volume to disk before it reports done: the peer's
//            sync -f afterwards is timed too);
//   check:   find -print0 | xargs -0 -P<processors> md5sum, against
//            checksum_directory.
// The steps are polled in a tight loop with a 1 ms sleep, as a fast frame
// loop would. Everything is made under $TMPDIR (or /tmp) and deleted after.
//
//   bench_install_bench [--scale S] [--runs N] [--keep]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Files/md5.h"
#include "Installer-f/install_step.h"
#include "Installer-f/utils.h"
#include "Linux/lin_sys.h"
#include "bench_util.h"

using bench::corpus_item;
using bench::folder_of;
using bench::q;
using bench::run_shell;
using bench::seconds;
using bench::write_nul_list;

namespace {
const std::string kName = "Bench Release";

// Under the platform folder of the master.
std::vector<corpus_item> g_files;
std::string g_master;

bool is_7z(const std::string& rel) { return rel.find("Global Scenery") != std::string::npos; }

// The release: archives, sums and the directory file.
void make_disc(const std::string& work, int procs) {
  const std::string rel_root = work + "disc/" + kName + "/All/";
  std::vector<std::string> dirs;
  std::string cmds;
  for (const corpus_item& e : g_files) {
    dirs.push_back(rel_root + folder_of(e.rel));
    const std::string archive = rel_root + e.rel + (is_7z(e.rel) ? ".7z" : ".zip");
    const std::string name = e.rel.substr(folder_of(e.rel).size());
    cmds += "cd " + q(g_master + folder_of(e.rel)) + " && " +
            (is_7z(e.rel) ? "7zz a -t7z -bso0 -bsp0 " : "zip -X -y -q ") + q(archive) + " " +
            q(name) + "\n";
  }
  std::sort(dirs.begin(), dirs.end());
  dirs.erase(std::unique(dirs.begin(), dirs.end()), dirs.end());
  write_nul_list(work + "disc-dirs", dirs);
  run_shell("xargs -0 mkdir -p < " + q(work + "disc-dirs"));
  std::ofstream(work + "pack.sh") << cmds;
  run_shell("xargs -d '\\n' -P" + std::to_string(procs) + " -n1 sh -c < " + q(work + "pack.sh"));

  // Sums: md5sum for files, the link text for links.
  std::vector<std::string> plain;
  for (const corpus_item& e : g_files)
    if (!e.link) plain.push_back(g_master + e.rel);
  write_nul_list(work + "plain-list", plain);
  std::map<std::string, std::string> sums;
  std::istringstream md5s(bench::shell_out("xargs -0 -P" + std::to_string(procs) + " md5sum < " +
                                           q(work + "plain-list")));
  for (std::string line; std::getline(md5s, line);)
    if (line.size() > 34) sums[line.substr(34 + g_master.size())] = line.substr(0, 32);
  for (const corpus_item& e : g_files)
    if (e.link) {
      char buf[4096];
      const ssize_t n = readlink((g_master + e.rel).c_str(), buf, sizeof(buf));
      const std::string text(buf, n > 0 ? static_cast<size_t>(n) : 0);
      sums[e.rel] = bench::shell_out("printf %s " + q(text) + " | md5sum").substr(0, 32);
    }

  std::string list = "I\n900 version\nINSTALLER\n\n";
  std::string prev = "---";
  for (const corpus_item& e : g_files) {
    const std::string dir = "All/" + folder_of(e.rel);
    if (dir != prev) list += "\nDIR " + (prev = dir) + "\n";
    struct stat st;
    const std::string archive = rel_root + e.rel + (is_7z(e.rel) ? ".7z" : ".zip");
    const long long zip_bytes = stat(archive.c_str(), &st) == 0 ? st.st_size : 0;
    list += "FILE 0 0 92102 " + std::to_string(zip_bytes / 1000) + " " +
            std::to_string(e.size / 1000) + " " + sums[e.rel] + " " +
            e.rel.substr(folder_of(e.rel).size()) + "\n";
  }
  std::ofstream(work + "directory.txt") << list;
}
}  // namespace

int main(int argc, char** argv) {
  double scale = 1.0;
  int runs = 3;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--scale" && i + 1 < argc)
      scale = atof(argv[++i]);
    else if (a == "--runs" && i + 1 < argc)
      runs = std::max(1, atoi(argv[++i]));
    else if (a == "--keep")
      keep = true;
  }
  const bench::scratch tmp("install-bench", keep, bench::tmp_root());
  const std::string& work = tmp.path();
  const int procs = LIN_processor_count();
  const std::string np = std::to_string(procs);
  g_master = work + "master/All/";
  bench::make_corpus(scale, work + "master/All");
  g_files = bench::list_corpus(work + "master/All");
  uint64_t bytes = 0;
  for (const corpus_item& e : g_files) bytes += e.size;
  make_disc(work, procs);

  // The peer's lists: every destination folder, then archive/-d/folder
  // triples for unzip and archive/-ofolder pairs for 7zz.
  const std::string peer_dest = work + "peer-dest/", peer_temp = work + "peer-temp/";
  std::vector<std::string> dirs, zips, sevens;
  for (const corpus_item& e : g_files) {
    dirs.push_back(peer_dest + folder_of(e.rel));
    const std::string archive = peer_temp + "All/" + e.rel;
    if (is_7z(e.rel)) {
      sevens.push_back(archive + ".7z");
      sevens.push_back("-o" + peer_dest + folder_of(e.rel));
    } else {
      zips.insert(zips.end(), {archive + ".zip", "-d", peer_dest + folder_of(e.rel)});
    }
  }
  // The working folders make_dirs adds, so that both trees compare equal.
  for (const char* f : {"Output/FMS plans", "Output/logbooks", "Output/movies", "Output/situations",
                        "Output/preferences", "Resources"})
    dirs.push_back(peer_dest + f);
  std::sort(dirs.begin(), dirs.end());
  dirs.erase(std::unique(dirs.begin(), dirs.end()), dirs.end());
  write_nul_list(work + "peer-dirs", dirs);
  write_nul_list(work + "peer-zips", zips);
  write_nul_list(work + "peer-7z", sevens);

  stg.target_platform = 1;
  set_install_filter(1, 1);
  dvd_path = work + "disc/";
  install_name = kName;
  temp_path = work + "temp/";
  run_shell("mkdir -p " + q(temp_path));
  const std::string dest = work + "dest/";

  auto ours_install = [&] {
    dest_dir_path = dest;
    choose_files();
    make_dirs();
    int f = 0;
    for (int s; (s = install_files(f, 0)) != 1;) {
      if (s != 0) {
        std::string msg;
        fprintf(stderr, "install failed: %d %s\n", install_files_get_error(msg), msg.c_str());
        exit(1);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  auto peer_install = [&] {
    run_shell("cp -r " + q(work + "disc/" + kName) + " " + q(peer_temp));
    run_shell("xargs -0 mkdir -p < " + q(work + "peer-dirs"));
    run_shell("xargs -0 -P" + np + " -n3 unzip -o -q < " + q(work + "peer-zips"));
    if (!sevens.empty())
      run_shell("xargs -0 -P" + np + " -n2 7zz x -y -bso0 -bsp0 -bse0 < " + q(work + "peer-7z"));
    run_shell("rm -rf " + q(peer_temp));
  };
  // The engine's step writes its files to disk (syncfs) before it reports
  // done; the peer pays the same once it is asked to.
  auto peer_sync = [&] { run_shell("sync -f " + q(peer_dest)); };
  auto ours_check = [&] {
    for (auto& row : sim_info) row.back().current = 0;
    int row = 0;
    float progress = 0;
    while (!checksum_directory(row, 0, progress))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  auto peer_check = [&] {
    run_shell("find " + q(dest) + " -type f -print0 | xargs -0 -P" + np + " md5sum > /dev/null");
  };

  double t_ours = 1e30, t_peer = 1e30, c_ours = 1e30, c_peer = 1e30, s_peer = 1e30;
  for (int r = 0; r < runs; ++r) {
    run_shell("rm -rf " + q(dest) + " " + q(peer_dest) + " " + q(peer_temp));
    if (read_directory(work + "directory.txt", "") != 3) {
      fprintf(stderr, "the directory file was refused\n");
      return 1;
    }
    scenery_take_all();
    t_peer = std::min(t_peer, seconds(peer_install));
    s_peer = std::min(s_peer, seconds(peer_sync));
    t_ours = std::min(t_ours, seconds(ours_install));
    c_peer = std::min(c_peer, seconds(peer_check));
    c_ours = std::min(c_ours, seconds(ours_check));
  }
  size_t current = 0;
  for (const auto& row : sim_info) current += row.back().current;
  const bool same =
      system(
          ("diff -r --no-dereference " + q(dest) + " " + q(peer_dest) + " > /dev/null").c_str()) ==
      0;
  printf("%zu files, %.1f MB; %d processors; best of %d runs\n", g_files.size(), bytes / 1e6, procs,
         runs);
  printf("  install_files (copy + unzip pools)          %8.3f s\n", t_ours);
  printf("  cp + xargs -P%s -n1 unzip / 7zz x            %8.3f s\n", np.c_str(), t_peer);
  printf("  sync -f of the peer's tree afterwards        %8.3f s\n", s_peer);
  printf("  checksum_directory (MD5)                    %8.3f s\n", c_ours);
  printf("  find | xargs -0 -P%s md5sum                  %8.3f s\n", np.c_str(), c_peer);
  printf("ratio install peer / ours: %.2f  (target >= 2)\n", t_peer / t_ours);
  printf("ratio install (peer + sync) / ours (syncs before done): %.2f\n",
         (t_peer + s_peer) / t_ours);
  printf("ratio check peer / ours:   %.2f  (target >= 3)\n", c_peer / c_ours);
  printf("installed tree equals the peer's: %s; rows current after the check: %zu of %zu\n",
         same ? "yes" : "NO", current, sim_info.size());
  return same && current == sim_info.size() ? 0 : 1;
}
