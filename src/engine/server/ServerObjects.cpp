#include "src/engine/server/ServerObjects.h"

#include "src/platform/Strings.h"

namespace engine_server {

class ClientProperties::Property : public IClientProperty {
 public:
  explicit Property(std::wstring name) : mName(std::move(name)) {}
  HRESULT Name(std::wstring* name) override {
    if (!name) return E_POINTER;
    *name = mName;
    return S_OK;
  }
  HRESULT SetValue(const std::wstring& value) override {
    std::lock_guard<std::mutex> lock(mMutex);
    mValue = value;
    return S_OK;
  }
  std::wstring Value() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mValue;
  }
  const std::wstring& PropertyName() const { return mName; }

 private:
  std::wstring mName;
  mutable std::mutex mMutex;
  std::wstring mValue;
};

ClientProperties::ClientProperties(std::vector<std::wstring> names) {
  for (auto& n : names) mItems.push_back(std::make_shared<Property>(std::move(n)));
}

HRESULT ClientProperties::Count(LONG* count) {
  if (!count) return E_POINTER;
  *count = static_cast<LONG>(mItems.size());
  return S_OK;
}

HRESULT ClientProperties::Item(LONG index, std::shared_ptr<IClientProperty>* property) {
  if (!property) return E_POINTER;
  if (index < 1 || index > static_cast<LONG>(mItems.size())) return DISP_E_BADINDEX;
  *property = mItems[index - 1];
  return S_OK;
}

std::wstring ClientProperties::Value(const std::wstring& name) const {
  for (const auto& p : mItems) {
    if (p->PropertyName() == name) return p->Value();
  }
  return {};
}

namespace {
HRESULT Give(const std::wstring& from, std::wstring* to) {
  if (!to) return E_POINTER;
  *to = from;
  return S_OK;
}
}  // namespace

HRESULT EngineListItem::EngineID(std::wstring* v) { return Give(mEntry.engineId, v); }
HRESULT EngineListItem::FromLang(std::wstring* v) { return Give(mEntry.fromLang, v); }
HRESULT EngineListItem::ToLang(std::wstring* v) { return Give(mEntry.toLang, v); }
HRESULT EngineListItem::DisplayName(std::wstring* v) { return Give(mEntry.displayName, v); }
HRESULT EngineListItem::ProductName(std::wstring* v) { return Give(mEntry.productName, v); }
HRESULT EngineListItem::ProductNameShort(std::wstring* v) { return Give(mEntry.productNameShort, v); }
HRESULT EngineListItem::Flags(LONG* v) {
  if (!v) return E_POINTER;
  *v = mEntry.flags;
  return S_OK;
}

HRESULT EngineList::Count(LONG* count) {
  if (!count) return E_POINTER;
  std::lock_guard<std::mutex> lock(mMutex);
  *count = static_cast<LONG>(mItems.size());
  return S_OK;
}

HRESULT EngineList::Item(LONG index, std::shared_ptr<IEngineListItem>* item) {
  if (!item) return E_POINTER;
  std::lock_guard<std::mutex> lock(mMutex);
  if (index < 1 || index > static_cast<LONG>(mItems.size())) return DISP_E_BADINDEX;
  *item = mItems[index - 1];
  return S_OK;
}

void EngineList::Append(std::shared_ptr<IEngineListItem> item) {
  std::lock_guard<std::mutex> lock(mMutex);
  mItems.push_back(std::move(item));
}

HRESULT TranslationResult::Text(std::wstring* text) {
  if (!text) return E_POINTER;
  std::lock_guard<std::mutex> lock(mMutex);
  *text = mText;
  return S_OK;
}

HRESULT TranslationResult::Correspondence(std::vector<WordCorrespondence>* groups) {
  if (!groups) return E_POINTER;
  std::lock_guard<std::mutex> lock(mMutex);
  *groups = mGroups;
  return S_OK;
}

void TranslationResult::Set(std::wstring text, std::vector<WordCorrespondence> groups) {
  std::lock_guard<std::mutex> lock(mMutex);
  mText = std::move(text);
  mGroups = std::move(groups);
}

HRESULT DictionaryResult::Text(std::wstring* text) {
  if (!text) return E_POINTER;
  std::lock_guard<std::mutex> lock(mMutex);
  *text = mText;
  return S_OK;
}

void DictionaryResult::Set(std::wstring text) {
  std::lock_guard<std::mutex> lock(mMutex);
  mText = std::move(text);
}

HRESULT ServerEngine::SplitSentences(const std::wstring&, LONG, std::vector<SentenceSpan>* sentences) {
  if (!sentences) return E_POINTER;
  sentences->clear();
  return S_FALSE;
}

HRESULT ServerFactory::Properties(std::shared_ptr<IClientProperties>* properties) {
  if (!properties) return E_POINTER;
  *properties = mProperties;
  return S_OK;
}

std::wstring LookupWord(std::wstring selection) {
  auto loose = [](wchar_t c) { return platform::IsWhiteSpace(c) || platform::IsPunctuation(c); };
  while (!selection.empty() && loose(selection.back())) selection.pop_back();
  while (!selection.empty() && loose(selection.front())) selection.erase(selection.begin());
  return selection;
}

}  // namespace engine_server
