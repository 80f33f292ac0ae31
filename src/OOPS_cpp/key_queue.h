// The key queue of a family of key-taking widgets (text fields, number
// fields, searchable lists, character grids): four parallel queues and a
// count, filled by the focus ring for the focused widget and drained by each
// widget of the family for its own id when it is drawn.
//
// The queue never overflows (a key that finds it full is dropped), drained
// entries leave it with the survivors kept in order, and an entry that no
// widget took within the frame it arrived for is dropped at the next frame
// start, so keys for a widget that is no longer drawn never pile up or reach
// another widget drawn later at the same place.
#pragma once

#include <functional>

struct BTN_key_queue {
  static constexpr int capacity = 64;

  BTN_key_queue();  // registered for BTN_key_queues_new_frame while it lives
  ~BTN_key_queue();
  BTN_key_queue(const BTN_key_queue&) = delete;
  BTN_key_queue& operator=(const BTN_key_queue&) = delete;

  // What the focus ring points at.
  int chars[capacity];      // character codes
  int vkeys[capacity];      // virtual key codes
  int modifiers[capacity];  // modifier flags; 16 = key up
  int ids[capacity];        // the id focused when the key arrived
  int count;

  // Frame starts each entry has seen; entries from `known` on are new since
  // the queue was last tidied.
  int ages[capacity];
  int known;
};

// The focus ring's append: returns 1 (the key is taken) whether it was
// queued or dropped because the queue already holds `capacity` entries.
int BTN_queue_key(int* chars, int* vkeys, int* modifiers, int* ids, int* count, int capacity,
                  int ch, int vkey, int modifiers_in, int id);

// Takes the entries queued for id out of the queue, survivors compacted in
// order, and hands each key-down to take in arrival order; key-ups and empty
// entries go without a call. Keys queued from inside take stay for later.
void BTN_drain_keys(BTN_key_queue* q, int id,
                    const std::function<void(int ch, int vkey, int modifiers)>& take);

// Called by the focus ring at each frame start: drops from every queue the
// entries that were already there at the previous frame start.
void BTN_key_queues_new_frame();
