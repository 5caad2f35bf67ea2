// Glossary files as a user wrote them: whatever the bytes, reading either
// refuses them with a reason or gives terms that, written back one a line,
// read again as the same terms.
#include <string>

#include "fuzz/FuzzSupport.h"
#include "src/options/Glossary.h"
#include "src/platform/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const options::GlossaryRead read = options::ParseGlossary({reinterpret_cast<const char*>(data), size});
  if (!read.ok) {
    if (read.failure.empty()) fuzz::Fail("a refused glossary gives no reason");
    return 0;
  }
  // A byte-order mark and CR LF line ends: the reader takes one of each off,
  // so a term that begins with a mark or ends in a CR comes back whole.
  std::string written = "\xEF\xBB\xBF";
  for (const options::GlossaryTerm& term : read.terms) {
    if (term.Source.empty()) fuzz::Fail("a glossary term is empty");
    written += platform::ToUtf8(term.Source) + "\t" + platform::ToUtf8(term.Target) + "\r\n";
  }
  const options::GlossaryRead again = options::ParseGlossary(written);
  if (!again.ok || again.terms != read.terms) fuzz::Fail("a glossary written back reads differently");
  return 0;
}
