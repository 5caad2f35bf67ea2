// The add-in's sentence-by-sentence path against one batch run of Apertium:
// the same English sentences go once through TranslateText (engine opened
// through the in-process Apertium server, one request per sentence) and once
// through `apertium eng-spa FILE`. Rounds alternate so that both see the
// same machine load; the medians and their ratio are printed.
//
//   translate_text_bench [SENTENCES] [ROUNDS]      (defaults 300 and 3)
//
// Target: the add-in's whole job (open + every sentence + close) within 1.5
// times the batch run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "bench/BenchSentences.h"
#include "engines/apertium/ApertiumServer.h"
#include "src/engine/AppCommon.h"
#include "src/engine/Engine.h"
#include "src/platform/Strings.h"
#include "src/support/ErrorList.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU time of this process and of its reaped children (the pipeline's
// stages once the engine is closed, the batch's processes).
double CpuSeconds() {
  double total = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage u;
    getrusage(who, &u);
    total += static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
             static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  }
  return total;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  size_t count = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 300;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (count == 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: translate_text_bench [SENTENCES] [ROUNDS]\n");
    return 2;
  }
  if (std::system("apertium -l 2>/dev/null | grep -qE '^[[:space:]]*eng-spa[[:space:]]*$'") != 0) {
    std::fprintf(stderr, "translate_text_bench: Apertium's eng-spa pair is not installed\n");
    return 1;
  }
  apertium::RegisterApertiumServer();
  ErrorList::SetDisplay(false);

  std::vector<std::string> sentences = bench::Sentences(count);
  char path[] = "/tmp/pelorant-bench-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) {
    std::perror("mkstemp");
    return 1;
  }
  close(fd);
  {
    std::ofstream file(path);
    for (const std::string& s : sentences) file << s << "\n";
  }
  std::string batchCommand = std::string("apertium eng-spa ") + path + " > /dev/null";

  engine::Engine& eng = engine::Engine::Instance();
  engine::AppCommon& common = engine::AppCommon::Instance();
  options::TranslationOptionUDT options;
  options.EngineGroup = L"Apertium";
  options.EngineID = L"eng-spa";
  options.FromLang = L"en";
  options.ToLang = L"es";

  std::vector<std::wstring> wide;
  for (const std::string& s : sentences) wide.push_back(platform::FromUtf8(s));

  std::vector<double> whole, translateOnly, batch, wholeCpu, batchCpu;
  size_t translated = 0;
  for (int r = 0; r < rounds; ++r) {
    double c0 = CpuSeconds();
    auto t0 = Clock::now();
    if (!eng.OpenEngine(options.EngineGroup, options.EngineID, L"", options.FromLang)) {
      std::fprintf(stderr, "translate_text_bench: the Apertium engine could not be opened\n");
      return 1;
    }
    auto t1 = Clock::now();
    translated = 0;
    for (const std::wstring& s : wide) {
      engine::TranslationSegment seg;
      seg.source = s;
      common.TranslateText(options, seg);
      if (seg.translation && *seg.translation != s) ++translated;
    }
    auto t2 = Clock::now();
    eng.CloseEngine();
    auto t3 = Clock::now();
    wholeCpu.push_back(CpuSeconds() - c0);
    whole.push_back(Seconds(t3 - t0));
    translateOnly.push_back(Seconds(t2 - t1));

    double bc0 = CpuSeconds();
    auto b0 = Clock::now();
    int rc = std::system(batchCommand.c_str());
    auto b1 = Clock::now();
    batchCpu.push_back(CpuSeconds() - bc0);
    if (rc != 0) {
      std::fprintf(stderr, "translate_text_bench: `%s` failed\n", batchCommand.c_str());
      return 1;
    }
    batch.push_back(Seconds(b1 - b0));
  }
  std::remove(path);

  double w = Median(whole), t = Median(translateOnly), b = Median(batch);
  std::printf("sentences: %zu (translated %zu), rounds: %d\n", count, translated, rounds);
  std::printf("TranslateText, open to close:   %.3f s (median), CPU %.3f s\n", w, Median(wholeCpu));
  std::printf("TranslateText, sentences only:  %.3f s (median)\n", t);
  std::printf("apertium eng-spa FILE (batch):  %.3f s (median), CPU %.3f s\n", b, Median(batchCpu));
  std::printf("ratio whole job / batch:        %.2f (target 1.5 or less)\n", b > 0 ? w / b : 0.0);
  std::printf("ratio sentences only / batch:   %.2f\n", b > 0 ? t / b : 0.0);
  return 0;
}
