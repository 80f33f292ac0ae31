// GLSL programs built from shader files in "Resources/shaders/", with
// generated preprocessor lines ahead of the source, and families of programs
// that differ only in integer switches (each variant compiled on first use).
// Every live program is registered so the remote command "Reload Pixel
// Shaders..." can rebuild them all from disk while the program runs.
// Main thread only, with the window's context current.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "OGL/gl_calls.h"

class OGL_shader {
 public:
  // An empty (or null) geometry name means no geometry stage; a null (or,
  // for the second form, empty) prefix becomes "// no prefix\n". The
  // uniform list of the second form ends with a null pointer and may be null.
  // Both compile at once: reload(0).
  OGL_shader(const std::string& vertex, const std::string& geometry, const std::string& fragment,
             const char* prefix, const std::vector<std::string>& uniforms);
  OGL_shader(const char* vertex, const char* geometry, const char* fragment, const char* prefix,
             const char* const* uniforms);
  ~OGL_shader();
  OGL_shader(const OGL_shader&) = delete;
  OGL_shader& operator=(const OGL_shader&) = delete;

  void bind();
  static void unbind_shaders();
  // Location of the index-th uniform name (-1 when the linker dropped it);
  // std::out_of_range past the list.
  int get_uniform_loc(int index) const;

  // Recompiles and relinks from disk. A missing file is fatal. A failed
  // build is fatal unless interactive: then a plain alert, and the build
  // runs again once it is dismissed (so the file can be fixed meanwhile) -
  // unless the alert could not be shown ("--fps_test"), when it stops.
  void reload(int interactive);
  static void reload_all_shaders(int interactive);

  GLhandleARB program;
  GLhandleARB vertex_obj;
  GLhandleARB geometry_obj;
  GLhandleARB fragment_obj;
  std::string vertex_path;
  std::string geometry_path;  // empty: no geometry stage
  std::string fragment_path;
  std::string prefix;
  std::vector<std::string> uniform_names;
  std::vector<int> uniform_locs;

  static OGL_shader* current_shader;
  static std::set<OGL_shader*> shaders;

 private:
  void init(const std::string& vertex, const std::string& geometry, const std::string& fragment,
            const char* prefix_text);
  bool build_once();  // one pass of compile and link; true when all went well
  void release();     // out of the registry, GL objects deleted
};

// A family of programs selected by integer switches. A variant id is the
// mixed-radix number of the switch values, the first switch lowest.
class OGL_shader_conditional {
 public:
  // Null file names become empty; both lists end with a null pointer; a
  // null flag_ranges gives every switch 2 values.
  OGL_shader_conditional(const char* vertex, const char* geometry, const char* fragment,
                         const char* const* uniforms, const char* const* flags,
                         const int* flag_ranges, const char* prefix);
  ~OGL_shader_conditional();
  OGL_shader_conditional(const OGL_shader_conditional&) = delete;
  OGL_shader_conditional& operator=(const OGL_shader_conditional&) = delete;

  // std::out_of_range for a value outside its switch's range.
  int id_from_flags(const int* values) const;
  // Writes the switch values of id; returns the number of switches.
  // std::out_of_range for an id that names no variant.
  int flags_from_id(int id, int* values) const;
  void build(int id);
  void bind(int id);
  // Builds the variant first when it was never built.
  int get_uniform_loc(int id, int index);

  int variant_count() const { return static_cast<int>(variants.size()); }

  std::string prefix;
  std::string vertex_file;
  std::string geometry_file;
  std::string fragment_file;
  std::vector<std::string> uniform_names;
  std::vector<std::string> flag_names;
  std::vector<int> flag_ranges;
  std::vector<OGL_shader*> variants;

 private:
  void check_id(int id) const;
};
