#include "OGL/gl_frame.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <vector>

#include "OGL/gl_calls.h"

namespace {
enum op : uint32_t {
#define FLY_FRAME_OP(ret, name, params) op_##name,
  FLY_GL_CORE_CALLS(FLY_FRAME_OP)
#undef FLY_FRAME_OP
      op_count
};

// Calls that only set state or draw from their own arguments can wait for
// the swap. Everything else (uploads, read-backs, queries, client arrays,
// texture names) reaches the driver at once.
constexpr bool deferrable(uint32_t o) {
  switch (o) {
    case op_Begin: case op_End: case op_Vertex2f: case op_Vertex2i: case op_Vertex3f:
    case op_Vertex2fv: case op_Vertex3fv: case op_TexCoord2f: case op_TexCoord2fv:
    case op_MultiTexCoord2f: case op_Normal3f: case op_Color3f: case op_Color4f:
    case op_Color4fv: case op_Color4ub: case op_Enable: case op_Disable:
    case op_EnableClientState: case op_DisableClientState: case op_BindTexture:
    case op_TexParameteri: case op_TexParameterf: case op_TexParameterfv: case op_TexEnvi:
    case op_TexEnvf: case op_TexEnvfv: case op_ActiveTexture: case op_ClientActiveTexture:
    case op_PixelStorei: case op_ReadBuffer: case op_DrawBuffer: case op_Viewport:
    case op_Scissor: case op_MatrixMode: case op_LoadIdentity: case op_LoadMatrixf:
    case op_LoadMatrixd: case op_MultMatrixf: case op_PushMatrix: case op_PopMatrix:
    case op_Ortho: case op_Frustum: case op_Translatef: case op_Rotatef: case op_Scalef:
    case op_BlendFunc: case op_AlphaFunc: case op_DepthMask: case op_DepthFunc:
    case op_ColorMask: case op_Clear: case op_ClearColor: case op_ClearDepth:
    case op_ClearStencil: case op_StencilFunc: case op_StencilOp: case op_CullFace:
    case op_FrontFace: case op_ShadeModel: case op_PolygonMode: case op_PolygonOffset:
    case op_LineWidth: case op_PointSize: case op_Hint: case op_Fogi: case op_Fogf:
    case op_Fogfv: case op_Lightfv: case op_LightModelfv: case op_Materialfv:
    case op_ColorMaterial: case op_RasterPos2i:
      return true;
    default:
      return false;
  }
}

// Calls that read the frame drawn so far.
constexpr bool reads_frame(uint32_t o) {
  return o == op_ReadPixels || o == op_CopyTexImage2D || o == op_CopyTexSubImage2D;
}

// How many values the array argument of a "v" call holds; 0 when the name
// of its parameter is not one this layer knows (the call then goes through).
int values_of(GLenum pname) {
  switch (pname) {
    case GL_TEXTURE_ENV_COLOR: case GL_TEXTURE_BORDER_COLOR: case GL_FOG_COLOR: case GL_AMBIENT:
    case GL_DIFFUSE: case GL_SPECULAR: case GL_EMISSION: case GL_POSITION:
    case GL_AMBIENT_AND_DIFFUSE: case GL_LIGHT_MODEL_AMBIENT:
      return 4;
    case GL_SPOT_DIRECTION:
      return 3;
    case GL_SHININESS: case GL_SPOT_EXPONENT: case GL_SPOT_CUTOFF: case GL_CONSTANT_ATTENUATION:
    case GL_LINEAR_ATTENUATION: case GL_QUADRATIC_ATTENUATION: case GL_FOG_DENSITY:
    case GL_FOG_START: case GL_FOG_END: case GL_FOG_MODE: case GL_LIGHT_MODEL_TWO_SIDE:
    case GL_LIGHT_MODEL_LOCAL_VIEWER: case GL_TEXTURE_MIN_FILTER: case GL_TEXTURE_MAG_FILTER:
    case GL_TEXTURE_WRAP_S: case GL_TEXTURE_WRAP_T: case GL_TEXTURE_ENV_MODE:
      return 1;
    default:
      return 0;
  }
}

template <uint32_t I, typename... A>
int array_length(const A&... a) {
  switch (I) {
    case op_Vertex2fv: case op_TexCoord2fv: return 2;
    case op_Vertex3fv: return 3;
    case op_Color4fv: return 4;
    case op_LoadMatrixf: case op_LoadMatrixd: case op_MultMatrixf: return 16;
    default: break;
  }
  // The rest take (..., pname, values).
  if constexpr (sizeof...(A) >= 2) {
    const auto args = std::forward_as_tuple(a...);
    return values_of(static_cast<GLenum>(std::get<sizeof...(A) - 2>(args)));
  }
  return 0;
}

std::vector<uint32_t> held, shown;  // this frame's calls; those of the picture on screen
bool installed = false;
bool holding = false;        // calls wait in `held`; else they go straight through
bool shown_valid = false;    // `shown` is what the screen holds
bool back_stale = false;     // the last swap was held back: the back buffer is older
bool redraw = false;
long swapped = 0, held_back = 0;

// The last whole frame's picture, kept before a part of the next one is shown
// (a pressed button flashed at once, after which a dialog may hold the frame).
int window_w = 0, window_h = 0;
OGL_screen_reader screen_reader = nullptr;
bool frame_ends = false;       // the next present is the frame loop's
bool part_shown = false;       // a part of the running frame was swapped in
bool whole_on_screen = false;  // the screen shows a frame the loop ended, whole
std::vector<unsigned char> kept;
int kept_w = 0, kept_h = 0;
bool kept_valid = false;

template <typename T>
void put(T v, int n) {
  if constexpr (std::is_pointer_v<T>) {
    held.push_back(static_cast<uint32_t>(n));
    for (int i = 0; i < n; ++i) put(v[i], 0);
  } else if constexpr (std::is_same_v<T, GLdouble>) {
    uint64_t u;
    memcpy(&u, &v, sizeof u);
    held.push_back(static_cast<uint32_t>(u));
    held.push_back(static_cast<uint32_t>(u >> 32));
  } else if constexpr (std::is_same_v<T, GLfloat>) {
    uint32_t u;
    memcpy(&u, &v, sizeof u);
    held.push_back(u);
  } else {
    held.push_back(static_cast<uint32_t>(v));
  }
}

struct reader {
  const uint32_t* p;
  alignas(8) unsigned char values[16 * sizeof(GLdouble)];

