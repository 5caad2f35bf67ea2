// Reading a wide hive (thousands of sibling keys, each with a value) against
// one four times narrower, side by side in one run. Reading must grow with
// the number of keys, not its square: target ratio at most 6 (4 is linear).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "src/platform/RegFile.h"

namespace {

std::string WideHive(int keys) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (int i = 0; i < keys; ++i)
    text += "[HKEY_CURRENT_USER\\Software\\Key" + std::to_string(i) + "]\r\n\"Value\"=dword:00000001\r\n\r\n";
  return text;
}

double SecondsToParse(const std::string& text) {
  double best = 1e9;
  for (int round = 0; round < 3; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    platform::regfile::Key root;
    root.name = L"HKEY_CURRENT_USER";
    if (!platform::regfile::Parse(text, root.name, &root).ok) std::abort();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

}  // namespace

int main() {
  double narrow = SecondsToParse(WideHive(2000));
  double wide = SecondsToParse(WideHive(8000));
  double ratio = wide / narrow;
  std::printf("regfile wide hive: 2000 keys %.3f s, 8000 keys %.3f s, ratio %.1f (target <= 6)\n", narrow, wide,
              ratio);
  return ratio <= 6 ? 0 : 1;
}
