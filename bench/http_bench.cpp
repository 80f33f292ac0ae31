// Download speed of the HTTP client from nginx on loopback, against curl in the
// same run: one 200 MB file (1, 2 and 4 copies at once, against curl and curl
// --parallel) and a tree of 2,000 small files over 1, 2 and 4 slots (against
// sequential curl and curl --parallel). The client reaches nginx through its
// proxy setting, as the tests do; curl gets the same proxy.
//
//   bench_http_bench [--big-mb N] [--files N] [--runs N] [--tmp DIR] [--keep]
//
// The data lives in a new folder under --tmp (default $TMPDIR, or /tmp),
// deleted at the end unless --keep. Small files are bound by the file system's create cost, so
// --tmp /dev/shm shows the network side alone.
#include <arpa/inet.h>
#include <ftw.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Files/md5.h"
#include "OOPS_cpp/http.h"
#include "UTL/xer.h"
#include "bench_util.h"

using bench::best_of;
using bench::run_shell;

using bench::accepts;
using bench::free_port;

namespace {
const char* const kHost = "flyvane.test";
std::string g_base;  // the bench's scratch folder, ends in "/"
int g_port = 0;

// Started by root, nginx's workers run as nobody, who may not reach a folder
// in a private /tmp: they run as the benchmark's own user instead.
std::string nginx_user() {
  if (geteuid() != 0) return "";
  const passwd* pw = getpwuid(geteuid());
  const group* gr = getgrgid(getegid());
  return pw && gr ? "user " + std::string(pw->pw_name) + " " + gr->gr_name + ";\n" : "";
}

bool start_nginx(const std::string& root, const std::string& dir, int port) {
  mkdir(dir.c_str(), 0755);
  std::ofstream(dir + "nginx.conf")
      << "daemon off;\nworker_processes 4;\n" << nginx_user()
      << "pid " << dir << "nginx.pid;\nerror_log " << dir << "error.log warn;\n"
      << "events { worker_connections 1024; }\nhttp {\n"
      << "  access_log off;\n"
      << "  client_body_temp_path " << dir << "body;\n"
      << "  proxy_temp_path " << dir << "proxy;\n"
      << "  fastcgi_temp_path " << dir << "fastcgi;\n"
      << "  uwsgi_temp_path " << dir << "uwsgi;\n"
      << "  scgi_temp_path " << dir << "scgi;\n"
      << "  default_type application/octet-stream;\n  sendfile on;\n"
      << "  keepalive_requests 100000;\n"
      << "  server {\n    listen 127.0.0.1:" << port << ";\n    root " << root
      << ";\n  }\n}\n";
  return bench::start_nginx(dir, port);
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}
void remove_tree(const std::string& p) { nftw(p.c_str(), remove_entry, 32, FTW_DEPTH | FTW_PHYS); }

void write_random(const std::string& path, size_t n, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<uint64_t> buf(1 << 16);
  FILE* f = fopen(path.c_str(), "wb");
  for (size_t done = 0; done < n;) {
    for (auto& w : buf) w = rng();
    const size_t k = std::min(n - done, buf.size() * 8);
    fwrite(buf.data(), 1, k, f);
    done += k;
  }
  fclose(f);
}

// Fetches every (path, dest) pair over `streams` slots, polling as the frame
// loop would (without waiting between polls). Exits on any failure.
void fetch_all(const std::vector<std::pair<std::string, std::string>>& jobs, int streams) {
  std::vector<long> job_of(static_cast<size_t>(streams), -1);
  size_t next = 0, done = 0;
  while (done < jobs.size()) {
    for (int s = 0; s < streams; ++s) {
      long& j = job_of[static_cast<size_t>(s)];
      if (j < 0) {
        if (next >= jobs.size()) continue;
        j = static_cast<long>(next++);
      }
      const auto& job = jobs[static_cast<size_t>(j)];
      const int r = http.net_check(s, kHost, job.first, job.second);
      if (r == 2) {
        fprintf(stderr, "download failed: %s (see %s)\n", job.first.c_str(), xer.path().c_str());
        exit(1);
      }
      if (r == 1) {
        j = -1;
        ++done;
      }
    }
  }
}

std::string md5_of(const std::string& p) {
  std::string h;
  calc_file_md5(p, h);
  return h;
}

std::string curl_config(const std::vector<std::pair<std::string, std::string>>& jobs,
                        const std::string& name) {
  const std::string path = g_base + name;
  std::ofstream c(path);
  for (const auto& j : jobs)
    c << "url = \"http://" << kHost << j.first << "\"\noutput = \"" << j.second << "\"\n";
  return path;
}

std::string curl_cmd(const std::string& config, int parallel) {
  std::string cmd = "curl -s -f -x 127.0.0.1:" + std::to_string(g_port);
  if (parallel > 1) cmd += " --parallel --parallel-max " + std::to_string(parallel);
  return cmd + " -K '" + config + "' 2>/dev/null";
}
}  // namespace

