#include "OOPS_cpp/tman.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <climits>
#include <cstdio>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/window.h"
#include "Thread/thread.h"
#include "TEX/TEX_caps.h"
#include "TEX/TEX_scratch.h"
#include "UTL/xtim.h"

tman_show_init_fn tman_show_init = MACIBM_show_init;
tman_class tman;

namespace {

struct hold {
  pthread_mutex_t* m;
  explicit hold(pthread_mutex_t* mm) : m(mm) { UTL_critical_section_lock(m); }
  ~hold() { UTL_critical_section_unlock(m); }
};

std::string fmt(const char* f, double v) {
  char buf[64];
  snprintf(buf, sizeof(buf), f, v);
  return buf;
}

bool quiet_slot(int ref) {
  return ref == 0 || ref == 335 || ref == 410 || ref == 950 || (ref >= 447 && ref <= 462);
}

}  // namespace

tman_class::tman_class() { UTL_critical_section_create(&lock); }

// The objects are not destroyed: the program is ending and GL may be gone.
tman_class::~tman_class() { UTL_critical_section_destroy(&lock); }

void tman_class::forget_path(const std::string& path, int slot) {
  auto it = path_map.find(path);
  if (it != path_map.end() && it->second == slot) path_map.erase(it);
}

int tman_class::load_texture(tex_fail_mode fail, int manual_ref, int flags, tex_load_time when,
                             const std::string& path) {
  if (path.empty()) return 0;
  const double now = static_cast<double>(xtim_class::microsecs()) / 1e6;
  const double prev = last_t;
  last_t = now;
  if (now > prev + 1 && when == tex_load_startup && path.rfind("scratch_array", 0) != 0 &&
      !quiet_slot(manual_ref) && tman_show_init)
    tman_show_init("Loading bitmap " + path + ".", nullptr);
  if (when < 0 || when > 2)
    __MACIBM_alert(0, "Trying to create an invalid texture load_time!", path, "value:",
                   fmt("%1.0f", when), t_exit, __FILE__, __LINE__);
  if (manual_ref < 0 || manual_ref > first_dynamic)
    __MACIBM_alert(0, "Trying to bind too low or high a manual_ref!", path, "value:",
                   fmt("%1.0f", manual_ref), t_exit, __FILE__, __LINE__);

  int slot = manual_ref;
  TEX_obj* obj = nullptr;
  {
    hold h(&lock);
    if (manual_ref == 0) {
      auto it = path_map.find(path);
      if (it != path_map.end()) {
        TEX_obj* known = it->second < static_cast<int>(slots.size()) ? slots[it->second] : nullptr;
        if (known) {
          known->retain();
          return it->second;
        }
        path_map.erase(it);  // names a slot emptied behind the map's back
      }
      const int n = static_cast<int>(slots.size());
      slot = n > first_dynamic ? n : first_dynamic;
      for (int i = first_dynamic; i < n; ++i)
        if (!slots[i]) slot = i;
    }
    if (slot >= static_cast<int>(slots.size())) slots.resize(static_cast<size_t>(slot) + 1, nullptr);
    obj = slots[slot];
    if (obj) forget_path(obj->path, slot);
    path_map.emplace(path, slot);  // a path another slot holds keeps its entry
    if (obj) {
      obj->change_path(path, fail);
    } else {
      obj = new TEX_obj(slot == placeholder_slot ? placeholder_slot : 0, path, flags, fail);
      slots[slot] = obj;
    }
  }
  const int ok = obj->load();
  return ok || manual_ref == 0 ? slot : 0;
}

TEX_obj* tman_class::load_texture_obj(tex_fail_mode fail, int flags, tex_load_time when,
                                      const std::string& path) {
  const int slot = load_texture(fail, 0, flags, when, path);
  return slot ? fetch_ref(slot) : nullptr;
}

TEX_obj* tman_class::fetch_ref(int ref) {
  hold h(&lock);
  return ref >= 0 && ref < static_cast<int>(slots.size()) ? slots[ref] : nullptr;
}

void tman_class::bind_ref(int ref, int unit, int env_mode) {
  TEX_obj* obj = fetch_ref(ref);
  if (!obj) {
    __MACIBM_alert(0, "Null texture - how?", "", fmt("ref=%6.0f", ref), "", t_exit, __FILE__,
                   __LINE__);
    return;
  }
  obj->bind(unit, env_mode);
}

