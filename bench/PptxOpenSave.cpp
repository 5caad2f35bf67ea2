// Opening and saving the largest corpus deck through the document host,
// against a plain libzip unpack and repack of the same package, side by
// side in one run. Target: the host takes at most twice as long.
#include <zip.h>

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

namespace fs = std::filesystem;

namespace {

double Seconds(const std::function<void()>& f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void PlainRepack(const fs::path& in, const fs::path& out) {
  int err = 0;
  zip_t* src = zip_open(in.c_str(), ZIP_RDONLY, &err);
  zip_t* dst = zip_open(out.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!src || !dst) throw std::runtime_error("zip open failed");
  std::vector<std::string> data;
  zip_int64_t n = zip_get_num_entries(src, 0);
  data.reserve(static_cast<size_t>(n));
  for (zip_int64_t i = 0; i < n; ++i) {
    zip_stat_t st;
    zip_stat_index(src, i, 0, &st);
    std::string bytes(st.size, '\0');
    zip_file_t* f = zip_fopen_index(src, i, 0);
    if (st.size) zip_fread(f, bytes.data(), st.size);
    zip_fclose(f);
    data.push_back(std::move(bytes));
    zip_source_t* s = zip_source_buffer(dst, data.back().data(), data.back().size(), 0);
    zip_file_add(dst, st.name, s, ZIP_FL_ENC_UTF_8);
  }
  if (zip_close(dst) != 0) throw std::runtime_error("zip close failed");
  zip_discard(src);
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
    plain.push_back(Seconds([&] { PlainRepack(largest, tmp / "plain.pptx"); }));
    hosted.push_back(Seconds([&] { HostOpenSave(largest, tmp / "host.pptx"); }));
  }
  double p = bench::Median(plain), h = bench::Median(hosted);
  std::printf("deck: %s (%ju bytes)\n", largest.filename().c_str(), size);
  std::printf("libzip unpack+repack: %.4f s (median of 7)\n", p);
  std::printf("host open+save:       %.4f s (median of 7)\n", h);
  std::printf("ratio host/plain: %.2f (target <= 2)\n", h / p);
  return 0;
}
