// Language tags as DrawingML writes them (lang="en-US") and the Windows
// language ids the object model's LanguageID speaks.
#pragma once

#include <string>
#include <string_view>

namespace host::pptx {

// 0 for a tag the table does not know; a bare language ("de") maps to its
// primary region's id.
int LanguageIdFromTag(std::string_view tag);
// Empty for an id the table does not know.
std::string TagFromLanguageId(int languageId);

}  // namespace host::pptx
