// The movie recorder: at a fixed movie frame rate it captures the window's
// pixels into rotating buffers and hands them to its own compression thread,
// which appends them as Photo-JPEG samples to "Flyvane movie take-N.mov".
#pragma once

#include <list>
#include <string>

struct qtim_frame_buffer {
  float duration;  // seconds the frame stands for
  void* pixels;    // movie width x height 32-bit BGRA pixels, top row first
  int size;        // bytes
};

class qtim_class {
 public:
  qtim_class();
  ~qtim_class();
  qtim_class(const qtim_class&) = delete;
  qtim_class& operator=(const qtim_class&) = delete;

  // Starts recording in state mode (1 to a file, 2 without one) when idle,
  // else asks to stop.
  void mov_toggle(int mode);
  // Once per frame; 1 when the recorder showed the frame itself.
  int mov_per_frame();
  // Captures one frame when one is due: pixels is the movie-size image, or
  // null to read it through qtim_hooks.grab. 1 when the frame was shown here.
  int mov_add_frame(const void* pixels = nullptr);
  // Stops a recording, then ends the compression thread.
  void stop_thread();
  // The "recording" indicator, and one frame of the settings panel (in the
  // current logical window); both drawn by the shell's movie code.
  void draw_record_lgt();
  void qtim_wind();

  int qt_avail;     // a movie can be written
  int state;        // 0 idle, 1 recording to a file, 2 started without one
  int movie_dx;     // 32..2048
  int movie_dy;     // from the window's shape at each start
  float frame_rate;  // 10..99
  int frames_finished;  // handed back by the thread since the start
  int frames_sent;      // handed to the thread since the start

  std::list<qtim_frame_buffer*> usable_buffers;
  double start_mov_time, prev_frame_time;
};
extern qtim_class qtim;

// The timing rule. A frame is due when at least one period (1 / frame rate)
// lies between prev_frame_time and now; prev_frame_time then advances by one
// period, or by the whole elapsed time after a stall of two periods or more,
// and *duration is the advance.
int qtim_frame_due(double now, double* prev_frame_time, float frame_rate, float* duration);
// A sample's length in 600ths of a second: 1..60.
int qtim_sample_units(float duration);
std::string qtim_take_name(int take);

int mov_startrecord();  // 1 when recording started
void mov_stoprecord();
[[noreturn]] void mov_alert(const std::string& line1, const std::string& line2, const char* line3,
                            int code);

// What the recorder needs of the window and the textures. Until they are
// filled it reads the program clock, has no picture source and leaves the
// showing of frames to the frame loop.
struct qtim_hooks_class {
  double (*now)();                          // the clock, seconds
  int (*grab)(void* bgra, int dx, int dy);  // the movie-size picture; 1 when filled
  void (*show)();                           // indicator and buffer swap
  void (*load_scratch)();                   // texture slot 429
  void (*unload_scratch)();
};
extern qtim_hooks_class qtim_hooks;
