// Reading and writing one section of an option file through the platform's
// profile-file service: "name=value" lines, written as name="value".
#pragma once

#include <string>
#include <vector>

namespace options {

inline constexpr const wchar_t* kOptionSection = L"TranslationOption";

// The section's lines split at their first "=", one matching pair of double
// or single quotes stripped from each value. False when the section is
// missing or has no line.
bool ReadOptionSection(const std::wstring& path, const std::wstring& section,
                       std::vector<std::wstring>* names, std::vector<std::wstring>* values);

// Replaces the section with one line per pair whose name is not empty,
// creating the file when missing. Other sections stay.
bool WriteOptionSection(const std::wstring& path, const std::wstring& section,
                        const std::vector<std::wstring>& names,
                        const std::vector<std::wstring>& values);

}  // namespace options
