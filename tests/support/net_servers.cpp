#include "support/net_servers.h"

#include <arpa/inet.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "OOPS_cpp/http.h"
#include "support/test_util.h"

namespace fly_test {
namespace {
const std::string k_script = FLY_SOURCE_DIR "/tests/support/http_script_server.py";

// Connects to 127.0.0.1:port, or with port 0 binds there and gives the port it got.
int loopback(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t len = sizeof(a);
  auto* sa = reinterpret_cast<sockaddr*>(&a);
  const bool ok =
      port ? connect(s, sa, len) == 0 : bind(s, sa, len) == 0 && getsockname(s, sa, &len) == 0;
  close(s);
  return ok ? ntohs(a.sin_port) : 0;
}
}  // namespace

int free_loopback_port() { return loopback(0); }

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
  char line[64];
  for (int i = 0; known_port && i < 3000 && !(port_ = loopback(known_port)); ++i) usleep(10000);
  // Without a known port the script prints its own first, or ends if it cannot start.
  if (!known_port && (!fgets(line, sizeof(line), f) || sscanf(line, "PORT %d", &port_) != 1))
    port_ = 0;
  fclose(f);
  if (!port_) stop();
  return port_ != 0;
}

void child_server::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int i = 0;
  while (waitpid(pid_, nullptr, WNOHANG) != pid_ && ++i < 300) usleep(10000);
  if (i == 300) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

script_server::script_server(double timeout_s, const std::string& root, int port) {
  static int count = 0;
  record_ = sandbox() + "script-server-" + std::to_string(count++) + "/";
  mkdir(record_.c_str(), 0755);
  launch({"python3", k_script, "--timeout", std::to_string(timeout_s), "--record", record_,
          "--root", root, "--port", std::to_string(port)}, 0);
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

bool proxy_to(const child_server& s) {
  http.proxy_host = "127.0.0.1";
  http.proxy_port = s.port();
  return s.running();
}

nginx_server::nginx_server(const std::string& root, const std::string& w) {
  mkdir(w.c_str(), 0755);
  const int port = free_loopback_port();
  std::ofstream c(w + "nginx.conf");
  c << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << w << "nginx.pid;\n"
    << "error_log " << w << "error.log warn;\nevents { worker_connections 256; }\nhttp {\n"
    << "  access_log " << w << "access.log;\n  default_type application/octet-stream;\n";
  for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
    c << "  " << t << "_temp_path " << w << t << ";\n";
  // Below /ssi/ every reply is parsed for includes, so its length is not known and it goes
  // out chunked.
  c << "  sendfile on;\n  server { listen 127.0.0.1:" << port << "; root " << root << ";\n"
    << "    location /ssi/ { ssi on; ssi_types *; }\n  }\n}\n";
  c.close();
  const char* nginx = access("/usr/sbin/nginx", X_OK) == 0 ? "/usr/sbin/nginx" : "nginx";
  launch({nginx, "-p", w, "-e", w + "error.log", "-c", w + "nginx.conf"}, port);
}

std::vector<std::string> nginx_gets(const std::string& access_log) {
  std::vector<std::string> out;
  std::istringstream in(read_file(access_log));
  for (std::string line; std::getline(in, line);) {
    const size_t g = line.find("\"GET ");
    if (g == std::string::npos) continue;
    const size_t e = line.find(' ', g + 5);
    out.push_back(line.substr(g + 5, e - g - 5));
  }
  return out;
}

}  // namespace fly_test
