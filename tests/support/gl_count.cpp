#include "support/gl_count.h"

#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "OGL/gl_calls.h"

namespace fly_test {
namespace {
enum {
#define FLY_TEST_GL_INDEX(ret, name, params) idx_##name,
  FLY_GL_CORE_CALLS(FLY_TEST_GL_INDEX)
#undef FLY_TEST_GL_INDEX
      idx_count
};

const char* const k_names[idx_count] = {
#define FLY_TEST_GL_NAME(ret, name, params) #name,
    FLY_GL_CORE_CALLS(FLY_TEST_GL_NAME)
#undef FLY_TEST_GL_NAME
};

std::vector<gl_call> g_counted;
gl_call_table g_saved;
int g_active = 0;

template <typename T>
double as_double(T v) {
  if constexpr (std::is_pointer_v<T>) return static_cast<double>(reinterpret_cast<uintptr_t>(v));
  else return static_cast<double>(v);
}

template <int I, typename F>
struct wrap;
template <int I, typename R, typename... A>
struct wrap<I, R(APIENTRY*)(A...)> {
  static inline R(APIENTRY* orig)(A...) = nullptr;
  static R APIENTRY fn(A... a) {
    g_counted.push_back({k_names[I], {as_double(a)...}});
    if (orig) return orig(a...);
    if constexpr (!std::is_void_v<R>) return R{};
  }
};
}  // namespace

gl_counter::gl_counter() {
  if (g_active++) return;
  g_saved = gl;
  g_counted.clear();
#define FLY_TEST_GL_WRAP(ret, name, params)            \
  wrap<idx_##name, decltype(gl.name)>::orig = gl.name; \
  gl.name = &wrap<idx_##name, decltype(gl.name)>::fn;
  FLY_GL_CORE_CALLS(FLY_TEST_GL_WRAP)
#undef FLY_TEST_GL_WRAP
}

gl_counter::~gl_counter() {
  if (--g_active) return;
  gl = g_saved;
}

int gl_counter::total() const { return static_cast<int>(g_counted.size()); }

int gl_counter::count(const std::string& name) const {
  int n = 0;
  for (const gl_call& c : g_counted) n += c.name == name;
  return n;
}

int gl_counter::count(const std::string& name, double a0) const {
  int n = 0;
  for (const gl_call& c : g_counted) n += c.name == name && !c.args.empty() && c.args[0] == a0;
  return n;
}

const std::vector<gl_call>& gl_counter::calls() const { return g_counted; }
void gl_counter::clear() { g_counted.clear(); }

std::string gl_counter::text() const {
  std::string s;
  char buf[64];
  for (const gl_call& c : g_counted) {
    snprintf(buf, sizeof(buf), "(0x%llx) ",
             c.args.empty() ? 0ull : static_cast<unsigned long long>(c.args[0]));
    s += c.name + buf;
  }
  return s;
}

}  // namespace fly_test
