// Local servers for the network tests. Each listens on 127.0.0.1 only, on a
// free port, ends by itself after its time-out and is stopped by its
// destructor.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace fly_test {

// A free TCP port on 127.0.0.1 (bound once and let go).
int free_loopback_port();

class child_server {
 public:
  child_server() = default;
  ~child_server() { stop(); }
  child_server(const child_server&) = delete;
  child_server& operator=(const child_server&) = delete;
  int port() const { return port_; }
  bool running() const { return pid_ > 0; }
  void stop();

 protected:
  // Starts argv; the port comes from a "PORT n" first line on its output, or
  // is given (then the server counts as up once it accepts a connection).
  bool launch(const std::vector<std::string>& argv, int known_port);

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// tests/support/http_script_server.py: the scripted replies; every request
// it reads is kept in record_dir()/req-<n>.bin.
class script_server : public child_server {
 public:
  // With a root, a host that has a folder there is served from that folder
  // (see the script).
  explicit script_server(double timeout_s = 60.0, const std::string& root = "");
  const std::string& record_dir() const { return record_; }
  // The raw requests received so far, in arrival order.
  std::vector<std::string> requests() const;

 private:
  std::string record_;
};

// python3's http.server serving dir, an HTTP/1.0 peer.
class http10_server : public child_server {
 public:
  http10_server(const std::string& dir, double timeout_s = 60.0);
};

// nginx in the foreground with its own configuration, logs and pid under
// work_dir, serving root.
class nginx_server : public child_server {
 public:
  nginx_server(const std::string& root, const std::string& work_dir);
};

// Byte i is (i * 31 + 7) mod 256: the bodies of the scripted server.
std::string pattern_body(size_t n);

}  // namespace fly_test
