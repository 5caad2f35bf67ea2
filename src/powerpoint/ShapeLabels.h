// The texts PowerPoint shows or speaks beside a shape's own text: its
// alternative text and title, and the screen tips of its links (on the shape
// and in its text).
#pragma once

#include "src/host/Host.h"
#include "src/powerpoint/PowerPointTranslationProcess.h"

namespace powerpoint {

// Translates, once the shapes of a range have their text translated, the
// alternative text and title of every shape of source into the shape at the
// same place in target (group, canvas and SmartArt members included), then
// the screen tips of the shape's own links and of those in the target's text
// and table cells, each kind only where the run's parts ask for it. Every
// text goes to the engine once; a text the engine leaves is counted as
// left. A cancel stops at the next text. Object-model failures throw
// ComError.
void TranslateShapeLabels(RunContext& ctx, const host::Ptr<host::ShapeRange>& source,
                          const host::Ptr<host::ShapeRange>& target);

}  // namespace powerpoint
