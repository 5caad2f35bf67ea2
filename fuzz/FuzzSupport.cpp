#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fuzz {
namespace fs = std::filesystem;

namespace {

// A fresh folder below $TMPDIR for this process, removed at exit. The code
// under test keeps its settings (registry hives, data folder) in "settings"
// there, away from the user's own; inputs go to "work".
const std::string& BaseFolder() {
  // Never destroyed: the exit handler below still needs it.
  static const std::string& folder = *new std::string([] {
    std::string tmpl = (fs::temp_directory_path() / "pelorant-fuzz-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) Fail("cannot create a scratch folder in " + fs::temp_directory_path().string());
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(BaseFolder(), ec);
    });
    std::error_code ec;
    fs::create_directories(tmpl + "/settings/registry", ec);
    fs::create_directories(tmpl + "/work", ec);
    if (ec) Fail("cannot create folders in " + tmpl);
    ::setenv("PELORANT_REGISTRY", (tmpl + "/settings/registry").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (tmpl + "/settings").c_str(), 1);
    return tmpl;
  }());
  return folder;
}

// Before any code under test reads its settings' locations.
[[maybe_unused]] const bool kIsolated = !BaseFolder().empty();

}  // namespace

const std::string& ScratchFolder() {
  static const std::string& folder = *new std::string(BaseFolder() + "/work");
  return folder;
}

std::string WriteScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
  std::string path = ScratchFolder() + "/" + name;
  std::string temp = path + ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) Fail("cannot write " + temp);
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  if (ec) Fail("cannot rename " + temp + ": " + ec.message());
  return path;
}

void ClearScratchFolder() {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(ScratchFolder(), ec)) fs::remove_all(entry.path(), ec);
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz property failed: %s\n", what.c_str());
  std::abort();
}

}  // namespace fuzz
