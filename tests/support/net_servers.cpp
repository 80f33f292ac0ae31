#include "support/net_servers.h"

#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "support/test_util.h"

namespace fly_test {
namespace {
const std::string k_script = std::string(FLY_SOURCE_DIR) + "/tests/support/http_script_server.py";

// A socket bound to 127.0.0.1:port, connected (connect) or not.
bool loopback(int port, bool connect, int* bound = nullptr) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  auto* sa = reinterpret_cast<sockaddr*>(&a);
  socklen_t len = sizeof(a);
  const bool ok = connect ? ::connect(s, sa, len) == 0
                          : bind(s, sa, len) == 0 && getsockname(s, sa, &len) == 0;
  if (bound) *bound = ntohs(a.sin_port);
  close(s);
  return ok;
}
}  // namespace

int free_loopback_port() {
  int port = 0;
  loopback(0, false, &port);
  return port;
}

std::string pattern_body(size_t n) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + 7) & 0xFF);
  return s;
}

bool child_server::launch(const std::vector<std::string>& argv, int known_port) {
  int out[2];
  if (pipe(out) != 0 || (pid_ = fork()) < 0) return false;
  if (pid_ == 0) {
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
  FILE* f = fdopen(out[0], "r");
  if (known_port) {
    for (int i = 0; i < 3000 && !loopback(known_port, true); ++i) usleep(10000);
    port_ = loopback(known_port, true) ? known_port : 0;
  } else {
    // The script prints its port first, or ends (end of file) if it cannot start.
    char line[64];
    if (!fgets(line, sizeof(line), f) || sscanf(line, "PORT %d", &port_) != 1) port_ = 0;
  }
  fclose(f);
  if (!port_) stop();
  return port_ != 0;
}

void child_server::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int i = 0;
  while (waitpid(pid_, nullptr, WNOHANG) != pid_ && ++i < 300) usleep(10000);
  if (i == 300) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

script_server::script_server(double timeout_s, const std::string& root) {
  static int count = 0;
  record_ = sandbox() + "script-server-" + std::to_string(count++) + "/";
  mkdir(record_.c_str(), 0755);
  launch({"python3", k_script, "--timeout", std::to_string(timeout_s), "--record", record_,
          "--root", root},
         0);
}

std::vector<std::string> script_server::requests() const {
  std::vector<std::string> out;
  for (std::string p; file_exists(p = record_ + "req-" + std::to_string(out.size()) + ".bin");)
    out.push_back(read_file(p));
  return out;
}

http10_server::http10_server(const std::string& dir, double timeout_s) {
  launch({"python3", k_script, "--timeout", std::to_string(timeout_s), "--http10", dir}, 0);
}

nginx_server::nginx_server(const std::string& root, const std::string& work_dir) {
  mkdir(work_dir.c_str(), 0755);
  const int port = free_loopback_port();
  const std::string& w = work_dir;
  std::ofstream c(w + "nginx.conf");
  c << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << w << "nginx.pid;\n"
    << "error_log " << w << "error.log warn;\nevents { worker_connections 256; }\nhttp {\n"
    << "  access_log " << w << "access.log;\n  default_type application/octet-stream;\n";
  for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
    c << "  " << t << "_temp_path " << w << t << ";\n";
  c << "  sendfile on;\n  server { listen 127.0.0.1:" << port << "; root " << root << "; }\n}\n";
  c.close();
  const char* nginx = access("/usr/sbin/nginx", X_OK) == 0 ? "/usr/sbin/nginx" : "nginx";
  launch({nginx, "-p", w, "-e", w + "error.log", "-c", w + "nginx.conf"}, port);
}

}  // namespace fly_test
