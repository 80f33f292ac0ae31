// The OpenGL capability record: what the driver offers, which optional
// features the program uses, and the extension entry points. Drawing,
// texture, buffer, shader and framebuffer code test a flag here before
// using a feature and call extension functions only through this table.
#pragma once

#include <string>

#include "OGL/gl_calls.h"

// X(family flag, entry point, pointer type), in slot order 0..153.
#define FLY_GL_EXT_CALLS(X) \
  X(vbo, glBindBufferARB, PFNGLBINDBUFFERARBPROC) \
  X(vbo, glDeleteBuffersARB, PFNGLDELETEBUFFERSARBPROC) \
  X(vbo, glGenBuffersARB, PFNGLGENBUFFERSARBPROC) \
  X(vbo, glIsBufferARB, PFNGLISBUFFERARBPROC) \
  X(vbo, glBufferDataARB, PFNGLBUFFERDATAARBPROC) \
  X(vbo, glBufferSubDataARB, PFNGLBUFFERSUBDATAARBPROC) \
  X(vbo, glGetBufferSubDataARB, PFNGLGETBUFFERSUBDATAARBPROC) \
  X(vbo, glMapBufferARB, PFNGLMAPBUFFERARBPROC) \
  X(vbo, glUnmapBufferARB, PFNGLUNMAPBUFFERARBPROC) \
  X(vbo, glGetBufferParameterivARB, PFNGLGETBUFFERPARAMETERIVARBPROC) \
  X(vbo, glGetBufferPointervARB, PFNGLGETBUFFERPOINTERVARBPROC) \
  X(vprog, glVertexAttrib1dARB, PFNGLVERTEXATTRIB1DARBPROC) \
  X(vprog, glVertexAttrib1dvARB, PFNGLVERTEXATTRIB1DVARBPROC) \
  X(vprog, glVertexAttrib1fARB, PFNGLVERTEXATTRIB1FARBPROC) \
  X(vprog, glVertexAttrib1fvARB, PFNGLVERTEXATTRIB1FVARBPROC) \
  X(vprog, glVertexAttrib1sARB, PFNGLVERTEXATTRIB1SARBPROC) \
  X(vprog, glVertexAttrib1svARB, PFNGLVERTEXATTRIB1SVARBPROC) \
  X(vprog, glVertexAttrib2dARB, PFNGLVERTEXATTRIB2DARBPROC) \
  X(vprog, glVertexAttrib2dvARB, PFNGLVERTEXATTRIB2DVARBPROC) \
  X(vprog, glVertexAttrib2fARB, PFNGLVERTEXATTRIB2FARBPROC) \
  X(vprog, glVertexAttrib2fvARB, PFNGLVERTEXATTRIB2FVARBPROC) \
  X(vprog, glVertexAttrib2sARB, PFNGLVERTEXATTRIB2SARBPROC) \
  X(vprog, glVertexAttrib2svARB, PFNGLVERTEXATTRIB2SVARBPROC) \
  X(vprog, glVertexAttrib3dARB, PFNGLVERTEXATTRIB3DARBPROC) \
  X(vprog, glVertexAttrib3dvARB, PFNGLVERTEXATTRIB3DVARBPROC) \
  X(vprog, glVertexAttrib3fARB, PFNGLVERTEXATTRIB3FARBPROC) \
  X(vprog, glVertexAttrib3fvARB, PFNGLVERTEXATTRIB3FVARBPROC) \
  X(vprog, glVertexAttrib3sARB, PFNGLVERTEXATTRIB3SARBPROC) \
  X(vprog, glVertexAttrib3svARB, PFNGLVERTEXATTRIB3SVARBPROC) \
  X(vprog, glVertexAttrib4NbvARB, PFNGLVERTEXATTRIB4NBVARBPROC) \
  X(vprog, glVertexAttrib4NivARB, PFNGLVERTEXATTRIB4NIVARBPROC) \
  X(vprog, glVertexAttrib4NsvARB, PFNGLVERTEXATTRIB4NSVARBPROC) \
  X(vprog, glVertexAttrib4NubARB, PFNGLVERTEXATTRIB4NUBARBPROC) \
  X(vprog, glVertexAttrib4NubvARB, PFNGLVERTEXATTRIB4NUBVARBPROC) \
  X(vprog, glVertexAttrib4NuivARB, PFNGLVERTEXATTRIB4NUIVARBPROC) \
  X(vprog, glVertexAttrib4NusvARB, PFNGLVERTEXATTRIB4NUSVARBPROC) \
  X(vprog, glVertexAttrib4bvARB, PFNGLVERTEXATTRIB4BVARBPROC) \
  X(vprog, glVertexAttrib4dARB, PFNGLVERTEXATTRIB4DARBPROC) \
  X(vprog, glVertexAttrib4dvARB, PFNGLVERTEXATTRIB4DVARBPROC) \
  X(vprog, glVertexAttrib4fARB, PFNGLVERTEXATTRIB4FARBPROC) \
  X(vprog, glVertexAttrib4fvARB, PFNGLVERTEXATTRIB4FVARBPROC) \
  X(vprog, glVertexAttrib4ivARB, PFNGLVERTEXATTRIB4IVARBPROC) \
  X(vprog, glVertexAttrib4sARB, PFNGLVERTEXATTRIB4SARBPROC) \
  X(vprog, glVertexAttrib4svARB, PFNGLVERTEXATTRIB4SVARBPROC) \
  X(vprog, glVertexAttrib4ubvARB, PFNGLVERTEXATTRIB4UBVARBPROC) \
  X(vprog, glVertexAttrib4uivARB, PFNGLVERTEXATTRIB4UIVARBPROC) \
  X(vprog, glVertexAttrib4usvARB, PFNGLVERTEXATTRIB4USVARBPROC) \
  X(vprog, glVertexAttribPointerARB, PFNGLVERTEXATTRIBPOINTERARBPROC) \
  X(vprog, glEnableVertexAttribArrayARB, PFNGLENABLEVERTEXATTRIBARRAYARBPROC) \
  X(vprog, glDisableVertexAttribArrayARB, PFNGLDISABLEVERTEXATTRIBARRAYARBPROC) \
  X(vprog, glProgramStringARB, PFNGLPROGRAMSTRINGARBPROC) \
  X(vprog, glBindProgramARB, PFNGLBINDPROGRAMARBPROC) \
  X(vprog, glDeleteProgramsARB, PFNGLDELETEPROGRAMSARBPROC) \
  X(vprog, glGenProgramsARB, PFNGLGENPROGRAMSARBPROC) \
  X(vprog, glProgramEnvParameter4dARB, PFNGLPROGRAMENVPARAMETER4DARBPROC) \
  X(vprog, glProgramEnvParameter4dvARB, PFNGLPROGRAMENVPARAMETER4DVARBPROC) \
  X(vprog, glProgramEnvParameter4fARB, PFNGLPROGRAMENVPARAMETER4FARBPROC) \
  X(vprog, glProgramEnvParameter4fvARB, PFNGLPROGRAMENVPARAMETER4FVARBPROC) \
  X(vprog, glProgramLocalParameter4dARB, PFNGLPROGRAMLOCALPARAMETER4DARBPROC) \
  X(vprog, glProgramLocalParameter4dvARB, PFNGLPROGRAMLOCALPARAMETER4DVARBPROC) \
  X(vprog, glProgramLocalParameter4fARB, PFNGLPROGRAMLOCALPARAMETER4FARBPROC) \
  X(vprog, glProgramLocalParameter4fvARB, PFNGLPROGRAMLOCALPARAMETER4FVARBPROC) \
  X(vprog, glGetProgramEnvParameterdvARB, PFNGLGETPROGRAMENVPARAMETERDVARBPROC) \
  X(vprog, glGetProgramEnvParameterfvARB, PFNGLGETPROGRAMENVPARAMETERFVARBPROC) \
  X(vprog, glGetProgramLocalParameterdvARB, PFNGLGETPROGRAMLOCALPARAMETERDVARBPROC) \
  X(vprog, glGetProgramLocalParameterfvARB, PFNGLGETPROGRAMLOCALPARAMETERFVARBPROC) \
  X(vprog, glGetProgramivARB, PFNGLGETPROGRAMIVARBPROC) \
  X(vprog, glGetProgramStringARB, PFNGLGETPROGRAMSTRINGARBPROC) \
  X(vprog, glGetVertexAttribdvARB, PFNGLGETVERTEXATTRIBDVARBPROC) \
  X(vprog, glGetVertexAttribfvARB, PFNGLGETVERTEXATTRIBFVARBPROC) \
  X(vprog, glGetVertexAttribivARB, PFNGLGETVERTEXATTRIBIVARBPROC) \
  X(vprog, glGetVertexAttribPointervARB, PFNGLGETVERTEXATTRIBPOINTERVARBPROC) \
  X(vprog, glIsProgramARB, PFNGLISPROGRAMARBPROC) \
  X(occlude, glGenQueriesARB, PFNGLGENQUERIESARBPROC) \
  X(occlude, glDeleteQueriesARB, PFNGLDELETEQUERIESARBPROC) \
  X(occlude, glIsQueryARB, PFNGLISQUERYARBPROC) \
  X(occlude, glBeginQueryARB, PFNGLBEGINQUERYARBPROC) \
  X(occlude, glEndQueryARB, PFNGLENDQUERYARBPROC) \
  X(occlude, glGetQueryivARB, PFNGLGETQUERYIVARBPROC) \
  X(occlude, glGetQueryObjectivARB, PFNGLGETQUERYOBJECTIVARBPROC) \
  X(occlude, glGetQueryObjectuivARB, PFNGLGETQUERYOBJECTUIVARBPROC) \
  X(shad_objs, glDeleteObjectARB, PFNGLDELETEOBJECTARBPROC) \
  X(shad_objs, glGetHandleARB, PFNGLGETHANDLEARBPROC) \
  X(shad_objs, glDetachObjectARB, PFNGLDETACHOBJECTARBPROC) \
  X(shad_objs, glCreateShaderObjectARB, PFNGLCREATESHADEROBJECTARBPROC) \
  X(shad_objs, glShaderSourceARB, PFNGLSHADERSOURCEARBPROC) \
  X(shad_objs, glCompileShaderARB, PFNGLCOMPILESHADERARBPROC) \
  X(shad_objs, glCreateProgramObjectARB, PFNGLCREATEPROGRAMOBJECTARBPROC) \
  X(shad_objs, glAttachObjectARB, PFNGLATTACHOBJECTARBPROC) \
  X(shad_objs, glLinkProgramARB, PFNGLLINKPROGRAMARBPROC) \
  X(shad_objs, glUseProgramObjectARB, PFNGLUSEPROGRAMOBJECTARBPROC) \
  X(shad_objs, glValidateProgramARB, PFNGLVALIDATEPROGRAMARBPROC) \
  X(shad_objs, glUniform1fARB, PFNGLUNIFORM1FARBPROC) \
  X(shad_objs, glUniform2fARB, PFNGLUNIFORM2FARBPROC) \
  X(shad_objs, glUniform3fARB, PFNGLUNIFORM3FARBPROC) \
  X(shad_objs, glUniform4fARB, PFNGLUNIFORM4FARBPROC) \
  X(shad_objs, glUniform1iARB, PFNGLUNIFORM1IARBPROC) \
  X(shad_objs, glUniform2iARB, PFNGLUNIFORM2IARBPROC) \
  X(shad_objs, glUniform3iARB, PFNGLUNIFORM3IARBPROC) \
  X(shad_objs, glUniform4iARB, PFNGLUNIFORM4IARBPROC) \
  X(shad_objs, glUniform1fvARB, PFNGLUNIFORM1FVARBPROC) \
  X(shad_objs, glUniform2fvARB, PFNGLUNIFORM2FVARBPROC) \
  X(shad_objs, glUniform3fvARB, PFNGLUNIFORM3FVARBPROC) \
  X(shad_objs, glUniform4fvARB, PFNGLUNIFORM4FVARBPROC) \
  X(shad_objs, glUniform1ivARB, PFNGLUNIFORM1IVARBPROC) \
  X(shad_objs, glUniform2ivARB, PFNGLUNIFORM2IVARBPROC) \
  X(shad_objs, glUniform3ivARB, PFNGLUNIFORM3IVARBPROC) \
  X(shad_objs, glUniform4ivARB, PFNGLUNIFORM4IVARBPROC) \
  X(shad_objs, glUniformMatrix2fvARB, PFNGLUNIFORMMATRIX2FVARBPROC) \
  X(shad_objs, glUniformMatrix3fvARB, PFNGLUNIFORMMATRIX3FVARBPROC) \
  X(shad_objs, glUniformMatrix4fvARB, PFNGLUNIFORMMATRIX4FVARBPROC) \
  X(shad_objs, glGetObjectParameterfvARB, PFNGLGETOBJECTPARAMETERFVARBPROC) \
  X(shad_objs, glGetObjectParameterivARB, PFNGLGETOBJECTPARAMETERIVARBPROC) \
  X(shad_objs, glGetInfoLogARB, PFNGLGETINFOLOGARBPROC) \
  X(shad_objs, glGetAttachedObjectsARB, PFNGLGETATTACHEDOBJECTSARBPROC) \
  X(shad_objs, glGetUniformLocationARB, PFNGLGETUNIFORMLOCATIONARBPROC) \
  X(shad_objs, glGetActiveUniformARB, PFNGLGETACTIVEUNIFORMARBPROC) \
  X(shad_objs, glGetUniformfvARB, PFNGLGETUNIFORMFVARBPROC) \
  X(shad_objs, glGetUniformivARB, PFNGLGETUNIFORMIVARBPROC) \
  X(shad_objs, glGetShaderSourceARB, PFNGLGETSHADERSOURCEARBPROC) \
  X(vshader, glBindAttribLocationARB, PFNGLBINDATTRIBLOCATIONARBPROC) \
  X(vshader, glGetActiveAttribARB, PFNGLGETACTIVEATTRIBARBPROC) \
  X(vshader, glGetAttribLocationARB, PFNGLGETATTRIBLOCATIONARBPROC) \
  X(gshader, glProgramParameteriEXT, PFNGLPROGRAMPARAMETERIEXTPROC) \
  X(buniform, glUniformBufferEXT, PFNGLUNIFORMBUFFEREXTPROC) \
  X(buniform, glGetUniformBufferSizeEXT, PFNGLGETUNIFORMBUFFERSIZEEXTPROC) \
  X(buniform, glGetUniformOffsetEXT, PFNGLGETUNIFORMOFFSETEXTPROC) \
  X(framebuf, glIsRenderbufferEXT, PFNGLISRENDERBUFFEREXTPROC) \
  X(framebuf, glBindRenderbufferEXT, PFNGLBINDRENDERBUFFEREXTPROC) \
  X(framebuf, glDeleteRenderbuffersEXT, PFNGLDELETERENDERBUFFERSEXTPROC) \
  X(framebuf, glGenRenderbuffersEXT, PFNGLGENRENDERBUFFERSEXTPROC) \
  X(framebuf, glRenderbufferStorageEXT, PFNGLRENDERBUFFERSTORAGEEXTPROC) \
  X(framebuf, glGetRenderbufferParameterivEXT, PFNGLGETRENDERBUFFERPARAMETERIVEXTPROC) \
  X(framebuf, glIsFramebufferEXT, PFNGLISFRAMEBUFFEREXTPROC) \
  X(framebuf, glBindFramebufferEXT, PFNGLBINDFRAMEBUFFEREXTPROC) \
  X(framebuf, glDeleteFramebuffersEXT, PFNGLDELETEFRAMEBUFFERSEXTPROC) \
  X(framebuf, glGenFramebuffersEXT, PFNGLGENFRAMEBUFFERSEXTPROC) \
  X(framebuf, glCheckFramebufferStatusEXT, PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC) \
  X(framebuf, glFramebufferTexture1DEXT, PFNGLFRAMEBUFFERTEXTURE1DEXTPROC) \
  X(framebuf, glFramebufferTexture2DEXT, PFNGLFRAMEBUFFERTEXTURE2DEXTPROC) \
  X(framebuf, glFramebufferTexture3DEXT, PFNGLFRAMEBUFFERTEXTURE3DEXTPROC) \
  X(framebuf, glFramebufferRenderbufferEXT, PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC) \
  X(framebuf, glGetFramebufferAttachmentParameterivEXT, PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVEXTPROC) \
  X(framebuf, glGenerateMipmapEXT, PFNGLGENERATEMIPMAPEXTPROC) \
  X(tex_comp, glCompressedTexImage3DARB, PFNGLCOMPRESSEDTEXIMAGE3DARBPROC) \
  X(tex_comp, glCompressedTexImage2DARB, PFNGLCOMPRESSEDTEXIMAGE2DARBPROC) \
  X(tex_comp, glCompressedTexImage1DARB, PFNGLCOMPRESSEDTEXIMAGE1DARBPROC) \
  X(tex_comp, glCompressedTexSubImage3DARB, PFNGLCOMPRESSEDTEXSUBIMAGE3DARBPROC) \
  X(tex_comp, glCompressedTexSubImage2DARB, PFNGLCOMPRESSEDTEXSUBIMAGE2DARBPROC) \
  X(tex_comp, glCompressedTexSubImage1DARB, PFNGLCOMPRESSEDTEXSUBIMAGE1DARBPROC) \
  X(tex_comp, glGetCompressedTexImageARB, PFNGLGETCOMPRESSEDTEXIMAGEARBPROC) \
  X(sblend, glBlendFuncSeparateEXT, PFNGLBLENDFUNCSEPARATEEXTPROC) \
  X(sblend, glBlendEquationSeparateEXT, PFNGLBLENDEQUATIONSEPARATEEXTPROC) \
  X(draw_buffers, glDrawBuffersARB, PFNGLDRAWBUFFERSARBPROC)

