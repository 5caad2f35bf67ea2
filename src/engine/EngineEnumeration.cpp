#include "src/engine/EngineEnumeration.h"

#include <algorithm>

#include "src/engine/LangCode.h"
#include "src/engine/server/EngineClasses.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace engine {

namespace {

using engine_server::IClientProperties;
using engine_server::IClientProperty;
using engine_server::IEngineFactory;
using engine_server::IEngineList;
using engine_server::IEngineListItem;
using engine_server::IImplementations;

const wchar_t* const kSource = L"EngineCaches:RefreshCache";

void Check(HRESULT hr, const wchar_t* what) {
  if (FAILED(hr)) throw platform::ComError(hr, what);
}

// Sets the factory's "ClientId" property. A failing call here is left in the
// thread's last-error code, where the caller's HasError test finds it and
// counts the implementation as failed.
void SetClientId(IEngineFactory& factory, const std::wstring& clientId) {
  std::shared_ptr<IClientProperties> properties;
  HRESULT hr = factory.Properties(&properties);
  if (FAILED(hr) || !properties) {
    LOG_ERROR(kSource, L"get_Properties FAIL");
    platform::SetLastErrorCode(static_cast<DWORD>(FAILED(hr) ? hr : E_POINTER));
    return;
  }
  LONG count = 0;
  hr = properties->Count(&count);
  if (FAILED(hr)) {
    platform::SetLastErrorCode(static_cast<DWORD>(hr));
    return;
  }
  for (LONG i = 1; i <= count; ++i) {
    std::shared_ptr<IClientProperty> property;
    hr = properties->Item(i, &property);
    if (FAILED(hr) || !property) {
      platform::SetLastErrorCode(static_cast<DWORD>(FAILED(hr) ? hr : E_POINTER));
      return;
    }
    std::wstring name;
    hr = property->Name(&name);
    if (FAILED(hr)) {
      platform::SetLastErrorCode(static_cast<DWORD>(hr));
      return;
    }
    if (name == L"ClientId") {
      hr = property->SetValue(clientId);
      if (FAILED(hr)) platform::SetLastErrorCode(static_cast<DWORD>(hr));
      return;
    }
  }
}

HRESULT MakeFactory(const std::wstring& displayLanguage, std::shared_ptr<IEngineFactory>* factory) {
  factory->reset();
  HRESULT hr = engine_server::CreateEngineFactory(factory);
  if (FAILED(hr) || !*factory) {
    LOG_ERROR(kSource, L"CoCreateInstance EngineFactory");
    return FAILED(hr) ? hr : E_POINTER;
  }
  if (!displayLanguage.empty()) Check((*factory)->SetDisplayLanguage(displayLanguage), L"DisplayLanguage");
  return S_OK;
}

// One pair read in full, or false when a property read failed.
bool ReadPair(IEngineListItem& item, const std::wstring& group, EngineEntry* entry) {
  std::wstring productName, fromLang, toLang, displayName, productNameShort, engineID;
  LONG flags = 0;
  if (FAILED(item.ProductName(&productName))) {
    LOG_ERROR(kSource, L"get_ProductName FAIL");
    return false;
  }
  LOG_DETAIL(kSource, productName);
  if (FAILED(item.FromLang(&fromLang))) {
    LOG_ERROR(kSource, L"get_FromLang FAIL");
    return false;
  }
  LOG_DETAIL(kSource, fromLang);
  if (FAILED(item.ToLang(&toLang))) {
    LOG_ERROR(kSource, L"get_ToLang FAIL");
    return false;
  }
  LOG_DETAIL(kSource, toLang);
  if (FAILED(item.DisplayName(&displayName))) {
    LOG_ERROR(kSource, L"get_DisplayName FAIL");
    return false;
  }
  LOG_DETAIL(kSource, displayName);
  if (FAILED(item.ProductNameShort(&productNameShort))) {
    LOG_ERROR(kSource, L"get_ProductNameShort FAIL");
    return false;
  }
  LOG_DETAIL(kSource, productNameShort);
  if (FAILED(item.EngineID(&engineID))) return false;
  LOG_DETAIL(kSource, engineID);
  if (FAILED(item.Flags(&flags))) return false;
  LOG_DETAIL(kSource, std::to_wstring(flags));

  entry->SetEngineID(engineID);
  entry->SetFromLang(NormalizeLangCode(fromLang));
  entry->SetToLang(NormalizeLangCode(toLang));
  entry->SetFlags(flags);
  entry->SetDisplayName(displayName);
  entry->SetProductName(productName);
  entry->SetProductNameShort(productNameShort);
  entry->SetEngineGroup(group);
  entry->SetChecked(1);
  return true;
}

}  // namespace

bool IsSkippedImplementation(const std::wstring& name) {
  static const wchar_t* const kSkipped[] = {L"selvan", L"quendal", L"quendal2", L"quendal3", L"quendal3_1",
                                            L"quendal4", L"ostrel", L"varnel", L"tessa", L"brommi", L"calder"};
  return std::any_of(std::begin(kSkipped), std::end(kSkipped),
                     [&](const wchar_t* s) { return platform::EqualsNoCase(name, s); });
}

std::wstring ClientIdText() {
  return L"Pelorant " + support::VersionInfo().GetValue(L"ProductVersion");
}

