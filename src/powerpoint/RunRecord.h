// The record of one translation run over a PowerPoint presentation.
//
// Three presentations take part: OrigPresen (what the user started from),
// WorkPresen (a hidden copy every source text is read from) and TranPresen
// (what receives the translation: OrigPresen itself when the original is
// overwritten, else a second copy in a window of its own). Source shape i of
// a range in WorkPresen is the same shape as target shape i in TranPresen,
// because both copies were made at the same moment.
//
// Everything a run does runs on the user-interface thread. The only state shared
// with other threads is AppCommon's cancel flag (set by the progress
// dialog's thread and the facade's watchdog).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "src/host/Host.h"
#include "src/options/TranslationOptionUDT.h"

namespace powerpoint {

// The state of one run, created by the run body and released when it returns.
struct PPTTranProp {
  host::Ptr<host::Presentation> OrigPresen;
  host::Ptr<host::Presentation> WorkPresen;
  host::Ptr<host::Presentation> TranPresen;
  options::TranslationOptionUDT TranOption;
  options::TranslatedParts Parts;
  host::Ptr<host::Application> Application;
  std::int32_t OwnsOrigPresen = 1;
  std::int32_t OwnsWorkPresen = 1;
  std::int32_t OwnsTranPresen = 1;
  std::int32_t WindowViewType = 9;
  std::int32_t PaneViewType = 9;
  std::int32_t SelectionType = 0;  // 0 none, 1 slides, 2 shapes, 3 text
  std::int64_t ProgressTarget = 0;
  std::vector<std::wstring> SlideNames;
  // The selected shapes by id: names repeat on a slide once shapes are
  // copied and pasted, ids do not, and the copies keep them.
  std::vector<std::int32_t> ShapeIds;
  std::int32_t SelectedTextStart = 0;  // 1-based
  std::int32_t SelectedTextSize = 0;
  // The table cell the selected text is in (1-based); 0 when it is not in a table.
  std::int32_t SelectedCellRow = 0;
  std::int32_t SelectedCellColumn = 0;
  host::Ptr<host::SlideRange> OrigSlideRange;
  host::Ptr<host::SlideRange> TranSlideRange;
  std::int32_t TranslationSlideShapeCount = 0;
  std::int32_t CurrentTranslationSlideShapeNum = 0;
  std::int32_t CloseTranslationPresenWindow = 1;
  host::Ptr<host::ShapeRange> SelectTranslateShapeRange;
};

}  // namespace powerpoint
