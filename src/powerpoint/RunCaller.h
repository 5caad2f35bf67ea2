// The command facade that starts a translation run, as the run sees it.
#pragma once

#include <cstdint>

#include "src/host/Host.h"
#include "src/options/TranslationOptionUDT.h"

namespace powerpoint {

// What a run needs from the command facade that started it.
class RunCaller {
 public:
  virtual ~RunCaller() = default;
  virtual host::Ptr<host::Application> GetApplication() = 0;
  // Progress when the progress dialog is off.
  virtual void NotifyProgress(std::int64_t current, std::int64_t total) = 0;
  // The time-out watchdog: raises the run's cancel flag after milliseconds.
  virtual void StartTimeOut(std::int32_t milliseconds) = 0;
  virtual void StopTimeOut() = 0;
  // True when the time of the last StartTimeOut ran out (the cancel flag
  // was the watchdog's, not the user's).
  virtual bool TimedOut() const { return false; }
  // The texts beyond the slides' own that the command's option set asks for.
  virtual options::TranslatedParts PartsToTranslate() const { return {}; }
};

}  // namespace powerpoint
