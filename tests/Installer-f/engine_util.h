// Helpers of the engine's tests: file lists, model rows and a scripted
// answerer for the modal prompts.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "Installer-f/utils.h"
#include "support/test_util.h"

namespace engine_test {

inline std::string header(int version = 900) {
  return "I\n" + std::to_string(version) + " version\nINSTALLER\n\n";
}

// A valid MD5 word made of one repeated hex digit.
inline std::string sig(char c) { return std::string(32, c); }

// The last version of a row, built in code for the selection tests.
inline file_version_struct version(const std::string& path, const std::string& want,
                                   const std::string& have, int platform = 0) {
  file_version_struct v{};
  v.platform = platform;
  v.version = 92102;
  v.zip_kb = 1;
  v.size_kb = 2;
  v.sig_want = want;
  v.sig_have = have;
  v.path = path;
  v.current = want == have;
  v.is_global = is_global_scenery_f(path.c_str());
  if (v.is_global && !find_sector(&v.lon_band, &v.lat_band, path)) v.is_global = 0;
  return v;
}

// Answers the prompts from a script and records what they asked.
struct scripted_prompts {
  std::deque<int> answers;  // 3 (closed) once they run out
  std::vector<prompt_window> asked;

  scripted_prompts() {
    current() = this;
    installer_prompt_runner = run;
  }
  ~scripted_prompts() {
    installer_prompt_runner = prompt_headless_runner;
    current() = nullptr;
  }
  static scripted_prompts*& current() {
    static scripted_prompts* p = nullptr;
    return p;
  }
  static int run(const prompt_window& w) {
    scripted_prompts* s = current();
    s->asked.push_back(w);
    if (s->answers.empty()) return 3;
    const int a = s->answers.front();
    s->answers.pop_front();
    return a;
  }
  // The file each select prompt asked about (its second line).
  std::vector<std::string> files() const {
    std::vector<std::string> f;
    for (const prompt_window& w : asked)
      if (w.window == prompt_select_window && w.lines.size() > 1) f.push_back(w.lines[1].text);
    return f;
  }
};

}  // namespace engine_test