  template <typename T>
  T get() {
    if constexpr (std::is_pointer_v<T>) {
      using E = std::remove_cv_t<std::remove_pointer_t<T>>;
      const uint32_t n = *p++;
      E* out = reinterpret_cast<E*>(values);
      for (uint32_t i = 0; i < n; ++i) out[i] = get<E>();
      return out;
    } else if constexpr (std::is_same_v<T, GLdouble>) {
      const uint64_t u = p[0] | static_cast<uint64_t>(p[1]) << 32;
      p += 2;
      T v;
      memcpy(&v, &u, sizeof v);
      return v;
    } else if constexpr (std::is_same_v<T, GLfloat>) {
      T v;
      memcpy(&v, p++, sizeof v);
      return v;
    } else {
      return static_cast<T>(*p++);
    }
  }
};

using replay_fn = const uint32_t* (*)(const uint32_t*);
replay_fn replays[op_count];

void submit(const std::vector<uint32_t>& calls) {
  const uint32_t* p = calls.data();
  const uint32_t* end = p + calls.size();
  while (p < end) {
    const uint32_t o = *p++;
    p = replays[o](p);
  }
}

void go_live(bool reading) {
  if (reading && back_stale && shown_valid) submit(shown);
  submit(held);
  held.clear();
  holding = false;
  back_stale = false;
  shown_valid = false;  // the frame drawn now is not known call by call
}

template <uint32_t I, typename F>
struct hold;
template <uint32_t I, typename R, typename... A>
struct hold<I, R(APIENTRY*)(A...)> {
  static inline R(APIENTRY* to_driver)(A...) = nullptr;

  static R APIENTRY call(A... a) {
    if (holding) {
      if constexpr (deferrable(I) && std::is_void_v<R>) {
        int n = 0;
        if constexpr ((std::is_pointer_v<A> || ...)) n = array_length<I>(a...);
        if (n > 0 || !(std::is_pointer_v<A> || ...)) {
          held.push_back(I);
          (put(a, n), ...);
          return;
        }
      }
      go_live(reads_frame(I));
    }
    return to_driver(a...);
  }

