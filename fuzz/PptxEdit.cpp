// The write path: a deck opened for editing, every text run replaced through
// the newer text model and again through the classic one (as a translation
// writes its results), saved, reopened, and read back. What was written must
// read back as it was; a damaged deck must end in a ComError.
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "src/host/Host.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"

namespace {

using host::Ptr;

// The text a run keeps: paragraph marks and line breaks at its end stay.
std::wstring EditableText(std::wstring text) {
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\v')) text.pop_back();
  return text;
}

template <typename Visit>
void ForEachTextShape(const Ptr<host::Shape>& shape, int depth, const Visit& visit) {
  int type = shape->Type();
  if (depth < 16 && (type == host::msoGroup || shape->HasSmartArt())) {
    auto items = shape->GroupItems();
    for (int i = 1; i <= items->Count(); ++i) ForEachTextShape(items->Item(i), depth + 1, visit);
  }
  if (shape->HasTable()) {
    auto table = shape->Table();
    int rows = table->Rows()->Count(), columns = table->Columns()->Count();
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= columns; ++c) {
        auto cell = table->Cell(r, c)->Shape();
        if (r > 1 && table->Cell(r - 1, c)->Shape()->Identity() == cell->Identity()) continue;
        if (c > 1 && table->Cell(r, c - 1)->Shape()->Identity() == cell->Identity()) continue;
        visit(cell);
      }
  }
  if (shape->HasTextFrame()) visit(shape);
}

template <typename Visit>
void ForEachTextShape(const Ptr<host::Presentation>& deck, const Visit& visit) {
  auto slides = deck->Slides();
  for (int s = 1; s <= slides->Count(); ++s) {
    auto slide = slides->Item(s);
    for (auto shapes : {slide->Shapes(), slide->NotesPage()->Shapes()}) {
      for (int i = 1; i <= shapes->Count(); ++i) ForEachTextShape(shapes->Item(i), 0, visit);
    }
  }
}

void EditRuns(const Ptr<host::Shape>& shape) {
  // Newer model, last run first so the earlier positions stay put.
  auto runs2 = shape->TextFrame2()->TextRange()->Runs();
  std::vector<std::pair<int, int>> spans;
  for (int i = 1; i <= runs2->Count(); ++i) spans.push_back({runs2->Item(i)->Start(), runs2->Item(i)->Length()});
  for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
    auto range = shape->TextFrame2()->TextRange()->Characters(it->first, it->second);
    std::wstring text = EditableText(range->Text());
    if (text.empty()) continue;
    shape->TextFrame2()->TextRange()->Characters(it->first, static_cast<int>(text.size()))
        ->SetText(L"[" + text + L"]");
  }
  // Classic model: each run by its index, again from the last.
  auto whole = shape->TextFrame()->TextRange();
  for (int i = whole->Runs()->Count(); i >= 1; --i) {
    auto run = shape->TextFrame()->TextRange()->Runs(i, 1);
    std::wstring text = EditableText(run->Text());
    if (text.empty()) continue;
    run->SetLanguageID(1033);
    run->Characters(1, static_cast<int>(text.size()))->SetText(text + L"\x00e9");
  }
}

std::vector<std::wstring> Texts(const Ptr<host::Presentation>& deck) {
  std::vector<std::wstring> texts;
  ForEachTextShape(deck, [&](const Ptr<host::Shape>& shape) { texts.push_back(shape->TextFrame()->TextRange()->Text()); });
  return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Ptr<host::Application> app = host::pptx::CreateApplication();
  fuzz::ClearScratchFolder();
  std::wstring source = platform::FromUtf8(fuzz::WriteScratchFile("deck.pptx", data, size));
  std::wstring saved = platform::FromUtf8(fuzz::ScratchFolder() + "/saved.pptx");
  std::vector<std::wstring> written;
  try {
    auto deck = app->Presentations()->Open(source, false, false, false);
    try {
      ForEachTextShape(deck, EditRuns);
      written = Texts(deck);
      deck->SaveAs(saved, host::ppSaveAsDefault);
    } catch (const platform::ComError&) {
      deck->Close();
      return 0;
    }
    deck->Close();
  } catch (const platform::ComError&) {
    return 0;
  }
  Ptr<host::Presentation> reopened;
  try {
    reopened = app->Presentations()->Open(saved, true, false, false);
  } catch (const platform::ComError& e) {
    fuzz::Fail("a saved deck does not open again: " + platform::ToUtf8(e.Description()));
  }
  if (Texts(reopened) != written) fuzz::Fail("a saved deck reads back other texts");
  reopened->Close();
  return 0;
}
