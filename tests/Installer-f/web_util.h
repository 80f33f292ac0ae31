// Helpers of the web road's tests: update-server trees for the scripted
// server, archives, and frame-loop drivers bounded in wall time.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "Files/md5.h"
#include "Files/zip.h"
#include "Installer-f/servers.h"
#include "Installer-f/web_download.h"
#include "Linux/lin_sys.h"
#include "OOPS_cpp/http.h"
#include "engine_util.h"
#include "support/net_servers.h"

namespace web_test {

inline void put(const std::string& path, const std::string& data) {
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos) LIN_make_dirs(path.substr(0, slash));
  fly_test::write_file(path, data);
}

inline std::string md5_of_text(const std::string& data) {
  const std::string p = fly_test::sandbox() + "md5.tmp";
  fly_test::write_file(p, data);
  std::string h;
  calc_file_md5(p, h);
  return h;
}

// zip_path holds one file called name with data, as the builder packs it.
inline void put_zip(const std::string& zip_path, const std::string& name, const std::string& data) {
  const std::string src = fly_test::sandbox() + "zipsrc/" + name;
  put(src, data);
  LIN_make_dirs(zip_path.substr(0, zip_path.find_last_of('/')));  // always a full path
  ASSERT_EQ(file_to_zip(src, zip_path), 0) << zip_path;
}

// Calls step once per "frame" until done() holds; false after limit_s.
template <class Step, class Done>
bool frames_until(Step step, Done done, double limit_s = 60) {
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<int>(limit_s * 1000));
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    step();
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  return true;
}

// Runs grab_files as the run screen does until it returns nonzero.
inline int run_grab_files(int* passes = nullptr, double limit_s = 120) {
  int r = 0, n = 0;
  frames_until([&] { r = grab_files(), ++n; }, [&] { return r != 0; }, limit_s);
  if (passes) *passes = n;
  return r;
}

// How many recorded requests ask for a target ending in tail.
inline int requests_for(const fly_test::script_server& srv, const std::string& tail) {
  int n = 0;
  for (const std::string& req : srv.requests()) {
    const std::string line = req.substr(0, req.find("\r\n"));
    const size_t end = line.rfind(" HTTP/");
    if (end != std::string::npos && end >= tail.size() &&
        line.compare(end - tail.size(), tail.size(), tail) == 0)
      ++n;
  }
  return n;
}

// Random picks of the servers come from this script, then 0.
inline std::vector<int>& rand_script() {
  static std::vector<int> s;
  return s;
}
inline int scripted_rand() {
  std::vector<int>& s = rand_script();
  if (s.empty()) return 0;
  const int v = s.front();
  s.erase(s.begin());
  return v;
}

inline int alerts_saying(const std::string& s1) {
  int n = 0;
  for (const fly_test::alert_record& a : fly_test::alerts()) n += a.s1 == s1;
  return n;
}

}  // namespace web_test
