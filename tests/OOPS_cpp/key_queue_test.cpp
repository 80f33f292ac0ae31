#include "OOPS_cpp/key_queue.h"

#include <memory>

#include "support/test_util.h"

using ::testing::ElementsAre;

namespace {

// What the focus ring does with one key for the focused id.
int push(BTN_key_queue& q, int ch, int id, int mods = 8, int vkey = 0) {
  return BTN_queue_key(q.chars, q.vkeys, q.modifiers, q.ids, &q.count, q.capacity, ch,
                       vkey ? vkey : ch, mods, id);
}

std::string drain(BTN_key_queue& q, int id) {
  std::string got;
  BTN_drain_keys(&q, id, [&](int ch, int, int) { got += static_cast<char>(ch); });
  return got;
}

}  // namespace

TEST(KeyQueue, OneKeyAFrameAtAnyRateAllArrive) {
  BTN_key_queue q;
  std::string got;
  for (int frame = 0; frame < 100; ++frame) {
    push(q, 'a' + frame % 26, 7);  // events first, then the new ring, then the widget draws
    BTN_key_queues_new_frame();
    got += drain(q, 7);
    EXPECT_EQ(q.count, 0);
  }
  EXPECT_EQ(got.size(), 100u);
  EXPECT_EQ(got.substr(24, 4), "yzab");
}

TEST(KeyQueue, FullQueueDropsTheKeyAndSaysTaken) {
  BTN_key_queue q;
  for (int i = 0; i < 70; ++i) EXPECT_EQ(push(q, 'a' + i % 26, 7), 1);
  EXPECT_EQ(q.count, 64);
  BTN_key_queues_new_frame();
  const std::string got = drain(q, 7);
  EXPECT_EQ(got.size(), 64u);
  EXPECT_EQ(got.back(), 'a' + 63 % 26);
  q.count = -3;  // a count out of range is mended, not used
  push(q, 'x', 7);
  EXPECT_EQ(q.count, 1);
}

TEST(KeyQueue, FieldsSharingAQueueTakeTheirOwnInOrder) {
  BTN_key_queue q;
  for (char c : std::string("aAbBcC")) push(q, c, c >= 'a' ? 1 : 2);
  push(q, 'u', 1, 16);  // a key-up: removed without a call
  push(q, 0, 1, 8, 0);  // an empty entry: removed
  BTN_key_queues_new_frame();
  EXPECT_EQ(drain(q, 1), "abc");
  EXPECT_EQ(q.count, 3);
  EXPECT_THAT(std::vector<int>(q.chars, q.chars + 3), ElementsAre('A', 'B', 'C'));
  EXPECT_EQ(q.chars[3], 0);
  EXPECT_EQ(drain(q, 2), "ABC");
  EXPECT_EQ(q.count, 0);

  // Modifiers and virtual keys reach the widget as queued.
  push(q, 0, 1, 9, 37);
  BTN_key_queues_new_frame();
  int vkey = 0, mods = 0;
  BTN_drain_keys(&q, 1, [&](int, int v, int m) { vkey = v, mods = m; });
  EXPECT_EQ(vkey, 37);
  EXPECT_EQ(mods, 9);
}

TEST(KeyQueue, KeysNoWidgetTookAreDroppedAfterOneFrame) {
  BTN_key_queue q;
  push(q, 'a', 5);  // for a widget not drawn this frame
  BTN_key_queues_new_frame();
  push(q, 'b', 5);  // a modal loop queued one more within the frame
  EXPECT_EQ(drain(q, 6), "");
  EXPECT_EQ(q.count, 2);
  BTN_key_queues_new_frame();  // 'a' came before the last frame start: gone
  EXPECT_EQ(q.count, 1);
  BTN_key_queues_new_frame();
  EXPECT_EQ(q.count, 0);
  // A widget drawn later at the same place gets nothing of them.
  EXPECT_EQ(drain(q, 5), "");

  // Every live queue ages; a destroyed one has left the list.
  auto other = std::make_unique<BTN_key_queue>();
  push(*other, 'z', 1);
  push(q, 'y', 1);
  other.reset();
  BTN_key_queues_new_frame();
  BTN_key_queues_new_frame();
  EXPECT_EQ(q.count, 0);
}

TEST(KeyQueue, KeysQueuedWhileDrainingWaitTheirTurn) {
  BTN_key_queue q;
  push(q, 'a', 1);
  push(q, 'b', 1);
  BTN_key_queues_new_frame();
  std::string got;
  BTN_drain_keys(&q, 1, [&](int ch, int, int) {
    got += static_cast<char>(ch);
    if (ch == 'a') push(q, 'c', 1);  // a handler that runs frames of its own
  });
  EXPECT_EQ(got, "ab");
  EXPECT_EQ(drain(q, 1), "c");
}