// What capability detection asks of the driver and the system. The real
// driver by default; tests answer with their own.
struct OGL_driver_query {
  const char* (*get_string)(unsigned name);           // null for none
  void (*get_integer)(unsigned pname, int* out);
  void (*get_float)(unsigned pname, float* out);      // two values for ranges
  void* (*get_proc)(const char* name);                // null when missing
  int (*os_version)(int* bcd);                        // 0 and *bcd on success
};
extern OGL_driver_query OGL_query;
void OGL_query_reset();  // back to the real driver

class OGL_extensions {
 public:
  enum { entry_point_count = 154 };

  OGL_extensions();

  // Loads the system's OpenGL library; 0 on success, else the loader's error.
  int init_entry_points();
  // Once, with the window's context current and the command line parsed.
  void init_extensions();
  // A worker thread could not get its shared context: warn once, stop trying.
  void threaded_ogl_failed();

  // The table, slot by slot; a typed name for each.
  union {
    void* slot[entry_point_count];
    struct {
#define FLY_GL_EXT_DECLARE(fam, name, type) type name;
      FLY_GL_EXT_CALLS(FLY_GL_EXT_DECLARE)
#undef FLY_GL_EXT_DECLARE
    };
  };

  int multitex_avail;
  int tex_clamp_avail;
  int add_env_avail;
  int combine_avail;
  int dis_fog_avail;
  int tex_comp_avail;
  int vbo_avail;
  int pbo_avail;
  int vprog_avail;
  int fprog_avail;
  int automini_avail;
  int aniso_avail;
  int fsaa_avail;
  int sprites_avail;
  int depth_tex_avail;
  int occlude_avail;
  int shad_objs_avail;
  int vshader_avail;
  int fshader_avail;
  int gshader_avail;
  int buniform_avail;
  int glsl_avail;
  int first_gen_shaders;  // early fragment hardware with small programs
  int framebuf_avail;
  int sblend_avail;
  int draw_buffers_avail;
  int packed_stencil;
  int tex_float_avail;
  int threaded_avail;  // worker threads may own shared GL contexts
  int unused;
  int max_tex_size;

  // What detection read, kept for the log and for tests.
  int version;  // 210 for "2.1.x"
  int vprog_native_instr;
  int fprog_native[4];  // instructions, ALU, texture, indirections
  int shader_limits[6];
  float point_size_range[2];
};

extern OGL_extensions glExt;
extern void* gBundleRefOpenGL;

// The version number of a GL_VERSION string: 210 for "2.1.2", 200 for
// "1.10", 100 for text that names no version.
int OGL_parse_version(const char* version);

// Address of a GL function by name through the window layer; null if none.
void* aglGetProcAddress(const char* name);

// The header name of an internal-format or framebuffer-status token, else
// its value as "0x%08x".
std::string OGL_get_token_name(unsigned long token);
