#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "src/platform/MessagePump.h"
#include "tests/platform/TestSupport.h"

using namespace platform;

namespace {

// Runs on a thread of its own so that no test sees another's leftovers,
// within a time limit (a wait that never wakes ends the run).
template <typename F>
void OnFreshThread(F body) {
  platformtest::ReturnsWithin(std::chrono::seconds(60), "the message-queue test", body);
}

}  // namespace

// Tasks posted from another thread wait for the owner and run there in
// order; one dispatch runs one task, a drain also runs what tasks queue
// while it drains, and a task that throws stops neither; a wait without
// limit wakes for a task posted later.
TEST(MessagePumpContract, TasksRunInOrderOnTheOwnerOneByDispatchAllByDrainAndAWaitWakesForOne) {
  OnFreshThread([] {
    MessageThreadId self = CurrentMessageThread();
    ASSERT_NE(self, 0u);
    EXPECT_FALSE(WaitAndDispatchMessage(0));
    EXPECT_FALSE(WaitAndDispatchMessage(5));
    std::vector<int> order;
    std::thread::id ranOn;
    std::thread poster([&] {
      for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(PostThreadTask(self, [&order, &ranOn, i] {
          order.push_back(i);
          ranOn = std::this_thread::get_id();
        }));
      ASSERT_TRUE(PostThreadTask(self, [&] {
        order.push_back(3);
        PostThreadTask(self, [&] { order.push_back(5); });
        throw std::runtime_error("boom");
      }));
      ASSERT_TRUE(PostThreadTask(self, [&] { order.push_back(4); }));
    });
    poster.join();
    EXPECT_TRUE(order.empty()) << "tasks must wait until the owner drains";
    EXPECT_TRUE(DispatchOneMessage());
    EXPECT_EQ(order, std::vector<int>{0});
    EXPECT_EQ(DrainMessageQueue(), 5);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(DrainMessageQueue(), 0);
    EXPECT_FALSE(DispatchOneMessage());

    std::thread later([&] {
      SleepMilliseconds(20);
      PostThreadTask(self, [&] { order.push_back(6); });
    });
    EXPECT_TRUE(WaitAndDispatchMessage(-1));
    EXPECT_EQ(order.back(), 6);
    later.join();
  });
}

TEST(MessagePumpContract, PostingToNoThreadOrAnEndedThreadFailsAndEachThreadHasItsOwnQueue) {
  EXPECT_FALSE(PostThreadTask(0, [] {}));
  MessageThreadId ended = 0;
  OnFreshThread([&] { ended = CurrentMessageThread(); });
  ASSERT_NE(ended, 0u);
  bool ran = false;
  EXPECT_FALSE(PostThreadTask(ended, [&] { ran = true; }));
  EXPECT_FALSE(ran);
  // Each thread has its own queue.
  OnFreshThread([] {
    MessageThreadId mine = CurrentMessageThread();
    MessageThreadId other = 0;
    OnFreshThread([&] { other = CurrentMessageThread(); });
    EXPECT_NE(mine, other);
    EXPECT_EQ(mine, CurrentMessageThread());
  });
}
