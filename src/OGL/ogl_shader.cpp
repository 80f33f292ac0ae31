#include "OGL/ogl_shader.h"

#include <cstdio>
#include <stdexcept>

#include "GenH/shell.h"
#include "OGL/ogl_ext.h"
#include "OOPS_cpp/xmap.h"
#include "UTL/cmdline.h"
#include "UTL/cmnd.h"
#include "UTL/localize.h"
#include "UTL/xer.h"

OGL_shader* OGL_shader::current_shader = nullptr;
std::set<OGL_shader*> OGL_shader::shaders;

namespace {
void do_reload();
}
// Named outside the unit: the program's link keeps it (and so the command)
// although nothing in the installer builds a shader.
UTL_remote_cmd reload_shaders_cmd("Reload Pixel Shaders...", do_reload);

namespace {
const char* const k_folder = "Resources/shaders/";

void do_reload() { OGL_shader::reload_all_shaders(1); }

std::string platform_lines() {
  return std::string("#define APL 0\n#define IBM 0\n#define LIN 1\n") +
         (glExt.first_gen_shaders ? "#define LIMITED 1\n" : "#define LIMITED 0\n");
}

// The file's text; a file that cannot be read ends the program.
std::string read_source(const std::string& path) {
  xmap_class m(path);
  if (!m.map_base) {
    __MACIBM_alert(0, UTL_translate_string("We were unable to load the shader file:"), path, "",
                   UTL_translate_string("Re-run the Flyvane installer/updater to correct this problem."),
                   t_exit, __FILE__, __LINE__);
    return std::string();
  }
  return std::string(m.map_base, static_cast<size_t>(m.map_end - m.map_base));
}

void log_info(GLhandleARB obj, const std::string& name, const std::string& prefix_text) {
  GLint len = 0;
  glExt.glGetObjectParameterivARB(obj, GL_OBJECT_INFO_LOG_LENGTH_ARB, &len);
  if (len < 0) len = 0;
  std::string buf(static_cast<size_t>(len) + 1, '\0');
  GLsizei got = 0;
  glExt.glGetInfoLogARB(obj, len + 1, &got, buf.data());
  if (got < 0) got = 0;
  buf.resize(static_cast<size_t>(got < len ? got : len));
  xer << "=====" << name << "=====" << "\n"
      << "   (prefix:" << "\n"
      << prefix_text << "end prefix)" << "\n"
      << buf.c_str() << "\n";
  xer.flush();
}

void drop_stage(GLhandleARB program, GLhandleARB& obj) {
  if (!obj) return;
  glExt.glDetachObjectARB(program, obj);
  glExt.glDeleteObjectARB(obj);
  obj = 0;
}

// Creates, sources and compiles one stage and attaches it; false when the
// compile failed (its log is written).
bool compile_stage(GLhandleARB program, GLhandleARB& obj, GLenum kind, const std::string& path,
                   const std::string& head, const std::string& plat, const std::string& prefix) {
  obj = glExt.glCreateShaderObjectARB(kind);
  const std::string text = read_source(path);
  const GLcharARB* src[4];
  GLint lens[4];
  int n = 0;
  for (const std::string* s : {&head, &plat, &prefix, &text}) {
    if (s == &head && head.empty()) continue;
    src[n] = s->data();
    lens[n] = static_cast<GLint>(s->size());
    ++n;
  }
  glExt.glShaderSourceARB(obj, n, src, lens);
  glExt.glCompileShaderARB(obj);
  GLint ok = 0;
  glExt.glGetObjectParameterivARB(obj, GL_OBJECT_COMPILE_STATUS_ARB, &ok);
  // Attached even when it failed, so the link reports on the whole program.
  glExt.glAttachObjectARB(program, obj);
  if (!ok) log_info(obj, path, plat + prefix);
  return ok != 0;
}

// Whether an alert reaches the user, who can fix the file before going on.
bool alerts_are_shown() { return !cmdline.has_option("--fps_test"); }
}  // namespace

OGL_shader::OGL_shader(const std::string& vertex, const std::string& geometry,
                       const std::string& fragment, const char* prefix_text,
                       const std::vector<std::string>& uniforms)
    : uniform_names(uniforms) {
  init(vertex, geometry, fragment, prefix_text);
}

