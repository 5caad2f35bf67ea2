// A value worked out from a document and kept while the document's edit
// count stands. Not for callers outside src/host/pptx.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

namespace host::pptx {

// Get hands back the kept value while `counted.Edits()` is the count it was
// made at, and otherwise calls make() and keeps what it returns. The count
// kept is the one read after make() returns: working a value out may run
// work left waiting (an edit), and the value is as of that later count.
// Forget() drops the value, for a key other than the count that moved.
template <typename T>
class KeptAt {
 public:
  template <typename Counted, typename Make>
  T& Get(const Counted& counted, Make&& make) {
    if (!mValue || mEdits != counted.Edits()) {
      mValue = std::forward<Make>(make)();
      mEdits = counted.Edits();
    }
    return *mValue;
  }
  void Forget() { mValue.reset(); }

 private:
  std::uint64_t mEdits = 0;
  std::optional<T> mValue;
};

}  // namespace host::pptx
