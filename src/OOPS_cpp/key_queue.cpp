#include "OOPS_cpp/key_queue.h"

#include <algorithm>
#include <vector>

namespace {

// Every live queue, for the frame start. Never destroyed, so that queues that
// are statics of other units can leave it at exit in any order.
std::vector<BTN_key_queue*>& all_queues() {
  static auto* queues = new std::vector<BTN_key_queue*>;
  return *queues;
}

// The count the ring may have left out of range.
int live_count(const BTN_key_queue& q) { return std::clamp(q.count, 0, BTN_key_queue::capacity); }

// Entries the ring appended since the last tidy are new.
void stamp_new(BTN_key_queue& q) {
  const int n = live_count(q);
  for (int i = std::clamp(q.known, 0, n); i < n; ++i) q.ages[i] = 0;
}

// Keeps the entries for which keep(i) holds, in order.
template <class Keep>
void compact(BTN_key_queue& q, Keep keep) {
  const int n = live_count(q);
  int out = 0;
  for (int i = 0; i < n; ++i) {
    if (!keep(i)) continue;
    if (out != i) {
      q.chars[out] = q.chars[i];
      q.vkeys[out] = q.vkeys[i];
      q.modifiers[out] = q.modifiers[i];
      q.ids[out] = q.ids[i];
      q.ages[out] = q.ages[i];
    }
    ++out;
  }
  for (int i = out; i < n; ++i) q.chars[i] = q.vkeys[i] = q.modifiers[i] = q.ids[i] = 0;
  q.count = q.known = out;
}

}  // namespace

BTN_key_queue::BTN_key_queue() : chars(), vkeys(), modifiers(), ids(), count(0), ages(), known(0) {
  all_queues().push_back(this);
}

BTN_key_queue::~BTN_key_queue() {
  auto& queues = all_queues();
  queues.erase(std::remove(queues.begin(), queues.end(), this), queues.end());
}

int BTN_queue_key(int* chars, int* vkeys, int* modifiers, int* ids, int* count, int capacity,
                  int ch, int vkey, int modifiers_in, int id) {
  if (*count < 0) *count = 0;
  if (*count >= capacity) return 1;  // full: the key is dropped, not written past the end
  const int i = (*count)++;
  chars[i] = ch;
  vkeys[i] = vkey;
  modifiers[i] = modifiers_in;
  ids[i] = id;
  return 1;
}

void BTN_drain_keys(BTN_key_queue* q, int id,
                    const std::function<void(int ch, int vkey, int modifiers)>& take) {
  struct key_t {
    int ch, vkey, modifiers;
  };
  std::vector<key_t> mine;
  stamp_new(*q);
  compact(*q, [&](int i) {
    if (!q->chars[i] && !q->vkeys[i]) return false;
    if (q->ids[i] != id) return true;
    if (!(q->modifiers[i] & 16)) mine.push_back({q->chars[i], q->vkeys[i], q->modifiers[i]});
    return false;
  });
  // The queue is consistent before any key is handled: a handler may run
  // frames of its own that queue more keys.
  for (const key_t& k : mine) take(k.ch, k.vkey, k.modifiers);
}

void BTN_key_queues_new_frame() {
  for (BTN_key_queue* q : all_queues()) {
    stamp_new(*q);
    const int n = live_count(*q);
    for (int i = 0; i < n; ++i) ++q->ages[i];
    compact(*q, [&](int i) { return q->ages[i] < 2; });
  }
}
