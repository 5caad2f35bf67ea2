// Terms the user keeps or fixes in every translation: read from the option
// set's glossary file before a run and carried by the run option record.
#pragma once

#include <string>

namespace options {

// One glossary line: a term as written in the source text (whole words, case
// as written) and what stands for it in the translation.
struct GlossaryTerm {
  std::wstring Source;
  std::wstring Target;  // empty: the term stays as it is written

  bool operator==(const GlossaryTerm&) const = default;
};

}  // namespace options
