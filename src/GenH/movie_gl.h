// The movie recorder's meeting with the window and the textures.
#pragma once

// Fills bgra (dx by dy, top row first) with the window's picture at movie
// size and puts the frame on screen with the recording indicator; 1 when
// filled (the pixel-pack path fills the previous frame, so not on its first).
int MOV_gl_grab(void* bgra, int dx, int dy);

// Points qtim_hooks at the above and lets the recorder take the frame's swap.
void MOV_install_hooks();
