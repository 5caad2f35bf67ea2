// The engine half of building a run option record. It lives apart from
// TranslationOptionUDT.h because it reads engine::EngineEntry, whose library
// sits above the options library: only code that links the engine library
// (the facade, its tests) includes this header.
#pragma once

#include "src/engine/EngineEntry.h"
#include "src/engine/LangCode.h"
#include "src/options/TranslationOptionUDT.h"

namespace options {

inline void CopyEngineToUDT(const engine::EngineEntry& entry, const std::wstring& displayLanguage,
                            TranslationOptionUDT* record) {
  record->EngineGroup = entry.EngineGroup();
  record->EngineID = entry.EngineID();
  record->FromLang = entry.FromLang();
  record->ToLang = entry.ToLang();
  record->FromCharset = entry.FromCharset();
  record->ToCharset = entry.ToCharset();
  record->FromLcid = entry.FromLcid();
  record->ToLcid = entry.ToLcid();
  record->SentenceSeparator = SentenceSeparator(entry.ToLang());
  record->DisplayLanguage = displayLanguage;
}

// The whole record for a command. Without an engine the record stays empty,
// so a command that names no usable engine runs with nothing set. A missing
// option set leaves the option part empty.
inline TranslationOptionUDT BuildTranslationOptionUDT(const TranslationOption* set,
                                                      const engine::EngineEntry* entry,
                                                      const FacadeSwitches& switches,
                                                      const std::wstring& displayLanguage) {
  TranslationOptionUDT record;
  if (entry == nullptr) return record;
  if (set != nullptr) CopyOptionToUDT(*set, &record);
  CopySwitchesToUDT(switches, &record);
  CopyEngineToUDT(*entry, displayLanguage, &record);
  return record;
}

}  // namespace options
