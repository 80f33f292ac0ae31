#include "TEX/TEX_scratch.h"

#include <cstdio>

#include "GenH/shell.h"

unsigned char scratch_array_storage[scratch_array_bytes];
unsigned char* scratch_array = scratch_array_storage;
int scratch_dx = 0;
int scratch_dy = 0;

static void size_alert(double value, const std::string& name) {
  char buf[64];
  snprintf(buf, sizeof(buf), "%1.0f", value);
  __MACIBM_alert(0, "Trying to create a texture either less than 1 or greater than 2048!", name,
                 "value:", buf, t_exit, __FILE__, __LINE__);
}

void check_dxy(int size, std::string name) {
  if (size < 1 || size > 2048) size_alert(size, name);
}

size_t TEX_capacity_of(const unsigned char* pixels, size_t capacity) {
  if (capacity) return capacity;
  return pixels == scratch_array ? scratch_array_bytes : 0;
}

static bool legal(int size) { return size >= 1 && size <= 2048; }

bool TEX_fits(const unsigned char* pixels, int width, int height, uint64_t needed,
              size_t capacity) {
  if (pixels == scratch_array && (!legal(width) || !legal(height))) return false;
  return needed <= capacity;
}

void TEX_check_fits(const unsigned char* pixels, int width, int height, uint64_t needed,
                    size_t capacity, const std::string& name) {
  if (TEX_fits(pixels, width, height, needed, capacity)) return;
  check_dxy(width, name);
  check_dxy(height, name);
  size_alert(static_cast<double>(needed), name);
}

int TEX_next_pow2(int v) {
  int p = 1;
  while (p < v && p < (1 << 30)) p <<= 1;
  return p;
}
