// The one place drawing code switches fixed-function state. It remembers what
// it last set and sends only changes, so calling it before every primitive
// costs nothing.
#pragma once

// fog: 0 on, else off. tex_units: units to enable, clamped to 0..ren.tex_units.
// lit: 2 on (GL_LIGHTING and GL_LIGHT0), else off (3 by convention).
// blend: 4 none, 5 blending, 6 alpha test, 7 both.
// depth_read: 8 test on, else off (9). depth_write: 10 writes on, else off (11).
void OGL_setstate(int fog, int tex_units, int lit, int blend, int depth_read, int depth_write);

// Forgets the cache; the next call seeds it from the current context again.
// For a context made anew (and for tests).
void OGL_setstate_forget();

// Texture units enabled after clamping; the texture manager sets it to 1 when
// it binds on unit 0 itself.
extern int num_units;
