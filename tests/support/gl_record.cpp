#include "support/gl_record.h"

#include <cstdint>
#include <type_traits>

#include "OGL/ogl_seams.h"
#include "OGL/ogl_state.h"

namespace fly_test {
namespace {

std::vector<gl_call> g_calls;
GLuint g_next_tex = 1;

enum call_id {
#define FLY_GL_REC_ID(ret, name, params) id_##name,
  FLY_GL_CORE_CALLS(FLY_GL_REC_ID)
#undef FLY_GL_REC_ID
      id_count
};

const char* const k_names[] = {
#define FLY_GL_REC_NAME(ret, name, params) #name,
    FLY_GL_CORE_CALLS(FLY_GL_REC_NAME)
#undef FLY_GL_REC_NAME
};

template <typename T>
double as_double(T v) {
  if constexpr (std::is_pointer_v<T>) return static_cast<double>(reinterpret_cast<uintptr_t>(v));
  else return static_cast<double>(v);
}

template <typename F>
struct recorder;
template <typename R, typename... A>
struct recorder<R(APIENTRY*)(A...)> {
  template <int ID>
  static R APIENTRY call(A... a) {
    g_calls.push_back({k_names[ID], {as_double(a)...}});
    if constexpr (!std::is_void_v<R>) return R{};
  }
};

void APIENTRY gen_textures(GLsizei n, GLuint* out) {
  g_calls.push_back({"GenTextures", {static_cast<double>(n)}});
  for (GLsizei i = 0; i < n; ++i) out[i] = g_next_tex++;
}

}  // namespace

gl_recorder::gl_recorder() : saved_(gl) {
#define FLY_GL_REC_SET(ret, name, params) \
  gl.name = &recorder<decltype(gl.name)>::template call<id_##name>;
  FLY_GL_CORE_CALLS(FLY_GL_REC_SET)
#undef FLY_GL_REC_SET
  gl.GenTextures = gen_textures;
  g_calls.clear();
  g_next_tex = 1;
  OGL_setstate_forget();
  OGL_default_tex_forget();  // its names belonged to an earlier table
}

gl_recorder::~gl_recorder() {
  gl = saved_;
  g_calls.clear();
}

std::vector<gl_call>& gl_recorder::calls() { return g_calls; }
void gl_recorder::clear() { g_calls.clear(); }

int gl_recorder::count(const std::string& name) const {
  int n = 0;
  for (const gl_call& c : g_calls) n += c.name == name;
  return n;
}

std::vector<gl_call> gl_recorder::named(const std::string& name) const {
  std::vector<gl_call> out;
  for (const gl_call& c : g_calls)
    if (c.name == name) out.push_back(c);
  return out;
}

std::vector<gl_recorder::prim> gl_recorder::prims() const {
  std::vector<prim> out;
  bool open = false;
  for (const gl_call& c : g_calls) {
    if (c.name == "Begin") {
      out.push_back({static_cast<int>(c.args[0]), {}});
      open = true;
    } else if (c.name == "End") {
      open = false;
    } else if (open && c.name == "Vertex2f") {
      out.back().v.emplace_back(static_cast<float>(c.args[0]), static_cast<float>(c.args[1]));
    }
  }
  return out;
}

double signed_area2(const std::vector<std::pair<float, float>>& v) {
  double a = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    const auto& p = v[i];
    const auto& q = v[(i + 1) % v.size()];
    a += static_cast<double>(p.first) * q.second - static_cast<double>(q.first) * p.second;
  }
  return a;
}

}  // namespace fly_test
