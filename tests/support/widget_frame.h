// A synthetic frame state for widget tests, filled in the frame loop's order:
// the events (mouse, and keys offered to the focus ring first), the clock,
// then the focus ring's start. Drawing goes to a recording GL table.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "support/gl_record.h"

namespace fly_test {

class widget_frames {
 public:
  // Window 0 of 1024 by 768 units, no menu open, English, the fonts of the
  // build, a clock that moves only when told.
  widget_frames();
  ~widget_frames();

  // Events for the next frame.
  void move(float x, float y);
  void press();    // the button goes down
  void release();  // and up
  void click(float x, float y) { move(x, y), press(); }
  // A key-down (modifier 8 added); Return, Escape and Backspace that no widget
  // takes set the frame's flags as the keyboard layer does.
  void key(int ch, int vkey = 0, int modifiers = 0);
  void type(const std::string& ascii);

  // Starts the next frame; dt seconds of the clock pass first.
  void frame(float dt = 0.02f);
  void advance(float seconds);

  // Modal loops: BTN_modal points at a startwind that switches mnw's window
  // and an event_proc that runs one scripted step, then frame(). When the
  // script is out of steps the window is closed (window 0).
  std::deque<std::function<void(widget_frames&)>> script;
  int event_procs = 0;

  gl_recorder rec;

  static widget_frames* current;

 private:
  struct pending_key {
    int ch, vkey, modifiers;
  };
  std::deque<pending_key> keys_;
  int press_ = 0, release_ = 0;
};

}  // namespace fly_test
