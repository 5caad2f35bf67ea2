// Conversions at the edges of the wide-string core. UTF-8 is what Linux
// files, terminals and command lines carry; UTF-16LE is what the Windows
// formats fix. On Linux wchar_t is 32-bit, so UTF-16 needs real surrogate
// handling; on Windows it is a copy.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace platform {

// Invalid input becomes U+FFFD; nothing throws.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view bytes);

// What an exception says, for the log and messages: a ComError's own
// description when it has one, else what() decoded as UTF-8 (the text of
// library and system errors).
std::wstring ExceptionText(const std::exception& e);

// UTF-16LE bytes (no byte-order mark handling) to and from the core's strings.
std::wstring FromUtf16Le(std::string_view bytes);
std::string ToUtf16Le(std::wstring_view text);

// ASCII-only case folding, for names that compare case-insensitively.
std::wstring AsciiLower(std::wstring_view text);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);

}  // namespace platform

namespace platform {

// Unicode character classes that do not depend on the process locale: the
// program runs under "C" as often as under a UTF-8 locale, and a word must
// stay a word either way ("niño" is one word, not "ni", "ñ", "o").
bool IsAlphaNumeric(wchar_t c);
bool IsWhiteSpace(wchar_t c);
bool IsPunctuation(wchar_t c);

}  // namespace platform
