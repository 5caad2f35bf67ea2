// Where a block translation reports its progress. Apart from AppCommon.h so
// that a progress display (the dialog) depends on this interface only, not on
// the text-translation layer that drives it.
#pragma once

#include <cstdint>

namespace engine {

// Called on the user-interface thread.
class ProgressReport {
 public:
  virtual ~ProgressReport() = default;
  // Resource ids of the status text and the count label; below 1: empty.
  virtual void SetMessages(int statusId, int countLabelId) = 0;
  virtual void SetProgress(std::int64_t position, std::int64_t total) = 0;
};

}  // namespace engine
