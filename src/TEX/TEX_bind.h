// The one way textures are bound: a GL name on a texture unit with an
// environment code, behind a per-unit cache so that repeated binds of a frame
// send nothing. Main thread only.
#pragma once

#include "UTL/cmnd.h"

// Environment codes: 0 GL_MODULATE; 1, 2 and 10..25 combiner set-ups; 26
// binds the texture only; any other value is a GL texture environment mode.
void TEX_bind_ref(int gl_name, int unit, int env_code);
// Binds exactly gl_name on unit 0 with code 0, whatever perf/kill_tex says:
// a load writes into its own texture, never into the placeholder.
void TEX_bind_for_upload(int gl_name);
// Forgets what every unit holds: the next bind on any unit sends both the
// texture and its environment. For a new context, after render-to-texture and
// whenever a GL name is deleted or replaced.
void TEX_reset_bind();
// GL_TEXTURE_ENV_COLOR of a unit below ren.tex_units: (level, level, level,
// level), or the given tint. Codes 13, 15..17, 21, 22, 24 and 25 read it.
void TEX_set_blend_level(int unit, float level);
void TEX_set_tint(int unit, float r, float g, float b, float a);

// Diagnostic: non-zero binds the grey placeholder (name 950) for every name
// but 410.
extern UTL_stat gKillTex;
