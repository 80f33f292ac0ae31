// Helpers of the web road's tests: archives, a bounded frame loop and a
// scripted random source for the server picks.
#pragma once

#include <chrono>
#include <thread>

#include "Files/zip.h"
#include "Installer-f/servers.h"
#include "Installer-f/web_download.h"
#include "Linux/lin_sys.h"
#include "OOPS_cpp/http.h"
#include "engine_util.h"
#include "support/net_servers.h"

namespace web_test {
inline void put(const std::string& path, const std::string& data) {
  if (path.find('/') != std::string::npos) LIN_make_dirs(path.substr(0, path.rfind('/')));
  fly_test::write_file(path, data);
}
// zip (a full path) holds one file called name.
inline void put_zip(const std::string& zip, const std::string& name, const std::string& data) {
  put(fly_test::sandbox() + "zipsrc/" + name, data);
  LIN_make_dirs(zip.substr(0, zip.rfind('/')));
  ASSERT_EQ(file_to_zip(fly_test::sandbox() + "zipsrc/" + name, zip), 0) << zip;
}
// Calls step once a frame until done() holds; false after a minute.
template <class Step, class Done>
bool frames_until(Step step, Done done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    step();
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  return true;
}
inline int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}
inline std::string requests(const fly_test::script_server& srv) {
  std::string all;
  for (const std::string& q : srv.requests()) all += q;
  return all;
}
inline std::vector<int> rand_script;  // the picks' next random values, then 0
inline int scripted_rand() {
  const int v = rand_script.empty() ? 0 : rand_script.front();
  if (!rand_script.empty()) rand_script.erase(rand_script.begin());
  return v;
}
inline int alerts_saying(const std::string& s1) {
  int n = 0;
  for (const fly_test::alert_record& a : fly_test::alerts()) n += a.s1 == s1;
  return n;
}
}  // namespace web_test
