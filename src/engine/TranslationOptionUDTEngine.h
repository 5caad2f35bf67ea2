// The engine half of building a run option record. It lives with the engine
// entries rather than beside TranslationOptionUDT.h because the options
// library sits below the engine library and never reads an engine entry.
#pragma once

#include "src/engine/EngineEntry.h"
#include "src/engine/LangCode.h"
#include "src/options/TranslationOptionUDT.h"

namespace engine {

inline void CopyEngineToUDT(const EngineEntry& entry, const std::wstring& displayLanguage,
                            options::TranslationOptionUDT* record) {
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
inline options::TranslationOptionUDT BuildTranslationOptionUDT(const options::TranslationOption* set,
                                                      const EngineEntry* entry,
                                                      const options::FacadeSwitches& switches,
                                                      const std::wstring& displayLanguage) {
  options::TranslationOptionUDT record;
  if (entry == nullptr) return record;
  if (set != nullptr) CopyOptionToUDT(*set, &record);
  CopySwitchesToUDT(switches, &record);
  CopyEngineToUDT(*entry, displayLanguage, &record);
  return record;
}

}  // namespace engine
