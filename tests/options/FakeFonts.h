// A font catalog with a fixed list per character set, so that the font check
// is tested without depending on the fonts of the machine.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "src/platform/Fonts.h"
#include "src/platform/Strings.h"

namespace optionstest {

class FakeFonts : public platform::FontCatalog {
 public:
  explicit FakeFonts(std::map<int, std::vector<std::wstring>> fonts)
      : mFonts(std::move(fonts)), mPrevious(platform::FontCatalog::SetCurrent(this)) {}
  ~FakeFonts() override { platform::FontCatalog::SetCurrent(mPrevious); }

  std::vector<std::wstring> InstalledFonts(int charset) override { return mFonts[charset]; }
  bool IsInstalled(const std::wstring& name, int charset) override {
    const auto& list = mFonts[charset];
    return std::any_of(list.begin(), list.end(),
                       [&](const std::wstring& f) { return platform::EqualsNoCase(f, name); });
  }

 private:
  std::map<int, std::vector<std::wstring>> mFonts;
  platform::FontCatalog* mPrevious;
};

// Every default font of an option set counts as installed.
inline std::map<int, std::vector<std::wstring>> DefaultFontsInstalled() {
  return {{0, {L"Arial"}},
          {128, {L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF"}},
          {129, {L"Gulim"}},
          {134, {L"SimSun"}},
          {136, {L"MingLiU"}},
          {204, {L"Arial"}},
          {238, {L"Arial"}}};
}

}  // namespace optionstest
