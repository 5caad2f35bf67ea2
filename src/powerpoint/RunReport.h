// What a translation run reports: where it was, the messages it gave, what
// it did, and its outcome as the process keeps it after the run.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "src/host/Host.h"

namespace powerpoint {

// Where the walk is: the slide (its number in the deck), whether on its
// notes page, and the top-level shape at hand. slide 0: nowhere yet.
struct RunPlace {
  std::int32_t slide = 0;
  bool notes = false;
  std::wstring shape;
};
// The place as the log and the summary name it ("slide 3, shape "Title 1"");
// empty for nowhere.
std::wstring DescribePlace(const RunPlace& where);

// One message the run reported; category is the id's thousands digit.
// where says at which shape a walk stopped, when it was one.
struct RunError {
  std::int32_t id = 0;
  std::wstring text;
  std::int32_t category = 0;
  RunPlace where{};
};
using RunErrors = std::vector<RunError>;

// What the run did, for the summary the command line prints at the end.
struct RunStatistics {
  int slides = 0;              // slides walked (notes pages not counted again)
  int shapes = 0;              // top-level shapes handed to a handler
  int segmentsTranslated = 0;  // segments written into the target
  int comments = 0;            // comments and replies translated
  // Segments (or comments, WordArt texts) left as they were, by reason:
  // "engine failed", "cancelled", "empty translation" ...
  std::map<std::wstring, int> segmentsLeft;
  // Shapes whose text is still larger than its box after fitting.
  struct Overflow {
    RunPlace where{};  // shape: the shape's name, inside its group's
    float over = 0;  // points, the larger of height and width
  };
  std::vector<Overflow> overflowing;
};

// What the last run did; kept by the process object after the run returns.
struct RunOutcome {
  bool success = false;
  bool cancelled = false;
  host::Ptr<host::Presentation> translation;  // TranPresen after the run (null when closed/none)
  std::wstring translationCopyPath;           // the run's temporary file behind `translation`, if any
  RunStatistics stats;
  RunErrors errors;
  double seconds = 0;  // wall time of the run body
};

}  // namespace powerpoint
