// A fake engine server: the engine side's two classes and the objects they
// hand out, each laid out as a table of function pointers filled by position
// number. Nothing here is shared with the add-in's client declarations, so a
// client that calls the wrong position reaches a different function (or the
// "wrong slot" placeholder, kWrongSlot) and its test fails.
//
// What it serves:
// - Implementations: "FakeCom"; with PELORANT_FAKE_FAULTY_IMPLEMENTATIONS=1
//   in the environment also "Unavailable" and a null name. A machine with
//   the server installed has working engines only, as a user's would; the
//   faulty ones are there for the tests of the add-in's answer to them.
// - EngineFactory: "Unavailable" fails listing with 0x80040402; otherwise
//   three pairs. DisplayName is display language ":" EngineID; ProductName
//   is "Fake " and the ClientId property's value. Opening "fake.broken"
//   ends with status 3, error code 30002.
// - TranslationEngine: words are upper-cased and put in reverse order; "a"
//   is dropped (a group with no translation range). Mode 2 reports one
//   correspondence group per source word. "hang" keeps running until
//   Cancel (status 2), "fail" ends with status 3, error code 30006.
//   With PELORANT_FAKE_TRANSFORM=bracket in the environment, every other
//   text comes back whole as "⟦" text "⟧" instead, each source word
//   corresponding to itself inside the brackets: a run's output then shows
//   how often each text went through the engine.
//   LookupDictionary knows "cat" only (else status 3, code 30003).
//   Sentences end after ". "; "nosplit" is not split (E_NOTIMPL). The
//   settings dialog answers S_OK, the dictionary dialog S_FALSE, so a test
//   can tell which one ran.
// - FakeFamily.Helper: a family helper (the add-in's own helper interface,
//   7 Supports, 8 OpenEngine) that confirms capability 14 only and opens
//   "en.ja" and "ja.en" as the engine above; other ids fail (E_INVALIDARG).
// Requests finish at once; WaitForResult never blocks.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cwctype>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr HRESULT kWrongSlot = static_cast<HRESULT>(0x8004DEADL);
constexpr HRESULT kUnavailable = static_cast<HRESULT>(0x80040402L);

// Ids as the engine side publishes them.
const CLSID kClsidImplementations = {0xD2EF2BC4, 0xDBAE, 0x40FA, {0x96, 0x57, 0x3A, 0x37, 0xB8, 0xD8, 0xB5, 0x3B}};
const CLSID kClsidEngineFactory = {0x0966145B, 0x7DB5, 0x4CB6, {0x9C, 0xA1, 0x34, 0x1F, 0x6E, 0x85, 0xE9, 0x5A}};
const IID kIidImplementations = {0xD000C846, 0x5B1A, 0x4B0F, {0xBA, 0x79, 0xEE, 0x03, 0x3A, 0xA1, 0xD7, 0xD7}};
const IID kIidEngineFactory = {0x7254AEC9, 0xA349, 0x469F, {0xA9, 0x06, 0x6F, 0x1A, 0x10, 0x95, 0x6E, 0x4B}};
const CLSID kClsidFamilyHelper = {0xF92AF385, 0xE10A, 0x4C16, {0x98, 0x9A, 0x3F, 0x80, 0x18, 0xCD, 0x60, 0x3B}};
const IID kIidFamilyHelper = {0x15C40F77, 0xE2D3, 0x4262, {0xBD, 0x73, 0x19, 0x3F, 0xBE, 0x4A, 0x70, 0xFC}};
constexpr wchar_t kHelperProgId[] = L"FakeFamily.Helper";

HINSTANCE gModule = nullptr;
std::atomic<long> gLive{0};

BSTR Alloc(const std::wstring& s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }
std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

// Every object starts with its table pointer, as a COM object must. Only
// what a class makes answers an interface of its own; the rest are handed
// out and called by position alone.
struct Object {
  Object() { ++gLive; }
  ~Object() { --gLive; }
  void* const* table = nullptr;
  std::atomic<ULONG> refs{1};
  IID iid = IID_IUnknown;
  void (*destroy)(Object*) = nullptr;
};

