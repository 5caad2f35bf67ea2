// Window, pane and slide operations the run needs on a presentation's first
// document window, and the arrangement of the source and translation windows
// after a run into a new window. Each operation logs its own failure and
// returns false; object-model failures throw ComError.
#pragma once

#include <optional>
#include <string>

#include "src/host/Host.h"
#include "src/platform/Display.h"

namespace powerpoint {

struct RunContext;

// A rectangle in points.
struct WindowRect {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;
  bool operator==(const WindowRect&) const = default;
};

class PowerPointTranslationUtil {
 public:
  static bool SetPresentationViewType(const host::Ptr<host::Presentation>& presentation, int viewType);
  // All slides, or null for a missing presentation.
  static host::Ptr<host::SlideRange> GetAllSlideRange(const host::Ptr<host::Presentation>& presentation);
  static bool ActivatePresentationPane(const host::Ptr<host::Presentation>& presentation, int viewType);
  static bool ActivatePresentationWindow(const host::Ptr<host::Presentation>& presentation);
  static bool GotoSlide(const host::Ptr<host::Presentation>& presentation, int slideNumber);

  // The area the two windows share, in points: the host frame's client area
  // before version 14, the desktop work area from then on; a given screen's
  // work area always. False when the screen cannot be measured.
  static bool GetArrangeArea(int version, const std::optional<platform::ScreenInfo>& given, WindowRect* area);
  // Splits the area: the first rectangle for the source, the second for the
  // translation. align 1 side by side, 2 one above the other, anything else
  // both the whole area.
  static void SplitArea(const WindowRect& area, int align, WindowRect* first, WindowRect* second);
  // Arranges OrigPresen's and TranPresen's first windows by WindowAlign.
  static bool ArrangeWindows(RunContext& ctx);
};

}  // namespace powerpoint
