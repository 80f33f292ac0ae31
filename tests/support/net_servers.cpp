#include "support/net_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "support/test_util.h"

namespace fly_test {
namespace {
std::string support_dir() { return std::string(FLY_SOURCE_DIR) + "/tests/support/"; }

bool accepts(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
  close(s);
  return ok;
}

// Reads "PORT n" from fd within limit_ms; 0 on failure.
int read_port_line(int fd, int limit_ms) {
  std::string text;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  while (text.find('\n') == std::string::npos) {
    const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          end - std::chrono::steady_clock::now())
                                          .count());
    if (left <= 0) return 0;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, left) <= 0) return 0;
    char buf[64];
    const ssize_t n = read(fd, buf, sizeof(buf));
    if (n <= 0) return 0;
    text.append(buf, static_cast<size_t>(n));
  }
  int port = 0;
  return sscanf(text.c_str(), "PORT %d", &port) == 1 ? port : 0;
}
}  // namespace

int free_loopback_port() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

std::string pattern_body(size_t n) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + 7) & 0xFF);
  return s;
}

bool child_server::launch(const std::vector<std::string>& argv, int known_port) {
  int out[2];
  if (pipe(out) != 0) return false;
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  pid_ = pid;
  if (known_port) {
    close(out[0]);
    for (int i = 0; i < 3000 && !accepts(known_port); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    port_ = accepts(known_port) ? known_port : 0;
  } else {
    port_ = read_port_line(out[0], 60000);  // python starts slowly on a loaded machine
    close(out[0]);
  }
  if (!port_) stop();
  return port_ != 0;
}

void child_server::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int st = 0;
  for (int i = 0; i < 300; ++i) {
    if (waitpid(pid_, &st, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &st, 0);
  pid_ = -1;
}

script_server::script_server(double timeout_s, const std::string& root) {
  static int count = 0;
  record_ = sandbox() + "script-server-" + std::to_string(count++) + "/";
  mkdir(record_.c_str(), 0755);
  std::vector<std::string> argv = {"python3",   support_dir() + "http_script_server.py",
                                   "--timeout", std::to_string(timeout_s),
                                   "--record",  record_};
  if (!root.empty()) argv.insert(argv.end(), {"--root", root});
  launch(argv, 0);
}

std::vector<std::string> script_server::requests() const {
  std::vector<std::string> out;
  for (int i = 0;; ++i) {
    const std::string p = record_ + "req-" + std::to_string(i) + ".bin";
    if (!file_exists(p)) break;
    out.push_back(read_file(p));
  }
  return out;
}

http10_server::http10_server(const std::string& dir, double timeout_s) {
  launch({"python3", support_dir() + "http10_server.py", "--directory", dir, "--timeout",
          std::to_string(timeout_s)},
         0);
}

nginx_server::nginx_server(const std::string& root, const std::string& work_dir) {
  mkdir(work_dir.c_str(), 0755);
  const int port = free_loopback_port();
  const std::string conf = work_dir + "nginx.conf";
  {
    std::ofstream c(conf);
    c << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
      << "pid " << work_dir << "nginx.pid;\n"
      << "error_log " << work_dir << "error.log warn;\n"
      << "events { worker_connections 256; }\n"
      << "http {\n"
      << "  access_log " << work_dir << "access.log;\n"
      << "  client_body_temp_path " << work_dir << "body;\n"
      << "  proxy_temp_path " << work_dir << "proxy;\n"
      << "  fastcgi_temp_path " << work_dir << "fastcgi;\n"
      << "  uwsgi_temp_path " << work_dir << "uwsgi;\n"
      << "  scgi_temp_path " << work_dir << "scgi;\n"
      << "  default_type application/octet-stream;\n"
      << "  sendfile on;\n"
      << "  server {\n"
      << "    listen 127.0.0.1:" << port << ";\n"
      << "    root " << root << ";\n"
      << "  }\n"
      << "}\n";
  }
  const char* nginx = access("/usr/sbin/nginx", X_OK) == 0 ? "/usr/sbin/nginx" : "nginx";
  launch({nginx, "-p", work_dir, "-e", work_dir + "error.log", "-c", conf}, port);
}

}  // namespace fly_test
