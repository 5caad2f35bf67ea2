#include "src/addin/TimeOutWatchdog.h"

#include <exception>
#include <system_error>

#include "src/engine/AppCommon.h"
#include "src/support/Log.h"

namespace addin {
namespace {
constexpr std::int32_t kStepMs = 500;
}

TimeOutWatchdog::TimeOutWatchdog(std::function<void()> onTimeOut, std::chrono::milliseconds step)
    : mOnTimeOut(std::move(onTimeOut)), mStep(step) {
  if (!mOnTimeOut) mOnTimeOut = [] { engine::AppCommon::Instance().SetCancel(true); };
}

TimeOutWatchdog::~TimeOutWatchdog() { Stop(); }

void TimeOutWatchdog::Start(std::int32_t milliseconds) {
  if (milliseconds < 1) return;
  Stop();
  mRemaining = milliseconds;
  mStop = 0;
  mTimedOut = 0;
  try {
    mThread = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    mRemaining = 0;
    LOG_WARNING(L"AddinApplication:TimeOut", L"watchdog thread not started");
  }
}

void TimeOutWatchdog::Stop() {
  if (!mThread.joinable()) return;
  mStop = 1;
  mThread.join();
}

void TimeOutWatchdog::Run() {
  do {
    std::this_thread::sleep_for(mStep);
    mRemaining -= kStepMs;
  } while (mRemaining.load() > 0 && mStop.load() == 0);
  if (mStop.load() != 0) return;
  mTimedOut = 1;
  LOG_INFO(L"AddinApplication:TimeOut", L"time limit reached");
  mOnTimeOut();
}

}  // namespace addin
