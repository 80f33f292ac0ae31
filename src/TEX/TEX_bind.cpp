#include "TEX/TEX_bind.h"

#include "OGL/gl_calls.h"
#include "OGL/ren.h"
#include "TEX/TEX_caps.h"

UTL_stat gKillTex("perf/kill_tex", stat_tuning, 0.0f);

namespace {

constexpr int k_units = 8;
int o_tex[k_units] = {-1, -1, -1, -1, -1, -1, -1, -1};
int o_mod[k_units] = {-1, -1, -1, -1, -1, -1, -1, -1};

// One combiner input: a source and its operand.
struct comb_arg {
  GLenum src, op;
};
constexpr comb_arg prev_c{GL_PREVIOUS, GL_SRC_COLOR}, prev_a{GL_PREVIOUS, GL_SRC_ALPHA},
    prev_1a{GL_PREVIOUS, GL_ONE_MINUS_SRC_ALPHA}, tex_c{GL_TEXTURE, GL_SRC_COLOR},
    tex_a{GL_TEXTURE, GL_SRC_ALPHA}, const_c{GL_CONSTANT, GL_SRC_COLOR},
    const_a{GL_CONSTANT, GL_SRC_ALPHA}, prim_c{GL_PRIMARY_COLOR, GL_SRC_COLOR};

struct comb_fn {
  GLenum fn;
  int n;
  comb_arg a[3];
};

struct comb_setup {
  int code;
  int env_colour;  // -1 none, else the value of all four components
  comb_fn rgb, alpha;
  float alpha_scale;  // below 0: not set
  bool float_form;    // every value through glTexEnvf
};

const comb_setup k_setups[] = {
    {1, -1, {GL_ADD, 2, {prev_c, tex_c}}, {GL_REPLACE, 1, {prev_a}}, 1, false},
    {2, -1, {GL_ADD, 2, {prev_c, tex_c}}, {GL_ADD, 2, {prev_a, tex_a}}, 1, false},
    {10, -1, {GL_MODULATE, 2, {prev_c, tex_c}}, {GL_REPLACE, 1, {tex_a}}, 1, false},
    {11, -1, {GL_REPLACE, 1, {prev_c}}, {GL_SUBTRACT, 2, {tex_a, prev_a}}, 4, false},
    {12, -1, {GL_REPLACE, 1, {prev_c}}, {GL_MODULATE, 2, {prev_1a, tex_a}}, 1, false},
    {13, 1, {GL_MODULATE, 2, {prev_c, prev_1a}}, {GL_REPLACE, 1, {const_a}}, 1, false},
    {14, -1, {GL_REPLACE, 1, {prev_c}}, {GL_REPLACE, 1, {prev_a}}, 1, false},
    {15, 1, {GL_REPLACE, 1, {prev_c}}, {GL_REPLACE, 1, {const_a}}, 1, false},
    {16, 1, {GL_MODULATE, 2, {prev_c, tex_c}}, {GL_REPLACE, 1, {const_a}}, 1, false},
    {17, 1, {GL_REPLACE, 1, {tex_a}}, {GL_REPLACE, 1, {const_a}}, 1, false},
    {18, -1, {GL_INTERPOLATE, 3, {tex_c, prev_c, tex_a}}, {GL_REPLACE, 1, {prev_a}}, 1, false},
    {19, -1, {GL_INTERPOLATE, 3, {tex_c, prev_c, prev_a}}, {GL_REPLACE, 1, {prev_a}}, 1, false},
    {20, -1, {GL_MODULATE, 2, {prev_c, tex_a}}, {GL_REPLACE, 1, {prev_a}}, 1, false},
    {21, -1, {GL_INTERPOLATE, 3, {tex_c, prev_c, const_c}},
     {GL_INTERPOLATE, 3, {tex_a, prev_a, const_a}}, 1, false},
    {22, -1, {GL_INTERPOLATE, 3, {tex_c, const_c, tex_a}}, {GL_REPLACE, 1, {prev_a}}, 1, false},
    {23, -1, {GL_MODULATE, 2, {prev_c, prim_c}}, {GL_REPLACE, 1, {prev_a}}, -1, false},
    {24, -1, {GL_MODULATE, 2, {prev_c, const_c}}, {GL_MODULATE, 2, {prev_a, const_a}}, 1, false},
    {25, 0, {GL_INTERPOLATE, 3, {prim_c, const_c, tex_c}}, {GL_REPLACE, 1, {tex_a}}, 1, true},
};

const comb_setup* find_setup(int code) {
  for (const comb_setup& s : k_setups)
    if (s.code == code) return &s;
  return nullptr;
}

void env(GLenum pname, GLenum value, bool float_form) {
  if (float_form) gl.TexEnvf(GL_TEXTURE_ENV, pname, static_cast<GLfloat>(value));
  else gl.TexEnvi(GL_TEXTURE_ENV, pname, static_cast<GLint>(value));
}

void send_fn(const comb_fn& f, GLenum combine, GLenum src0, GLenum op0, bool float_form) {
  env(combine, f.fn, float_form);
  for (int i = 0; i < f.n; ++i) {
    env(src0 + i, f.a[i].src, float_form);
    env(op0 + i, f.a[i].op, float_form);
  }
}

void send_setup(const comb_setup& s) {
  if (s.env_colour >= 0) {
    const GLfloat v = static_cast<GLfloat>(s.env_colour);
    const GLfloat c[4] = {v, v, v, v};
    gl.TexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, c);
  }
  env(GL_TEXTURE_ENV_MODE, GL_COMBINE, s.float_form);
  send_fn(s.rgb, GL_COMBINE_RGB, GL_SOURCE0_RGB, GL_OPERAND0_RGB, s.float_form);
  send_fn(s.alpha, GL_COMBINE_ALPHA, GL_SOURCE0_ALPHA, GL_OPERAND0_ALPHA, s.float_form);
  if (s.alpha_scale >= 0) gl.TexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, s.alpha_scale);
}

