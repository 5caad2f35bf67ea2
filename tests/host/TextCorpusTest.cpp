// The text models over every text body of the real decks: what they read
// adds up, and editing every run keeps the positions, the formatting count
// and the package's own reading of the text consistent.
#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/host/DeckBuilder.h"
#include "src/host/Host.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/host/pptx/PptxDocument.h"

namespace fs = std::filesystem;

namespace {


struct Stats {
  int bodies = 0;
  int edited = 0;
};

void CheckShape(const host::Ptr<host::Shape>& shape, Stats& stats, const std::string& where) {
  int type = shape->Type();
  if (type == host::msoGroup || type == host::msoSmartArt || type == host::msoDiagram) {
    auto items = shape->GroupItems();
    for (int i = 1; i <= items->Count(); ++i) CheckShape(items->Item(i), stats, where);
    return;
  }
  if (!shape->HasTextFrame()) return;
  auto range = shape->TextFrame2()->TextRange();
  std::wstring text = range->Text();
  ++stats.bodies;
  ASSERT_EQ(range->Length(), static_cast<int>(text.size())) << where;
  // Paragraphs and runs tile the text exactly, in order.
  for (auto units : {range->Paragraphs(-1, -1), range->Runs(-1, -1)}) {
    int at = 1;
    std::wstring joined;
    for (int i = 1; i <= units->Count(); ++i) {
      auto u = units->Item(i);
      EXPECT_EQ(u->Start(), at) << where;
      at += u->Length();
      joined += u->Text();
    }
    EXPECT_EQ(joined, text) << where;
  }
  float height = range->BoundHeight();
  EXPECT_TRUE(std::isfinite(height) && height >= 0) << where;
  if (text.empty()) return;

  // Every run replaced by a longer text of its own, as a translation does,
  // last run first so the earlier positions stay put.
  auto runs = range->Runs(-1, -1);
  int count = runs->Count();
  std::vector<std::pair<int, int>> spans;
  for (int i = 1; i <= count; ++i) spans.push_back({runs->Item(i)->Start(), runs->Item(i)->Length()});
  std::wstring expected = text;
  for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
    auto target = shape->TextFrame2()->TextRange()->Characters(it->first, it->second);
    std::wstring old = target->Text();
    // Paragraph marks and breaks stay; only the characters between change.
    std::wstring keepTail;
    while (!old.empty() && (old.back() == L'\r' || old.back() == L'\v')) {
      keepTail.insert(keepTail.begin(), old.back());
      old.pop_back();
    }
    if (old.empty()) continue;
    std::wstring replacement = L"[" + old + L"]";
    shape->TextFrame2()->TextRange()->Characters(it->first, static_cast<int>(old.size()))->SetText(replacement);
    expected.replace(it->first - 1, old.size(), replacement);
  }
  auto after = shape->TextFrame()->TextRange();
  EXPECT_EQ(after->Text(), expected) << where;
  // Formatting boundaries did not move: as many runs as before.
  EXPECT_EQ(after->Runs(-1, -1)->Count(), count) << where;
  ++stats.edited;
}

TEST(TextCorpus, EveryBodyReadsConsistentlyAndTakesRunEdits) {
  if (!fs::exists(testsupport::CorpusDir() / "MANIFEST.tsv")) GTEST_SKIP() << "no corpus at " << testsupport::CorpusDir();
  Stats stats;
  auto app = host::pptx::CreateApplication();
  for (const auto& entry : fs::directory_iterator(testsupport::CorpusDir())) {
    std::string ext = entry.path().extension().string();
    if (ext != ".pptx" && ext != ".pptm") continue;
    host::Ptr<host::Presentation> pres;
    try {
      pres = app->Presentations()->Open(entry.path().wstring(), false, false, false);
    } catch (const platform::ComError&) {
      continue;  // damaged decks are the package tests' business
    }
    auto slides = pres->Slides();
    for (int s = 1; s <= slides->Count(); ++s) {
      auto shapes = slides->Item(s)->Shapes();
      for (int i = 1; i <= shapes->Count(); ++i) {
        std::string where = entry.path().filename().string() + " slide " + std::to_string(s) + " shape " +
                            std::to_string(i);
        CheckShape(shapes->Item(i), stats, where);
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
    pres->Close();
  }
  EXPECT_GT(stats.bodies, 100);
  EXPECT_GT(stats.edited, 50);
}

}  // namespace
