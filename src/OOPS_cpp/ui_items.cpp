#include "GenH/ui_items.h"

#include <map>

#include "GenH/mnw.h"
#include "UTL/localize.h"

namespace {
std::vector<ui_item>& items() {
  static auto* v = new std::vector<ui_item>;
  return *v;
}
std::map<std::string, std::string>& keys() {
  static auto* m = new std::map<std::string, std::string>;
  return *m;
}
std::vector<ui_item>& held() {
  static auto* v = new std::vector<ui_item>;
  return *v;
}
bool holding = false;
}  // namespace

void UI_items_hold_for_scripts(int hold) {
  holding = hold != 0;
  if (holding) held() = items();
}

const std::vector<ui_item>& UI_items_seen() { return holding ? held() : items(); }

const ui_item* UI_item_seen(const std::string& text) {
  for (const ui_item& it : UI_items_seen())
    if (it.key == text || it.shown == text) return &it;
  return nullptr;
}

void UI_items_new_frame() {
  items().clear();
  keys().clear();
}

void UI_item_add(const std::string& shown, float x1, float y1, float x2, float y2, int enabled,
                 int checked) {
  const float s = mnw.scale > 0 ? mnw.scale : 1.0f;
  ui_item it;
  const auto k = keys().find(shown);
  it.key = k == keys().end() ? shown : k->second;
  it.shown = shown;
  it.x1 = (x1 + mnw.origin_x) * s;
  it.y1 = (y1 + mnw.origin_y) * s;
  it.x2 = (x2 + mnw.origin_x) * s;
  it.y2 = (y2 + mnw.origin_y) * s;
  it.enabled = enabled;
  it.checked = checked;
  it.window = mnw.window_type;
  items().push_back(it);
}

const std::vector<ui_item>& UI_items() { return items(); }

const ui_item* UI_item_find(const std::string& text) {
  for (const ui_item& it : items())
    if (it.key == text || it.shown == text) return &it;
  return nullptr;
}

std::string UI_tr(const std::string& key) {
  std::string shown = UTL_translate_string(key);
  keys().emplace(shown, key);
  // A label "main|second" is drawn (and recorded) as its second text when
  // the main one is empty: that part keeps its key too.
  const size_t ks = key.find('|'), ss = shown.find('|');
  if (ks != std::string::npos && ss != std::string::npos)
    keys().emplace(shown.substr(ss + 1), key.substr(ks + 1));
  return shown;
}
