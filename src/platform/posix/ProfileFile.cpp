// Profile files on plain files. A change reads the whole file, edits the one
// section, and renames a complete new file into place, so readers never see
// half a file and a failed write leaves the old file as it was.
#include "src/platform/ProfileFile.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "src/platform/Files.h"
#include "src/platform/ProfileDocument.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"

namespace platform {

namespace {

// Larger files are not profile files; refusing them keeps memory bounded.
constexpr size_t kMaxProfileBytes = 64 << 20;

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadWhole(const std::string& path, std::string* bytes, DWORD* error) {
  DWORD rc = CurrentFiles().ReadFile(FromUtf8(path), kMaxProfileBytes, bytes);
  if (rc == ERROR_SUCCESS) return ReadResult::Ok;
  if (rc == ERROR_FILE_NOT_FOUND) return ReadResult::Missing;
  // As before the file service: a file too large to be a profile file is a
  // read fault, a folder in its place a refusal.
  *error = rc == ERROR_FILE_TOO_LARGE ? ERROR_READ_FAULT : rc;
  return ReadResult::Failed;
}

// The file a write lands in: a symbolic link is followed so that the link
// stays a link.
std::string WriteTarget(const std::string& path) {
  char resolved[PATH_MAX];
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::realpath(path.c_str(), resolved)) {
    return resolved;
  }
  return path;
}

// Loads the document, lets `edit` change it, and writes it back. A file that
// exists but cannot be read, or whose bytes would not survive a rewrite, is
// left untouched.
template <typename Edit>
bool ModifyProfile(const std::wstring& widePath, Edit edit) {
  const std::string path = WriteTarget(ToUtf8(widePath));
  std::string bytes;
  DWORD error = ERROR_SUCCESS;
  ProfileDocument doc;
  switch (ReadWhole(path, &bytes, &error)) {
    case ReadResult::Failed:
      SetLastErrorCode(error);
      return false;
    case ReadResult::Missing:
      break;
    case ReadResult::Ok: {
      bool lossless = true;
      doc = ProfileDocument::Parse(bytes, &lossless);
      if (!lossless) {
        SetLastErrorCode(ERROR_INVALID_DATA);
        return false;
      }
      break;
    }
  }
  edit(doc);
  error = CurrentFiles().WriteAtomically(FromUtf8(path), doc.Serialize(), {});
  if (error != ERROR_SUCCESS) {
    SetLastErrorCode(error);
    return false;
  }
  SetLastErrorCode(ERROR_SUCCESS);
  return true;
}

}  // namespace

DWORD ProfileReadSection(const std::wstring& path, const std::wstring& section, wchar_t* buffer,
                         DWORD size) {
  std::string bytes;
  DWORD error = ERROR_SUCCESS;
  std::vector<std::wstring> entries;
  ReadResult r = ReadWhole(ToUtf8(path), &bytes, &error);
  if (r == ReadResult::Ok) {
    entries = ProfileDocument::Parse(bytes, nullptr).SectionEntries(section);
  } else {
    SetLastErrorCode(r == ReadResult::Missing ? ERROR_FILE_NOT_FOUND : error);
  }
  return CopyProfileEntries(entries, buffer, size);
}

bool ProfileWriteSection(const std::wstring& path, const std::wstring& section, const std::wstring& lines) {
  std::vector<std::wstring> split = SplitProfileBlock(lines);
  return ModifyProfile(path, [&](ProfileDocument& doc) { doc.ReplaceSection(section, split); });
}

bool ProfileWriteString(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                        const std::wstring& value) {
  return ModifyProfile(path, [&](ProfileDocument& doc) { doc.SetKey(section, key, value); });
}

}  // namespace platform