OGL_shader::OGL_shader(const char* vertex, const char* geometry, const char* fragment,
                       const char* prefix_text, const char* const* uniforms) {
  for (const char* const* u = uniforms; u && *u; ++u) uniform_names.emplace_back(*u);
  init(vertex ? vertex : "", geometry ? geometry : "", fragment ? fragment : "",
       prefix_text && *prefix_text ? prefix_text : nullptr);
}

void OGL_shader::init(const std::string& vertex, const std::string& geometry,
                      const std::string& fragment, const char* prefix_text) {
  program = vertex_obj = geometry_obj = fragment_obj = 0;
  vertex_path = k_folder + vertex;
  geometry_path = geometry.empty() ? std::string() : k_folder + geometry;
  fragment_path = k_folder + fragment;
  prefix = prefix_text ? prefix_text : "// no prefix\n";
  shaders.insert(this);
  if (glExt.glCreateProgramObjectARB) program = glExt.glCreateProgramObjectARB();
  uniform_locs.assign(uniform_names.size(), -1);
  try {
    reload(0);
  } catch (...) {
    // A fatal alert that unwinds (tests) leaves no half-made program behind.
    release();
    throw;
  }
}

void OGL_shader::release() {
  shaders.erase(this);
  // GL keeps a deleted program alive while it is in use: take it out first.
  if (current_shader == this) unbind_shaders();
  if (!glExt.glDeleteObjectARB) return;
  for (GLhandleARB* o : {&vertex_obj, &geometry_obj, &fragment_obj}) drop_stage(program, *o);
  if (program) glExt.glDeleteObjectARB(program);
  program = 0;
}

OGL_shader::~OGL_shader() { release(); }

void OGL_shader::bind() {
  if (current_shader == this) return;
  glExt.glUseProgramObjectARB(program);
  current_shader = this;
}

void OGL_shader::unbind_shaders() {
  if (!current_shader) return;
  glExt.glUseProgramObjectARB(0);
  current_shader = nullptr;
}

int OGL_shader::get_uniform_loc(int index) const {
  if (index < 0) throw std::out_of_range("OGL_shader::get_uniform_loc");
  return uniform_locs.at(static_cast<size_t>(index));
}

bool OGL_shader::build_once() {
  const std::string plat = platform_lines();
  if (!program || !glExt.glCreateShaderObjectARB) {
    xer << "=====" << vertex_path << "+" << fragment_path << "=====\n"
        << "   GLSL shader objects are not available.\n";
    xer.flush();
    return false;
  }
  bool ok = true;

  drop_stage(program, vertex_obj);
  ok &= compile_stage(program, vertex_obj, GL_VERTEX_SHADER_ARB, vertex_path,
                      "#define GSHADER 0\n", plat, prefix);

  drop_stage(program, geometry_obj);
  const bool has_geometry = !geometry_path.empty();
  if (has_geometry) {
    if (glExt.gshader_avail && glExt.glProgramParameteriEXT) {
      ok &= compile_stage(program, geometry_obj, GL_GEOMETRY_SHADER_EXT, geometry_path,
                          "#version 120\n#extension GL_EXT_geometry_shader4 : enable\n"
                          "#define GSHADER 1\n",
                          plat, prefix);
    } else {
      // Without the extension the program cannot be built as written.
      read_source(geometry_path);
      xer << "=====" << geometry_path << "=====\n"
          << "   GL_EXT_geometry_shader4 is not available.\n";
      xer.flush();
      ok = false;
    }
  }

  drop_stage(program, fragment_obj);
  ok &= compile_stage(program, fragment_obj, GL_FRAGMENT_SHADER_ARB, fragment_path, "", plat,
                      prefix);

  if (has_geometry && geometry_obj) {
    glExt.glProgramParameteriEXT(program, GL_GEOMETRY_VERTICES_OUT_EXT, 3);
    glExt.glProgramParameteriEXT(program, GL_GEOMETRY_INPUT_TYPE_EXT, GL_TRIANGLES);
    glExt.glProgramParameteriEXT(program, GL_GEOMETRY_OUTPUT_TYPE_EXT, GL_TRIANGLE_STRIP);
  }

  glExt.glLinkProgramARB(program);
  GLint linked = 0;
  glExt.glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &linked);
  for (size_t i = 0; i < uniform_names.size(); ++i)
    uniform_locs[i] = glExt.glGetUniformLocationARB(program, uniform_names[i].c_str());
  if (!linked) {
    log_info(program, vertex_path + "+" + fragment_path, plat + prefix);
    ok = false;
  }
  return ok;
}

