// Where tests find what lies beside the source tree.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// The repository's root: $PELORANT_TEST_SOURCE_DIR as the build sets it for
// every suite, else the one this library was built from.
std::filesystem::path SourceRoot();

// The shared folder of real decks beside the source tree, and one deck in it.
std::filesystem::path CorpusDir();
std::filesystem::path CorpusDeck(const std::string& name);

}  // namespace testsupport
