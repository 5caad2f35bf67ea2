// Saving option sets into the stand-in registry, with every change its own
// rewrite of the hive file (as before batches) and with one batch per save.
// Each round saves 20 sets into a fresh hive (a first save: every value is
// new) and then saves them again with one value of each set changed; the
// two ways alternate so that both see the same machine load. Prints the
// rewrites and the median time of each way and the ratio.
//
//   settings_save_bench [SETS] [ROUNDS]      (defaults 20 and 5)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchTimes.h"
#include "src/options/TranslationOptions.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
  double seconds = 0;
  std::uint64_t rewrites = 0;
};

Outcome SaveRound(bool batching, int sets, const std::filesystem::path& dir) {
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  platform::SetEnvironmentValue(L"PELORANT_REGISTRY", dir.wstring());
  platform::SetRegistryBatching(batching);
  options::TranslationOptions opts;
  opts.Reset();
  for (int i = 1; i < sets; ++i) opts.Add(L"Set " + std::to_wstring(i))->SetDualPrint(i % 2);
  const std::uint64_t before = platform::RegistryRewriteCount();
  const Clock::time_point start = Clock::now();
  bool ok = opts.Save(true);
  for (size_t i = 0; i < opts.Count(); ++i) opts.At(i).SetWindowAlign(2);
  ok = ok && opts.Save(true);
  Outcome o{std::chrono::duration<double>(Clock::now() - start).count(),
            platform::RegistryRewriteCount() - before};
  if (!ok) {
    std::fprintf(stderr, "save failed: %s\n", platform::ToUtf8(opts.LastFailure()).c_str());
    std::exit(1);
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const int sets = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "pelorant-settings-bench";
  std::vector<double> each, batched;
  std::uint64_t eachRewrites = 0, batchedRewrites = 0;
  for (int r = 0; r < rounds; ++r) {
    Outcome a = SaveRound(false, sets, dir / "each");
    Outcome b = SaveRound(true, sets, dir / "batched");
    each.push_back(a.seconds);
    batched.push_back(b.seconds);
    eachRewrites = a.rewrites;
    batchedRewrites = b.rewrites;
  }
  std::filesystem::remove_all(dir);
  const double e = bench::Median(each), b = bench::Median(batched);
  std::printf("%d sets, first save and one re-save, median of %d rounds\n", sets, rounds);
  std::printf("  a rewrite per change: %6llu rewrites  %8.3f s\n", static_cast<unsigned long long>(eachRewrites), e);
  std::printf("  one batch per save:   %6llu rewrites  %8.3f s\n", static_cast<unsigned long long>(batchedRewrites), b);
  std::printf("  ratio (per change / batched): %.1f\n", b > 0 ? e / b : 0.0);
  return 0;
}