void OGL_shader::reload(int interactive) {
  while (!build_once()) {
    __MACIBM_alert(0, "There was a problem processing a GLSL pixel shader.",
                   "You may need to rerun the installer or update your graphics drivers.",
                   vertex_path, fragment_path, interactive ? t_alert : t_exit, __FILE__, __LINE__);
    if (!interactive) return;  // a fatal alert that returned: nothing more to try
    // Nobody saw the alert, so nobody fixes the file: trying again would
    // never end.
    if (!alerts_are_shown()) {
      xer << "WARNING: the shader " << vertex_path << "+" << fragment_path
          << " stays broken: no alert could be shown.\n";
      xer.flush();
      return;
    }
  }
}

void OGL_shader::reload_all_shaders(int interactive) {
  // A copy: a reload must not see the set change under it.
  const std::set<OGL_shader*> all = shaders;
  for (OGL_shader* s : all) s->reload(interactive);
}

// ---------------------------------------------------------------------------

OGL_shader_conditional::OGL_shader_conditional(const char* vertex, const char* geometry,
                                               const char* fragment, const char* const* uniforms,
                                               const char* const* flags, const int* ranges,
                                               const char* prefix_text)
    : prefix(prefix_text ? prefix_text : ""),
      vertex_file(vertex ? vertex : ""),
      geometry_file(geometry ? geometry : ""),
      fragment_file(fragment ? fragment : "") {
  for (const char* const* u = uniforms; u && *u; ++u) uniform_names.emplace_back(*u);
  for (const char* const* f = flags; f && *f; ++f) flag_names.emplace_back(*f);
  size_t count = 1;
  for (size_t i = 0; i < flag_names.size(); ++i) {
    // A switch needs at least one value, or no variant could exist.
    const int r = ranges ? (ranges[i] < 1 ? 1 : ranges[i]) : 2;
    flag_ranges.push_back(r);
    count *= static_cast<size_t>(r);
    if (count > (1u << 20)) throw std::length_error("OGL_shader_conditional: too many variants");
  }
  variants.assign(count, nullptr);
}

OGL_shader_conditional::~OGL_shader_conditional() {
  for (OGL_shader* v : variants) delete v;
}

int OGL_shader_conditional::id_from_flags(const int* values) const {
  int id = 0;
  for (size_t i = flag_ranges.size(); i-- > 0;) {
    if (values[i] < 0 || values[i] >= flag_ranges[i])
      throw std::out_of_range("OGL_shader_conditional: switch value");
    id = id * flag_ranges[i] + values[i];
  }
  return id;
}

int OGL_shader_conditional::flags_from_id(int id, int* values) const {
  check_id(id);
  for (size_t i = 0; i < flag_ranges.size(); ++i) {
    values[i] = id % flag_ranges[i];
    id /= flag_ranges[i];
  }
  return static_cast<int>(flag_ranges.size());
}

void OGL_shader_conditional::check_id(int id) const {
  if (id < 0 || static_cast<size_t>(id) >= variants.size())
    throw std::out_of_range("OGL_shader_conditional: variant id");
}

void OGL_shader_conditional::build(int id) {
  check_id(id);
  std::vector<int> values(flag_names.size());
  flags_from_id(id, values.data());
  std::string p = prefix;
  char line[512];
  for (size_t i = 0; i < flag_names.size(); ++i) {
    snprintf(line, sizeof(line), "#define %s %d\n", flag_names[i].c_str(), values[i]);
    p += line;
  }
  OGL_shader* made = new OGL_shader(vertex_file, geometry_file, fragment_file, p.c_str(),
                                    uniform_names);
  delete variants[static_cast<size_t>(id)];
  variants[static_cast<size_t>(id)] = made;
}

void OGL_shader_conditional::bind(int id) {
  check_id(id);
  if (!variants[static_cast<size_t>(id)]) build(id);
  variants[static_cast<size_t>(id)]->bind();
}

int OGL_shader_conditional::get_uniform_loc(int id, int index) {
  check_id(id);
  if (!variants[static_cast<size_t>(id)]) build(id);
  return variants[static_cast<size_t>(id)]->get_uniform_loc(index);
}
