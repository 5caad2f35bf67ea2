// Translates the same texts through the in-process stages and through the
// process pipeline of eng-spa, plain and with word correspondence, and
// reports every text whose answers differ (text or correspondence groups),
// with the time each way took (wall and this process's CPU, which includes
// the in-process stages but not the pipeline's processes).
//
//   apertium_compare [--bench N] [FILE...]
//
// FILE: UTF-8 texts, one a line (blank lines skipped); --bench N: the N
// sentences of translate_text_bench. Exit status 1 when any text differs.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "bench/BenchSentences.h"
#include "bench/BenchTimes.h"
#include "engines/apertium/ApertiumServer.h"
#include "src/platform/Strings.h"
#include "tests/apertium/EngineAsk.h"

namespace {

using namespace engine_server;

double CpuSeconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return bench::CpuSeconds(u);
}

// What the two ways must agree on: the status, the text and the word
// correspondence.
auto Compared(const testsupport::Answer& a) { return std::tie(a.status, a.text, a.groups); }

struct Side {
  std::unique_ptr<apertium::ApertiumEngine> engine;
  double wall = 0;
  double cpu = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> texts;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--bench") == 0 && i + 1 < argc) {
      for (auto& s : bench::Sentences(static_cast<size_t>(std::atoi(argv[++i])))) texts.push_back(s);
      continue;
    }
    std::ifstream in(argv[i]);
    if (!in) {
      std::fprintf(stderr, "apertium_compare: cannot read %s\n", argv[i]);
      return 2;
    }
    for (std::string line; std::getline(in, line);) {
      if (line.find_first_not_of(" \t\r") != std::string::npos) texts.push_back(line);
    }
  }
  if (texts.empty()) {
    std::fprintf(stderr, "usage: apertium_compare [--bench N] [FILE...]\n");
    return 2;
  }
  apertium::ApertiumPair pair;
  for (auto& p : apertium::FindPairs(apertium::Settings::FromEnvironment().modeDirs)) {
    if (p.id == L"eng-spa") pair = p;
  }
  if (pair.id.empty()) {
    std::fprintf(stderr, "apertium_compare: Apertium's eng-spa pair is not installed\n");
    return 1;
  }
  Side sides[2];
  for (int s = 0; s < 2; ++s) {
    apertium::Settings settings = apertium::Settings::FromEnvironment();
    settings.inProcess = s == 0;
    sides[s].engine = std::make_unique<apertium::ApertiumEngine>(pair, settings);
  }
  size_t differ = 0, failed = 0;
  for (const std::string& t : texts) {
    std::wstring text = platform::FromUtf8(t);
    for (LONG mode : {kTranslateModePlain, kTranslateModeCorrespondence}) {
      testsupport::Answer answers[2];
      for (int s = 0; s < 2; ++s) {
        auto w0 = std::chrono::steady_clock::now();
        double c0 = CpuSeconds();
        answers[s] = testsupport::Ask(*sides[s].engine, text, mode, [](const std::string&) {});
        sides[s].cpu += CpuSeconds() - c0;
        sides[s].wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
      }
      if (answers[0].status != kRequestDone || answers[1].status != kRequestDone) ++failed;
      if (Compared(answers[0]) != Compared(answers[1])) {
        ++differ;
        std::printf("DIFFERS (%s): %s\n  in process: [%ld] %s\n  processes:  [%ld] %s\n",
                    mode == kTranslateModePlain ? "plain" : "correspondence", t.c_str(),
                    static_cast<long>(answers[0].status), platform::ToUtf8(answers[0].text).c_str(),
                    static_cast<long>(answers[1].status), platform::ToUtf8(answers[1].text).c_str());
      }
    }
  }
  std::printf("texts: %zu, each plain and with correspondence; differing answers: %zu; failed requests: %zu\n",
              texts.size(), differ, failed);
  std::printf("in process: %.3f s wall, %.3f s CPU of this process\n", sides[0].wall, sides[0].cpu);
  std::printf("processes:  %.3f s wall, %.3f s CPU of this process\n", sides[1].wall, sides[1].cpu);
  return differ ? 1 : 0;
}
