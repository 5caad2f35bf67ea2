// Every real deck of the shared corpus, walked once: it opens (or fails
// clearly where the manifest says it is damaged), an unchanged save keeps
// every part byte for byte, and every text body of its slides reads
// consistently and takes an edit of each of its runs. A sample of decks
// edited on their notes pages too reads back the same and still opens in
// LibreOffice (when it is installed).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <iostream>

#include "tests/host/DeckBuilder.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/host/pptx/PptxPackage.h"
#include "src/platform/Strings.h"

using namespace host;
namespace fs = std::filesystem;

namespace {

struct CorpusDeck {
  std::string file;
  bool damaged;  // the manifest says it cannot be read
};

std::vector<CorpusDeck> Manifest() {
  std::vector<CorpusDeck> out;
  std::ifstream in(testsupport::CorpusDir() / "MANIFEST.tsv");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    if (line.find('\t') == std::string::npos) continue;
    std::string note = line.substr(line.rfind('\t') + 1);
    out.push_back({line.substr(0, line.find('\t')), note.starts_with("CORRUPT") || note.starts_with("PASSWORD-PROTECTED")});
  }
  return out;
}

using Visit = std::function<void(const Ptr<Shape>&)>;

// Every text holder of a shape: its table's cells (a merged area once), its
// group's or graphic's items, itself.
void ForEachText(const Ptr<Shape>& s, const Visit& f) {
  if (s->HasTable()) {
    auto t = s->Table();
    for (int r = 1; r <= t->Rows()->Count(); ++r)
      for (int c = 1; c <= t->Columns()->Count(); ++c) {
        auto id = t->Cell(r, c)->Shape()->Identity();
        if ((r > 1 && t->Cell(r - 1, c)->Shape()->Identity() == id) || (c > 1 && t->Cell(r, c - 1)->Shape()->Identity() == id))
          continue;
        f(t->Cell(r, c)->Shape());
      }
  }
  if (s->Type() == msoGroup || s->HasSmartArt()) {
    auto items = s->GroupItems();
    for (int i = 1; i <= items->Count(); ++i) ForEachText(items->Item(i), f);
  }
  if (s->HasTextFrame()) f(s);
}

// Every text holder of the slides, and of their notes pages if asked, in order.
void ForEachText(const Ptr<Presentation>& p, const Visit& f, bool notes = false) {
  for (int i = 1; i <= p->Slides()->Count(); ++i) {
    auto slide = p->Slides()->Item(i);
    for (auto shapes : {slide->Shapes(), notes ? slide->NotesPage()->Shapes() : nullptr})
      for (int k = 1; shapes && k <= shapes->Count(); ++k) ForEachText(shapes->Item(k), f);
  }
}

// Replaces every run of a body by a longer text of its own as a translation
// does, last run first so the earlier positions stay put; the text the body
// reads afterwards.
std::wstring EditRuns(const Ptr<Shape>& shape) {
  auto range = shape->TextFrame2()->TextRange();
  std::wstring text = range->Text();
  float height = range->BoundHeight();
  EXPECT_TRUE(std::isfinite(height) && height >= 0);
  auto runs = range->Runs(-1, -1);
  const int count = runs->Count();
  std::vector<std::pair<int, int>> spans;
  for (int i = 1; i <= count; ++i) spans.push_back({runs->Item(i)->Start(), runs->Item(i)->Length()});
  int added = 0;  // characters the edits added, which the runs read afterwards must hold
  for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
    // Paragraph marks and breaks stay; only the characters between change.
    std::wstring old = text.substr(it->first - 1, it->second);
    while (!old.empty() && (old.back() == L'\r' || old.back() == L'\v')) old.pop_back();
    if (old.empty()) continue;
    shape->TextFrame2()->TextRange()->Characters(it->first, static_cast<int>(old.size()))->SetText(L"[" + old + L"]");
    text.replace(it->first - 1, old.size(), L"[" + old + L"]");
    added += 2;
  }
  auto after = shape->TextFrame()->TextRange();
  EXPECT_EQ(after->Text(), text);
  const int now = after->Runs(-1, -1)->Count();
  EXPECT_EQ(now, count) << "a formatting boundary moved";
  for (int i = 1; i <= std::min(count, now); ++i) added -= after->Runs(i, 1)->Length() - spans[i - 1].second;
  EXPECT_EQ(added, 0) << "the runs were not read again after the edits";
  return text;
}

// Edits every run of an open deck; the texts it reads afterwards.
std::vector<std::wstring> EditAll(const Ptr<Presentation>& p, bool notes = false) {
  std::vector<std::wstring> texts;
  ForEachText(p, [&](const Ptr<Shape>& s) { texts.push_back(EditRuns(s)); }, notes);
  return texts;
}

