// A recording GL table for tests without a context: every entry of `gl` logs
// its name and arguments (pointers as their address, 0 for null); queries
// answer 0, GenTextures hands out 1, 2, 3, ...
#pragma once

#include <string>
#include <vector>

#include "OGL/gl_calls.h"

namespace fly_test {

struct gl_call {
  std::string name;  // without the "gl" prefix
  std::vector<double> args;
};

class gl_recorder {
 public:
  // Installs the recorders and forgets the state cache and the stand-in
  // texture names.
  gl_recorder();
  ~gl_recorder();  // puts the previous table back

  std::vector<gl_call>& calls();
  void clear();
  int count(const std::string& name) const;
  // The calls named name, in order.
  std::vector<gl_call> named(const std::string& name) const;
  // The vertices (Vertex2f) between each Begin and its End: one list per
  // Begin, with its mode.
  struct prim {
    int mode;
    std::vector<std::pair<float, float>> v;
  };
  std::vector<prim> prims() const;

 private:
  gl_call_table saved_;
};

// Twice the signed area of a polygon: negative when it runs clockwise with y
// up.
double signed_area2(const std::vector<std::pair<float, float>>& v);

}  // namespace fly_test
