// The web update through the flow's screens against the headless engine run
// of the same update, in the same run: two web releases built by the release
// tool from make-corpus.py --release masters (the second with about one file
// in seven changed, some dropped, some added, and --update-mb MB of large
// resource files all new), served by nginx on loopback.
//   flow:     net_start, net_get_updates, net_check_disk, net_run_patch and
//             net_done frame by frame, as the wizard calls them (texts built
//             every pass, at most 0.02 s of downloads per frame);
//   headless: UTL_download_directory, checksum_directory, scenery_from_install,
//             choose_files, make_dirs and grab_files in a tight loop.
// Both start from the same copy of the older release; the median of --runs
// each, the ratio printed (target: at most 1.1), and beside it what MD5 alone
// takes over the bytes the update wrote, read back from the page cache.
// With --windowed, the program itself under Xvfb (FLY_FIRST_SCREEN=net_start,
// a script pressing Continue) against the headless run for the program's
// platform: the time from the search screen to the finish screen, read from
// its trace.
//
//   bench_web_flow_bench [--scale S] [--update-mb M] [--runs N] [--keep] [--windowed]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Files/md5.h"
#include "Installer-f/directory.h"
#include "Installer-f/folders.h"

#include "Installer-f/servers.h"
#include "Installer-f/utils.h"
#include "Installer-f/web_download.h"
#include "Installer-f/web_flow.h"
#include "Linux/lin_sys.h"
#include "OOPS_cpp/http.h"
#include "UTL/localize.h"
#include "UTL/xtim.h"
#include "bench_util.h"

using bench::accepts;
using bench::free_port;
using bench::q;
using bench::run_shell;

