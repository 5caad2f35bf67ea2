// Text that must come out of a translation as it went in: addresses, file
// paths, symbol characters, the user's glossary terms, and what the host
// holds as objects (fields, links shown as their address). Such stretches
// never reach the engine as words; they come back at their place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "src/options/Glossary.h"

namespace engine {

// One stretch of a text that is not translated. Positions count from 0.
struct ProtectedSpan {
  std::int32_t position = 0;
  std::int32_t length = 0;
  // What stands for it in the translation (a glossary term's target); none:
  // the stretch itself.
  std::optional<std::wstring> replacement;
  // The host holds it as an object: its characters are never rewritten, the
  // translation is written around them.
  bool held = false;
  bool operator==(const ProtectedSpan&) const = default;
};

// URLs (with a scheme or starting "www."), e-mail addresses, file paths
// ("C:\...", "\\server\...", "/a/b"), characters of the Private Use Area
// (symbol fonts) and whole-word glossary terms (case as written), in order
// and without overlaps: of two that overlap the earlier wins, of two that
// start together the longer.
std::vector<ProtectedSpan> FindProtectedSpans(const std::wstring& text,
                                              const std::vector<options::GlossaryTerm>& glossary);

// Both lists in one, in order: where spans overlap, the host's (held) ones
// win, then the earlier one.
std::vector<ProtectedSpan> MergeProtectedSpans(std::vector<ProtectedSpan> held, std::vector<ProtectedSpan> found);

// The characters that stand for span i of a text an engine keeps them in
// (one Private Use Area character each); as many as that area holds.
constexpr wchar_t kPlaceholderFirst = 0xE000;
constexpr wchar_t kPlaceholderLast = 0xF8FF;
inline bool IsPlaceholder(wchar_t c) { return c >= kPlaceholderFirst && c <= kPlaceholderLast; }

}  // namespace engine
