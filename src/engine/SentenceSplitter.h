// The add-in's own sentence splitter, used when the open engine does not cut
// a text itself.
//
// A text is cut after a run of line ends (CR, LF, VT), so a segment's line
// ends stay at its end, and after a sentence end (".", "!", "?", or their
// full-width forms, with any closing quotes and brackets) that is followed
// by white space or ends the text. The blanks after a sentence end start the
// next segment. A full stop that ends one of the abbreviation entries
// ("Mr.", "e.g.") is no sentence end. The spans cover the text in order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

struct TextSpan {
  std::int32_t position = 0;
  std::int32_t length = 0;
  bool operator==(const TextSpan&) const = default;
};

std::vector<TextSpan> SplitIntoSentences(const std::wstring& text, const std::vector<std::wstring>& abbreviations);

// True when spans cover [0, textLength) in order, without gaps or empty spans.
bool SpansCoverText(const std::vector<TextSpan>& spans, std::int32_t textLength);

}  // namespace engine