template <typename T>
T* Make(void* const* table, const IID& iid = IID_IUnknown) {
  T* o = new T();
  o->table = table;
  o->iid = iid;
  o->destroy = [](Object* self) { delete static_cast<T*>(self); };
  return o;
}

ULONG STDMETHODCALLTYPE AddRef(Object* self) { return ++self->refs; }
ULONG STDMETHODCALLTYPE Release(Object* self) {
  if (!self) return 0;
  const ULONG left = --self->refs;
  if (left == 0) self->destroy(self);
  return left;
}
HRESULT STDMETHODCALLTYPE QueryInterface(Object* self, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IDispatch && iid != self->iid) return E_NOINTERFACE;
  AddRef(self);
  *out = self;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE NoDispatch(Object*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE WrongSlot(Object*) { return kWrongSlot; }

template <typename F>
std::pair<int, void*> At(int position, F fn) { return {position, reinterpret_cast<void*>(fn)}; }
// A table of `size` positions: IUnknown and IDispatch first, the given
// positions next, every other position the wrong-slot placeholder.
using Table = std::array<void*, 32>;
Table MakeTable(int size, std::initializer_list<std::pair<int, void*>> entries) {
  Table t{};
  for (int i = 0; i < size; ++i) t[i] = reinterpret_cast<void*>(i < 7 ? &NoDispatch : &WrongSlot);
  for (const auto& [position, fn] : {At(0, &QueryInterface), At(1, &AddRef), At(2, &Release)}) t[position] = fn;
  for (const auto& [position, fn] : entries) t[position] = fn;
  return t;
}
// The one table of a kind of object, made on first use.
#define SLOT_TABLE(Name, size, ...)                        \
  const Table& Name() {                                    \
    static const Table t = MakeTable(size, {__VA_ARGS__}); \
    return t;                                              \
  }

HRESULT Hand(Object* o, void** out) { return *out = o, S_OK; }

// ---- lists: Item (1-based) and Count, at the positions of the list's kind;
// the items are made with the list, and each Item hands one out again.
struct List : Object {
  std::vector<Object*> items;
  ~List() {
    for (Object* o : items) Release(o);
  }
};
HRESULT STDMETHODCALLTYPE ListAt(List* s, LONG index, void** out) {
  if (index < 1 || index > static_cast<LONG>(s->items.size())) return DISP_E_BADINDEX;
  AddRef(s->items[index - 1]);
  return Hand(s->items[index - 1], out);
}
HRESULT STDMETHODCALLTYPE ListCount(List* s, LONG* count) { return *count = static_cast<LONG>(s->items.size()), S_OK; }

// ---- request base (positions 7-9), shared by the factory and the engine;
// status 0 is a request still running, which only Cancel ends.
struct Request : Object {
  LONG status = 1;
  LONG error = 0;
};
HRESULT STDMETHODCALLTYPE WaitForResult(Request* self, LONG, LONG* status) { return *status = self->status, S_OK; }
HRESULT STDMETHODCALLTYPE Cancel(Request* self) {
  if (self->status == 0) self->status = 2;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE ErrorCode(Request* s, LONG* code) { return *code = s->status == 3 ? s->error : 0, S_OK; }
void Finish(Request* r, LONG status, LONG error) {
  r->status = status;
  r->error = error;
}

// ---- Implementations: 8 Item, 9 Count
// Read at every call, so that a test process can switch the faulty
// implementations on for itself.
LONG ImplementationCount() {
  wchar_t value[4] = {};
  const DWORD n = GetEnvironmentVariableW(L"PELORANT_FAKE_FAULTY_IMPLEMENTATIONS", value, 4);
  return n == 1 && value[0] == L'1' ? 3 : 1;
}
HRESULT STDMETHODCALLTYPE ImplementationsItem(Object*, LONG index, BSTR* name) {
  static const wchar_t* const names[] = {L"FakeCom", L"Unavailable", nullptr};
  if (index < 1 || index > ImplementationCount()) return DISP_E_BADINDEX;
  return *name = names[index - 1] ? Alloc(names[index - 1]) : nullptr, S_OK;
}
HRESULT STDMETHODCALLTYPE ImplementationsCount(Object*, LONG* count) { return *count = ImplementationCount(), S_OK; }
SLOT_TABLE(ImplementationsTable, 10, At(8, &ImplementationsItem), At(9, &ImplementationsCount))

// ---- language pairs
struct Pair {
  const wchar_t *id, *from, *to;
  LONG flags;
};
const Pair kPairs[] = {
    {L"fake.en.ja", L"en", L"ja", 0x9},
    {L"fake.ja.en", L"ja", L"en", 0x1},
    {L"fake.broken", L"en", L"de", 0x1},
};

struct Factory : Request {
  std::wstring implementation, language, clientId;
};

// ---- engine list item: 7 EngineID, 8 FromLang, 9 ToLang, 10 Flags,
// 11 DisplayName, 12 ProductName, 13 ProductNameShort
struct ListItem : Object {
  std::array<std::wstring, 6> texts;  // the texts at 7-9 and 11-13, in order
  LONG flags = 0;
};
template <int N>
HRESULT STDMETHODCALLTYPE ItemText(ListItem* s, BSTR* v) { return *v = Alloc(s->texts[N]), S_OK; }
HRESULT STDMETHODCALLTYPE ItemFlags(ListItem* s, LONG* v) { return *v = s->flags, S_OK; }
SLOT_TABLE(ListItemTable, 14, At(7, &ItemText<0>), At(8, &ItemText<1>), At(9, &ItemText<2>), At(10, &ItemFlags),
           At(11, &ItemText<3>), At(12, &ItemText<4>), At(13, &ItemText<5>))

SLOT_TABLE(EngineListTable, 10, At(8, &ListAt), At(9, &ListCount))

// ---- client property (8 put value, 9 name) and collection (8 Item, 9 Count)
struct Property : Object {
  Factory* owner = nullptr;
  ~Property() { Release(owner); }
};
HRESULT STDMETHODCALLTYPE PropertyPut(Property* s, VARIANT value) {
  if (value.vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
  s->owner->clientId = Text(value.bstrVal);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE PropertyName(Property*, BSTR* name) { return *name = Alloc(L"ClientId"), S_OK; }
SLOT_TABLE(PropertyTable, 10, At(8, &PropertyPut), At(9, &PropertyName))
// The one property; its index comes as a VARIANT.
HRESULT STDMETHODCALLTYPE PropertiesItem(List* s, VARIANT index, void** out) {
  return index.vt == VT_I4 ? ListAt(s, index.lVal, out) : DISP_E_TYPEMISMATCH;
}
SLOT_TABLE(PropertiesTable, 10, At(8, &PropertiesItem), At(9, &ListCount))

// ---- correspondence: group (7 source count, 8 translation count, 9 source
// range, 10 translation range), item (12 group), list (8 Item, 9 Count)
using Ranges = std::vector<std::pair<LONG, LONG>>;
struct Group : Object {
  Ranges source, translation;
};
template <Ranges Group::*kRanges>
HRESULT STDMETHODCALLTYPE GroupCount(Group* s, LONG* n) { return *n = static_cast<LONG>((s->*kRanges).size()), S_OK; }
template <Ranges Group::*kRanges>
HRESULT STDMETHODCALLTYPE GroupRange(Group* s, LONG index, LONG* position, LONG* length) {
  const Ranges& ranges = s->*kRanges;
  if (index < 1 || index > static_cast<LONG>(ranges.size())) return DISP_E_BADINDEX;
  *position = ranges[index - 1].first;
  *length = ranges[index - 1].second;
  return S_OK;
}
SLOT_TABLE(GroupTable, 11, At(7, &GroupCount<&Group::source>), At(8, &GroupCount<&Group::translation>),
           At(9, &GroupRange<&Group::source>), At(10, &GroupRange<&Group::translation>))
struct CorrespondenceItem : Object {
  Group* group = nullptr;
  ~CorrespondenceItem() { Release(group); }
};
HRESULT STDMETHODCALLTYPE ItemGroup(CorrespondenceItem* s, void** out) {
  AddRef(s->group);
  return Hand(s->group, out);
}
SLOT_TABLE(CorrespondenceItemTable, 13, At(12, &ItemGroup))
SLOT_TABLE(CorrespondenceListTable, 10, At(8, &ListAt), At(9, &ListCount))

// ---- results: translation (7 text, 8 correspondence), dictionary (7 text)
struct Result : Object {
  std::wstring text;
  List* correspondence = nullptr;
  ~Result() { Release(correspondence); }
};
HRESULT STDMETHODCALLTYPE ResultText(Result* s, BSTR* text) { return *text = Alloc(s->text), S_OK; }
HRESULT STDMETHODCALLTYPE ResultCorrespondence(Result* s, void** out) {
  if (s->correspondence) AddRef(s->correspondence);
  return Hand(s->correspondence, out);
}
SLOT_TABLE(ResultTable, 9, At(7, &ResultText), At(8, &ResultCorrespondence))
SLOT_TABLE(DictionaryResultTable, 8, At(7, &ResultText))

// ---- engine info (10 flags)
HRESULT STDMETHODCALLTYPE InfoFlags(Object*, LONG* flags) { return *flags = 0xD, S_OK; }
SLOT_TABLE(InfoTable, 11, At(10, &InfoFlags))

// ---- sentences: list (7 Count, 8 Item), sentence (7 position, 8 length)
struct Sentence : Object {
  LONG position = 0, length = 0;
};
HRESULT STDMETHODCALLTYPE SentencePosition(Sentence* s, LONG* v) { return *v = s->position, S_OK; }
HRESULT STDMETHODCALLTYPE SentenceLength(Sentence* s, LONG* v) { return *v = s->length, S_OK; }
SLOT_TABLE(SentenceTable, 9, At(7, &SentencePosition), At(8, &SentenceLength))
SLOT_TABLE(SentenceListTable, 9, At(7, &ListCount), At(8, &ListAt))

// ---- translation engine: request base, 12 Info, 13 Translate,
// 14 LookupDictionary, 20 settings dialog, 26 SplitSentences, 27 dictionary
// dialog
HRESULT STDMETHODCALLTYPE EngineInfo(Request*, void** out) { return Hand(Make<Object>(InfoTable().data()), out); }

HRESULT STDMETHODCALLTYPE Translate(Request* self, BSTR text, LONG mode, void** out) {
  const std::wstring source = Text(text);
  auto* result = Make<Result>(ResultTable().data());
  if (source == L"hang" || source == L"fail") {
    Finish(self, source == L"hang" ? 0 : 3, 30006);
    return Hand(result, out);
  }
  // Words of the source, then the translation in reverse order.
  Ranges words;
  // Read once: the server's answers stay the same for the life of the process.
  static const bool bracket = [] {
    wchar_t value[16] = {};
    const DWORD n = GetEnvironmentVariableW(L"PELORANT_FAKE_TRANSFORM", value, 16);
    return n > 0 && n < 16 && std::wstring(value) == L"bracket";
  }();
  for (size_t i = source.find_first_not_of(L' '); i != std::wstring::npos; i = source.find_first_not_of(L' ', i)) {
    const size_t end = std::min(source.find(L' ', i), source.size());
    words.emplace_back(static_cast<LONG>(i), static_cast<LONG>(end - i));
    i = end;
  }
  // One group per source word, in source order, each in an item of the list.
  List* list = result->correspondence = Make<List>(CorrespondenceListTable().data());
  list->items.resize(words.size());
  for (size_t w = words.size(); w-- > 0;) {
    const std::wstring word = source.substr(words[w].first, words[w].second);
    Group* g = Make<Group>(GroupTable().data());
    g->source.push_back(words[w]);
    if (bracket) {
      g->translation.emplace_back(words[w].first + 1, words[w].second);
    } else if (word != L"a") {
      if (!result->text.empty()) result->text += L' ';
      g->translation.emplace_back(static_cast<LONG>(result->text.size()), static_cast<LONG>(word.size()));
      for (wchar_t c : word) result->text += static_cast<wchar_t>(std::towupper(c));
    }
    auto* item = Make<CorrespondenceItem>(CorrespondenceItemTable().data());
    item->group = g;
    list->items[w] = item;
  }
  if (bracket) result->text = L"\u27E6" + source + L"\u27E7";
  // The plain mode (1) answers no list at all.
  if (mode != 2) Release(std::exchange(result->correspondence, nullptr));
  Finish(self, 1, 0);
  return Hand(result, out);
}

HRESULT STDMETHODCALLTYPE LookupDictionary(Request* self, BSTR word, void** out) {
  auto* result = Make<Result>(DictionaryResultTable().data());
  const bool known = Text(word) == L"cat";
  if (known) result->text = L"neko (noun)";
  Finish(self, known ? 1 : 3, known ? 0 : 30003);
  return Hand(result, out);
}

HRESULT STDMETHODCALLTYPE SettingsDialog(Request*, LONG_PTR) { return S_OK; }
HRESULT STDMETHODCALLTYPE DictionaryDialog(Request*, LONG_PTR) { return S_FALSE; }

HRESULT STDMETHODCALLTYPE SplitSentences(Request*, BSTR text, LONG mode, void** out) {
  if (mode != 1) return E_INVALIDARG;
  const std::wstring s = Text(text);
  if (s == L"nosplit") return E_NOTIMPL;
  auto* list = Make<List>(SentenceListTable().data());
  for (size_t start = 0, end = 0; start < s.size(); start = end) {
    end = s.find(L". ", start);
    end = end == std::wstring::npos ? s.size() : end + 2;
    auto* sentence = Make<Sentence>(SentenceTable().data());
    sentence->position = static_cast<LONG>(start);
    sentence->length = static_cast<LONG>(end - start);
    list->items.push_back(sentence);
  }
  return Hand(list, out);
}

SLOT_TABLE(EngineTable, 28, At(7, &WaitForResult), At(8, &Cancel), At(9, &ErrorCode), At(12, &EngineInfo),
           At(13, &Translate), At(14, &LookupDictionary), At(20, &SettingsDialog), At(26, &SplitSentences),
           At(27, &DictionaryDialog))

// ---- engine factory: request base, 14 Implementation, 16 DisplayLanguage,
// 17 Properties, 18 GetEngineList, 19 GetEngine
HRESULT STDMETHODCALLTYPE PutImplementation(Factory* s, BSTR name) { return s->implementation = Text(name), S_OK; }
HRESULT STDMETHODCALLTYPE PutDisplayLanguage(Factory* s, BSTR language) { return s->language = Text(language), S_OK; }
HRESULT STDMETHODCALLTYPE GetProperties(Factory* self, void** out) {
  auto* list = Make<List>(PropertiesTable().data());
  auto* p = Make<Property>(PropertyTable().data());
  p->owner = self;
  AddRef(self);
  list->items.push_back(p);
  return Hand(list, out);
}
HRESULT STDMETHODCALLTYPE GetEngineList(Factory* self, BSTR engineId, BSTR, BSTR, LONG, void** out) {
  if (self->implementation == L"Unavailable") return kUnavailable;
  auto* list = Make<List>(EngineListTable().data());
  const std::wstring wanted = Text(engineId);
  for (const Pair& p : kPairs) {
    if (!wanted.empty() && wanted != p.id) continue;
    auto* item = Make<ListItem>(ListItemTable().data());
    item->texts = {p.id, p.from, p.to, self->language + L":" + p.id, L"Fake " + self->clientId, L"F"};
    item->flags = p.flags;
    list->items.push_back(item);
  }
  Finish(self, 1, 0);
  return Hand(list, out);
}
HRESULT STDMETHODCALLTYPE GetEngine(Factory* self, VARIANT item, void** out) {
  if (item.vt != VT_DISPATCH || !item.pdispVal) return E_INVALIDARG;
  auto* listed = reinterpret_cast<ListItem*>(item.pdispVal);
  if (listed->table != ListItemTable().data()) return E_INVALIDARG;
  auto* engine = Make<Request>(EngineTable().data());
  const bool broken = listed->texts[0] == L"fake.broken";
  Finish(self, broken ? 3 : 1, broken ? 30002 : 0);
  if (broken) Finish(engine, 3, 30002);
  return Hand(engine, out);
}
SLOT_TABLE(FactoryTable, 20, At(7, &WaitForResult), At(8, &Cancel), At(9, &ErrorCode), At(14, &PutImplementation),
           At(16, &PutDisplayLanguage), At(17, &GetProperties), At(18, &GetEngineList), At(19, &GetEngine))

// ---- family helper: 7 Supports, 8 OpenEngine
HRESULT STDMETHODCALLTYPE HelperSupports(Object*, LONG capability, VARIANT_BOOL* yes) {
  return *yes = capability == 14 ? VARIANT_TRUE : VARIANT_FALSE, S_OK;
}
HRESULT STDMETHODCALLTYPE HelperOpenEngine(Object*, BSTR engineId, void** out) {
  const std::wstring id = Text(engineId);
  if (id != L"en.ja" && id != L"ja.en") return E_INVALIDARG;
  return Hand(Make<Request>(EngineTable().data()), out);
}
SLOT_TABLE(HelperTable, 9, At(7, &HelperSupports), At(8, &HelperOpenEngine))
#undef SLOT_TABLE

// ---- the class objects, each making one kind of object
class ClassObject final : public IClassFactory {
 public:
  ClassObject(const CLSID& id, Object* (*make)()) : clsid(id), mMake(make) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return *out = nullptr, E_NOINTERFACE;
    AddRef();
    *out = this;
    return S_OK;
  }
  // A class object lives as long as the module; its references keep the
  // module loaded.
  ULONG STDMETHODCALLTYPE AddRef() override { return ++gLive, 2; }
  ULONG STDMETHODCALLTYPE Release() override { return --gLive, 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Object* o = mMake();
    const HRESULT hr = ::QueryInterface(o, iid, out);
    ::Release(o);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override { return lock ? ++gLive : --gLive, S_OK; }
  const CLSID& clsid;

 private:
  Object* (*mMake)();
};
ClassObject gClasses[] = {
    {kClsidEngineFactory, []() -> Object* { return Make<Factory>(FactoryTable().data(), kIidEngineFactory); }},
    {kClsidImplementations,
     []() -> Object* { return Make<Object>(ImplementationsTable().data(), kIidImplementations); }},
    {kClsidFamilyHelper, []() -> Object* { return Make<Object>(HelperTable().data(), kIidFamilyHelper); }},
};

std::wstring ClassKey(const CLSID& clsid) {
  wchar_t text[40];
  StringFromGUID2(clsid, text, 40);
  return std::wstring(L"CLSID\\") + text;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) gModule = instance;
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  for (ClassObject& c : gClasses)
    if (clsid == c.clsid) return c.QueryInterface(iid, out);
  *out = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return gLive.load() == 0 ? S_OK : S_FALSE; }

// In the machine's class registry, where COM looks on every system (a
// per-user registration is not seen everywhere).
STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(gModule, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return E_UNEXPECTED;
  for (const ClassObject& c : gClasses) {
    const std::wstring key = ClassKey(c.clsid) + L"\\InprocServer32";
    LONG rc = RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, path, (n + 1) * sizeof(wchar_t));
    if (rc == ERROR_SUCCESS)
      rc = RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), L"ThreadingModel", REG_SZ, L"Apartment",
                           sizeof L"Apartment");
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  }
  const std::wstring helper = ClassKey(kClsidFamilyHelper).substr(6);  // the text after "CLSID\\"
  const LONG rc = RegSetKeyValueW(HKEY_CLASSES_ROOT, (std::wstring(kHelperProgId) + L"\\CLSID").c_str(), nullptr,
                                  REG_SZ, helper.c_str(), static_cast<DWORD>((helper.size() + 1) * sizeof(wchar_t)));
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

STDAPI DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kHelperProgId);
  for (const ClassObject& c : gClasses) RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey(c.clsid).c_str());
  return S_OK;
}
