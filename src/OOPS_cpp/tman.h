// The texture manager: every texture of the program lives in a numbered
// slot. Callers pick manual slots (1..1154) themselves or get a dynamic slot
// (1155 up) by path; slot 950 holds the grey placeholder that binds for any
// texture not loaded. It also counts failed loads for the frame loop's
// warnings and holds the texture resolution rule.
//
// The flags word (bits 0..17): 0x7 colour code (1 RGB, 2 RGBA, 3 ALPHA, 4 RGB
// and 5 RGBA with automatic alpha, 6 depth, 7 BGRA), 0x8 mipmaps, 0x10
// nearest filtering, 0x100 clamp S and T, 0x200 clamp S, 0x400 half floats,
// 0x800 sized 8-bit formats, 0x1000 any size, 0x2000 no power-of-2 warning,
// 0x4000 ratio doubled, 0x8000 halved, 0x10000 never reduced, 0x20000 decode
// into and upload from scratch_array.
#pragma once

#include <pthread.h>

#include <atomic>
#include <string>
#include <unordered_map>
#include <vector>

#include "TEX/TEX_obj.h"

// Start-up's progress panel (MACIBM_show_init), shown for slow runs of
// start-up loads; tests put their own here, null shows nothing.
using tman_show_init_fn = void (*)(const std::string& msg, float* progress);
extern tman_show_init_fn tman_show_init;

struct tman_path_hash {
  size_t operator()(const std::string& s) const {
    size_t h = 0;
    for (char c : s) h = h * 5 + static_cast<size_t>(static_cast<long>(static_cast<signed char>(c)));
    return h;
  }
};

class tman_class {
 public:
  enum { first_dynamic = 1155, last_manual = 1154, placeholder_slot = 950 };

  tman_class();
  ~tman_class();
  tman_class(const tman_class&) = delete;
  tman_class& operator=(const tman_class&) = delete;

  // Loads or reloads a texture: manual_ref 0 picks a dynamic slot by path
  // (an already mapped path is retained, not reloaded). Returns the slot; 0
  // for an empty path or a failed manual load (the 2 x 2 error object stays
  // in the slot either way).
  int load_texture(tex_fail_mode fail, int manual_ref, int flags, tex_load_time when,
                   const std::string& path);
  TEX_obj* load_texture_obj(tex_fail_mode fail, int flags, tex_load_time when,
                            const std::string& path);
  // Binds the slot's texture (the placeholder while it is not loaded); an
  // empty slot is a fatal alert.
  void bind_ref(int ref, int unit, int env_mode);
  void unload_texture(int ref);  // manual slots only
  int release_texture(int ref);  // dynamic slots only; the remaining count
  void purge_unused_texes();
  // Takes the detected capabilities, wires the texture layer into the
  // program and loads the placeholder. Once, after capability detection.
  void TEX_init();

  TEX_obj* fetch_ref(int ref);
  TEX_obj* get_known_obj(int ref) { return fetch_ref(ref); }

  float tex_dx_vis(int ref);
  float tex_dy_vis(int ref);
  float tex_dx_tot(int ref);
  float tex_dy_tot(int ref);
  int tex_vram(int ref);
  int tex_mode(int ref);
  int has_alpha(int ref);
  int tex_err(int ref);
  int tex_loaded(int ref);
  int tex_exists(int ref);
  std::string get_path(int ref);
  int tot_vram();
  int ugly_reverse(TEX_obj* tex);

  // The resolution ratio of mnw.tex_res_level: 0..4 give 1/32..1/2, else 1.
  static float scale_rat();

  void got_scene_load_fail() { ++scene_fails; }
  void got_plane_load_fail() { ++plane_fails; }
  void got_instl_load_fail() { ++instl_fails; }
  int has_scene_load_fail() { return !scene_muted && scene_fails.load() > 0; }
  int has_plane_load_fail() { return !plane_muted && plane_fails.load() > 0; }
  int has_instl_load_fail() { return !instl_muted && instl_fails.load() > 0; }
  void reset_scene_load_fail() { scene_fails -= scene_fails.load(); }
  void reset_plane_load_fail() { plane_fails -= plane_fails.load(); }
  void reset_instl_load_fail() { instl_fails -= instl_fails.load(); }
  void mute_scene_load_fail() { scene_muted = 1; }
  void mute_plane_load_fail() { plane_muted = 1; }
  void mute_instl_load_fail() { instl_muted = 1; }

  std::vector<TEX_obj*> slots;  // index = slot; null = empty; never shrinks
  std::unordered_map<std::string, int, tman_path_hash> path_map;
  TEX_obj* placeholder = nullptr;
  std::atomic<int> scene_fails{0};
  int scene_muted = 0;
  std::atomic<int> plane_fails{0};
  int plane_muted = 0;
  std::atomic<int> instl_fails{0};
  int instl_muted = 0;
  pthread_mutex_t lock;
  double last_t = 0;  // seconds of the previous load_texture call

 private:
  // Removes path's entry when it names slot: another slot may own it.
  void forget_path(const std::string& path, int slot);
};

extern tman_class tman;
