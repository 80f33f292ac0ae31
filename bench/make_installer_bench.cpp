// Release builder speed: a disc release of a master folder made from
// make-corpus.py, against one zip per file with xargs -P<processors> plus a
// md5sum pass over the same files, in the same run. The builder works on
// the calling thread, one file after another; the single-process zip line
// shows what that costs. Everything is made under $TMPDIR (or /tmp) and
// removed afterwards.
//
//   bench_make_installer_bench [--scale S] [--runs N] [--keep 1]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "GenH/shell.h"
#include "Installer-f/make_installer.h"
#include "Linux/lin_sys.h"

namespace {
std::string g_tmp;

std::string q(const std::string& s) { return "'" + s + "'"; }

void run_shell(const std::string& cmd) {
  if (system(cmd.c_str()) != 0) {
    fprintf(stderr, "command failed: %s\n", cmd.c_str());
    if (!g_tmp.empty() && system(("rm -rf " + q(g_tmp)).c_str()) != 0) perror("rm");
    exit(1);
  }
}

std::string shell_out(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof(buf), p)) out += buf;
    pclose(p);
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string find_script() {
  if (const char* e = getenv("FLY_MAKE_CORPUS")) return e;
  for (const std::string& c : {std::string(FLY_SOURCE_DIR) + "/../shared/bench/make-corpus.py",
                               std::string(FLY_SOURCE_DIR) + "/../../shared/bench/make-corpus.py",
                               std::string("/work/shared/bench/make-corpus.py")})
    if (access(c.c_str(), R_OK) == 0) return c;
  return "";
}

double best_of(int runs, const std::function<void()>& before, const std::function<void()>& fn) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    before();
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    best = std::min(best,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

int quiet_progress(const std::string&, float) { return 0; }
void quiet_alert(const std::string&, const std::string&, const std::string&, const std::string&) {}
}  // namespace

int main(int argc, char** argv) {
  double scale = 0.25;
  int runs = 2, keep = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--scale") scale = atof(argv[i + 1]);
    if (a == "--runs") runs = std::max(1, atoi(argv[i + 1]));
    if (a == "--keep") keep = atoi(argv[i + 1]);
  }
  const std::string script = find_script();
  if (script.empty()) {
    fprintf(stderr, "make-corpus.py not found (set FLY_MAKE_CORPUS)\n");
    return 1;
  }
  const char* t = getenv("TMPDIR");
  char tmpl[512];
  snprintf(tmpl, sizeof(tmpl), "%s/flyvane-builder-bench-XXXXXX", t && *t ? t : "/tmp");
  if (!mkdtemp(tmpl)) return 1;
  g_tmp = std::string(tmpl) + "/";
  const std::string gen = g_tmp + "gen/", master = g_tmp + "master/";

  // The corpus is an installed tree; the master holds it under its platform
  // folders, with the folders every release needs.
  printf("making the corpus (scale %g) in %s\n", scale, g_tmp.c_str());
  fflush(stdout);
  run_shell("python3 " + q(script) + " --scale " + std::to_string(scale) + " " + q(gen) +
            " > /dev/null");
  std::string dirs;
  for (const char* d :
       {"All/Instructions", "All/Weapons", "All/Airfoils", "All/Aircraft", "All/Output",
        "All/Custom Scenery", "All/Global Scenery", "All/Resources/plugins",
        "All/Resources/default scenery/900 red terrain",
        "All/Resources/bitmaps/Earth Orbit Textures", "Macintosh/Flyvane.app", "Windows", "Linux"})
    dirs += " " + q(master + d);
  run_shell("mkdir -p" + dirs);
  run_shell("cd " + q(gen) + " && cp -a Resources Aircraft 'Global Scenery' " + q(master + "All/") +
            " && cp -a Contents " + q(master + "Macintosh/Flyvane.app/"));
  run_shell("rm -rf " + q(gen));

  // The files the builder releases (everything in this master), in pairs
  // "archive file" for zip; md5sum hashes the plain files (the links are
  // hashed by their text, which costs nothing).
  const std::string list = g_tmp + "files.txt", plain = g_tmp + "plain.txt",
                    pairs = g_tmp + "pairs.txt", peer = g_tmp + "peer/";
  run_shell("cd " + q(master) + " && find . \\( -type f -o -type l \\) -printf '%P\\0' > " +
            q(list));
  run_shell("cd " + q(master) + " && find . -type f -printf '%P\\0' > " + q(plain));
  run_shell("tr '\\0' '\\n' < " + q(list) + " | awk '{ printf \"%s\", \"" + peer +
            "\" $0 \".zip\\0\" $0 \"\\0\" }' > " + q(pairs));
  const long files = std::stol(shell_out("tr -cd '\\0' < " + q(list) + " | wc -c"));
  const double mb =
      std::stod(shell_out("cd " + q(master) + " && du -sb --apparent-size . | cut -f1")) / 1e6;
  const double split_kb = mb * 1000 / 3;  // a disc set of two or three
  run_shell("cd " + q(master) + " && xargs -0 cat < " + q(list) + " > /dev/null 2>&1; true");

  const int procs = LIN_processor_count();
  const std::string np = std::to_string(procs);
  auto peer_run = [&](const std::string& p) {
    run_shell("cd " + q(master) + " && find . -type d -printf '" + peer +
              "%P\\0' | xargs -0 mkdir -p");
    run_shell("cd " + q(master) + " && xargs -0 -P" + p + " -n2 zip -q -X -y < " + q(pairs));
    run_shell("cd " + q(master) + " && xargs -0 md5sum < " + q(plain) + " > /dev/null");
  };
  auto clear_peer = [&] { run_shell("rm -rf " + q(peer)); };
  const double t_peer = best_of(runs, clear_peer, [&] { peer_run(np); });
  const double t_peer1 = best_of(1, clear_peer, [&] { peer_run("1"); });
  clear_peer();

  build_progress = quiet_progress;
  MACIBM_system_alert = quiet_alert;
  build_type = 1;
  src_fold = master;
  dst_fold_base = g_tmp + "release/";
  sim_name = "Bench Release";
  dvd_split_kb = split_kb;
  const double t_build = best_of(
      runs, [&] { run_shell("rm -rf " + q(dst_fold_base)); }, [] { build_install(); });
  const long archives = std::stol(shell_out("find " + q(dst_fold_base) + " -name '*.zip' | wc -l"));
  const long discs = std::stol(shell_out("ls -d " + q(dst_fold_base) + "disk_* | wc -l"));

  printf("master: %ld files, %.1f MB; %d processors; best of %d runs\n", files, mb, procs, runs);
  printf("  %-46s %8.3f s %8.1f MB/s\n", ("xargs -P" + np + " -n1 zip -q -X, then md5sum").c_str(),
         t_peer, mb / t_peer);
  printf("  %-46s %8.3f s %8.1f MB/s\n", "xargs -P1 -n1 zip -q -X, then md5sum", t_peer1,
         mb / t_peer1);
  printf("  %-46s %8.3f s %8.1f MB/s  (%ld archives with the file list, %ld discs)\n",
         "build_install (disc release, one thread)", t_build, mb / t_build, archives, discs);
  printf("ratio peer (xargs -P%s) / build_install: %.3f\n", np.c_str(), t_peer / t_build);
  printf("ratio peer (xargs -P1) / build_install:  %.3f\n", t_peer1 / t_build);
  if (!keep) run_shell("rm -rf " + q(g_tmp));
  return 0;
}