  static const uint32_t* replay(const uint32_t* p) {
    if constexpr (deferrable(I) && std::is_void_v<R>) {
      reader r{p, {}};
      std::tuple<A...> args{r.template get<A>()...};  // braces: read left to right
      std::apply(to_driver, args);
      return r.p;
    } else {
      return p;  // never held
    }
  }
};

template <uint32_t I, typename F>
F driver(F) {
  return hold<I, F>::to_driver;
}
#define FLY_DRIVER(name) driver<op_##name>(gl.name)

// Draws the picture on screen again from its calls and reads it back; where
// the calls are not known (drawn straight through) the window is read.
void keep_whole_picture() {
  kept_valid = false;
  if (installed && holding && shown_valid) {
    GLint pack_buffer = 0, read_buffer = GL_BACK, alignment = 4;
    FLY_DRIVER(GetIntegerv)(GL_PIXEL_PACK_BUFFER_BINDING, &pack_buffer);
    if (pack_buffer == 0 && window_w > 0 && window_h > 0) {
      // The driver stands where that picture's calls left it, as at a held-back swap.
      submit(shown);
      back_stale = false;
      FLY_DRIVER(GetIntegerv)(GL_READ_BUFFER, &read_buffer);
      FLY_DRIVER(GetIntegerv)(GL_PACK_ALIGNMENT, &alignment);
      FLY_DRIVER(ReadBuffer)(GL_BACK);
      FLY_DRIVER(PixelStorei)(GL_PACK_ALIGNMENT, 4);
      kept.resize(static_cast<size_t>(window_w) * window_h * 4);
      FLY_DRIVER(ReadPixels)(0, 0, window_w, window_h, GL_RGBA, GL_UNSIGNED_BYTE, kept.data());
      FLY_DRIVER(PixelStorei)(GL_PACK_ALIGNMENT, alignment);
      FLY_DRIVER(ReadBuffer)(static_cast<GLenum>(read_buffer));
      kept_w = window_w;
      kept_h = window_h;
      kept_valid = true;
      return;
    }
  }
  if (screen_reader) kept_valid = screen_reader(&kept, &kept_w, &kept_h) != 0;
}

bool every_frame_drawn() {
  const char* v = getenv("FLY_DRAW_EVERY_FRAME");
  return v && *v && *v != '0';
}
}  // namespace

void OGL_frame_hold_install(int width, int height, OGL_screen_reader read_screen) {
  held.clear();
  shown.clear();
  holding = installed = shown_valid = back_stale = redraw = false;
  window_w = width;
  window_h = height;
  screen_reader = read_screen;
  frame_ends = part_shown = whole_on_screen = kept_valid = false;
  kept.clear();
  if (every_frame_drawn()) return;
#define FLY_FRAME_WRAP(ret, name, params)                         \
  if (gl.name) {                                                  \
    using h = hold<op_##name, decltype(gl.name)>;                 \
    if (gl.name != &h::call) h::to_driver = gl.name;              \
    gl.name = &h::call;                                           \
    replays[op_##name] = &h::replay;                              \
  }
  FLY_GL_CORE_CALLS(FLY_FRAME_WRAP)
#undef FLY_FRAME_WRAP
  held.reserve(1 << 17);  // the scenery map takes about 60000 words
  shown.reserve(1 << 17);
  installed = holding = true;
}

void OGL_frame_ends() { frame_ends = true; }

int OGL_frame_present() {
  const bool ends = frame_ends;
  frame_ends = false;
  const bool changes = !installed || !holding || !shown_valid || redraw || held != shown;
  // A part of a frame replaces a whole one: the whole one is kept first.
  if (changes && !ends && whole_on_screen && !kept_valid) keep_whole_picture();
  if (changes) whole_on_screen = ends && !part_shown;
  if (ends) {
    part_shown = kept_valid = false;
  } else if (changes) {
    part_shown = true;
  }

  if (!installed) {
    ++swapped;
    return 1;
  }
  if (!holding) {  // drawn straight through
    holding = true;
    redraw = false;
    ++swapped;
    return 1;
  }
  if (!changes) {
    held.clear();
    back_stale = true;
    ++held_back;
    return 0;
  }
  submit(held);
  held.swap(shown);
  held.clear();
  shown_valid = true;
  back_stale = redraw = false;
  ++swapped;
  return 1;
}

int OGL_frame_whole_picture(std::vector<unsigned char>* rgba, int* width, int* height) {
  if (!kept_valid && whole_on_screen) keep_whole_picture();
  if (!kept_valid) return 0;
  *rgba = kept;
  *width = kept_w;
  *height = kept_h;
  return 1;
}

void OGL_frame_live() {
  if (installed && holding) go_live(true);
}

void OGL_frame_redraw() { redraw = true; }

long OGL_frames_swapped() { return swapped; }
long OGL_frames_held() { return held_back; }
