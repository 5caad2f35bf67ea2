#include <algorithm>

#include "src/host/pptx/PptxModel.h"
#include "src/platform/Strings.h"

namespace host::pptx {

namespace {

class SlideImpl : public host::Slide {
 public:
  SlideImpl(std::shared_ptr<Document> d, int id) : mDoc(std::move(d)), mId(id) {}

  const SlideInfo& Info() {
    mDoc->CheckOpen();
    const SlideInfo* s = mDoc->SlideById(mId);
    if (!s) throw platform::ComError(E_FAIL, L"The slide has been deleted.");
    return *s;
  }
  SlideRef Ref() { return SlideRef{mDoc, mId, Info().part, false}; }
  pugi::xml_node CSld() { return Child(mDoc->Pkg().Xml(Info().part).document_element(), "cSld"); }

  std::wstring Name() override {
    std::string n = Attr(CSld(), "name").value();
    // Slides keep no name unless the user gave one; the host calls them by id.
    return n.empty() ? L"Slide" + std::to_wstring(mId) : platform::FromUtf8(n);
  }
  void SetName(const std::wstring& name) override {
    if (name.empty()) throw platform::ComError(E_INVALIDARG, L"A slide name cannot be empty.");
    pugi::xml_node c = CSld();
    pugi::xml_attribute a = c.attribute("name");
    if (!a) a = c.append_attribute("name");
    a.set_value(platform::ToUtf8(name).c_str());
    mDoc->MarkDirty(Info().part);
  }
  int SlideIndex() override {
    Info();
    return mDoc->SlideIndexOf(mId);
  }
  int SlideID() override {
    Info();
    return mId;
  }
  Ptr<host::Shapes> Shapes() override { return MakeShapes(Ref()); }
  Ptr<host::Slide> NotesPage() override { return MakeNotesPage(Ref()); }
  Ptr<host::Comments> Comments() override { return MakeSlideComments(Ref()); }
  void Select() override {
    Info();
    auto app = mDoc->App.lock();
    if (!app) throw platform::ComError(E_FAIL, L"No window shows this presentation.");
    app->SelectSlides(*mDoc, {mId});
  }

 private:
  std::shared_ptr<Document> mDoc;
  int mId;
};

class SlideRangeImpl : public host::SlideRange {
 public:
  SlideRangeImpl(std::shared_ptr<Document> d, std::vector<int> ids) : mDoc(std::move(d)), mIds(std::move(ids)) {}
  int Count() override {
    mDoc->CheckOpen();
    return static_cast<int>(mIds.size());
  }
  Ptr<host::Slide> Item(int index) override {
    mDoc->CheckOpen();
    if (index < 1 || index > Count())
      throw platform::ComError(DISP_E_BADINDEX, L"The index into the slide range is out of range.");
    return std::make_shared<SlideImpl>(mDoc, mIds[index - 1]);
  }
  void Select() override {
    mDoc->CheckOpen();
    auto app = mDoc->App.lock();
    if (!app) throw platform::ComError(E_FAIL, L"No window shows this presentation.");
    app->SelectSlides(*mDoc, mIds);
  }

 private:
  std::shared_ptr<Document> mDoc;
  std::vector<int> mIds;
};

class SlidesImpl : public host::Slides {
 public:
  explicit SlidesImpl(std::shared_ptr<Document> d) : mDoc(std::move(d)) {}
  int Count() override {
    mDoc->CheckOpen();
    return static_cast<int>(mDoc->SlideList().size());
  }
  Ptr<host::Slide> Item(int index) override {
    mDoc->CheckOpen();
    if (index < 1 || index > Count())
      throw platform::ComError(DISP_E_BADINDEX,
                               L"Slides.Item: the index is out of range (1 to " + std::to_wstring(Count()) + L").");
    return std::make_shared<SlideImpl>(mDoc, mDoc->SlideList()[index - 1].id);
  }
  Ptr<host::Slide> FindBySlideID(int id) override {
    mDoc->CheckOpen();
    if (!mDoc->SlideById(id)) throw platform::ComError(E_INVALIDARG, L"No slide has this id.");
    return std::make_shared<SlideImpl>(mDoc, id);
  }
  Ptr<host::SlideRange> Range() override {
    mDoc->CheckOpen();
    std::vector<int> ids;
    for (auto& s : mDoc->SlideList()) ids.push_back(s.id);
    return std::make_shared<SlideRangeImpl>(mDoc, std::move(ids));
  }
  Ptr<host::SlideRange> Range(const std::vector<std::wstring>& names) override {
    mDoc->CheckOpen();
    std::vector<int> ids;
    for (auto& n : names) {
      int found = 0;
      for (auto& s : mDoc->SlideList())
        if (SlideImpl(mDoc, s.id).Name() == n) {
          found = s.id;
          break;
        }
      if (!found) throw platform::ComError(E_INVALIDARG, L"The item with the specified name wasn't found: " + n);
      ids.push_back(found);
    }
    return std::make_shared<SlideRangeImpl>(mDoc, std::move(ids));
  }
  Ptr<host::SlideRange> Range(const std::vector<int>& indexes) override {
    mDoc->CheckOpen();
    std::vector<int> ids;
    for (int i : indexes) {
      if (i < 1 || i > Count()) throw platform::ComError(DISP_E_BADINDEX, L"The slide index is out of range.");
      ids.push_back(mDoc->SlideList()[i - 1].id);
    }
    return std::make_shared<SlideRangeImpl>(mDoc, std::move(ids));
  }

 private:
  std::shared_ptr<Document> mDoc;
};

}  // namespace

Ptr<host::Slides> MakeSlides(const std::shared_ptr<Document>& doc) { return std::make_shared<SlidesImpl>(doc); }
Ptr<host::Slide> MakeSlide(const std::shared_ptr<Document>& doc, int slideId) {
  return std::make_shared<SlideImpl>(doc, slideId);
}
Ptr<host::SlideRange> MakeSlideRange(const std::shared_ptr<Document>& doc, std::vector<int> slideIds) {
  return std::make_shared<SlideRangeImpl>(doc, std::move(slideIds));
}

std::string SlideTitle(const SlideRef& slide) {
  auto shapes = MakeShapes(slide);
  for (int i = 1; i <= shapes->Count(); ++i) {
    auto s = shapes->Item(i);
    if (s->Type() != msoPlaceholder) continue;
    int t = s->PlaceholderFormat()->Type();
    if (t != ppPlaceholderTitle && t != ppPlaceholderCenterTitle && t != ppPlaceholderVerticalTitle) continue;
    auto owner = OwnerOf(s);
    pugi::xml_node body = owner ? owner->Body(false) : pugi::xml_node();
    return body ? platform::ToUtf8(BodyText(body)) : std::string();
  }
  return {};
}

}  // namespace host::pptx
