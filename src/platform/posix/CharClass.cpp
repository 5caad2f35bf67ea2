#include <clocale>
#include <cwctype>
#include <locale.h>

#include "src/platform/Strings.h"

namespace platform {
namespace {

// glibc always has C.UTF-8; its tables classify every Unicode letter.
locale_t UnicodeLocale() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!l) l = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
    return l;
  }();
  return loc;
}

// Without any UTF-8 locale, everything outside ASCII that is not a known
// space or punctuation mark counts as a letter, which keeps words whole.
bool FallbackPunct(wchar_t c) {
  return (c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF01 && c <= 0xFF0F) ||
         c == 0xA1 || c == 0xBF || c == 0xAB || c == 0xBB;
}

}  // namespace

bool IsAlphaNumeric(wchar_t c) {
  if (locale_t l = UnicodeLocale()) return iswalnum_l(static_cast<wint_t>(c), l) != 0;
  if (c < 0x80) return std::iswalnum(static_cast<wint_t>(c)) != 0;
  return !IsWhiteSpace(c) && !FallbackPunct(c);
}

bool IsWhiteSpace(wchar_t c) {
  if (locale_t l = UnicodeLocale()) return iswspace_l(static_cast<wint_t>(c), l) != 0 || c == 0xA0;
  return c == L' ' || (c >= 0x09 && c <= 0x0D) || c == 0xA0 || c == 0x3000 || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x2028 || c == 0x2029;
}

bool IsPunctuation(wchar_t c) {
  if (locale_t l = UnicodeLocale()) return iswpunct_l(static_cast<wint_t>(c), l) != 0;
  if (c < 0x80) return std::iswpunct(static_cast<wint_t>(c)) != 0;
  return FallbackPunct(c);
}

}  // namespace platform
