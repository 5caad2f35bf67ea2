#include <windows.h>

#include "src/platform/Strings.h"

namespace platform {
namespace {

WORD Type1(wchar_t c) {
  WORD type = 0;
  if (!GetStringTypeW(CT_CTYPE1, &c, 1, &type)) return 0;
  return type;
}

}  // namespace

// GetStringTypeW classifies by Unicode, independent of the thread's locale.
bool IsAlphaNumeric(wchar_t c) { return (Type1(c) & (C1_ALPHA | C1_DIGIT)) != 0; }
bool IsWhiteSpace(wchar_t c) { return (Type1(c) & (C1_SPACE | C1_BLANK)) != 0; }
bool IsPunctuation(wchar_t c) { return (Type1(c) & C1_PUNCT) != 0; }

}  // namespace platform
