// A whole collection of option sets as one line, for tests that compare it.
#pragma once

#include <string>
#include <vector>

#include "src/options/TranslationOptions.h"

namespace optionstest {

// The sets as "name pair=value ...|", with only the pairs that differ from a
// fresh set's and the selected set marked "*".
inline std::wstring Render(const options::TranslationOptions& opts) {
  using options::TranslationOptions;
  std::vector<std::wstring> names, fresh, values;
  TranslationOptions::ToNameValue(options::TranslationOption(), &names, &fresh, true);
  std::wstring out;
  for (size_t i = 0; i < opts.Count(); ++i) {
    TranslationOptions::ToNameValue(opts.At(i), &names, &values, true);
    out += (values[0] == opts.SelectedName() ? L"*" : L"") + values[0];
    for (size_t p = 1; p < names.size(); ++p) {
      if (values[p] != fresh[p]) out += L" " + names[p] + L"=" + values[p];
    }
    out += L"|";
  }
  return out;
}

}  // namespace optionstest
