#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fuzz {
namespace fs = std::filesystem;

const std::string& ScratchFolder() {
  // Never destroyed: the exit handler below still needs it.
  static const std::string& folder = *new std::string([] {
    std::string tmpl = (fs::temp_directory_path() / "pelorant-fuzz-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) Fail("cannot create a scratch folder in " + fs::temp_directory_path().string());
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(ScratchFolder(), ec);
    });
    return tmpl;
  }());
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
