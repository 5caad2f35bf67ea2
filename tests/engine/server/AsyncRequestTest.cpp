#include "src/engine/server/AsyncRequest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
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

// The request's status and error code once it has ended.
std::pair<LONG, LONG> End(AsyncRequest& r, LONG waitMs = -1) {
  LONG status = -1, code = -1;
  EXPECT_EQ(S_OK, r.WaitForResult(waitMs, &status));
  EXPECT_EQ(S_OK, r.ErrorCode(&code));
  return {status, code};
}

}  // namespace

// A new request supersedes a running one and starts with no error code; a
// job that throws fails with the engine's error.
TEST(AsyncRequestTest, AJobsOutcomeIsTheRequestsStatusAndCode) {
  const struct {
    std::function<RequestOutcome(const CancelToken&)> job;
    std::pair<LONG, LONG> end;
  } cases[] = {
      {[](const CancelToken&) { return RequestOutcome::Failed(kEngineErrorNetwork); }, {kRequestFailed, kEngineErrorNetwork}},
      {[](const CancelToken&) -> RequestOutcome { throw std::runtime_error("boom"); }, {kRequestFailed, kEngineErrorEngine}},
      {[](const CancelToken&) { return RequestOutcome::Done(); }, {kRequestDone, 0}},
  };
  AsyncRequest r;
  EXPECT_EQ(End(r, 0), (std::pair<LONG, LONG>(kRequestDone, 0))) << "no request yet";
  for (const auto& c : cases) {
    r.Start(WaitUntilCancelled);
    r.Start(c.job);
    EXPECT_EQ(End(r), c.end);
  }
}

TEST(AsyncRequestTest, CancelFromAnotherThreadEndsAHangingJobAndRunsItsAction) {
  AsyncRequest r;
  std::atomic<int> actions{0};
  r.Start([&](const CancelToken& token) {
    token.OnCancel([&] { ++actions; });
    return WaitUntilCancelled(token);
  });
  std::thread canceller([&] { r.Cancel(); });
  EXPECT_EQ(End(r).first, kRequestCancelled);
  canceller.join();
  EXPECT_EQ(1, actions.load());
  // A second cancel after the end changes nothing.
  r.Cancel();
  EXPECT_EQ(End(r, 0).first, kRequestCancelled);
  EXPECT_EQ(1, actions.load());
  // An action registered after the cancel runs at once.
  std::atomic<bool> cancelled{false}, ran{false};
  r.Start([&](const CancelToken& token) {
    while (!cancelled) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    token.OnCancel([&] { ran = true; });
    return RequestOutcome::Cancelled();
  });
  r.Cancel();
  cancelled = true;
  End(r);
  EXPECT_TRUE(ran);
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
    EXPECT_EQ(kRequestDone, End(r).first);
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
