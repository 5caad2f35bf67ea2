#include "src/engine/server/AsyncRequest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

using namespace engine_server;

namespace {

RequestOutcome WaitUntilCancelled(const CancelToken& token) {
  while (!token.SleepFor(std::chrono::milliseconds(20))) {
  }
  return RequestOutcome::Cancelled();
}

}  // namespace

TEST(AsyncRequestTest, NoRequestYetReportsDoneWithoutError) {
  AsyncRequest r;
  LONG status = -1, code = -1;
  ASSERT_EQ(S_OK, r.WaitForResult(0, &status));
  EXPECT_EQ(kRequestDone, status);
  ASSERT_EQ(S_OK, r.ErrorCode(&code));
  EXPECT_EQ(0, code);
}

TEST(AsyncRequestTest, RunningRequestReportsZeroUntilItEnds) {
  AsyncRequest r;
  std::atomic<bool> release{false};
  r.Start([&](const CancelToken&) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return RequestOutcome::Failed(kEngineErrorNetwork);
  });
  LONG status = -1;
  ASSERT_EQ(S_OK, r.WaitForResult(1, &status));
  EXPECT_EQ(kRequestRunning, status);
  release = true;
  ASSERT_EQ(S_OK, r.WaitForResult(-1, &status));
  EXPECT_EQ(kRequestFailed, status);
  LONG code = 0;
  r.ErrorCode(&code);
  EXPECT_EQ(kEngineErrorNetwork, code);
}

TEST(AsyncRequestTest, CancelFromAnotherThreadEndsAHangingJobAndRunsItsAction) {
  AsyncRequest r;
  std::atomic<int> actions{0};
  r.Start([&](const CancelToken& token) {
    token.OnCancel([&] { ++actions; });
    return WaitUntilCancelled(token);
  });
  std::thread canceller([&] { r.Cancel(); });
  LONG status = -1;
  ASSERT_EQ(S_OK, r.WaitForResult(-1, &status));
  canceller.join();
  EXPECT_EQ(kRequestCancelled, status);
  EXPECT_EQ(1, actions.load());
  // A second cancel after the end changes nothing.
  r.Cancel();
  r.WaitForResult(0, &status);
  EXPECT_EQ(kRequestCancelled, status);
  EXPECT_EQ(1, actions.load());
}

TEST(AsyncRequestTest, ActionRegisteredAfterCancelRunsAtOnce) {
  AsyncRequest r;
  std::atomic<bool> cancelled{false}, ran{false};
  r.Start([&](const CancelToken& token) {
    while (!cancelled) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    token.OnCancel([&] { ran = true; });
    return RequestOutcome::Cancelled();
  });
  r.Cancel();
  cancelled = true;
  LONG status = -1;
  r.WaitForResult(-1, &status);
  EXPECT_TRUE(ran);
}

TEST(AsyncRequestTest, ThrowingJobFailsWithEngineError) {
  AsyncRequest r;
  r.Start([](const CancelToken&) -> RequestOutcome { throw std::runtime_error("boom"); });
  LONG status = -1, code = 0;
  r.WaitForResult(-1, &status);
  r.ErrorCode(&code);
  EXPECT_EQ(kRequestFailed, status);
  EXPECT_EQ(kEngineErrorEngine, code);
}

TEST(AsyncRequestTest, NewRequestSupersedesARunningOneAndClearsTheErrorCode) {
  AsyncRequest r;
  r.Complete(RequestOutcome::Failed(kEngineErrorClient));
  r.Start([](const CancelToken& token) { return WaitUntilCancelled(token); });
  r.Start([](const CancelToken&) { return RequestOutcome::Done(); });
  LONG status = -1, code = -1;
  r.WaitForResult(-1, &status);
  r.ErrorCode(&code);
  EXPECT_EQ(kRequestDone, status);
  EXPECT_EQ(0, code);
}

TEST(AsyncRequestTest, JobsOneAfterAnotherRunOnOneThreadAndFreeTheirCapturesBeforeTheyEnd) {
  AsyncRequest r;
  auto held = std::make_shared<int>(0);
  for (int job = 1; job <= 3; ++job) {
    r.Start([held](const CancelToken&) {
      thread_local int jobsHere = 0;
      *held = ++jobsHere;
      return RequestOutcome::Done();
    });
    LONG status = -1;
    r.WaitForResult(-1, &status);
    EXPECT_EQ(kRequestDone, status);
    EXPECT_EQ(1, held.use_count()) << "job " << job;
    EXPECT_EQ(job, *held);
  }
}

TEST(AsyncRequestTest, DestroyingWithAHangingJobCancelsIt) {
  std::atomic<bool> ended{false};
  {
    AsyncRequest r;
    r.Start([&](const CancelToken& token) {
      auto o = WaitUntilCancelled(token);
      ended = true;
      return o;
    });
  }
  EXPECT_TRUE(ended);
}
