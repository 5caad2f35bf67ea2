// Tables, comments and WordArt of a slide. Each returns false on failure;
// object-model failures throw ComError.
#pragma once

#include <string>
#include <utility>

#include "src/host/Host.h"
#include "src/powerpoint/RunContext.h"

namespace powerpoint {

bool TranslateShape_Table(RunContext& ctx, const host::Ptr<host::Shape>& source,
                          const host::Ptr<host::Shape>& target);
bool TranslateSlideComment(RunContext& ctx, const host::Ptr<host::Comments>& source,
                           const host::Ptr<host::Comments>& target);
// text is the caller's scratch pair (source, translation); skip is set to 1
// on entry and cleared when the shape was translated.
bool TranslateShape_WordArt(RunContext& ctx, const host::Ptr<host::Shape>& source,
                            const host::Ptr<host::Shape>& target, std::pair<std::wstring, std::wstring>& text,
                            int& skip);

}  // namespace powerpoint
