// The movie file of the recorder: a QuickTime movie with one Photo-JPEG video
// track in time scale 600, written through FFmpeg's mov muxer and MJPEG
// encoder. One thread at a time may use a movie.
#pragma once

#include <string>

struct LIN_movie;

// 1 when the muxer and the encoder are there.
int LIN_movie_available();
// Creates the movie at path (replacing any file there), dx by dy pixels; null
// on failure with *err set (negative).
LIN_movie* LIN_movie_create(const std::string& path, int dx, int dy, int* err);
// Appends one frame of 32-bit BGRA pixels, top row first, dx * 4 bytes a row,
// lasting units 600ths of a second. 0 or a negative error.
int LIN_movie_add_frame(LIN_movie* m, const void* bgra, int units);
// Finishes the file (index and durations) and frees m; 0 or a negative error.
int LIN_movie_close(LIN_movie* m);
std::string LIN_movie_error_text(int err);