// Edits every run of an open deck, saves it as out and reads it back: the
// same texts in the same places.
void EditAndReopen(Application& app, const Ptr<Presentation>& p, const fs::path& out) {
  std::vector<std::wstring> texts = EditAll(p, true), read;
  p->SaveCopyAs(platform::FromUtf8(out.string()), ppSaveAsDefault, false);
  p->Close();
  auto again = app.Presentations()->Open(platform::FromUtf8(out.string()), true, false, false);
  ForEachText(again, [&](const Ptr<Shape>& s) { read.push_back(s->TextFrame2()->TextRange()->Text()); }, true);
  again->Close();
  EXPECT_EQ(read, texts);
}

class PptxCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(testsupport::CorpusDir() / "MANIFEST.tsv")) GTEST_SKIP() << "no corpus at " << testsupport::CorpusDir();
  }
  testsupport::TempDir dir;
  Ptr<Application> app = pptx::CreateApplication();
};

}  // namespace

TEST_F(PptxCorpus, EveryDeckOpensSavesUnchangedAndTakesEditsOfEveryRun) {
  auto decks = Manifest();
  ASSERT_GT(decks.size(), 40u);
  int bodies = 0;
  for (auto& d : decks) {
    SCOPED_TRACE(d.file);
    auto src = testsupport::CorpusDir() / d.file, same = dir / ("same-" + d.file);
    try {
      auto p = app->Presentations()->Open(platform::FromUtf8(src.string()), false, false, false);
      EXPECT_FALSE(d.damaged) << "a damaged deck opened";
      // Reading the whole model must not change anything.
      ForEachText(p, [](const Ptr<Shape>& s) { s->TextFrame()->TextRange()->Text(); });
      p->SaveCopyAs(platform::FromUtf8(same.string()), ppSaveAsDefault, false);
      EXPECT_EQ(decktest::ReadEntries(src), decktest::ReadEntries(same));
      // What the edited deck reads after saving is the LibreOffice sample's
      // and the corpus translation's (tests/e2e) to check.
      bodies += static_cast<int>(EditAll(p).size());
      p->Close();
    } catch (const pptx::PackageError& e) {
      std::string m = platform::ToUtf8(e.Description());
      EXPECT_TRUE(d.damaged) << m;
      EXPECT_NE(m.find(d.file), std::string::npos) << m;
    }
  }
  EXPECT_GT(bodies, 1000);
}

TEST_F(PptxCorpus, ReplacedTextStillOpensInLibreOffice) {
  std::vector<std::string> written;
  // Every eighth deck that opens, but for decks of more than a megabyte:
  // LibreOffice takes longest over those, and the richest deck of the
  // sample (SmartArt, tables, notes, links) is smaller.
  int readable = 0;
  for (auto& d : Manifest()) {
    auto src = testsupport::CorpusDir() / d.file;
    if (d.damaged || readable++ % 8 != 0 || fs::file_size(src) > (1u << 20)) continue;
    SCOPED_TRACE(d.file);
    // Keep the extension: LibreOffice picks its filter from it.
    auto out = dir / ("x-" + d.file);
    EditAndReopen(*app, app->Presentations()->Open(platform::FromUtf8(src.string()), false, false, false), out);
    written.push_back(out.string());
  }
  EXPECT_GE(written.size(), 6u);
  if (std::system("command -v libreoffice >/dev/null 2>&1") != 0) GTEST_SKIP() << "libreoffice is not installed";
  // LibreOffice with a private profile converts the given quoted files to PDF in outdir.
  auto convert = [&](const char* timeout, const std::string& outdir, const std::string& files, const char* log) {
    std::string c = "cd '" + dir.path().string() + "' && timeout " + timeout + " libreoffice -env:UserInstallation=file://" +
                    dir.path().string() + "/lo-profile --headless --convert-to pdf --outdir " + outdir + files + log;
    return std::system(c.c_str());
  };
  std::string files;
  for (auto& w : written) files += " '" + w + "'";
  EXPECT_EQ(convert("1200", "pdf", files, " >lo.log 2>&1"), 0) << "libreoffice failed";
  // A deck LibreOffice cannot render even as it came from the corpus says
  // nothing about our edits; only the others must convert. The originals of
  // the failed ones go through one more LibreOffice run together.
  auto converted = [&](const fs::path& pdf) { return fs::exists(pdf) && fs::file_size(pdf) > 500; };
  std::vector<std::string> failed;
  std::string originals;
  for (auto& w : written) {
    auto stem = fs::path(w).stem().string();
    if (converted(dir / "pdf" / (stem + ".pdf"))) continue;
    failed.push_back(stem.substr(2));
    originals += " '" + (testsupport::CorpusDir() / (failed.back() + fs::path(w).extension().string())).string() + "'";
  }
  if (failed.empty()) return;
  convert("600", "orig", originals, " >>lo.log 2>&1");
  for (auto& stem : failed) {
    if (converted(dir / "orig" / (stem + ".pdf")))
      ADD_FAILURE() << "LibreOffice renders " << stem << " but not our edited copy";
    else
      std::cout << "note: LibreOffice cannot render " << stem << " either\n";
  }
}
