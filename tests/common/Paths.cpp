#include "tests/common/Paths.h"

#include <cstdlib>

namespace testsupport {

std::filesystem::path SourceRoot() {
  const char* root = std::getenv("PELORANT_TEST_SOURCE_DIR");
  if (root && *root) return std::filesystem::path(root);
  return std::filesystem::path(PELORANT_SOURCE_ROOT);
}

std::filesystem::path CorpusDir() { return SourceRoot() / ".." / "shared" / "corpus" / "real"; }

std::filesystem::path CorpusDeck(const std::string& name) { return CorpusDir() / name; }

}  // namespace testsupport
