// Opening and saving the largest corpus deck through the document host,
// against a plain libzip unpack and repack of the same package, side by
// side in one run. Target: the host takes at most twice as long.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchTimes.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/platform/Strings.h"
#include "tests/common/Paths.h"
#include "tests/common/TempDir.h"
#include "tests/host/DeckBuilder.h"

namespace fs = std::filesystem;

namespace {

double Seconds(const std::function<void()>& f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void HostOpenSave(const fs::path& in, const fs::path& out) {
  auto app = host::pptx::CreateApplication();
  auto p = app->Presentations()->Open(platform::FromUtf8(in.string()), false, false, true);
  // Reading every slide's shapes parses the slide parts, as a run would.
  for (int i = 1; i <= p->Slides()->Count(); ++i) p->Slides()->Item(i)->Shapes()->Count();
  p->SaveCopyAs(platform::FromUtf8(out.string()), host::ppSaveAsDefault, false);
  p->Close();
}

}  // namespace

int main(int argc, char** argv) {
  fs::path corpus = argc > 1 ? fs::path(argv[1]) : testsupport::CorpusDir();
  fs::path largest;
  std::uintmax_t size = 0;
  for (auto& e : fs::directory_iterator(corpus)) {
    auto ext = e.path().extension().string();
    if (ext != ".pptx" && ext != ".pptm" && ext != ".ppsx") continue;
    try {
      auto app = host::pptx::CreateApplication();
      app->Presentations()->Open(platform::FromUtf8(e.path().string()), true, false, false);
    } catch (const std::exception&) {
      continue;  // damaged decks are not benchmarks
    }
    if (e.file_size() > size) {
      size = e.file_size();
      largest = e.path();
    }
  }
  if (largest.empty()) {
    std::fprintf(stderr, "no readable deck in %s\n", corpus.c_str());
    return 1;
  }
  testsupport::TempDir tmp;
  std::vector<double> plain, hosted;
  for (int round = 0; round < 7; ++round) {
    // Interleaved so that both see the same machine load.
    plain.push_back(Seconds([&] { decktest::WriteEntries(tmp / "plain.pptx", decktest::ReadEntries(largest)); }));
    hosted.push_back(Seconds([&] { HostOpenSave(largest, tmp / "host.pptx"); }));
  }
  double p = bench::Median(plain), h = bench::Median(hosted);
  std::printf("deck: %s (%ju bytes)\n", largest.filename().c_str(), size);
  std::printf("libzip unpack+repack: %.4f s (median of 7)\n", p);
  std::printf("host open+save:       %.4f s (median of 7)\n", h);
  std::printf("ratio host/plain: %.2f (target <= 2)\n", h / p);
  return 0;
}
