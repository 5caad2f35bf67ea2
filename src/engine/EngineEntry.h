// One language pair of one engine, as the engine cache lists it.
//
// The stored fields are what the engine (or a built-in family) reported; the
// derived ones (key, character sets, code pages, locale ids, language names)
// are worked out on first request and then kept, so reading them from a
// const entry is cheap and never changes what was already handed out.
// Copies are independent values.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace engine {

class EngineEntry {
 public:
  EngineEntry() = default;

  const std::wstring& EngineID() const { return mEngineID; }
  const std::wstring& FromLang() const { return mFromLang; }
  const std::wstring& ToLang() const { return mToLang; }
  const std::wstring& DisplayName() const { return mDisplayName; }
  std::int32_t Flags() const { return mFlags; }
  const std::wstring& ProductName() const { return mProductName; }
  const std::wstring& ProductNameShort() const { return mProductNameShort; }
  const std::wstring& EngineGroup() const { return mEngineGroup; }
  std::int32_t Checked() const { return mChecked; }

  // Setters store the text as given; engine answers are folded by the caller
  // (NormalizeLangCode) before they get here.
  void SetEngineID(std::wstring v) { mEngineID = std::move(v); }
  // A changed language or display name drops what was derived from the old one.
  void SetFromLang(std::wstring v) {
    mFromLang = std::move(v);
    mFromCharset = mFromCodePage = mFromLcid = -1;
  }
  void SetToLang(std::wstring v) {
    mToLang = std::move(v);
    mToCharset = mToCodePage = mToLcid = -1;
  }
  void SetDisplayName(std::wstring v) {
    mDisplayName = std::move(v);
    mFromLangName.clear();
    mToLangName.clear();
  }
  void SetFlags(std::int32_t v) { mFlags = v; }
  void SetProductName(std::wstring v) { mProductName = std::move(v); }
  void SetProductNameShort(std::wstring v) { mProductNameShort = std::move(v); }
  void SetEngineGroup(std::wstring v) { mEngineGroup = std::move(v); }
  void SetChecked(std::int32_t v) { mChecked = v; }

  // EngineGroup ":" EngineID. Empty while either part is empty; once formed it
  // is kept even if a part changes later, as the cache indexes entries by it.
  const std::wstring& EngineKey() const;

  // GDI character set, ANSI code page and locale id of FromLang / ToLang.
  std::int32_t FromCharset() const;
  std::int32_t ToCharset() const;
  std::int32_t FromCodePage() const;
  std::int32_t ToCodePage() const;
  std::int32_t FromLcid() const;
  std::int32_t ToLcid() const;

  // The two halves of DisplayName split at " - ", U+2192 or U+21D2 (the first
  // of these that occurs), trimmed. Both empty when DisplayName has none; that
  // case is tried again on the next request.
  const std::wstring& FromLangName() const;
  const std::wstring& ToLangName() const;

 private:
  void DeriveNames() const;

  std::wstring mEngineID;
  std::wstring mFromLang;
  std::wstring mToLang;
  std::wstring mDisplayName;
  std::int32_t mFlags = 0;
  std::wstring mProductName;
  std::wstring mProductNameShort;
  std::wstring mEngineGroup;
  std::int32_t mChecked = 1;

  mutable std::wstring mEngineKey;
  mutable std::int32_t mFromCharset = -1;
  mutable std::int32_t mToCharset = -1;
  mutable std::int32_t mFromCodePage = -1;
  mutable std::int32_t mToCodePage = -1;
  mutable std::int32_t mFromLcid = -1;
  mutable std::int32_t mToLcid = -1;
  mutable std::wstring mFromLangName;
  mutable std::wstring mToLangName;
};

// The cache's entry list: (EngineKey at insertion, entry) pairs in order.
// Duplicate keys are allowed; lookups take the first match.
using EngineEntryList = std::vector<std::pair<std::wstring, EngineEntry>>;

}  // namespace engine
