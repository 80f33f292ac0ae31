// The shared image scratch store and the size guard of every texture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// 2048 x 2048 pixels of 4 bytes: the largest texture the program stores.
constexpr size_t scratch_array_bytes = size_t(2048) * 2048 * 4;

extern unsigned char scratch_array_storage[scratch_array_bytes];
extern unsigned char* scratch_array;  // points at scratch_array_storage
extern int scratch_dx;                // size of the image now in it
extern int scratch_dy;

// Fatal alert unless 1 <= size <= 2048.
void check_dxy(int size, std::string name);

// Bytes a reader may write into a buffer it was handed: capacity when given,
// the whole store for scratch_array, else 0.
size_t TEX_capacity_of(const unsigned char* pixels, size_t capacity);

// Whether a reader that was handed pixels may write an image of width x
// height that needs `needed` bytes: it must fit capacity, and an image bound
// for the texture store (scratch_array) must have legal texture sides.
bool TEX_fits(const unsigned char* pixels, int width, int height, uint64_t needed,
              size_t capacity);
// Called before the first pixel is written: unless TEX_fits, the fatal alert
// of check_dxy (on the bad side, or with the byte count when only the buffer
// is too small).
void TEX_check_fits(const unsigned char* pixels, int width, int height, uint64_t needed,
                    size_t capacity, const std::string& name);

// Smallest power of two at or above v (1 for v <= 1).
int TEX_next_pow2(int v);
