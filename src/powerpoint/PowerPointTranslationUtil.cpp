#include "src/powerpoint/PowerPointTranslationUtil.h"

#include <cmath>
#include <cwchar>

#include "src/platform/Display.h"
#include "src/platform/System.h"
#include "src/powerpoint/RunContext.h"
#include "src/support/Log.h"

namespace powerpoint {
namespace {

constexpr const wchar_t* kSource = L"PowerPointTranslationUtil";

// The presentation's first window, or null (logged) when it has none.
host::Ptr<host::DocumentWindow> FirstWindow(const host::Ptr<host::Presentation>& presentation,
                                            const wchar_t* source) {
  if (!presentation) {
    LOG_ERROR(source, L"sp NULL Err");
    return nullptr;
  }
  host::Ptr<host::DocumentWindows> windows = presentation->Windows();
  if (!windows || windows->Count() < 1) {
    LOG_ERROR(source, L"window Count Err");
    return nullptr;
  }
  return windows->Item(1);
}

void Place(const host::Ptr<host::DocumentWindow>& window, const WindowRect& r) {
  if (window->WindowState() != host::ppWindowNormal) window->SetWindowState(host::ppWindowNormal);
  window->SetLeft(static_cast<float>(r.left));
  window->SetTop(static_cast<float>(r.top));
  window->SetWidth(static_cast<float>(r.width));
  window->SetHeight(static_cast<float>(r.height));
}

}  // namespace

bool PowerPointTranslationUtil::SetPresentationViewType(const host::Ptr<host::Presentation>& presentation,
                                                        int viewType) {
  host::Ptr<host::DocumentWindow> window = FirstWindow(presentation, L"PowerPointTranslationUtil:SetViewType");
  if (!window) return false;
  window->SetViewType(viewType);
  return true;
}

host::Ptr<host::SlideRange> PowerPointTranslationUtil::GetAllSlideRange(
    const host::Ptr<host::Presentation>& presentation) {
  if (!presentation) {
    LOG_ERROR(kSource, L"sp NULL Err");
    return nullptr;
  }
  return presentation->Slides()->Range();
}

bool PowerPointTranslationUtil::ActivatePresentationPane(const host::Ptr<host::Presentation>& presentation,
                                                         int viewType) {
  constexpr const wchar_t* kPaneSource = L"PowerPointTranslationUtil:ActivatePresentationPane";
  host::Ptr<host::DocumentWindow> window = FirstWindow(presentation, kPaneSource);
  if (!window) return false;
  host::Ptr<host::Panes> panes = window->Panes();
  const int count = panes->Count();
  for (int i = 1; i <= count; ++i) {
    host::Ptr<host::Pane> pane = panes->Item(i);
    if (pane->ViewType() == viewType) {
      pane->Activate();
      return true;
    }
  }
  LOG_ERROR(kPaneSource, L"Activate Err");
  return false;
}

bool PowerPointTranslationUtil::ActivatePresentationWindow(const host::Ptr<host::Presentation>& presentation) {
  constexpr const wchar_t* kWindowSource = L"PowerPointTranslationUtil:ActivatePresentationWindow";
  if (!presentation) {
    LOG_ERROR(kWindowSource, L"sp NULL Err");
    return false;
  }
  host::Ptr<host::DocumentWindows> windows = presentation->Windows();
  if (windows->Count() < 1) {
    LOG_ERROR(kWindowSource, L"Activate Err");
    return false;
  }
  windows->Item(1)->Activate();
  return true;
}

bool PowerPointTranslationUtil::GotoSlide(const host::Ptr<host::Presentation>& presentation, int slideNumber) {
  constexpr const wchar_t* kGotoSource = L"PowerPointTranslationUtil:GotoSlide";
  if (!presentation) {
    LOG_ERROR(kGotoSource, L"sp NULL Err");
    return false;
  }
  host::Ptr<host::DocumentWindows> windows = presentation->Windows();
  if (windows->Count() < 1) return false;
  windows->Item(1)->View()->GotoSlide(slideNumber);
  // A slide change can leave a stale error code behind that a later step's
  // error report would take for its own.
  if (DWORD code = platform::GetLastErrorCode(); code != 0) {
    LOG_WARNING(kGotoSource, L"GotoSlide ErrNum : " + std::to_wstring(code));
    platform::SetLastErrorCode(0);
  }
  return true;
}

bool PowerPointTranslationUtil::GetArrangeArea(int version, const std::optional<platform::ScreenInfo>& given,
                                               WindowRect* area) {
  platform::ScreenInfo screen;
  if (given) {
    screen = *given;
  } else if (!platform::GetScreenInfo(&screen)) {
    return false;
  }
  if (screen.dpiX <= 0 || screen.dpiY <= 0) return false;
  platform::ScreenRect pixels = screen.workArea;
  if (version < 14 && !given) {
    wchar_t frameClass[32];
    std::swprintf(frameClass, 32, L"PP%dFrameClass", version);
    if (!platform::GetFrameClientArea(frameClass, &pixels)) return false;
  }
  // Positions keep their fractions: whole inches would move the windows by
  // up to an inch against the area they share.
  const double toPointsX = 72.0 / screen.dpiX;
  const double toPointsY = 72.0 / screen.dpiY;
  *area = WindowRect{pixels.left * toPointsX, pixels.top * toPointsY, pixels.width * toPointsX,
                     pixels.height * toPointsY};
  return true;
}

void PowerPointTranslationUtil::SplitArea(const WindowRect& area, int align, WindowRect* first,
                                          WindowRect* second) {
  *first = area;
  *second = area;
  if (align == 1) {
    const double w1 = std::round(area.width * 0.5);
    first->width = w1;
    second->left = area.left + w1;
    second->width = area.width - w1;
  } else if (align == 2) {
    const double h1 = std::round(area.height * 0.5);
    first->height = h1;
    second->top = area.top + h1;
    second->height = area.height - h1;
  }
}

bool PowerPointTranslationUtil::ArrangeWindows(RunContext& ctx) {
  constexpr const wchar_t* kArrangeSource = L"PowerPointTranslationUtil:ArrangeWindows";
  const host::Ptr<host::Presentation>& orig = ctx.prop.OrigPresen;
  const host::Ptr<host::Presentation>& tran = ctx.prop.TranPresen;
  if (!orig || !tran) return false;
  const int align = ctx.Options().WindowAlign;
  if (align == 0) {
    if (tran->Windows()->Count() >= 1) tran->Windows()->Item(1)->Activate();
    return true;
  }
  WindowRect area;
  if (!GetArrangeArea(ctx.Version(), ctx.screen, &area)) {
    LOG_ERROR(kArrangeSource, L"screen area Err");
    return false;
  }
  WindowRect first, second;
  SplitArea(area, align, &first, &second);
  if (second.height == 0) return false;
  host::Ptr<host::DocumentWindow> origWindow = FirstWindow(orig, kArrangeSource);
  host::Ptr<host::DocumentWindow> tranWindow = FirstWindow(tran, kArrangeSource);
  if (!origWindow || !tranWindow) return false;
  Place(origWindow, first);
  Place(tranWindow, second);
  return true;
}

}  // namespace powerpoint
