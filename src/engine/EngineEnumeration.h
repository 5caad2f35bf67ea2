// Collecting the engine language pairs that the engine factory lists, one
// implementation after another, and the rules that hide some of them
// afterwards. Called by EngineCaches::RefreshCache only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "src/engine/EngineEntry.h"

namespace engine {

enum class EnumEnding {
  Done,        // every kept implementation was asked (some may have failed)
  Cancelled,   // an engine reported that the user cancelled the listing
  NotStarted,  // the factory or the implementation list could not be created
};

struct EnumResult {
  EngineEntryList entries;
  int failedImplementations = 0;
  // Names of the implementations that failed for a passing reason, in
  // order; not those that answered 0x80040402 (no usable engine at all).
  std::vector<std::wstring> failedNames;
  bool EngineUnavailable = false;
  EnumEnding ending = EnumEnding::NotStarted;
};

// Implementation names the factory path leaves out: the built-in families
// (listed by the add-in itself) and a few that are never listed. Compared
// without regard to ASCII case.
bool IsSkippedImplementation(const std::wstring& name);

// "Pelorant " plus the add-in's ProductVersion, the value given to the
// factory's "ClientId" property.
std::wstring ClientIdText();

// Asks the engine side for every implementation's pairs. The caller has
// prepared the thread for engine objects (InitializeEngineThread). A failing Count, Item,
// Implementation, WaitForResult or ErrorCode call raises ComError.
EnumResult CollectEngines(const std::wstring& displayLanguage, std::int32_t enumFlag);

// Removes the entries that are never offered (a few document engines of the
// "wren" group), then, when productFilter is not empty, every entry whose
// ProductName differs from it.
void ApplyListingRules(EngineEntryList* entries, const std::wstring& productFilter);

}  // namespace engine
