// Local servers for the network tests: each listens on 127.0.0.1 only, on a free port, ends by
// itself after its time-out and is stopped by its destructor.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace fly_test {

// A free TCP port on 127.0.0.1 (bound once and let go).
int free_loopback_port();
// Byte i is (i * 31 + 7) mod 256: the bodies of the scripted server.
std::string pattern_body(size_t n);

class child_server {
 public:
  child_server() = default;
  child_server(const child_server&) = delete;
  ~child_server() { stop(); }
  int port() const { return port_; }
  bool running() const { return pid_ > 0; }
  void stop();

 protected:
  // The port comes from a "PORT n" first output line, or is known (then the server is up once
  // it accepts a connection).
  bool launch(const std::vector<std::string>& argv, int known_port);

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// tests/support/http_script_server.py: the scripted replies; with a root, the hosts that have a
// folder there are served from it. requests(): those received, in arrival order; each is kept
// in record_dir()/req-<n>.bin. With a port, it listens there (to stand in for a server that
// stopped and came back).
struct script_server : child_server {
  explicit script_server(double timeout_s = 60.0, const std::string& root = "", int port = 0);
  std::vector<std::string> requests() const;
  const std::string& record_dir() const { return record_; }

 private:
  std::string record_;
};

// python3's http.server serving dir: an HTTP/1.0 peer.
struct http10_server : child_server {
  explicit http10_server(const std::string& dir, double timeout_s = 60.0);
};

// Points the HTTP client's proxy at s; false when s is not running.
bool proxy_to(const child_server& s);

// nginx in the foreground with its own configuration, logs and pid in work_dir. What it serves
// from root/ssi/ goes through server-side includes and out chunked.
struct nginx_server : child_server {
  nginx_server(const std::string& root, const std::string& work_dir);
};
// The addresses of the GET lines of an nginx access log, in order.
std::vector<std::string> nginx_gets(const std::string& access_log);

}  // namespace fly_test
