#include "support/widget_frame.h"

#include "GenH/butn.h"
#include "GenH/menu.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/stls.h"
#include "UTL/resource.h"
#include "UTL/xtim.h"

namespace fly_test {

widget_frames* widget_frames::current = nullptr;

namespace {
uint64_t fake_now = 1000000;
uint64_t fake_clock() { return fake_now; }

void fake_startwind(int type, int) {
  mnw.window_type = type;
  BTN_begin_focus_ring();
  BTN_unfocus_any();
}

void fake_event_proc() {
  widget_frames* f = widget_frames::current;
  ++f->event_procs;
  if (f->script.empty()) {
    mnw.window_type = 0;  // the user closed the window
  } else {
    auto step = std::move(f->script.front());
    f->script.pop_front();
    step(*f);
  }
  f->frame();
}
}  // namespace

widget_frames::widget_frames() {
  current = this;
  UTL_set_resource_folder(std::string(FLY_APP_DIR) + "/Resources/");
  MACIBM_fill_tables();
  xtim_set_clock(fake_clock);
  mnw.window_type = 0;
  mnw.window_dx = 1024;
  mnw.window_dy = 768;
  mnw.win_dx = 1024;
  mnw.win_dy = 768;
  mnw.origin_x = mnw.origin_y = 0;
  mnw.open_menu = -1;
  mnw.language = 0;
  mnw.scale = 1;
  mnw.press_time = -100;  // no press before the test: the first click is a single one
  BTN_modal = {fake_startwind, fake_event_proc};
  frame();
}

widget_frames::~widget_frames() {
  BTN_modal = {nullptr, nullptr};
  xtim_set_clock(nullptr);
  UTL_set_resource_folder("");
  current = nullptr;
}

void widget_frames::move(float x, float y) {
  mnw.mouse_x = x;
  mnw.mouse_y = y;
}
void widget_frames::press() { press_ = 1; }
void widget_frames::release() { release_ = 1; }

void widget_frames::key(int ch, int vkey, int modifiers) {
  keys_.push_back({ch, vkey ? vkey : ch, modifiers | 8});
}

void widget_frames::type(const std::string& ascii) {
  for (char c : ascii) {
    const int vk = c >= 'a' && c <= 'z' ? c - 32 : c;
    key(static_cast<unsigned char>(c), vk, c >= 'A' && c <= 'Z' ? 1 : 0);
  }
}

void widget_frames::advance(float seconds) {
  fake_now += static_cast<uint64_t>(seconds * 1e6);
}

void widget_frames::frame(float dt) {
  // Flags of one frame.
  mnw.mouse_clicked = mnw.mouse_released = mnw.mouse_double_clicked = 0;
  return_hit = escape_hit = delete_hit = 0;
  stls.help_text.clear();
  // Events.
  if (press_) mnw.mouse_clicked = 1;
  if (release_) mnw.mouse_released = 1;
  press_ = release_ = 0;
  while (!keys_.empty()) {
    const pending_key k = keys_.front();
    keys_.pop_front();
    if (BTN_dispatch_to_focus(k.ch, k.vkey, k.modifiers)) continue;
    if (k.vkey == 13) return_hit = 1;
    if (k.vkey == 27) escape_hit = 1;
    if (k.vkey == 8) delete_hit = 1;
  }
  // The clock, then the ring.
  advance(dt);
  xtim.xtim_update();
  BTN_begin_focus_ring();
}

}  // namespace fly_test
