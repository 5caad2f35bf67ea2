// Terms the user keeps or fixes in every translation: read from the option
// set's glossary file before a run and carried by the run option record.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace options {

// One glossary line: a term as written in the source text (whole words, case
// as written) and what stands for it in the translation.
struct GlossaryTerm {
  std::wstring Source;
  std::wstring Target;  // empty: the term stays as it is written

  bool operator==(const GlossaryTerm&) const = default;
};

// What reading a glossary gave: its terms in file order, or the reason there
// are none. A glossary with a single bad line is refused whole, so a run
// never goes ahead with part of what the user wrote.
struct GlossaryRead {
  bool ok = false;
  std::vector<GlossaryTerm> terms;
  std::wstring failure;  // one line; names the line for a bad one
};

// The file is UTF-8 (a byte-order mark is allowed), one `SOURCE<TAB>TARGET`
// per line; blank lines and lines whose first non-blank character is "#"
// are skipped; blanks around either side do not count. A line without a
// tab, with a second tab, without a term, that is not UTF-8, or that repeats
// an earlier term is bad.
GlossaryRead ParseGlossary(std::string_view bytes);

// Reads and parses the file at `path`; the failure then begins with the path.
GlossaryRead ReadGlossary(const std::wstring& path);

}  // namespace options
