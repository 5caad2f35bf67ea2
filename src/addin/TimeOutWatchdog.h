// The run's time limit: a thread that counts the remaining time down in
// steps and raises the cancel flag when it has run out. Started and stopped
// by the user-interface thread; the thread shares with it only the
// remaining time and the stop flag, both atomic words.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

namespace addin {

class TimeOutWatchdog {
 public:
  static constexpr std::chrono::milliseconds kDefaultStep{500};

  // What running out does (by default AppCommon's cancel flag); step is how
  // long each sleep lasts (tests shorten it). The time subtracted per step
  // is always 500 ms, so a test's short step scales the whole limit down.
  explicit TimeOutWatchdog(std::function<void()> onTimeOut = {},
                           std::chrono::milliseconds step = kDefaultStep);
  ~TimeOutWatchdog();
  TimeOutWatchdog(const TimeOutWatchdog&) = delete;
  TimeOutWatchdog& operator=(const TimeOutWatchdog&) = delete;

  // Only for 1 or more; a watchdog still running is stopped first. When the
  // thread cannot be started the run goes on without a limit.
  void Start(std::int32_t milliseconds);
  // Waits for the thread (at most one step).
  void Stop();

  bool IsRunning() const { return mThread.joinable(); }
  std::int32_t Remaining() const { return mRemaining.load(); }
  // True once the limit ran out since the last Start.
  bool TimedOut() const { return mTimedOut.load() != 0; }

 private:
  void Run();

  std::function<void()> mOnTimeOut;
  std::chrono::milliseconds mStep;
  std::thread mThread;
  std::atomic<std::int32_t> mRemaining{0};
  std::atomic<int> mStop{0};
  std::atomic<int> mTimedOut{0};
};

}  // namespace addin
