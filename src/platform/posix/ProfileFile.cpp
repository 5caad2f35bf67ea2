// Profile files on plain files. A change reads the whole file, edits the one
// section, and renames a complete new file into place, so readers never see
// half a file and a failed write leaves the old file as it was.
#include "src/platform/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "src/platform/ProfileDocument.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"

namespace platform {

namespace {

// Larger files are not profile files; refusing them keeps memory bounded.
constexpr off_t kMaxProfileBytes = 64 << 20;

DWORD ErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_WRITE_FAULT;
  }
}

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadWhole(const std::string& path, std::string* bytes, DWORD* error) {
  // Without O_NONBLOCK, opening a FIFO would wait for a writer.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return ReadResult::Missing;
    *error = ErrorFromErrno(errno);
    return ReadResult::Failed;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    *error = ERROR_READ_FAULT;
    ::close(fd);
    return ReadResult::Failed;
  }
  if (!S_ISREG(st.st_mode) || st.st_size > kMaxProfileBytes) {
    *error = S_ISDIR(st.st_mode) ? ERROR_ACCESS_DENIED : ERROR_READ_FAULT;
    ::close(fd);
    return ReadResult::Failed;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  bytes->clear();
  char chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = ERROR_READ_FAULT;
      ::close(fd);
      return ReadResult::Failed;
    }
    if (n == 0) break;
    bytes->append(chunk, static_cast<size_t>(n));
    if (bytes->size() > static_cast<size_t>(kMaxProfileBytes)) {
      *error = ERROR_READ_FAULT;
      ::close(fd);
      return ReadResult::Failed;
    }
  }
  ::close(fd);
  return ReadResult::Ok;
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

bool WriteAtomically(const std::string& path, const std::string& bytes, DWORD* error) {
  struct stat st;
  mode_t mode;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  std::string tmpl = path + ".XXXXXX";
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) {
    *error = ErrorFromErrno(errno);
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (ok) ok = ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(tmpl.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(tmpl.c_str());
    *error = err == ENOSPC ? ERROR_WRITE_FAULT : ErrorFromErrno(err);
  }
  return ok;
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
  if (!WriteAtomically(path, doc.Serialize(), &error)) {
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
