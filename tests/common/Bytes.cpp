#include "tests/common/Bytes.h"

#include <fstream>
#include <iterator>

#include "src/platform/Files.h"

namespace testsupport {

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

std::string ReadBytes(const std::wstring& path) { return ReadBytes(platform::NativePath(path)); }

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  return WriteBytes(platform::NativePath(path), bytes);
}

}  // namespace testsupport
