// The built-in engine families: older engine products whose pairs the add-in
// lists itself (the factory path skips their implementation names), after
// checking in the classes root of the registry that each engine is installed.
// Also the abbreviation tables of the sentence splitter.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "src/engine/EngineEntry.h"
#include "src/engine/server/EngineServer.h"
#include "src/platform/Types.h"

namespace engine {

struct FamilyPair {
  const wchar_t* engineID;
  const wchar_t* fromLang;
  const wchar_t* toLang;
  int displayId;  // language-resource text of the pair's name
  std::int32_t flags;
  // For Chinese families: index of the engine identifier (in
  // BuiltInFamily::engineIdentifiers) that must be installed. For European
  // families: 0 for the English pairs, 1 for the Japanese ones.
  int part;
};

enum class FamilyKind { Chinese, European };

struct BuiltInFamily {
  const wchar_t* name;  // becomes the EngineGroup of its entries
  FamilyKind kind;
  // Chinese families: one identifier per direction, each tested on its own.
  std::vector<const wchar_t*> engineIdentifiers;
  // European families: the helper's identifier and its file name.
  const wchar_t* helperIdentifier;
  const wchar_t* helperFile;
  int productNameId;
  int productNameShortId;
  std::vector<FamilyPair> pairs;
};

// The families in the order RefreshCache lists them.
const std::vector<BuiltInFamily>& BuiltInFamilies();
// The family with this name (ASCII case ignored), or nullptr.
const BuiltInFamily* FindBuiltInFamily(const std::wstring& name);

// The server file registered for a class identifier (ProgID) in the classes
// root: its CLSID's InprocServer32 default value, else LocalServer32's, with
// surrounding quotes and a trailing " /automation" removed. Empty when the
// identifier or its class is not registered.
std::wstring RegisteredServerPath(const std::wstring& identifier);
// Installed: the registered server file exists.
bool IsClassInstalled(const std::wstring& identifier);

// Whether the helper of a European family lets its Japanese pairs be listed:
// false when no helper object can be created or it does not say yes to
// capability 14.
bool HelperConfirmsJapanesePairs(const BuiltInFamily& family);

// The registered identifier through which an engine of a family is reached:
// the direction's engine identifier for a Chinese family ("SelvanCJ.Document"
// for "SelvanCJ.Document.CN"), the helper for a European one. Empty when the
// family has no such EngineID.
std::wstring FamilyIdentifierFor(const BuiltInFamily& family, const std::wstring& engineID);

// Opens the engine of a built-in family's pair through the family's helper
// object. The returned engine honours the same contract as one opened
// through the factory: wait on its WaitForResult for the open to end (1
// done, 3 failed with its ErrorCode), then Translate / LookupDictionary with
// WaitForResult and Cancel, and release it to close. Fails with
// REGDB_E_CLASSNOTREG for a group that is not a built-in family, an EngineID
// the family does not list, or an engine that is not installed; otherwise
// with the helper's own failure.
HRESULT OpenFamilyEngine(const std::wstring& group, const std::wstring& engineID,
                         std::shared_ptr<engine_server::ITranslationEngine>* engine);

// Appends the installed pairs of one family that can be opened (the engine
// is installed and its helper can be created here) to the list, as EnumFlag
// allows:
// with low := EnumFlag & 0x700FF and group := EnumFlag & 0x3C00, Chinese
// families need group bit 0x400; European ones need 0x400 (English pairs) or
// 0x800 (Japanese pairs, when low is 0 or 1 and the helper confirms); either
// kind lists nothing when low has a bit other than 0x1. An unknown family
// appends nothing.
void ListFamilyPairs(const std::wstring& family, EngineEntryList* list, std::int32_t enumFlag);

// The abbreviation entries for a language: the first existing file of
// "abbrev_<code>.tbl", "abbrev_<code>.tbb", "abbrev.tbl", "abbrev.tbb" in the
// add-in's module folder (or `folder` when given). UTF-16LE, optional
// byte-order mark, entries separated by CR LF; empty entries are dropped.
// Returns false with no entries when no file exists or the first existing one
// cannot be read as UTF-16LE text (the reason then goes to the log).
bool LoadAbbreviations(const std::wstring& langCode, std::vector<std::wstring>* entries,
                       const std::wstring& folder = std::wstring());

}  // namespace engine
