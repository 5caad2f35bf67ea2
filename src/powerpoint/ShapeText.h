// The text of one shape: translated into its target copy, listed for the
// look-ahead, fitted into its box. Each returns false on failure;
// object-model failures throw ComError.
#pragma once

#include <vector>

#include "src/engine/Engine.h"
#include "src/host/Host.h"
#include "src/powerpoint/RunContext.h"

namespace powerpoint {

// Translates the text of source (read) into target (written). With
// useSelection only characters SelectedTextStart .. +SelectedTextSize-1;
// with paragraphMode paragraph by paragraph.
bool TranslateShapeTextRange(RunContext& ctx, const host::Ptr<host::Shape>& source,
                             const host::Ptr<host::Shape>& target, bool useSelection, bool paragraphMode);
// The segments TranslateShapeTextRange (without a selection) will cut the
// text of source into, in the order it will ask for them; read only.
// False when a text cannot be split.
bool CollectShapeTexts(RunContext& ctx, const host::Ptr<host::Shape>& source, bool paragraphMode,
                       std::vector<engine::TranslationSegment>* segments);
// The same two for a text laid out by a chart (a title, a typed label),
// which only the newer text model reaches; the chart fits it itself.
bool TranslateFrameText(RunContext& ctx, const host::Ptr<host::TextFrame2>& source,
                        const host::Ptr<host::TextFrame2>& target);
bool CollectFrameTexts(RunContext& ctx, const host::Ptr<host::TextFrame2>& source,
                       std::vector<engine::TranslationSegment>* segments);
// Shrinks the target's font sizes in whole points until its text fits,
// never below one point. It does not fail the run: a shape it cannot work
// on keeps the text as written, and one still too large at the smallest
// sizes is listed in stats.overflowing. False only without both shapes.
bool FitTextToShape(RunContext& ctx, const host::Ptr<host::Shape>& source, const host::Ptr<host::Shape>& target);

}  // namespace powerpoint
