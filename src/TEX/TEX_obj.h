// One OpenGL texture as the texture manager keeps it in a slot: where its
// pixels come from (a file, or the shared scratch image), how it is stored
// (the manager's flags word), its sizes, whether it is loaded and how many
// holders it has. load() is the whole texture pipeline: find the file, decode,
// choose the resolution, build mipmaps, upload and set the sampling.
#pragma once

#include <atomic>
#include <string>

#include "Thread/threadpool.h"

// What a failed load reports: 0 nothing; 1, 2, 3 count a scenery, aircraft or
// installer failure and log; 4 a fatal alert; larger values only log.
enum tex_fail_mode : int {
  tex_fail_silent = 0,
  tex_fail_scene = 1,
  tex_fail_plane = 2,
  tex_fail_instl = 3,
  tex_fail_fatal = 4,
};
// When a load runs: all three load at once; 2 marks a start-up load.
enum tex_load_time : int { tex_load_now = 0, tex_load_soon = 1, tex_load_startup = 2 };

class TEX_obj;

// A hook called at the start of each file load; it may change the path and
// lower the ratio (which starts at 1).
class TEX_evaluator {
 public:
  TEX_obj* owner = nullptr;
  virtual ~TEX_evaluator() {}
  virtual void evaluate(std::string& path, float* ratio) = 0;
};

class TEX_obj : public UTL_pool_task {
 public:
  TEX_obj(int gl_name, const std::string& path, int flags, tex_fail_mode fail);
  ~TEX_obj() override;
  TEX_obj(const TEX_obj&) = delete;
  TEX_obj& operator=(const TEX_obj&) = delete;

  // 1 on success, 0 on failure (the object is then a 2x2 error texture that
  // binds the placeholder).
  int load();
  // Binds this texture, or the placeholder while it is not loaded or failed.
  void bind(int unit, int env_mode);
  void retain();
  int release();  // the new count; never destroys the object
  int has_refs() { return ref_count.load() != 0; }
  void change_path(const std::string& new_path, tex_fail_mode fail);
  void queue_load(UTL_threadpool* pool);
  int do_it() override;
  const char* get_debug_name() override { return path.c_str(); }
  void replace_evaluator(TEX_evaluator* ev);
  void nuke_all_refs() {}

  static int total_texes() { return total_texes_ctr.load(); }
  static int loaded_texes() { return loaded_texes_ctr.load(); }

  std::string path;
  std::atomic<unsigned> gl_name;
  int dx_vis = 0, dy_vis = 0;
  int dx_tot = 0, dy_tot = 0;
  int vram = 0;  // 0 marks a failed load
  unsigned gl_format;
  int flags;
  tex_fail_mode fail_mode;
  std::atomic<int> loaded{0};
  // Finished uploads: a reader of the texels can tell a reload in place.
  std::atomic<unsigned> uploads{0};
  std::atomic<int> queued{0};
  std::atomic<int> ref_count{1};
  std::atomic<TEX_evaluator*> evaluator{nullptr};

  static std::atomic<int> total_texes_ctr;
  static std::atomic<int> loaded_texes_ctr;

 private:
  int fail();
  void mark_loaded();
};

// The stored size of a width x height picture: fills the visible size and the
// totals (powers of two unless flag 0x1000) and returns the ratio. mode 1
// never reduces. Every size is checked with check_dxy.
float TEX_get_scale(const std::string& name, int flags, int width, float max_ratio, int height,
                    int* dx_vis, int* dy_vis, int* dx_tot, int* dy_tot, int mode);

// Points the drawing layer's texture and image seams and the scenery
// scanner's bitmap loader at the texture layer. Called by tman.TEX_init.
void TEX_install_seams();