namespace {
const std::string kNew = "Flyvane 9.21rc2";

bool start_nginx(const std::string& root, const std::string& dir, int port) {
  run_shell("mkdir -p " + q(dir));
  std::ofstream(dir + "nginx.conf")
      << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << dir
      << "nginx.pid;\nerror_log " << dir << "error.log warn;\nevents { worker_connections 256; }\n"
      << "http {\n  access_log off;\n  default_type application/octet-stream;\n  sendfile on;\n"
      << "  client_body_temp_path " << dir << "body;\n  proxy_temp_path " << dir << "proxy;\n"
      << "  fastcgi_temp_path " << dir << "fastcgi;\n  uwsgi_temp_path " << dir << "uwsgi;\n"
      << "  scgi_temp_path " << dir << "scgi;\n"
      << "  server { listen 127.0.0.1:" << port << "; root " << root << "; }\n}\n";
  return bench::start_nginx(dir, port);
}

void frame() {
  xtim.xtim_update();
  std::this_thread::sleep_for(std::chrono::microseconds(300));
}

template <class Page>
void screen(Page page) {
  web_page p;
  for (int first = 1;; first = 0) {
    frame();
    p = {};
    if (page(first, p)) return;
  }
}

int enough(const std::string&, const std::string&) { return 1; }

double now_s() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The program's update under Xvfb: the search screen's time and the patch
// screen's, read from its trace; -1 on a failure.
double windowed_update(const std::string& w, const std::string& app, int port) {
  const std::string home = w + "home/", trace = w + "trace.txt", script = w + "script.txt";
  run_shell("rm -rf " + q(home) + " " + q(trace) + " && mkdir -p " + q(home + "Desktop") + " " +
            q(home + ".config") + " " + q(home + "tmp"));
  std::ofstream(script) << "wait net_start 60\nclick Continue\nwait net_check_disk 600\n"
                           "click Continue\nwait net_done 600\nquit\n";
  const std::string p = std::to_string(port);
  const std::string cmd =
      "cd " + q(w) + " && LANGUAGE=en HOME=" + q(home) + " XDG_CONFIG_HOME=" + q(home + ".config") +
      " TMPDIR=" + q(home + "tmp") + " FLY_FIRST_SCREEN=net_start FLY_SCRIPT=" + q(script) +
      " FLY_TRACE=" + q(trace) + " timeout 900 xvfb-run -a -s '-screen 0 1024x768x24' " + q(app) +
      " -path " + q(w + "copy/") + " --pref:_proxy_host=127.0.0.1 --pref:_proxy_port=" + p +
      " --pref:_proxy_port_int=" + p + " > " + q(w + "windowed.out") + " 2>&1 &";
  run_shell(cmd);
  // When each screen first shows; the time on the disk-space screen waits
  // for the script's click and has no headless counterpart.
  const char* marks[] = {"screen net_get_updates", "screen net_check_disk", "screen net_run_patch",
                         "screen net_done"};
  double at[4] = {-1, -1, -1, -1};
  const double deadline = now_s() + 900;
  while (now_s() < deadline && at[3] < 0) {
    std::ifstream in(trace);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (int i = 0; i < 4; ++i)
      if (at[i] < 0 && all.find(marks[i]) != std::string::npos) at[i] = now_s();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // Let the program quit and its X server end.
  for (int i = 0; i < 3000 && !bench::shell_out("pgrep -f " + q(w + "copy/") + " || true").empty();
       ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  for (double t : at)
    if (t < 0) return -1;
  printf("  windowed: search %.3f s, patch %.3f s\n", at[1] - at[0], at[3] - at[2]);
  return at[1] - at[0] + at[3] - at[2];
}

void flow_update() {
  web_flow_enter();
  screen(net_get_updates_page);
  web_page p;
  if (!net_check_disk_page(1, p, enough)) screen(net_run_patch_page);
  p = {};
  net_done_page(1, p);
}

// The last headless run's search time (the road and the scan).
double headless_search = 0;
// The files the last headless run installed.
std::vector<std::string> installed;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// MD5 alone over the files the update wrote.
double md5_of_installed(double* mb) {
  *mb = 0;
  return bench::seconds([&] {
    for (const std::string& f : installed) {
      std::string hex;
      struct stat st;
      if (calc_file_md5(f, hex) == 0 && stat(f.c_str(), &st) == 0)
        *mb += static_cast<double>(st.st_size) / 1e6;
    }
  });
}

// Each step polled in a tight loop, as fast as it can be driven.
void headless_update() {
  const double t0 = now_s();
  web_flow_enter();
  while (stg.dir_state < 2) UTL_download_directory();
  int row = 0;
  float progress = 0;
  while (checksum_directory(row, 0, progress) != 1) std::this_thread::yield();
  scenery_from_install();
  recalc_disk_sizes();
  headless_search = now_s() - t0;
  if (stg.total_size_kb == 0) return;
  choose_files();
  installed.clear();
  for (const file_history_struct& h : sim_info)
    if (h.back().to_install) installed.push_back(installed_path(h.back().path));
  make_dirs();
  web_download_reset();
  while (grab_files() == 0) {
  }
  web_download_reset();
}
}  // namespace

int main(int argc, char** argv) {
  double scale = 0.3, update_mb = 100;
  int runs = 5;
  bool keep = false, windowed = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--scale" && i + 1 < argc)
      scale = atof(argv[++i]);
    else if (a == "--update-mb" && i + 1 < argc)
      update_mb = atof(argv[++i]);
    else if (a == "--runs" && i + 1 < argc)
      runs = std::max(1, atoi(argv[++i]));
    else if (a == "--keep")
      keep = true;
    else if (a == "--windowed")
      windowed = true;
  }
  const bench::scratch tmp("web-flow-bench", keep, bench::tmp_root());
  const std::string& w = tmp.path();
  printf("making the corpus (scale %g)\n", scale);
  fflush(stdout);
  run_shell("python3 " + q(bench::corpus_script()) + " --release --prepack-7z --scale " +
            std::to_string(scale) + " " + q(w + "m1") + " > /dev/null");
  // Large resource files of update_mb MB in all (the web releases carry no
  // global scenery), three in four nearly incompressible like textures that
  // come compressed; the newer master has all of them new.
  const int bulk = std::max(1, static_cast<int>(update_mb / 4 + 0.999));
  const std::string make_bulk =
      "python3 -c 'import os, sys\nfor i in range(int(sys.argv[2])):\n"
      "  d = os.urandom(4000000) if i % 4 else os.urandom(4000) * 1000\n"
      "  os.makedirs(sys.argv[1], exist_ok=True)\n"
      "  open(\"%s/piece%03d.bin\" % (sys.argv[1], i), \"wb\").write(d)' ";
  run_shell(make_bulk + q(w + "m1/All/Resources/bulk") + " " + std::to_string(bulk));
  // The newer master: one regular file in seven changed, one in 40 dropped,
  // a few added; the scenery stays (its pre-packed 7z would no longer match).
  run_shell("cp -a " + q(w + "m1") + " " + q(w + "m2"));
  run_shell(
      "cd " + q(w + "m2") +
      " && find All/Resources All/Aircraft Linux -type f | sort | awk 'NR%7==0' |"
      " while read -r f; do printf 'changed' >> \"$f\"; done"
      " && find All/Resources -type f | sort | awk 'NR%40==3' | xargs -r rm -f"
      " && mkdir -p All/Resources/added"
      " && for i in 1 2 3 4 5; do head -c 20000 /dev/urandom > All/Resources/added/f$i; done");
  run_shell(make_bulk + q(w + "m2/All/Resources/bulk") + " " + std::to_string(bulk));
  // The release tool of the same build: <build>/tools beside <build>/bench.
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof(self) - 1) <= 0) return 1;
  std::string make = self;
  make = make.substr(0, make.rfind('/')) + "/../tools/make_release";
  run_shell(make + " --type=web --master=" + q(w + "m1") + " --out=" + q(w + "out1") +
            " --name='Flyvane 9.20' --release=92101 --log=" + q(w + "r1.log") +
            " > /dev/null 2>&1");
  run_shell("unzip -p " + q(w + "out1/Flyvane 9.20/directory.txt.zip") + " > " + q(w + "old.txt"));
  run_shell(make + " --type=web --master=" + q(w + "m2") + " --out=" + q(w + "site/net") +
            " --old=" + q(w + "old.txt") + " --name=" + q(kNew) +
            " --release=92102 --log=" + q(w + "r2.log") + " > /dev/null 2>&1");
  std::ofstream(w + "site/serverlist9.txt") << "I\n820 version\nSERVERS\n\nFINAL " << kNew
                                            << "\nSERVER files.tessalinelabs.com\n/net/\nMain\n";
  // The installed copy of the older release, as the installer would lay it out.
  run_shell("mkdir -p " + q(w + "pristine") + " && cp -a " + q(w + "m1/All/.") + " " +
            q(w + "m1/Linux/.") + " " + q(w + "pristine/") + " && find " + q(w + "pristine") +
            " -name '*.7z' -delete");

  const int port = free_port();
  if (!start_nginx(w + "site", w + "nginx/", port)) {
    fprintf(stderr, "nginx did not start\n");
    return 1;
  }
  http.proxy_host = "127.0.0.1";
  http.proxy_port = port;
  temp_path = w + "tmp/";
  run_shell("mkdir -p " + q(temp_path));
  stg.target_platform = 3;
  cmd_line_path = w + "copy/";
  dest_dir_path = cmd_line_path;

  auto prepare = [&] {
    run_shell("rm -rf " + q(w + "copy") + " && cp -a " + q(w + "pristine") + " " + q(w + "copy"));
    run_shell("sync");
  };
  std::vector<double> flows, headlesses, md5s;
  double md5_mb = 0;
  std::string flow_sum, headless_sum;
  const std::string sums =
      "cd " + q(w + "copy") + " && find . -type f -print0 | sort -z | xargs -0 md5sum | md5sum";
  for (int r = 0; r < runs; ++r) {
    prepare();
    flows.push_back(bench::seconds(flow_update));
    flow_sum = bench::shell_out(sums);
    prepare();
    headlesses.push_back(bench::seconds(headless_update));
    md5s.push_back(md5_of_installed(&md5_mb));
    headless_sum = bench::shell_out(sums);
    printf("  run %d: flow %.3f s, headless %.3f s, MD5 alone %.3f s\n", r + 1, flows.back(),
           headlesses.back(), md5s.back());
    fflush(stdout);
  }
  const double flow = median(flows), headless = median(headlesses);
  std::vector<double> wins, win_headlesses;
  std::string win_sum, win_headless_sum;
  if (windowed) {
    // The program's own platform (its settings start from Macintosh).
    const std::string app = make.substr(0, make.rfind("/tools/")) + "/app/flyvane_installer";
    stg.target_platform = 1;
    for (int r = 0; r < runs; ++r) {
      prepare();
      const double t = windowed_update(w, app, port);
      if (t < 0) {
        fprintf(stderr, "the windowed update did not reach its finish screen\n");
        return 1;
      }
      wins.push_back(t);
      win_sum = bench::shell_out(sums);
      prepare();
      win_headlesses.push_back(bench::seconds(headless_update));
      printf("  headless: search %.3f s\n", headless_search);
      win_headless_sum = bench::shell_out(sums);
    }
  }
  bench::stop_nginx();
  const double win = median(wins), win_headless = median(win_headlesses);
  if (windowed && win_sum != win_headless_sum) {
    fprintf(stderr, "the windowed and headless updates left different copies\n");
    return 1;
  }
  if (windowed)
    printf("windowed web update (the program under Xvfb): %.3f s, headless %.3f s, ratio %.2f "
           "(target <= 1.1)\n",
           win, win_headless, win / win_headless);
  if (flow_sum != headless_sum || stg.extract_failed) {
    fprintf(stderr, "the two updates left different copies\n");
    return 1;
  }
  printf(
      "web update of %d files (%.0f KB to fetch, %.0f MB written), median of %d: flow %.3f s, "
      "headless %.3f s, ratio %.2f (target <= 1.1); MD5 alone over the written files %.3f s\n",
      stg.files_to_install, stg.total_zip_kb, md5_mb, runs, flow, headless, flow / headless,
      median(md5s));
  return 0;
}
