// The add-in's sentence-by-sentence path against one batch run of Apertium:
// the same English sentences go through TranslateText (engine opened
// through the in-process Apertium server, one request per sentence), once
// asked one at a time and once announced ahead as a text range's are, and
// once through `apertium eng-spa FILE`. Rounds alternate so that all see the
// same machine load; medians of wall and processor time and their ratios
// are printed, and the two TranslateText ways must give the same answer
// for every sentence (the program fails otherwise).
//
//   translate_text_bench [SENTENCES] [ROUNDS]      (defaults 300 and 3)
//
// Target: the add-in's whole job (open + every sentence + close) within 1.5
// times the batch run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "bench/BenchSentences.h"
#include "bench/BenchTimes.h"
#include "engines/apertium/ApertiumServer.h"
#include "src/engine/AppCommon.h"
#include "src/engine/Engine.h"
#include "src/platform/Strings.h"
#include "src/support/ErrorList.h"
#include "tests/common/TempDir.h"

namespace {

// Wall time, and the processor time of this process and of its reaped
// children (the pipeline's stages, the batch run).
struct Times {
  double wall = 0;
  double cpu = 0;
  Times operator-(const Times& o) const { return {wall - o.wall, cpu - o.cpu}; }
};

Times Now() {
  rusage self{}, children{};
  getrusage(RUSAGE_SELF, &self);
  getrusage(RUSAGE_CHILDREN, &children);
  return {std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(),
          bench::CpuSeconds(self) + bench::CpuSeconds(children)};
}

// Wall and processor medians taken apart.
Times Median(const std::vector<Times>& v) {
  std::vector<double> wall, cpu;
  for (const Times& t : v) {
    wall.push_back(t.wall);
    cpu.push_back(t.cpu);
  }
  return v.empty() ? Times{} : Times{bench::Median(wall), bench::Median(cpu)};
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
  support::ErrorList::SetDisplay(false);

  std::vector<std::string> sentences = bench::Sentences(count);
  testsupport::TempDir dir;
  const std::string path = (dir / "sentences.txt").string();
  {
    std::ofstream file(path);
    for (const std::string& s : sentences) file << s << "\n";
  }
  std::string batchCommand = "apertium eng-spa " + path + " > /dev/null";

  engine::Engine& eng = engine::Engine::Instance();
  engine::AppCommon& common = engine::AppCommon::Instance();
  options::TranslationOptionUDT options;
  options.EngineGroup = L"Apertium";
  options.EngineID = L"eng-spa";
  options.FromLang = L"en";
  options.ToLang = L"es";

  std::vector<engine::TranslationSegment> segments;
  for (const std::string& s : sentences) {
    engine::TranslationSegment seg;
    seg.source = platform::FromUtf8(s);
    segments.push_back(seg);
  }

  // One whole job: open, every sentence through TranslateText (announced
  // ahead or not), close.
  auto job = [&](bool ahead, std::vector<std::wstring>* out, Times* sentencesOnly) {
    Times t0 = Now();
    if (!eng.OpenEngine(options.EngineGroup, options.EngineID, L"", options.FromLang)) {
      std::fprintf(stderr, "translate_text_bench: the Apertium engine could not be opened\n");
      std::exit(1);
    }
    Times t1 = Now();
    if (ahead) common.TranslateAhead(options, segments);
    out->clear();
    for (engine::TranslationSegment seg : segments) {
      common.TranslateText(options, seg);
      out->push_back(seg.translation.value_or(L""));
    }
    Times t2 = Now();
    eng.CloseEngine();
    *sentencesOnly = t2 - t1;
    return Now() - t0;
  };

  std::vector<Times> alone, ahead, aheadSentences, batch;
  std::vector<std::wstring> aloneOut, aheadOut;
  size_t differ = 0;
  for (int r = 0; r < rounds; ++r) {
    Times sentencesOnly;
    alone.push_back(job(false, &aloneOut, &sentencesOnly));
    ahead.push_back(job(true, &aheadOut, &sentencesOnly));
    aheadSentences.push_back(sentencesOnly);
    for (size_t i = 0; i < segments.size(); ++i) {
      if (aloneOut[i] == aheadOut[i]) continue;
      if (differ++ < 5) {
        std::fprintf(stderr, "differs: %s\n  alone: %s\n  ahead: %s\n", sentences[i].c_str(),
                     platform::ToUtf8(aloneOut[i]).c_str(), platform::ToUtf8(aheadOut[i]).c_str());
      }
    }
    Times b0 = Now();
    int rc = std::system(batchCommand.c_str());
    Times b1 = Now();
    if (rc != 0) {
      std::fprintf(stderr, "translate_text_bench: `%s` failed\n", batchCommand.c_str());
      return 1;
    }
    batch.push_back(b1 - b0);
  }

  size_t translated = 0;
  for (size_t i = 0; i < segments.size(); ++i) translated += aheadOut[i] != segments[i].source ? 1 : 0;
  Times a = Median(alone), w = Median(ahead), t = Median(aheadSentences), b = Median(batch);
  std::printf("sentences: %zu (translated %zu, %zu answers differ between the two ways), rounds: %d\n", count,
              translated, differ, rounds);
  std::printf("                                     wall s   cpu s  (medians)\n");
  std::printf("TranslateText one at a time         %7.3f %7.3f\n", a.wall, a.cpu);
  std::printf("TranslateText announced ahead       %7.3f %7.3f\n", w.wall, w.cpu);
  // The stages' processor time counts once they are reaped, at the close.
  std::printf("  of which the sentences            %7.3f       -\n", t.wall);
  std::printf("apertium eng-spa FILE (batch)       %7.3f %7.3f\n", b.wall, b.cpu);
  std::printf("ratio whole job ahead / batch:      %.2f wall, %.2f cpu (target 1.5 or less)\n",
              b.wall > 0 ? w.wall / b.wall : 0.0, b.cpu > 0 ? w.cpu / b.cpu : 0.0);
  std::printf("ratio one at a time / batch:        %.2f wall\n", b.wall > 0 ? a.wall / b.wall : 0.0);
  return differ == 0 ? 0 : 1;
}