int main(int argc, char** argv) {
  int big_mb = 200, files = 2000, runs = 3;
  bool keep = false;
  std::string tmp_root = bench::tmp_root();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--keep") keep = true;
    if (i + 1 >= argc) break;
    if (a == "--big-mb")
      big_mb = std::max(1, atoi(argv[++i]));
    else if (a == "--files")
      files = std::max(1, atoi(argv[++i]));
    else if (a == "--runs")
      runs = std::max(1, atoi(argv[++i]));
    else if (a == "--tmp")
      tmp_root = argv[++i];
  }
  const bench::scratch tmp("http-bench", keep, tmp_root);
  g_base = tmp.path();
  const std::string www = g_base + "www/", out = g_base + "out/";
  mkdir(www.c_str(), 0755);
  mkdir((www + "tree").c_str(), 0755);
  xer.open(g_base + "bench_log.txt");

  // The data: one large file, and small files of 1 to 40 KB in 40 folders.
  const size_t big = static_cast<size_t>(big_mb) * 1000 * 1000;
  write_random(www + "big.bin", big, 1);
  std::mt19937 rng(7);
  uint64_t tree_bytes = 0;
  std::vector<std::string> tree;
  for (int i = 0; i < files; ++i) {
    const std::string dir = "tree/d" + std::to_string(i % 40) + "/";
    mkdir((www + dir).c_str(), 0755);
    const std::string name = dir + "f" + std::to_string(i) + ".bin";
    const size_t n = 1024 + rng() % (39 * 1024);
    write_random(www + name, n, static_cast<uint64_t>(i) + 100);
    tree.push_back(name);
    tree_bytes += n;
  }

  g_port = free_port();
  if (!start_nginx(www, g_base + "nginx/", g_port)) {
    fprintf(stderr, "nginx did not start\n");
    return 1;
  }
  http.proxy_host = "127.0.0.1";
  http.proxy_port = g_port;

  auto fresh_out = [&] {
    remove_tree(out);
    mkdir(out.c_str(), 0755);
    for (int d = 0; d < 40; ++d) mkdir((out + "d" + std::to_string(d)).c_str(), 0755);
  };
  std::vector<std::pair<std::string, std::string>> tree_jobs;
  for (const std::string& t : tree) tree_jobs.push_back({"/" + t, out + t.substr(5)});

  // Right answers before any timing (and every file in the page cache).
  fresh_out();
  fetch_all({{"/big.bin", out + "big.bin"}}, 1);
  fetch_all(tree_jobs, 4);
  if (md5_of(out + "big.bin") != md5_of(www + "big.bin")) {
    fprintf(stderr, "MISMATCH big.bin\n");
    return 1;
  }
  for (size_t i = 0; i < tree.size(); i += 97)
    if (md5_of(tree_jobs[i].second) != md5_of(www + tree[i])) {
      fprintf(stderr, "MISMATCH %s\n", tree[i].c_str());
      return 1;
    }

  // curl's own start-up, a part of every curl time below.
  std::ofstream(www + "empty.bin").close();
  const std::string empty_cfg = curl_config({{"/empty.bin", out + "empty.bin"}}, "empty.cfg");
  const double curl_start = best_of(runs, fresh_out, [&] { run_shell(curl_cmd(empty_cfg, 1)); });

  const double big_mb_real = static_cast<double>(big) / 1e6;
  const double tree_mb = static_cast<double>(tree_bytes) / 1e6;
  printf("nginx on 127.0.0.1:%d; %.0f MB file, %d files of %.1f MB; best of %d runs\n", g_port,
         big_mb_real, files, tree_mb, runs);
  printf("curl start-up and one empty file: %.3f s (inside every curl time)\n", curl_start);
  printf("  %-40s %9s %9s %9s %7s\n", "", "ours MB/s", "curl MB/s", "curl", "ratio");

  for (int streams : {1, 2, 4}) {
    std::vector<std::pair<std::string, std::string>> jobs;
    for (int i = 0; i < streams; ++i)
      jobs.push_back({"/big.bin", out + "big" + std::to_string(i) + ".bin"});
    const std::string cfg = curl_config(jobs, "big" + std::to_string(streams) + ".cfg");
    const double ours = best_of(runs, fresh_out, [&] { fetch_all(jobs, streams); });
    const double curl = best_of(runs, fresh_out, [&] { run_shell(curl_cmd(cfg, streams)); });
    const double mb = big_mb_real * streams;
    printf("  %-40s %9.1f %9.1f %9s %7.3f\n",
           (std::to_string(streams) + " x large file, " + std::to_string(streams) + " slot(s)")
               .c_str(),
           mb / ours, mb / curl, streams > 1 ? "parallel" : "single", curl / ours);
  }

  const std::string tree_cfg = curl_config(tree_jobs, "tree.cfg");
  const double curl_seq = best_of(runs, fresh_out, [&] { run_shell(curl_cmd(tree_cfg, 1)); });
  for (int streams : {1, 2, 4}) {
    const double ours = best_of(runs, fresh_out, [&] { fetch_all(tree_jobs, streams); });
    const double curl_par =
        streams > 1 ? best_of(runs, fresh_out, [&] { run_shell(curl_cmd(tree_cfg, streams)); })
                    : curl_seq;
    printf("  %-40s %9.1f %9.1f %9s %7.3f   vs sequential curl %.1f MB/s: %.3f\n",
           ("tree, " + std::to_string(streams) + " slot(s)").c_str(), tree_mb / ours,
           tree_mb / curl_par, streams > 1 ? "parallel" : "seq", curl_par / ours,
           tree_mb / curl_seq, curl_seq / ours);
  }
  printf(
      "ratio = curl time / our time (above 1: we are faster). Targets: large file >= 0.8 of\n"
      "curl; the tree ahead of sequential curl.\n");

  bench::stop_nginx();
  xer.close();
  return 0;
}