void set_env_colour(int unit, const GLfloat c[4]) {
  if (unit < 0 || unit >= ren.tex_units) return;
  if (unit > 0) gl.ActiveTexture(GL_TEXTURE0 + unit);
  gl.TexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, c);
  if (unit > 0) gl.ActiveTexture(GL_TEXTURE0);
}

void bind_name(int gl_name, int unit, int env_code) {
  if (unit < 0 || unit >= k_units) return;
  const int m = env_code == 0 ? GL_MODULATE : env_code;
  const bool bind = o_tex[unit] != gl_name;
  // Code 26 leaves the environment as it is.
  const bool set_env = env_code != 26 && o_mod[unit] != m;
  if (!bind && !set_env) return;
  if (unit > 0) gl.ActiveTexture(GL_TEXTURE0 + unit);
  if (bind) {
    gl.BindTexture(GL_TEXTURE_2D, static_cast<GLuint>(gl_name));
    o_tex[unit] = gl_name;
  }
  if (set_env) {
    o_mod[unit] = m;
    const comb_setup* s = TEX_caps.combine_avail ? find_setup(env_code) : nullptr;
    if (s) send_setup(*s);
    else gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, m);
  }
  if (unit > 0) gl.ActiveTexture(GL_TEXTURE0);
}
}  // namespace

void TEX_bind_ref(int gl_name, int unit, int env_code) {
  if (gKillTex.value != 0 && gl_name != 410) gl_name = 950;
  bind_name(gl_name, unit, env_code);
}

void TEX_bind_for_upload(int gl_name) { bind_name(gl_name, 0, 0); }

void TEX_reset_bind() {
  for (int i = 0; i < k_units; ++i) o_tex[i] = o_mod[i] = -1;
}

void TEX_set_blend_level(int unit, float level) {
  const GLfloat c[4] = {level, level, level, level};
  set_env_colour(unit, c);
}

void TEX_set_tint(int unit, float r, float g, float b, float a) {
  const GLfloat c[4] = {r, g, b, a};
  set_env_colour(unit, c);
}
