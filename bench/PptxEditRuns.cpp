// Editing every text run of a deck with N shapes and with 4N shapes: the
// time should grow linearly (ratio near 4, target <= 5), whatever the
// shapes hold.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "tests/host/DeckBuilder.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/platform/Strings.h"

namespace {

std::string ShapeWithRuns(int id) {
  std::string runs;
  for (int r = 0; r < 3; ++r)
    runs += "<a:r><a:rPr lang=\"en-US\"" + std::string(r == 1 ? " b=\"1\"" : "") + "/><a:t>Sentence " +
            std::to_string(r) + " of shape " + std::to_string(id) + ". </a:t></a:r>";
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"S" + std::to_string(id) +
         "\"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr>" + decktest::Xfrm(0, 0, 2540000, 1270000) +
         "</p:spPr><p:txBody><a:bodyPr/><a:lstStyle/><a:p>" + runs + "</a:p><a:p>" + runs +
         "</a:p></p:txBody></p:sp>";
}

// Shapes spread over slides of 20 each, as real decks have them.
std::filesystem::path MakeDeck(const std::filesystem::path& dir, int shapes) {
  decktest::Deck d;
  for (int i = 0; i < shapes; ++i) {
    if (i % 20 == 0) d.slides.emplace_back();
    d.slides.back() += ShapeWithRuns(2 + i % 20);
  }
  auto file = dir / ("deck" + std::to_string(shapes) + ".pptx");
  decktest::Write(d, file);
  return file;
}

double EditAll(const std::filesystem::path& file, const std::filesystem::path& out) {
  auto t0 = std::chrono::steady_clock::now();
  auto app = host::pptx::CreateApplication();
  auto p = app->Presentations()->Open(platform::FromUtf8(file.string()), false, false, false);
  auto slides = p->Slides();
  for (int i = 1; i <= slides->Count(); ++i) {
    auto shapes = slides->Item(i)->Shapes();
    for (int k = 1; k <= shapes->Count(); ++k) {
      auto shape = shapes->Item(k);
      int runs = shape->TextFrame2()->TextRange()->Runs(-1, -1)->Count();
      for (int r = 1; r <= runs; ++r) {
        auto run = shape->TextFrame2()->TextRange()->Runs(r, 1);
        run->SetText(L"Translated " + run->Text());
      }
    }
  }
  p->SaveCopyAs(platform::FromUtf8(out.string()), host::ppSaveAsDefault, false);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int n = argc > 1 ? std::atoi(argv[1]) : 200;
  if (n < 1) n = 200;
  testsupport::TempDir dir;
  auto small = MakeDeck(dir.path(), n), large = MakeDeck(dir.path(), 4 * n);
  std::vector<double> ts, tl;
  for (int round = 0; round < 5; ++round) {
    ts.push_back(EditAll(small, dir / "s.pptx"));
    tl.push_back(EditAll(large, dir / "l.pptx"));
  }
  double s = Median(ts), l = Median(tl);
  std::printf("edit every run, %d shapes:  %.4f s (median of 5)\n", n, s);
  std::printf("edit every run, %d shapes: %.4f s (median of 5)\n", 4 * n, l);
  std::printf("ratio 4N/N: %.2f (linear is 4, target <= 5)\n", l / s);
  return 0;
}
