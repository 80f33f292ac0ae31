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

// Called by a reader that was handed a buffer, before it writes a pixel:
// an image of width x height that needs `needed` bytes must fit `capacity`.
// Too large a side is the fatal alert of check_dxy; a buffer too small for
// legal sides is the same alert with the byte count.
void TEX_check_fits(int width, int height, uint64_t needed, size_t capacity,
                    const std::string& name);

// Smallest power of two at or above v (1 for v <= 1).
int TEX_next_pow2(int v);
