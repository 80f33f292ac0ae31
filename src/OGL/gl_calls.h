// Every core OpenGL entry point the framework calls goes through this one
// table, filled from the window layer's proc-address lookup once a context
// exists. Tests swap single entries for counting or recording wrappers, so
// "a repeated bind makes no GL call" is a plain assertion.
//
// Call sites write gl.BindTexture(GL_TEXTURE_2D, id). Extension entry points
// (buffers, programs, shaders, framebuffers, compressed textures, ...) live
// in the capability record's own table instead.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

// X(return type, name without the "gl" prefix, parameter list)
#define FLY_GL_CORE_CALLS(X)                                                                   \
  X(void, Begin, (GLenum mode))                                                                \
  X(void, End, (void))                                                                         \
  X(void, Vertex2f, (GLfloat x, GLfloat y))                                                    \
  X(void, Vertex2i, (GLint x, GLint y))                                                        \
  X(void, Vertex3f, (GLfloat x, GLfloat y, GLfloat z))                                         \
  X(void, Vertex2fv, (const GLfloat* v))                                                       \
  X(void, Vertex3fv, (const GLfloat* v))                                                       \
  X(void, TexCoord2f, (GLfloat s, GLfloat t))                                                  \
  X(void, TexCoord2fv, (const GLfloat* v))                                                     \
  X(void, MultiTexCoord2f, (GLenum unit, GLfloat s, GLfloat t))                                \
  X(void, Normal3f, (GLfloat x, GLfloat y, GLfloat z))                                         \
  X(void, Color3f, (GLfloat r, GLfloat g, GLfloat b))                                          \
  X(void, Color4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a))                               \
  X(void, Color4fv, (const GLfloat* v))                                                        \
  X(void, Color4ub, (GLubyte r, GLubyte g, GLubyte b, GLubyte a))                              \
  X(void, Enable, (GLenum cap))                                                                \
  X(void, Disable, (GLenum cap))                                                               \
  X(GLboolean, IsEnabled, (GLenum cap))                                                        \
  X(void, EnableClientState, (GLenum array))                                                   \
  X(void, DisableClientState, (GLenum array))                                                  \
  X(void, VertexPointer, (GLint size, GLenum type, GLsizei stride, const void* ptr))           \
  X(void, TexCoordPointer, (GLint size, GLenum type, GLsizei stride, const void* ptr))         \
  X(void, ColorPointer, (GLint size, GLenum type, GLsizei stride, const void* ptr))            \
  X(void, NormalPointer, (GLenum type, GLsizei stride, const void* ptr))                       \
  X(void, DrawArrays, (GLenum mode, GLint first, GLsizei count))                               \
  X(void, DrawElements, (GLenum mode, GLsizei count, GLenum type, const void* indices))        \
  X(void, GenTextures, (GLsizei n, GLuint * textures))                                         \
  X(void, DeleteTextures, (GLsizei n, const GLuint* textures))                                 \
  X(void, BindTexture, (GLenum target, GLuint texture))                                        \
  X(GLboolean, IsTexture, (GLuint texture))                                                    \
  X(void, TexImage2D,                                                                          \
    (GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,          \
     GLint border, GLenum format, GLenum type, const void* pixels))                            \
  X(void, TexSubImage2D,                                                                       \
    (GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width, GLsizei height,  \
     GLenum format, GLenum type, const void* pixels))                                          \
  X(void, CopyTexImage2D,                                                                      \
    (GLenum target, GLint level, GLenum internalformat, GLint x, GLint y, GLsizei width,       \
     GLsizei height, GLint border))                                                            \
  X(void, CopyTexSubImage2D,                                                                   \
    (GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y,               \
     GLsizei width, GLsizei height))                                                           \
  X(void, GetTexImage,                                                                         \
    (GLenum target, GLint level, GLenum format, GLenum type, void* pixels))                    \
  X(void, GetTexLevelParameteriv, (GLenum target, GLint level, GLenum pname, GLint * params))  \
  X(void, TexParameteri, (GLenum target, GLenum pname, GLint param))                           \
  X(void, TexParameterf, (GLenum target, GLenum pname, GLfloat param))                         \
  X(void, TexParameterfv, (GLenum target, GLenum pname, const GLfloat* params))                \
  X(void, TexEnvi, (GLenum target, GLenum pname, GLint param))                                 \
  X(void, TexEnvf, (GLenum target, GLenum pname, GLfloat param))                               \
  X(void, TexEnvfv, (GLenum target, GLenum pname, const GLfloat* params))                      \
  X(void, ActiveTexture, (GLenum unit))                                                        \
  X(void, ClientActiveTexture, (GLenum unit))                                                  \
  X(void, PixelStorei, (GLenum pname, GLint param))                                            \
  X(void, ReadPixels,                                                                          \
    (GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,              \
     void* pixels))                                                                            \
  X(void, ReadBuffer, (GLenum mode))                                                           \
  X(void, DrawBuffer, (GLenum mode))                                                           \
  X(void, Viewport, (GLint x, GLint y, GLsizei width, GLsizei height))                         \
  X(void, Scissor, (GLint x, GLint y, GLsizei width, GLsizei height))                          \
  X(void, MatrixMode, (GLenum mode))                                                           \
  X(void, LoadIdentity, (void))                                                                \
  X(void, LoadMatrixf, (const GLfloat* m))                                                     \
  X(void, LoadMatrixd, (const GLdouble* m))                                                    \
  X(void, MultMatrixf, (const GLfloat* m))                                                     \
  X(void, PushMatrix, (void))                                                                  \
  X(void, PopMatrix, (void))                                                                   \
  X(void, Ortho,                                                                               \
    (GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f))                  \
  X(void, Frustum,                                                                             \
    (GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f))                  \
  X(void, Translatef, (GLfloat x, GLfloat y, GLfloat z))                                       \
  X(void, Rotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z))                           \
  X(void, Scalef, (GLfloat x, GLfloat y, GLfloat z))                                           \
  X(const GLubyte*, GetString, (GLenum name))                                                  \
  X(void, GetIntegerv, (GLenum pname, GLint * params))                                         \
  X(void, GetFloatv, (GLenum pname, GLfloat * params))                                         \
  X(void, GetDoublev, (GLenum pname, GLdouble * params))                                       \
  X(void, GetBooleanv, (GLenum pname, GLboolean * params))                                     \
  X(GLenum, GetError, (void))                                                                  \
  X(void, BlendFunc, (GLenum sfactor, GLenum dfactor))                                         \
  X(void, AlphaFunc, (GLenum func, GLclampf ref))                                              \
  X(void, DepthMask, (GLboolean flag))                                                         \
  X(void, DepthFunc, (GLenum func))                                                            \
  X(void, ColorMask, (GLboolean r, GLboolean g, GLboolean b, GLboolean a))                     \
  X(void, Clear, (GLbitfield mask))                                                            \
  X(void, ClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a))                        \
  X(void, ClearDepth, (GLclampd depth))                                                        \
  X(void, ClearStencil, (GLint s))                                                             \
  X(void, StencilFunc, (GLenum func, GLint ref, GLuint mask))                                  \
  X(void, StencilOp, (GLenum fail, GLenum zfail, GLenum zpass))                                \
  X(void, CullFace, (GLenum mode))                                                             \
  X(void, FrontFace, (GLenum mode))                                                            \
  X(void, ShadeModel, (GLenum mode))                                                           \
  X(void, PolygonMode, (GLenum face, GLenum mode))                                             \
  X(void, PolygonOffset, (GLfloat factor, GLfloat units))                                      \
  X(void, LineWidth, (GLfloat width))                                                          \
  X(void, PointSize, (GLfloat size))                                                           \
  X(void, Hint, (GLenum target, GLenum mode))                                                  \
  X(void, Fogi, (GLenum pname, GLint param))                                                   \
  X(void, Fogf, (GLenum pname, GLfloat param))                                                 \
  X(void, Fogfv, (GLenum pname, const GLfloat* params))                                        \
  X(void, Lightfv, (GLenum light, GLenum pname, const GLfloat* params))                        \
  X(void, LightModelfv, (GLenum pname, const GLfloat* params))                                 \
  X(void, Materialfv, (GLenum face, GLenum pname, const GLfloat* params))                      \
  X(void, ColorMaterial, (GLenum face, GLenum mode))                                           \
  X(void, RasterPos2i, (GLint x, GLint y))                                                     \
  X(void, DrawPixels,                                                                          \
    (GLsizei width, GLsizei height, GLenum format, GLenum type, const void* pixels))           \
  X(void, Flush, (void))                                                                       \
  X(void, Finish, (void))

struct gl_call_table {
#define FLY_GL_DECLARE_SLOT(ret, name, params) ret(APIENTRY* name) params = nullptr;
  FLY_GL_CORE_CALLS(FLY_GL_DECLARE_SLOT)
#undef FLY_GL_DECLARE_SLOT
};

extern gl_call_table gl;

// Looks every entry up by its "gl" name through getproc (the window layer's
// lookup); returns the number of names it could not find (their slots stay
// null). Call with the context current.
using gl_getproc_fn = void* (*)(const char* name);
int OGL_load_core_calls(gl_getproc_fn getproc);
