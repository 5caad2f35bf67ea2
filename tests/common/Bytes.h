// Whole files as bytes, for tests that prepare or inspect them directly.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// The file's bytes; empty when it cannot be read.
std::string ReadBytes(const std::filesystem::path& path);
// Replaces the file by exactly these bytes; false when it cannot be written.
bool WriteBytes(const std::filesystem::path& path, const std::string& bytes);

// The same for platform paths (UTF-8 on posix, whatever the C locale says).
std::string ReadBytes(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::string& bytes);

}  // namespace testsupport