EnumResult CollectEngines(const std::wstring& displayLanguage, std::int32_t enumFlag) {
  EnumResult result;
  result.ending = EnumEnding::NotStarted;

  std::shared_ptr<IEngineFactory> factory;
  if (FAILED(MakeFactory(displayLanguage, &factory))) return result;

  std::shared_ptr<IImplementations> implementations;
  HRESULT hr = engine_server::CreateImplementations(&implementations);
  if (FAILED(hr) || !implementations) {
    LOG_ERROR(kSource, L"CoCreateInstance Implementations");
    return result;
  }

  std::vector<std::wstring> names;
  for (LONG index = 1;; ++index) {
    LONG count = 0;
    Check(implementations->Count(&count), L"Implementations.Count");
    if (index > count) break;
    std::wstring name;
    Check(implementations->Item(index, &name), L"Implementations.Item");
    LOG_DETAIL(kSource, name);
    if (!IsSkippedImplementation(name)) names.push_back(std::move(name));
  }
  implementations.reset();

  // Read before the loop: looking up the version block may leave a code in
  // the thread's last error, which the HasError test below must not see.
  const std::wstring clientId = ClientIdText();
  EngineEntryList entries;
  for (const std::wstring& name : names) {
    if (FAILED(MakeFactory(displayLanguage, &factory))) return result;
    support::ErrorList::Clear();
    Check(factory->SetImplementation(name), L"Implementation");
    {
      // Writing the log may touch the system; the HasError test below is
      // about the engine calls only.
      DWORD lastError = platform::GetLastErrorCode();
      LOG_INFO(kSource, name);
      platform::SetLastErrorCode(lastError);
    }
    SetClientId(*factory, clientId);
    if (support::ErrorList::HasError()) {
      ++result.failedImplementations;
      result.failedNames.push_back(name);
      continue;
    }

    LOG_INFO(kSource, L"Call GetEngineList");
    std::shared_ptr<IEngineList> list;
    hr = factory->GetEngineList(L"", L"", L"", enumFlag, &list);
    if (FAILED(hr)) {
      ++result.failedImplementations;
      if (hr == engine_server::ENGINE_E_UNAVAILABLE) {
        LOG_ERROR(kSource, L"GetEngineList Err:ENGINE_UNAVAILABLE");
        result.EngineUnavailable = true;
      } else {
        LOG_ERROR(kSource, L"GetEngineList Err:E_FAIL");
        result.failedNames.push_back(name);
      }
      continue;
    }

    LONG status = 0;
    Check(factory->WaitForResult(-1, &status), L"WaitForResult");
    if (status == engine_server::kRequestCancelled) {
      result.ending = EnumEnding::Cancelled;
      result.entries.clear();
      return result;
    }
    if (status == engine_server::kRequestFailed) {
      ++result.failedImplementations;
      result.failedNames.push_back(name);
      LONG code = 0;
      Check(factory->ErrorCode(&code), L"ErrorCode");
      if (code != 0) {
        Check(factory->ErrorCode(&code), L"ErrorCode");
        support::ErrorList::Add(support::ErrorList::EngineErrorToMessageId(code), L"");
      }
      continue;
    }
    if (status != engine_server::kRequestRunning && status != engine_server::kRequestDone) continue;
    if (!list) {
      // A finished listing without a list object: nothing to read.
      ++result.failedImplementations;
      result.failedNames.push_back(name);
      LOG_ERROR(kSource, L"GetEngineList Err:E_FAIL");
      continue;
    }

    for (LONG index = 1;; ++index) {
      LONG count = 0;
      Check(list->Count(&count), L"EngineList.Count");
      if (index > count) break;
      std::shared_ptr<IEngineListItem> item;
      Check(list->Item(index, &item), L"EngineList.Item");
      if (!item) throw platform::ComError(E_POINTER, L"EngineList.Item");
      EngineEntry entry;
      if (!ReadPair(*item, name, &entry)) continue;
      std::wstring key = entry.EngineKey();
      entries.emplace_back(std::move(key), std::move(entry));
    }
  }

  result.entries = std::move(entries);
  result.ending = EnumEnding::Done;
  return result;
}

void ApplyListingRules(EngineEntryList* entries, const std::wstring& productFilter) {
  static const wchar_t* const kHiddenIds[] = {
      L"kelboej.documentb.qov8",   L"kelboje.documentb.qov8",   L"kelboej.documentb.qov8cs",
      L"kelboje.documentb.qov8cs", L"kelboej.documentb.qov9",   L"kelboje.documentb.qov9",
      L"kelboej.documentb.qov9net", L"kelboje.documentb.qov9net"};
  auto hidden = [&](const EngineEntry& e) {
    if (!platform::EqualsNoCase(e.EngineGroup(), L"wren")) return false;
    return std::any_of(std::begin(kHiddenIds), std::end(kHiddenIds),
                       [&](const wchar_t* id) { return platform::EqualsNoCase(e.EngineID(), id); });
  };
  std::erase_if(*entries, [&](const auto& p) { return hidden(p.second); });
  if (!productFilter.empty()) {
    std::erase_if(*entries, [&](const auto& p) { return p.second.ProductName() != productFilter; });
  }
}

}  // namespace engine
