// Helpers of the engine's and the web road's tests.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <thread>

#include "Files/zip.h"
#include "Installer-f/make_installer.h"
#include "Installer-f/servers.h"
#include "Installer-f/utils.h"
#include "Installer-f/web_download.h"
#include "Linux/lin_sys.h"
#include "OOPS_cpp/http.h"
#include "support/net_servers.h"
#include "support/prompt_clicks.h"
#include "support/test_util.h"

namespace engine_test {
using fly_test::file_exists, fly_test::md5sum_of, fly_test::pattern, fly_test::read_file,
    fly_test::sh, fly_test::write_file;

inline std::string header() { return "I\n900 version\nINSTALLER\n\n"; }
inline std::string sig(char c) { return std::string(32, c); }  // a valid MD5 word
inline std::string q(const std::string& s) { return "'" + s + "'"; }
// zip (a full path) holds one file called name.
inline void put_zip(const std::string& zip, const std::string& name, const std::string& data) {
  write_file(fly_test::sandbox() + "zipsrc/" + name, data);
  LIN_make_dirs(zip.substr(0, zip.rfind('/')));
  ASSERT_EQ(file_to_zip(fly_test::sandbox() + "zipsrc/" + name, zip), 0) << zip;
}
// The smallest file the builder takes for a Windows program.
inline std::string small_pe() {
  std::string pe(0x60, 0);
  pe[0] = 'M', pe[1] = 'Z', pe[0x3c] = 0x40, pe.replace(0x40, 4, std::string("PE\0\0", 4));
  return pe;
}
// The folders the builder wants in every master.
inline void make_release_folders(const std::string& master) {
  for (const char* d :
       {"All/Instructions", "All/Weapons", "All/Airfoils", "All/Aircraft", "All/Output",
        "All/Custom Scenery", "All/Global Scenery", "All/Resources/plugins",
        "All/Resources/default scenery/900 red terrain",
        "All/Resources/bitmaps/Earth Orbit Textures", "Macintosh", "Windows", "Linux"})
    LIN_make_dirs(master + d);
}

inline file_version_struct version(const std::string& path, const std::string& want,
                                   const std::string& have, int platform = 0) {
  file_version_struct v{};
  v.platform = platform, v.version = 92102, v.zip_kb = 1, v.size_kb = 2;
  v.sig_want = want, v.sig_have = have, v.path = path, v.current = want == have;
  v.is_global = is_global_scenery_f(path.c_str());
  if (v.is_global && !find_sector(&v.lon_band, &v.lat_band, path)) v.is_global = 0;
  return v;
}

// Calls step once a frame until done() holds; false after a minute.
template <class Step, class Done>
bool frames_until(Step step, Done done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    step(), std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  return true;
}
inline bool check_all(int quick = 0) {
  int row = 0;
  float progress = 0;
  return frames_until([] {}, [&] { return checksum_directory(row, quick, progress) == 1; });
}

inline int alerts_saying(const std::string& s1) {
  const auto& all = fly_test::alerts();
  return std::count_if(all.begin(), all.end(), [&](const auto& a) { return a.s1 == s1; });
}
inline int pop_or(std::deque<int>& script, int otherwise) {
  if (script.empty()) return otherwise;
  const int v = script.front();
  script.pop_front();
  return v;
}
inline std::deque<int> rand_script;  // the server picks' next random values
inline int scripted_rand() { return pop_or(rand_script, 0); }

// Answers the prompts from a script (3, closed, once it runs out); with
// in_window, by clicking the prompt window's buttons.
struct scripted_prompts {
  std::deque<int> answers;
  std::vector<prompt_window> asked;
  bool in_window;
  static inline scripted_prompts* now = nullptr;
  explicit scripted_prompts(std::deque<int> script = {}, bool window = false)
      : answers(script), in_window(window) {
    now = this, installer_prompt_runner = run;
  }
  ~scripted_prompts() { installer_prompt_runner = prompt_headless_runner, now = nullptr; }
  static int run(const prompt_window& w) {
    now->asked.push_back(w);
    const int a = pop_or(now->answers, 3);
    return now->in_window ? fly_test::answer_in_window(w, a) : a;
  }
  std::vector<std::string> files() const {
    std::vector<std::string> f;
    for (const prompt_window& w : asked) f.push_back(w.lines.at(1).text);
    return f;
  }
};
}  // namespace engine_test
