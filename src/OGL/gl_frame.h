// A frame's GL calls are held until its swap. A frame whose calls and
// arguments equal those of the picture on screen is neither submitted nor
// swapped, so a still screen costs the driver nothing while the frame's own
// logic still runs. A call that uploads, reads back or asks the driver
// anything submits what is held first and lets the rest of the frame
// through; such a frame is always swapped. So does every extension call:
// the capability record loads its entry points through OGL_frame_live.
#pragma once

#include <vector>

// Reads the picture the window shows (RGBA, width by height, rows bottom
// first); 0 when it cannot.
using OGL_screen_reader = int (*)(std::vector<unsigned char>* rgba, int* width, int* height);

// Wraps every loaded entry of `gl` (call it right after loading them) for a
// window of width by height pixels; a new context starts with nothing on
// screen. With FLY_DRAW_EVERY_FRAME=1 in the environment the entries stay
// unwrapped and every frame is drawn. read_screen serves where the layer
// cannot draw the picture on screen again itself.
void OGL_frame_hold_install(int width, int height, OGL_screen_reader read_screen);

// The frame loop's own swap comes next: it ends a frame. Any other swap (a
// pressed button shown at once, a loading panel) shows part of one.
void OGL_frame_ends();

// At a buffer swap: 1 when the frame was submitted and must be swapped, 0
// when the picture on screen already shows it.
int OGL_frame_present();

// The last whole frame, as the screen showed it before anything of the
// frame now running was shown: RGBA rows bottom first. 0 when the screen
// has not shown a whole frame since the last part of one.
int OGL_frame_whole_picture(std::vector<unsigned char>* rgba, int* width, int* height);

// Submits what is held and passes the rest of the frame straight to the
// driver. After a frame that was held back, the picture on screen is drawn
// again first, so a read-back between frames sees what the user sees.
void OGL_frame_live();

// The picture on screen was lost (an expose): the next swap draws.
void OGL_frame_redraw();

// Frames swapped and frames held back since the process started.
long OGL_frames_swapped();
long OGL_frames_held();