void tman_class::unload_texture(int ref) {
  if (ref > last_manual) {
    __MACIBM_alert(0, "Error: dynamic textures should be released, not unloaded.", get_path(ref),
                   fmt("%f", ref), "", t_exit, __FILE__, __LINE__);
    return;
  }
  TEX_obj* obj = nullptr;
  {
    hold h(&lock);
    if (ref < 0 || ref >= static_cast<int>(slots.size()) || !slots[ref]) return;
    obj = slots[ref];
    forget_path(obj->path, ref);
    slots[ref] = nullptr;
    if (obj == placeholder) placeholder = nullptr;
  }
  delete obj;
}

int tman_class::release_texture(int ref) {
  if (ref <= last_manual) {
    __MACIBM_alert(0, "Trying to release a manual texture - use unload_texture.", fmt("%f", ref),
                   get_path(ref), "", t_exit, __FILE__, __LINE__);
    return 0;
  }
  TEX_obj* obj = fetch_ref(ref);
  if (!obj) {
    __MACIBM_alert(0, "Trying to release a null texture.", fmt("%f", ref), "", "", t_exit,
                   __FILE__, __LINE__);
    return 0;
  }
  return obj->release();
}

void tman_class::purge_unused_texes() {
  std::vector<TEX_obj*> dead;
  {
    hold h(&lock);
    for (size_t i = first_dynamic; i < slots.size(); ++i) {
      TEX_obj* obj = slots[i];
      if (!obj || obj->ref_count.load() != 0) continue;
      forget_path(obj->path, static_cast<int>(i));
      dead.push_back(obj);
      slots[i] = nullptr;
    }
  }
  for (TEX_obj* obj : dead) delete obj;
}

void tman_class::TEX_init() {
  TEX_caps_load();
  TEX_install_seams();
  for (int i = 0; i < 12; ++i) scratch_array[i] = 0x82;
  scratch_dx = scratch_dy = 2;
  load_texture(tex_fail_silent, placeholder_slot, 0x81, tex_load_startup,
               "scratch_array-blank_gray");
  placeholder = fetch_ref(placeholder_slot);
}

float tman_class::tex_dx_vis(int ref) {
  TEX_obj* o = fetch_ref(ref);
  return o ? static_cast<float>(o->dx_vis) : 0;
}
float tman_class::tex_dy_vis(int ref) {
  TEX_obj* o = fetch_ref(ref);
  return o ? static_cast<float>(o->dy_vis) : 0;
}
float tman_class::tex_dx_tot(int ref) {
  TEX_obj* o = fetch_ref(ref);
  return o ? static_cast<float>(o->dx_tot) : 0;
}
float tman_class::tex_dy_tot(int ref) {
  TEX_obj* o = fetch_ref(ref);
  return o ? static_cast<float>(o->dy_tot) : 0;
}
int tman_class::tex_vram(int ref) {
  TEX_obj* o = fetch_ref(ref);
  return o ? o->vram : 0;
}
int tman_class::tex_mode(int ref) {
  TEX_obj* o = fetch_ref(ref);
  return o ? static_cast<int>(o->gl_format) : 0;
}
int tman_class::has_alpha(int ref) {
  TEX_obj* o = fetch_ref(ref);
  if (!o) return 0;
  switch (o->gl_format) {
    case GL_RGBA:
    case GL_ALPHA:
    case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT:
    case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT:
    case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT: return 1;
    default: return 0;
  }
}
int tman_class::tex_err(int ref) {
  TEX_obj* o = fetch_ref(ref);
  return o && o->loaded.load() && o->vram == 0;
}
int tman_class::tex_loaded(int ref) {
  TEX_obj* o = fetch_ref(ref);
  return o && o->loaded.load();
}
int tman_class::tex_exists(int ref) { return fetch_ref(ref) != nullptr; }
std::string tman_class::get_path(int ref) {
  TEX_obj* o = fetch_ref(ref);
  return o ? o->path : std::string();
}

int tman_class::tot_vram() {
  int64_t sum = int64_t(mnw.window_dx) * mnw.window_dy * mnw.window_depth / 8;
  {
    hold h(&lock);
    for (TEX_obj* o : slots)
      if (o) sum += o->vram;
  }
  return sum > INT_MAX ? INT_MAX : static_cast<int>(sum);
}

int tman_class::ugly_reverse(TEX_obj* tex) {
  if (!tex) return -1;
  hold h(&lock);
  auto it = path_map.find(tex->path);
  return it == path_map.end() ? -1 : it->second;
}

float tman_class::scale_rat() {
  switch (mnw.tex_res_level) {
    case 0: return 1.0f / 32;
    case 1: return 1.0f / 16;
    case 2: return 1.0f / 8;
    case 3: return 1.0f / 4;
    case 4: return 1.0f / 2;
    default: return 1.0f;
  }
}
