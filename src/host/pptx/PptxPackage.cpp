#include "src/host/pptx/PptxPackage.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <cerrno>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

#include "src/host/pptx/Vocabulary.h"
#include "src/platform/Files.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"

namespace host::pptx {

namespace {

constexpr const char* kContentTypes = "[Content_Types].xml";
constexpr int kMaxDepth = 256;
constexpr const char* kRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";

char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string s) {
  for (char& c : s) c = LowerChar(c);
  return s;
}

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  return true;
}

// Part names are looked up as the caller spells them, many times a shape:
// the lowered key is built on the stack, not in a string of its own.
class LowerKey {
 public:
  explicit LowerKey(std::string_view name) {
    if (name.size() > sizeof mShort) {
      mLong = Lower(std::string(name));
      mView = mLong;
      return;
    }
    for (std::size_t i = 0; i < name.size(); ++i) mShort[i] = LowerChar(name[i]);
    mView = std::string_view(mShort, name.size());
  }
  operator std::string_view() const { return mView; }

 private:
  char mShort[256];
  std::string mLong;
  std::string_view mView;
};

struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

std::wstring Describe(const std::filesystem::path& file, const std::string& what) {
  return L"\"" + platform::FromUtf8(file.string()) + L"\": " + platform::FromUtf8(what);
}

[[noreturn]] void Fail(HRESULT hr, const std::filesystem::path& file, const std::string& what) {
  throw PackageError(hr, Describe(file, what));
}

// A name that stays inside the package: relative, no "." or ".." segment,
// no backslash or drive letter, nothing empty between slashes.
bool SafeEntryName(const std::string& name) {
  if (name.empty() || name.size() > 1024) return false;
  if (name[0] == '/' || name.find('\\') != std::string::npos || name.find(':') != std::string::npos) return false;
  if (name.find('\0') != std::string::npos) return false;
  std::size_t pos = 0;
  while (pos <= name.size()) {
    std::size_t next = name.find('/', pos);
    if (next == std::string::npos) next = name.size();
    const std::string_view seg = std::string_view(name).substr(pos, next - pos);
    // A trailing slash marks a folder entry; empty segments elsewhere do not belong.
    if (seg.empty() && next != name.size()) return false;
    if (seg == "." || seg == "..") return false;
    pos = next + 1;
  }
  return true;
}

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

constexpr unsigned kSaveFlags = pugi::format_raw | pugi::format_no_declaration;

class SerialisedPart;

// The changed parts of one save are serialised and deflated on two threads:
// the one that writes the archive, and a helper that works ahead in entry
// order; when the writer comes to a part the helper is still making, it
// makes the next one itself. The bytes are the same whoever makes them.
// Parts made ahead wait for the writer only while what they hold together
// stays under a megabyte (what one part's first slice reserves): so a save
// holds the part being written, one being made and at most that more than
// on one thread, and the two threads hand over seldom, not at every small
// part. The helper is started with the second part; should it fail to
// start, the writer makes every part itself.
class SaveAhead {
 public:
  SaveAhead() = default;
  SaveAhead(const SaveAhead&) = delete;
  SaveAhead& operator=(const SaveAhead&) = delete;
  // Every part is gone by now (libzip frees them in zip_close, or in the
  // zip_discard of a save that ended early); the helper ends after the part
  // in its hands.
  ~SaveAhead() {
    {
      std::lock_guard lock(mLock);
      mStop = true;
    }
    mRoom.notify_one();
    if (mHelper.joinable()) mHelper.join();
  }

  // In entry order, as the parts are added to the archive; returns the
  // part's number here.
  std::size_t Add(SerialisedPart* part) {
    std::size_t n = 0;
    {
      std::lock_guard lock(mLock);
      mParts.push_back({part, State::kWaiting, 0});
      n = mParts.size() - 1;
    }
    if (n == 1) {
      try {
        mHelper = std::thread([this] { Help(); });
      } catch (const std::system_error&) {
      }
    }
    mRoom.notify_one();
    return n;
  }

  // Returns once the part is serialised, by the helper or here; false when
  // that failed. While the helper is still at it, this thread makes the
  // next part if there is room for one.
  bool Ready(std::size_t part) {
    std::unique_lock lock(mLock);
    Slot& slot = mParts[part];
    if (slot.state == State::kWaiting || slot.state == State::kWritten) return Make(slot, lock);
    while (slot.state == State::kMaking) {
      if (Slot* next = Next()) {
        Make(*next, lock);
        continue;
      }
      mMade.wait(lock);
    }
    return slot.state == State::kMade;
  }

  // The part's slices are dropped (after its entry is written, or when it
  // is freed); a part still being made is waited for.
  void Drop(std::size_t part) {
    std::unique_lock lock(mLock);
    Slot& slot = mParts[part];
    mMade.wait(lock, [&] { return slot.state != State::kMaking; });
    const std::size_t held = std::exchange(slot.stored, 0);
    mAhead -= held;
    slot.state = State::kWritten;
    lock.unlock();
    if (held) mRoom.notify_one();
  }

 private:
  static constexpr std::size_t kAheadBytes = 1 << 20;
  enum class State { kWaiting, kMaking, kMade, kFailed, kWritten };
  struct Slot {
    SerialisedPart* part;
    State state;
    std::size_t stored;  // while made and not yet written
  };

  // The first part nobody has started, while there is room for one more.
  Slot* Next() {
    if (mAhead >= kAheadBytes) return nullptr;
    for (; mNext < mParts.size(); ++mNext)
      if (mParts[mNext].state == State::kWaiting) return &mParts[mNext];
    return nullptr;
  }

  bool Make(Slot& slot, std::unique_lock<std::mutex>& lock);

  void Help() {
    std::unique_lock lock(mLock);
    for (;;) {
      Slot* next = nullptr;
      mRoom.wait(lock, [&] { return mStop || (next = Next()) != nullptr; });
      if (mStop) return;
      Make(*next, lock);
    }
  }

  std::mutex mLock;
  std::condition_variable mMade;  // the writer waits for a part
  std::condition_variable mRoom;  // the helper waits for room or parts
  std::deque<Slot> mParts;        // never moves a slot another thread holds
  std::size_t mNext = 0;
  std::size_t mAhead = 0;  // what the made parts not yet written hold
  bool mStop = false;
  std::thread mHelper;
};

// The serialised form of a changed XML part, made when the archive writer
// comes to that entry (or a little before, see SaveAhead) and dropped once
// it has been written: so a save holds a few parts at a time, in slices
// that never need moving, rather than every changed part at once in
// strings that double as they grow. The part is deflated as it is
// serialised, with the parameters libzip's own deflate takes for the level
// the save sets, and handed over compressed with its checksum: its text is
// never held whole beside the tree it comes from, and libzip need not run
// through it again for the checksum.
class SerialisedPart : public pugi::xml_writer {
 public:
  SerialisedPart(const pugi::xml_document& doc, pugi::xml_encoding encoding, bool bom, SaveAhead& ahead)
      : mDoc(doc), mEncoding(encoding), mBom(bom), mTime(std::time(nullptr)), mAhead(ahead) {
    zip_error_init(&mError);
    mNumber = mAhead.Add(this);
  }
  ~SerialisedPart() override {
    mAhead.Drop(mNumber);
    if (mDeflating) deflateEnd(&mZ);
  }

  void write(const void* data, size_t size) override {
    mSize += size;
    Deflate(data, size, Z_NO_FLUSH);
  }

  zip_error_t* Error() { return &mError; }

  // libzip asks for the size before it opens the source and again after
  // closing it; it writes the same headers as for a buffer only while the
  // size is known.
  zip_int64_t Command(void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    switch (cmd) {
      case ZIP_SOURCE_OPEN:
        if (!mAhead.Ready(mNumber)) return -1;
        mSlice = mOffset = 0;
        return 0;
      case ZIP_SOURCE_READ: {
        zip_uint64_t done = 0;
        char* out = static_cast<char*>(data);
        while (done < len && mSlice < mSlices.size()) {
          const std::string& s = mSlices[mSlice];
          const size_t n = static_cast<size_t>(std::min<zip_uint64_t>(len - done, s.size() - mOffset));
          std::memcpy(out + done, s.data() + mOffset, n);
          done += n;
          mOffset += n;
          if (mOffset == s.size()) {
            ++mSlice;
            mOffset = 0;
          }
        }
        return static_cast<zip_int64_t>(done);
      }
      case ZIP_SOURCE_CLOSE:
        mSlices = {};
        mAhead.Drop(mNumber);
        return 0;
      case ZIP_SOURCE_STAT: {
        if (len < sizeof(zip_stat_t)) return -1;
        if (!mSized) {
          if (!mAhead.Ready(mNumber)) return -1;
          mSized = true;
        }
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->mtime = mTime;
        st->size = mSize;
        st->comp_size = mStored;
        st->comp_method = ZIP_CM_DEFLATE;
        st->encryption_method = ZIP_EM_NONE;
        st->crc = mCrc;
        st->valid = ZIP_STAT_MTIME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD |
                    ZIP_STAT_ENCRYPTION_METHOD | ZIP_STAT_CRC;
        return sizeof(zip_stat_t);
      }
      case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
      default:
        zip_error_set(&mError, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
  }

  // Serialises and deflates the part; false when that failed (Error() says
  // why). Touches nothing but this part and its document, so it may run on
  // any one thread at a time.
  bool Serialise() {
    mSlices.clear();
    mSize = mStored = 0;
    mCrc = 0;
    mFailed = false;
    StartDeflating();
    mDoc.save(*this, "", kSaveFlags | (mBom ? pugi::format_write_bom : 0), mEncoding);
    if (mDeflating) {
      Deflate(nullptr, 0, Z_FINISH);
      deflateEnd(&mZ);
      mDeflating = false;
    }
    if (mFailed) {
      zip_error_set(&mError, ZIP_ER_ZLIB, 0);
      return false;
    }
    // A small part keeps its bytes, not the megabyte its slice reserved.
    if (!mSlices.empty()) mSlices.back().shrink_to_fit();
    return true;
  }

  std::size_t Stored() const { return static_cast<std::size_t>(mStored); }

 private:
  static constexpr size_t kSlice = 1 << 20;

  void Append(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
      if (mSlices.empty() || mSlices.back().size() == mSlices.back().capacity()) {
        mSlices.emplace_back();
        mSlices.back().reserve(std::max(kSlice, size));
      }
      std::string& last = mSlices.back();
      const size_t n = std::min(size, last.capacity() - last.size());
      last.append(p, n);
      p += n;
      size -= n;
      mStored += n;
    }
  }

  // libzip deflates the same way: raw stream, its memory level.
  void StartDeflating() {
    mZ = {};
    if (deflateInit2(&mZ, 3, Z_DEFLATED, -MAX_WBITS, MAX_MEM_LEVEL, Z_DEFAULT_STRATEGY) != Z_OK) {
      mFailed = true;
      return;
    }
    mDeflating = true;
  }

  void Deflate(const void* data, size_t size, int flush) {
    if (mFailed) return;
    if (size) mCrc = libdeflate_crc32(mCrc, data, size);
    mZ.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    mZ.avail_in = static_cast<uInt>(size);
    char out[1 << 16];
    int rc = Z_OK;
    do {
      mZ.next_out = reinterpret_cast<Bytef*>(out);
      mZ.avail_out = sizeof out;
      rc = deflate(&mZ, flush);
      if (rc == Z_STREAM_ERROR) {
        mFailed = true;
        return;
      }
      Append(out, sizeof out - mZ.avail_out);
    } while (mZ.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
  }

  const pugi::xml_document& mDoc;
  pugi::xml_encoding mEncoding;
  bool mBom;
  time_t mTime;
  SaveAhead& mAhead;
  std::size_t mNumber = 0;
  std::vector<std::string> mSlices;
  zip_uint64_t mSize = 0;    // the text's
  zip_uint64_t mStored = 0;  // the slices'
  std::uint32_t mCrc = 0;
  z_stream mZ{};
  bool mDeflating = false;
  bool mFailed = false;
  size_t mSlice = 0;
  size_t mOffset = 0;
  bool mSized = false;
  zip_error_t mError;
};

bool SaveAhead::Make(Slot& slot, std::unique_lock<std::mutex>& lock) {
  slot.state = State::kMaking;
  lock.unlock();
  bool made = false;
  try {
    made = slot.part->Serialise();
  } catch (...) {
    zip_error_set(slot.part->Error(), ZIP_ER_MEMORY, 0);
  }
  lock.lock();
  slot.state = made ? State::kMade : State::kFailed;
  slot.stored = made ? slot.part->Stored() : 0;
  mAhead += slot.stored;
  mMade.notify_one();
  return made;
}

// The file a save writes, as libzip sees it. libzip writes each entry's
// local header, its data, then goes back to rewrite the header with the
// sizes and checksum; through a stream that flushes at every seek, a deck
// of a few hundred parts cost thousands of small writes and seeks. This
// keeps the file's last megabytes in memory, so those rewrites land there,
// and writes the rest in large pieces. Anything that reaches further back
// is written where it belongs at once.
class ArchiveFile {
 public:
  explicit ArchiveFile(int fd) : mFd(fd) { zip_error_init(&mError); }
  ~ArchiveFile() {
    ::close(mFd);
    zip_error_fini(&mError);
  }

  zip_error_t* Error() { return &mError; }
  zip_int64_t Command(void* data, zip_uint64_t len, zip_source_cmd_t cmd);

 private:
  static constexpr std::size_t kKept = 4 << 20;

  std::uint64_t End() const { return std::max(mWritten, mStart + mKept.size()); }

  bool Put(const char* data, std::size_t len, std::uint64_t at) {
    while (len > 0) {
      const ssize_t n = ::pwrite(mFd, data, len, static_cast<off_t>(at));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        zip_error_set(&mError, ZIP_ER_WRITE, n < 0 ? errno : ENOSPC);
        return false;
      }
      data += n;
      len -= static_cast<std::size_t>(n);
      at += static_cast<std::uint64_t>(n);
    }
    mWritten = std::max(mWritten, at);
    return true;
  }

  bool Flush() {
    if (!Put(mKept.data(), mKept.size(), mStart)) return false;
    mStart += mKept.size();
    mKept.clear();
    return true;
  }

  zip_int64_t Write(const char* data, zip_uint64_t len) {
    if (mKept.empty()) mStart = mPos;
    if (mPos < mStart || mPos > mStart + mKept.size()) {
      if (!Flush() || !Put(data, static_cast<std::size_t>(len), mPos)) return -1;
      mStart = mPos += len;
      return static_cast<zip_int64_t>(len);
    }
    const std::size_t at = static_cast<std::size_t>(mPos - mStart);
    const std::size_t over = std::min<std::size_t>(static_cast<std::size_t>(len), mKept.size() - at);
    mKept.replace(at, over, data, static_cast<std::size_t>(len));
    mPos += len;
    // Only what precedes the last megabytes is written out: the headers
    // libzip goes back to are near the end.
    if (mKept.size() >= 2 * kKept) {
      const std::size_t out = mKept.size() - kKept;
      if (!Put(mKept.data(), out, mStart)) return -1;
      mKept.erase(0, out);
      mStart += out;
    }
    return static_cast<zip_int64_t>(len);
  }

  int mFd;
  std::string mKept;          // the file's bytes from mStart on, not yet written
  std::uint64_t mStart = 0;
  std::uint64_t mPos = 0;      // where libzip writes next
  std::uint64_t mWritten = 0;  // the end of what is in the file
  zip_error_t mError;
};

zip_int64_t ArchiveFile::Command(void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  switch (cmd) {
    // Read as what it is before the archive is written: an empty file.
    case ZIP_SOURCE_OPEN:
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_READ:
    case ZIP_SOURCE_TELL:
      return 0;
    case ZIP_SOURCE_SEEK:
      return zip_source_seek_compute_offset(0, 0, data, len, &mError) < 0 ? -1 : 0;
    case ZIP_SOURCE_STAT: {
      if (len < sizeof(zip_stat_t)) return -1;
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->size = 0;
      st->valid = ZIP_STAT_SIZE;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_BEGIN_WRITE:
      mKept.clear();
      mStart = mPos = mWritten = 0;
      return ::ftruncate(mFd, 0) == 0 ? 0 : (zip_error_set(&mError, ZIP_ER_WRITE, errno), -1);
    case ZIP_SOURCE_WRITE:
      return Write(static_cast<const char*>(data), len);
    case ZIP_SOURCE_SEEK_WRITE: {
      const zip_int64_t to = zip_source_seek_compute_offset(mPos, End(), data, len, &mError);
      if (to < 0) return -1;
      mPos = static_cast<std::uint64_t>(to);
      return 0;
    }
    case ZIP_SOURCE_TELL_WRITE:
      return static_cast<zip_int64_t>(mPos);
    case ZIP_SOURCE_COMMIT_WRITE:
      return Flush() ? 0 : -1;
    case ZIP_SOURCE_ROLLBACK_WRITE:
      mKept.clear();
      return 0;
    case ZIP_SOURCE_REMOVE:  // an archive left with no entries: the file stays empty
      return ::ftruncate(mFd, 0) == 0 ? 0 : (zip_error_set(&mError, ZIP_ER_WRITE, errno), -1);
    case ZIP_SOURCE_SUPPORTS:
      // libzip opens for writing only what declares it can be read too.
      return zip_source_make_command_bitmap(
          ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
          ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS, ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_WRITE,
          ZIP_SOURCE_SEEK_WRITE, ZIP_SOURCE_TELL_WRITE, ZIP_SOURCE_COMMIT_WRITE, ZIP_SOURCE_ROLLBACK_WRITE,
          ZIP_SOURCE_REMOVE, -1);
    default:
      zip_error_set(&mError, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

// How libzip calls a source of ours, which it owns. Nothing may unwind
// through libzip: a failure (a part that cannot be serialised) fails the
// save as libzip reports its own faults.
template <class Source>
zip_int64_t SourceCallback(void* self, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* source = static_cast<Source*>(self);
  if (cmd == ZIP_SOURCE_ERROR) return zip_error_to_data(source->Error(), data, len);
  if (cmd == ZIP_SOURCE_FREE) {
    delete source;
    return 0;
  }
  try {
    return source->Command(data, len, cmd);
  } catch (...) {
    zip_error_set(source->Error(), ZIP_ER_MEMORY, 0);
    return -1;
  }
}

// The parts of the files this process saved. A copy saved and opened again
// (as a translation does with its working copies) holds its source's
// unchanged parts as they were, so the first copy to inflate such a part
// leaves the bytes here for the other copies still to read it, and the
// last of them takes them: a part is inflated once however many copies
// read it. A file changed on disk since its save is read from disk.
struct KeptPart {
  std::string bytes;  // as inflated; held only while a copy still waits for them
  bool held = false;
  int waiting = 0;    // opened copies holding the part that have not read it yet
};

std::mutex& KeptLock() {
  static std::mutex m;
  return m;
}

// Who the file on disk is and which version of it: a save replaces the
// file (new identity), and any write since changes the change time.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{}, changed{};
  bool operator==(const FileStamp& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
};

std::optional<FileStamp> StampOf(const std::filesystem::path& file) {
  struct stat st;
  if (::stat(file.c_str(), &st) != 0) return std::nullopt;
  return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

// An open reader of saved bytes, shared by the saved files that hold the
// same bytes (a file and its copies): the first of them opened reads the
// zip directory, and the others opened while it is open read through it.
struct SharedReader {
  std::weak_ptr<zip_t> zip;
};

struct SavedFile {
  std::filesystem::path file;
  FileStamp stamp;
  std::unordered_map<std::string, std::shared_ptr<KeptPart>> parts;  // by lower-case name
  std::shared_ptr<SharedReader> reader = std::make_shared<SharedReader>();
};


// The latest saves, newest last; a run opens the copies it just saved.
std::vector<SavedFile>& SavedFiles() {
  static std::vector<SavedFile> files;
  return files;
}
constexpr std::size_t kSavedFiles = 8;

// The reader open on the bytes of a file this process saved, when that
// file is as it was saved; null when none is open.
std::shared_ptr<zip_t> ReaderOf(const std::filesystem::path& file, const FileStamp& stamp) {
  std::lock_guard<std::mutex> lock(KeptLock());
  for (const SavedFile& saved : SavedFiles())
    if (saved.file == file && saved.stamp == stamp) return saved.reader->zip.lock();
  return nullptr;
}

// Returns the file as remembered (no stamp when it cannot be found).
std::optional<SavedFile> Remember(SavedFile saved) {
  const std::optional<FileStamp> stamp = StampOf(saved.file);
  std::lock_guard<std::mutex> lock(KeptLock());
  std::vector<SavedFile>& files = SavedFiles();
  std::erase_if(files, [&](const SavedFile& f) { return f.file == saved.file; });
  if (!stamp) return std::nullopt;
  saved.stamp = *stamp;
  if (files.size() == kSavedFiles) files.erase(files.begin());
  files.push_back(saved);
  return saved;
}

bool Blank(const char* s) {
  while (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n') ++s;
  return !*s;
}

// A run's a:t (of a:r or a:fld), which the text body reads and writes
// whether its text has a node of its own or not.
bool RunText(pugi::xml_node n) {
  const std::string_view owner = LocalName(n.parent());
  return LocalName(n) == "t" && (owner == "r" || owner == "fld");
}

// Text the parser stored in its element goes back to a node of its own
// where the element holds more than that text, or only blanks outside a
// run: so code inserting, removing or replacing children, whitespace
// between indented elements among them, meets the tree it always met.
// Kept out of the walk that calls it for every element holding text, so
// that the walk's own step stays small.
[[gnu::noinline]] void SeparateText(pugi::xml_node n) {
  const char* text = n.value();  // in the parsed buffer, which stays
  if (n.type() != pugi::node_element || (!n.first_child() && (!Blank(text) || RunText(n)))) return;
  n.prepend_child(pugi::node_pcdata).set_value(text);
  n.text().set("");
}

}  // namespace

struct Package::Entry {
  std::string name;
  zip_int64_t index = -1;  // in the source archive; -1 for a new part
  std::uint64_t size = 0;
  std::uint64_t compSize = 0;
  std::optional<std::uint32_t> crc;  // as the directory gives it
  std::int32_t compMethod = ZIP_CM_DEFLATE;
  bool loaded = false;
  std::string bytes;
  std::string parsed;  // the bytes xml was parsed from in place; its strings live there
  std::unique_ptr<pugi::xml_document> xml;
  pugi::xml_encoding encoding = pugi::encoding_utf8;
  bool bom = false;
  bool dirty = false;    // differs from the source entry
  bool removed = false;
  bool folder = false;   // directory entries are kept but hold no part
  std::uint64_t edits = 0;  // changes made through the package, kept across removal
  // Shared with the copies saved from this part as it is in the source;
  // `waiting` while this package counts among those yet to read it.
  std::shared_ptr<KeptPart> kept;
  bool waiting = false;

  ~Entry() { Release(); }
  // The part no longer stands for its source entry (or the package closes).
  void Release() {
    if (!kept) return;
    std::lock_guard<std::mutex> lock(KeptLock());
    if (waiting && --kept->waiting == 0) {
      kept->bytes = std::string();
      kept->held = false;
    }
    waiting = false;
    kept.reset();
  }
  // The bytes another copy inflated; false when none are held.
  bool TakeKept() {
    if (!kept) return false;
    std::lock_guard<std::mutex> lock(KeptLock());
    if (waiting) {
      waiting = false;
      --kept->waiting;
    }
    if (!kept->held || kept->bytes.size() != size) return false;
    if (kept->waiting > 0) {
      bytes = kept->bytes;
    } else {
      bytes = std::move(kept->bytes);
      kept->bytes = std::string();
      kept->held = false;
    }
    return true;
  }
  // Leaves the inflated bytes for the copies that still wait for them.
  void LeaveKept(const std::string& data) {
    if (!kept) return;
    std::lock_guard<std::mutex> lock(KeptLock());
    if (kept->waiting == 0 || kept->held) return;
    kept->bytes = data;
    kept->held = true;
  }
};

struct Package::Impl {
  std::shared_ptr<zip_t> zip;
  // Made at the first part inflated and kept: making one clears its tables.
  std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater{nullptr,
                                                                                      libdeflate_free_decompressor};
  std::vector<std::unique_ptr<Entry>> entries;
  std::unordered_map<std::string, Entry*, NameHash, std::equal_to<>> byLower;
  // The same entries by their names as written: callers nearly always
  // spell a name so, and then need no lowered key.
  std::unordered_map<std::string, Entry*, NameHash, std::equal_to<>> byName;
  PackageLimits limits;
  bool modified = false;
  std::filesystem::path file;
  std::uint64_t edits = 0;
  std::uint64_t linkEdits = 0;
  // Relationships by source part, with the version of the .rels part they
  // were read from: the model asks for the same few (a slide's layout, a
  // layout's master, a master's theme) at nearly every shape.
  // The .rels entry is kept too (entries live as long as the package), so
  // that a lookup whose part exists needs no name built or hashed.
  struct Rels {
    const Entry* part = nullptr;
    std::uint64_t version = 0;
    std::vector<Relationship> list;
  };
  std::unordered_map<std::string, Rels> rels;
  // The last file a save wrote, with the package's edit count and the
  // replaced parts it was written with: a package saved again unchanged
  // (a second working copy) is that file's bytes again, copied rather than
  // rebuilt, as long as the file is as it was written.
  struct LastSave {
    SavedFile saved;
    std::uint64_t edits = 0;
    std::map<std::string, std::string> replaced;
  };
  std::optional<LastSave> last;

  void Edited(Entry& e) {
    modified = true;
    ++edits;
    ++e.edits;
  }
  // Any entry of that name, removed or a folder too.
  Entry* Lookup(std::string_view name) const {
    if (auto it = byName.find(name); it != byName.end()) return it->second;
    auto it = byLower.find(std::string_view(LowerKey(name)));
    return it == byLower.end() ? nullptr : it->second;
  }
  std::uint64_t Version(const std::string& name) const {
    const Entry* e = Lookup(name);
    return e ? e->edits : 0;
  }

  Entry* Find(const std::string& name) const {
    Entry* e = Lookup(name);
    return e && !e->removed && !e->folder ? e : nullptr;
  }

  Entry& Need(const std::string& name) const {
    Entry* e = Find(name);
    if (!e) Fail(STG_E_FILENOTFOUND, file, "the package has no part \"" + name + "\"");
    return *e;
  }

  void Load(Entry& e) {
    if (e.loaded) return;
    if (e.index < 0 || e.TakeKept()) {
      e.loaded = true;
      return;
    }
    if (Inflate(e)) return;
    zip_file_t* zf = zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(e.index), 0);
    if (!zf) Fail(STG_E_INVALIDHEADER, file, "part \"" + e.name + "\" cannot be read: " + zip_strerror(zip.get()));
    std::string data;
    data.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(e.size, limits.maxEntrySize)));
    char buf[65536];
    for (;;) {
      zip_int64_t n = zip_fread(zf, buf, sizeof buf);
      if (n < 0) {
        std::string why = zip_error_strerror(zip_file_get_error(zf));
        zip_fclose(zf);
        Fail(STG_E_INVALIDHEADER, file, "part \"" + e.name + "\" is damaged: " + why);
      }
      if (n == 0) break;
      data.append(buf, static_cast<std::size_t>(n));
      // The directory's sizes can lie; the data itself is bounded too.
      if (data.size() > limits.maxEntrySize || data.size() > e.size) {
        zip_fclose(zf);
        Fail(STG_E_INVALIDHEADER, file, "part \"" + e.name + "\" holds more data than its directory entry says");
      }
    }
    if (zip_fclose(zf) != 0) Fail(STG_E_INVALIDHEADER, file, "part \"" + e.name + "\" is damaged (checksum)");
    e.LeaveKept(data);
    e.bytes = std::move(data);
    e.loaded = true;
  }

  // A deflated part is read as it lies and inflated whole into a buffer of
  // the size the directory gives, its checksum taken after: the same checks
  // libzip makes on a stream, at about half the cost. False, with nothing
  // read, for a part this does not take: stored, no checksum known, or a
  // compressed size no deflate stream of that part would have.
  bool Inflate(Entry& e) {
    if (e.compMethod != ZIP_CM_DEFLATE || !e.crc || e.compSize > e.size + e.size / 8 + 1024) return false;
    zip_file_t* zf = zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(e.index), ZIP_FL_COMPRESSED);
    if (!zf) Fail(STG_E_INVALIDHEADER, file, "part \"" + e.name + "\" cannot be read: " + zip_strerror(zip.get()));
    const std::size_t packedSize = static_cast<std::size_t>(e.compSize);
    auto packed = std::make_unique_for_overwrite<char[]>(packedSize);
    std::size_t got = 0;
    while (got < packedSize) {
      const zip_int64_t n = zip_fread(zf, packed.get() + got, packedSize - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    zip_fclose(zf);
    if (got != packedSize) Fail(STG_E_INVALIDHEADER, file, "part \"" + e.name + "\" is damaged: it is cut short");
    if (!inflater) inflater.reset(libdeflate_alloc_decompressor());
    if (!inflater) throw std::bad_alloc();
    std::string data(static_cast<std::size_t>(e.size), '\0');
    std::size_t size = 0;
    switch (libdeflate_deflate_decompress(inflater.get(), packed.get(), packedSize, data.data(), data.size(), &size)) {
      case LIBDEFLATE_SUCCESS:
        break;
      case LIBDEFLATE_INSUFFICIENT_SPACE:
        Fail(STG_E_INVALIDHEADER, file, "part \"" + e.name + "\" holds more data than its directory entry says");
      default:
        Fail(STG_E_INVALIDHEADER, file, "part \"" + e.name + "\" is damaged: its compressed data is not valid");
    }
    if (size != data.size() || libdeflate_crc32(0, data.data(), data.size()) != *e.crc)
      Fail(STG_E_INVALIDHEADER, file, "part \"" + e.name + "\" is damaged (checksum)");
    e.LeaveKept(data);
    e.bytes = std::move(data);
    e.loaded = true;
    return true;
  }

  pugi::xml_document& Xml(Entry& e) {
    if (e.xml) return *e.xml;
    Load(e);
    auto doc = std::make_unique<pugi::xml_document>();
    // Whitespace text is kept (a:t holding a blank matters, and so does the
    // layout of parts we re-serialise); DOCTYPE is parsed only to refuse it.
    // Text is stored in its element rather than in a node of its own: one
    // node less for every run, of the dozen or two a run takes; the walk
    // below keeps that for elements holding text alone.
    unsigned flags = pugi::parse_default | pugi::parse_declaration | pugi::parse_comments | pugi::parse_pi |
                     pugi::parse_ws_pcdata | pugi::parse_doctype | pugi::parse_embed_pcdata;
    const bool bom = e.bytes.size() >= 3 && static_cast<unsigned char>(e.bytes[0]) == 0xEF &&
                     static_cast<unsigned char>(e.bytes[1]) == 0xBB && static_cast<unsigned char>(e.bytes[2]) == 0xBF;
    pugi::xml_parse_result r;
    if (!e.dirty && e.index >= 0) {
      // A part as the source holds it is parsed in its own bytes rather than
      // a copy, so that a large part is not held twice; whoever asks for
      // its bytes later has them read again from the source.
      e.parsed = std::move(e.bytes);
      e.bytes = std::string();
      e.loaded = false;
      r = doc->load_buffer_inplace(e.parsed.data(), e.parsed.size(), flags, pugi::encoding_auto);
    } else {
      r = doc->load_buffer(e.bytes.data(), e.bytes.size(), flags, pugi::encoding_auto);
    }
    if (!r)
      Fail(STG_E_INVALIDHEADER, file,
           "part \"" + e.name + "\" is not well-formed XML (" + r.description() + " at offset " +
               std::to_string(r.offset) + ")");
    for (pugi::xml_node n = doc->first_child(); n; n = n.next_sibling())
      if (n.type() == pugi::node_doctype)
        Fail(STG_E_INVALIDHEADER, file,
             "part \"" + e.name + "\" declares a DTD, which a package may not do; it is refused so that no entity expands");
    // Code that walks the tree recurses by depth; real parts nest a few
    // dozen levels, so anything far deeper is refused rather than walked.
    // pugixml's own walk keeps the count: a walk through the public node
    // calls costs several times more on a large part.
    // The same walk hands text stored in an element to SeparateText.
    struct DepthGuard : pugi::xml_tree_walker {
      bool for_each(pugi::xml_node& n) override {
        if (*n.value()) SeparateText(n);
        return depth() <= kMaxDepth;
      }
    } guard;
    if (!doc->traverse(guard))
      Fail(STG_E_INVALIDHEADER, file,
           "part \"" + e.name + "\" nests elements more than " + std::to_string(kMaxDepth) + " levels deep");
    e.encoding = r.encoding;
    e.bom = bom;
    if (r.encoding != pugi::encoding_utf8) e.bom = true;
    e.xml = std::move(doc);
    return *e.xml;
  }

  // A file this process saved and nobody changed since: its parts that
  // were written as their source held them share what is read of them.
  void Adopt(const std::filesystem::path& path, const FileStamp& stamp) {
    std::lock_guard<std::mutex> lock(KeptLock());
    for (SavedFile& saved : SavedFiles()) {
      if (saved.file != path || saved.stamp != stamp) continue;
      if (saved.reader->zip.expired()) saved.reader->zip = zip;
      for (auto& [lower, e] : byLower) {
        auto part = saved.parts.find(lower);
        if (part == saved.parts.end()) continue;
        e->kept = part->second;
        e->waiting = true;
        ++e->kept->waiting;
      }
      return;
    }
  }

  Entry& Add(const std::string& name) {
    if (!SafeEntryName(name)) Fail(E_INVALIDARG, file, "part name \"" + name + "\" is not valid");
    if (Entry* e = Find(name)) {
      e->Release();
      return *e;
    }
    if (Entry* removed = Lookup(name)) {  // a removed one comes back at its old place
      Entry& e = *removed;
      e.removed = false;
      e.folder = false;
      e.bytes.clear();
      e.xml.reset();
      e.parsed = std::string();
      e.loaded = true;
      e.dirty = true;
      return e;
    }
    auto e = std::make_unique<Entry>();
    e->name = name;
    e->loaded = true;
    e->dirty = true;
    Entry* raw = e.get();
    entries.push_back(std::move(e));
    byLower[Lower(name)] = raw;
    byName[name] = raw;
    return *raw;
  }
};

Package::Package() : mImpl(std::make_unique<Impl>()) {}
Package::~Package() = default;

std::unique_ptr<Package> Package::Create() {
  std::unique_ptr<Package> p(new Package());
  return p;
}

std::unique_ptr<Package> Package::Open(const std::filesystem::path& file, const PackageLimits& limits) {
  std::unique_ptr<Package> p(new Package());
  p->mFile = file;
  Impl& im = *p->mImpl;
  im.file = file;
  im.limits = limits;

  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) Fail(STG_E_FILENOTFOUND, file, "file not found");
  const std::optional<FileStamp> stamp = StampOf(file);
  if (std::filesystem::is_directory(file, ec)) Fail(STG_E_FILENOTFOUND, file, "is a folder, not a file");
  {
    std::ifstream in(file, std::ios::binary);
    if (!in) Fail(E_ACCESSDENIED, file, "cannot be read (permission denied?)");
    unsigned char magic[8] = {};
    in.read(reinterpret_cast<char*>(magic), sizeof magic);
    static const unsigned char kOle[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (in.gcount() == 8 && std::memcmp(magic, kOle, 8) == 0)
      Fail(STG_E_INVALIDHEADER, file,
           "is a password-protected or old binary (OLE compound) file, not an Open XML package");
    if (in.gcount() < 4 || magic[0] != 'P' || magic[1] != 'K')
      Fail(STG_E_INVALIDHEADER, file, "is not a zip package");
  }

  std::error_code absent;
  const std::filesystem::path absolute = std::filesystem::absolute(file, absent);
  if (stamp) im.zip = ReaderOf(absolute, *stamp);
  int err = 0;
  zip_t* z = im.zip ? im.zip.get() : zip_open(file.c_str(), ZIP_RDONLY, &err);
  if (!z) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, err);
    std::string why = zip_error_strerror(&ze);
    zip_error_fini(&ze);
    if (err == ZIP_ER_NOZIP || err == ZIP_ER_INCONS || err == ZIP_ER_READ || err == ZIP_ER_SEEK)
      Fail(STG_E_INVALIDHEADER, file, "is a damaged or truncated zip package (" + why + ")");
    if (err == ZIP_ER_OPEN) Fail(E_ACCESSDENIED, file, "cannot be opened (" + why + ")");
    Fail(STG_E_INVALIDHEADER, file, "cannot be read as a zip package (" + why + ")");
  }
  if (!im.zip) im.zip.reset(z, zip_discard);

  zip_int64_t n = zip_get_num_entries(z, 0);
  if (n < 0) Fail(STG_E_INVALIDHEADER, file, "has an unreadable zip directory");
  if (static_cast<std::uint64_t>(n) > limits.maxEntries)
    Fail(STG_E_INVALIDHEADER, file, "has " + std::to_string(n) + " entries, more than the " +
                                        std::to_string(limits.maxEntries) + " a package may have");
  std::uint64_t total = 0;
  for (zip_int64_t i = 0; i < n; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME))
      Fail(STG_E_INVALIDHEADER, file, "has an unreadable zip directory entry");
    std::string name = st.name;
    bool folder = !name.empty() && name.back() == '/';
    if (!SafeEntryName(name))
      Fail(STG_E_INVALIDHEADER, file, "has an entry \"" + name + "\" whose path leaves the package");
    if (st.valid & ZIP_STAT_ENCRYPTION_METHOD && st.encryption_method != ZIP_EM_NONE)
      Fail(STG_E_INVALIDHEADER, file, "has an encrypted entry \"" + name + "\"");
    std::uint64_t size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    std::uint64_t comp = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
    if (size > limits.maxEntrySize)
      Fail(STG_E_INVALIDHEADER, file, "has an entry \"" + name + "\" of " + std::to_string(size) +
                                          " bytes, larger than the limit of " +
                                          std::to_string(limits.maxEntrySize));
    if (size > (1u << 20) && comp > 0 && size / comp > limits.maxRatio)
      Fail(STG_E_INVALIDHEADER, file, "has an entry \"" + name + "\" that expands " +
                                          std::to_string(size / comp) + " times (a zip bomb?)");
    total += size;
    if (total > limits.maxTotalSize)
      Fail(STG_E_INVALIDHEADER, file, "expands to more than " + std::to_string(limits.maxTotalSize) + " bytes");
    auto e = std::make_unique<Entry>();
    if (!im.byLower.emplace(Lower(name), e.get()).second)
      Fail(STG_E_INVALIDHEADER, file, "has two entries named \"" + name + "\"");
    im.byName.emplace(name, e.get());
    e->name = std::move(name);
    e->index = i;
    e->size = size;
    e->folder = folder;
    if (st.valid & ZIP_STAT_COMP_METHOD) e->compMethod = st.comp_method;
    e->compSize = comp;
    if (st.valid & ZIP_STAT_CRC) e->crc = st.crc;
    im.entries.push_back(std::move(e));
  }
  if (!im.Find(kContentTypes))
    Fail(STG_E_INVALIDHEADER, file, "is a zip file but not an Open XML package (no [Content_Types].xml)");
  if (stamp && stamp == StampOf(file)) im.Adopt(absolute, *stamp);
  return p;
}

std::vector<std::string> Package::PartNames() const {
  std::vector<std::string> out;
  for (auto& e : mImpl->entries)
    if (!e->removed && !e->folder) out.push_back(e->name);
  return out;
}

bool Package::HasPart(const std::string& name) const { return mImpl->Find(name) != nullptr; }

std::string Package::ContentType(const std::string& name) {
  if (!HasPart(kContentTypes)) return {};
  pugi::xml_node types = Xml(kContentTypes).document_element();
  const std::string want = "/" + name;
  for (pugi::xml_node o : types.children()) {
    std::string_view n = o.name();
    if (n == "Override" && SameNoCase(o.attribute("PartName").value(), want)) return o.attribute("ContentType").value();
  }
  auto dot = name.find_last_of('.');
  if (dot == std::string::npos) return {};
  const std::string_view ext = std::string_view(name).substr(dot + 1);
  for (pugi::xml_node d : types.children())
    if (std::string_view(d.name()) == "Default" && SameNoCase(d.attribute("Extension").value(), ext))
      return d.attribute("ContentType").value();
  return {};
}

const std::string& Package::Bytes(const std::string& name) {
  Entry& e = mImpl->Need(name);
  if (e.xml && e.dirty) {
    StringWriter w;
    e.xml->save(w, "", kSaveFlags | (e.bom ? pugi::format_write_bom : 0), e.encoding);
    e.bytes = std::move(w.out);
    e.loaded = true;
    return e.bytes;
  }
  mImpl->Load(e);
  return e.bytes;
}

pugi::xml_document& Package::Xml(const std::string& name) { return mImpl->Xml(mImpl->Need(name)); }

void Package::MarkDirty(const std::string& name) {
  Entry& e = mImpl->Need(name);
  e.dirty = true;
  mImpl->Edited(e);
  if (e.name.size() > 5 && SameNoCase(std::string_view(e.name).substr(e.name.size() - 5), ".rels")) ++mImpl->linkEdits;
}

bool Package::IsDirty(const std::string& name) const {
  Entry* e = mImpl->Find(name);
  return e && e->dirty;
}

bool Package::Modified() const { return mImpl->modified; }
void Package::ResetModified() { mImpl->modified = false; }
std::uint64_t Package::Edits() const { return mImpl->edits; }
std::uint64_t Package::PartVersion(const std::string& name) const { return mImpl->Version(name); }
std::uint64_t Package::LinkEdits() const { return mImpl->linkEdits; }

namespace {
void RegisterOverride(Package& p, const std::string& name, const std::string& contentType) {
  if (contentType.empty() || !p.HasPart(kContentTypes)) return;
  pugi::xml_node types = p.Xml(kContentTypes).document_element();
  const std::string want = "/" + name;
  for (pugi::xml_node o : types.children("Override"))
    if (SameNoCase(o.attribute("PartName").value(), want)) {
      if (std::string(o.attribute("ContentType").value()) != contentType) {
        o.attribute("ContentType").set_value(contentType.c_str());
        p.MarkDirty(kContentTypes);
      }
      return;
    }
  pugi::xml_node o = types.append_child("Override");
  o.append_attribute("PartName").set_value(("/" + name).c_str());
  o.append_attribute("ContentType").set_value(contentType.c_str());
  p.MarkDirty(kContentTypes);
}

void UnregisterOverride(Package& p, const std::string& name) {
  if (!p.HasPart(kContentTypes)) return;
  pugi::xml_node types = p.Xml(kContentTypes).document_element();
  const std::string want = "/" + name;
  for (pugi::xml_node o : types.children("Override"))
    if (SameNoCase(o.attribute("PartName").value(), want)) {
      types.remove_child(o);
      p.MarkDirty(kContentTypes);
      return;
    }
}
}  // namespace

void Package::SetPart(const std::string& name, std::string bytes, const std::string& contentType) {
  Entry& e = mImpl->Add(name);
  e.xml.reset();
  e.parsed = std::string();
  e.bytes = std::move(bytes);
  e.loaded = true;
  e.dirty = true;
  mImpl->Edited(e);
  ++mImpl->linkEdits;
  RegisterOverride(*this, name, contentType);
}

pugi::xml_document& Package::AddXmlPart(const std::string& name, const std::string& contentType) {
  Entry& e = mImpl->Add(name);
  e.xml = std::make_unique<pugi::xml_document>();
  pugi::xml_node decl = e.xml->append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "UTF-8";
  decl.append_attribute("standalone") = "yes";
  e.encoding = pugi::encoding_utf8;
  e.bom = false;
  e.dirty = true;
  mImpl->Edited(e);
  ++mImpl->linkEdits;
  RegisterOverride(*this, name, contentType);
  return *e.xml;
}

void Package::RemovePart(const std::string& name) {
  Entry* e = mImpl->Find(name);
  if (!e) return;
  e->removed = true;
  e->Release();
  e->xml.reset();
  e->parsed = std::string();
  e->bytes.clear();
  mImpl->Edited(*e);
  ++mImpl->linkEdits;
  UnregisterOverride(*this, name);
}

std::string Package::RelsPartName(const std::string& sourcePart) {
  if (sourcePart.empty()) return "_rels/.rels";
  auto slash = sourcePart.find_last_of('/');
  std::string dir = slash == std::string::npos ? "" : sourcePart.substr(0, slash + 1);
  std::string file = slash == std::string::npos ? sourcePart : sourcePart.substr(slash + 1);
  return dir + "_rels/" + file + ".rels";
}

// Runs for every relationship read, so the segments are views into the
// names rather than strings of their own.
std::string Package::ResolveTarget(const std::string& sourcePart, const std::string& target) {
  // Fragments and queries do not name parts.
  std::string_view t = std::string_view(target).substr(0, target.find('#'));
  if (t.empty()) return {};
  // Percent-encoding in targets: decode the common escapes.
  std::string dec;
  if (t.find('%') != std::string_view::npos) {
    for (std::size_t i = 0; i < t.size(); ++i) {
      if (t[i] == '%' && i + 2 < t.size() && std::isxdigit(static_cast<unsigned char>(t[i + 1])) &&
          std::isxdigit(static_cast<unsigned char>(t[i + 2]))) {
        dec += static_cast<char>(std::stoi(std::string(t.substr(i + 1, 2)), nullptr, 16));
        i += 2;
      } else {
        dec += t[i];
      }
    }
    t = dec;
  }
  std::vector<std::string_view> parts;
  if (t[0] != '/') {
    auto slash = sourcePart.find_last_of('/');
    std::string_view base =
        slash == std::string::npos ? std::string_view() : std::string_view(sourcePart).substr(0, slash);
    std::size_t pos = 0;
    while (!base.empty() && pos <= base.size()) {
      auto next = base.find('/', pos);
      if (next == std::string_view::npos) next = base.size();
      parts.push_back(base.substr(pos, next - pos));
      pos = next + 1;
    }
  }
  std::size_t pos = 0;
  while (pos <= t.size()) {
    auto next = t.find('/', pos);
    if (next == std::string_view::npos) next = t.size();
    std::string_view seg = t.substr(pos, next - pos);
    pos = next + 1;
    if (seg.empty() || seg == ".") continue;
    if (seg == "..") {
      if (parts.empty()) return {};  // leaves the package
      parts.pop_back();
      continue;
    }
    if (seg.find('\\') != std::string_view::npos || seg.find(':') != std::string_view::npos) return {};
    parts.push_back(seg);
  }
  std::string out;
  out.reserve(t.size() + sourcePart.size());
  for (std::string_view s : parts) {
    if (!out.empty()) out += '/';
    out += s;
  }
  return out;
}

std::string Package::RelativeTarget(const std::string& sourcePart, const std::string& targetPart) {
  auto split = [](const std::string& s) {
    std::vector<std::string> v;
    std::size_t pos = 0;
    while (pos <= s.size()) {
      auto next = s.find('/', pos);
      if (next == std::string::npos) next = s.size();
      v.push_back(s.substr(pos, next - pos));
      pos = next + 1;
    }
    return v;
  };
  std::vector<std::string> src = split(sourcePart), dst = split(targetPart);
  src.pop_back();  // the source's own file name
  std::size_t common = 0;
  while (common < src.size() && common + 1 < dst.size() && src[common] == dst[common]) ++common;
  std::string out;
  for (std::size_t i = common; i < src.size(); ++i) out += "../";
  for (std::size_t i = common; i < dst.size(); ++i) out += dst[i] + (i + 1 < dst.size() ? "/" : "");
  return out;
}

std::vector<Relationship> Package::Relationships(const std::string& sourcePart) { return KnownRelationships(sourcePart); }

// Lookups by type and id run at nearly every shape; a copy of the list each
// time cost more than the search.
const std::vector<Relationship>& Package::KnownRelationships(const std::string& sourcePart) {
  auto known = mImpl->rels.find(sourcePart);
  if (known != mImpl->rels.end() && known->second.part && known->second.part->edits == known->second.version)
    return known->second.list;
  std::string rels = RelsPartName(sourcePart);
  const std::uint64_t version = mImpl->Version(rels);
  if (known != mImpl->rels.end() && known->second.version == version) return known->second.list;
  std::vector<Relationship> out;
  if (HasPart(rels)) {
    pugi::xml_node root = Xml(rels).document_element();
    for (pugi::xml_node r : root.children()) {
      std::string_view n = r.name();
      auto colon = n.find(':');
      if (colon != std::string_view::npos) n = n.substr(colon + 1);
      if (n != "Relationship") continue;
      Relationship rel;
      rel.id = r.attribute("Id").value();
      rel.type = r.attribute("Type").value();
      rel.target = r.attribute("Target").value();
      rel.external = std::string(r.attribute("TargetMode").value()) == "External";
      if (!rel.external) rel.targetPart = ResolveTarget(sourcePart, rel.target);
      out.push_back(std::move(rel));
    }
  }
  auto& kept = mImpl->rels[sourcePart];
  kept = {mImpl->Lookup(rels), version, std::move(out)};
  return kept.list;
}

std::optional<Relationship> Package::RelationshipByType(const std::string& sourcePart, const std::string& type) {
  std::string want = RelationshipName(type);
  for (auto& r : KnownRelationships(sourcePart))
    if (r.type == type || RelationshipName(r.type) == want) return r;
  return std::nullopt;
}

std::optional<Relationship> Package::RelationshipById(const std::string& sourcePart, const std::string& id) {
  for (auto& r : KnownRelationships(sourcePart))
    if (r.id == id) return r;
  return std::nullopt;
}

std::string Package::AddRelationship(const std::string& sourcePart, const std::string& type,
                                     const std::string& targetPart) {
  return AppendRelationship(sourcePart, type, RelativeTarget(sourcePart, targetPart), false);
}

std::string Package::AddExternalRelationship(const std::string& sourcePart, const std::string& type,
                                             const std::string& target) {
  for (const Relationship& r : KnownRelationships(sourcePart))
    if (r.external && r.type == type && r.target == target) return r.id;
  return AppendRelationship(sourcePart, type, target, true);
}

std::string Package::AppendRelationship(const std::string& sourcePart, const std::string& type,
                                        const std::string& target, bool external) {
  std::string rels = RelsPartName(sourcePart);
  if (!HasPart(rels)) {
    pugi::xml_document& d = AddXmlPart(rels, "");
    pugi::xml_node root = d.append_child("Relationships");
    root.append_attribute("xmlns") = kRelNs;
    // .rels parts are covered by the Default for their extension.
    if (ContentType(rels).empty()) {
      pugi::xml_node types = Xml(kContentTypes).document_element();
      pugi::xml_node def = types.prepend_child("Default");
      def.append_attribute("Extension") = "rels";
      def.append_attribute("ContentType") = "application/vnd.openxmlformats-package.relationships+xml";
      MarkDirty(kContentTypes);
    }
  }
  pugi::xml_node root = Xml(rels).document_element();
  std::string prefix;
  std::string_view rn = root.name();
  if (auto c = rn.find(':'); c != std::string_view::npos) prefix = std::string(rn.substr(0, c + 1));
  int n = 1;
  std::string id;
  for (;; ++n) {
    id = "rId" + std::to_string(n);
    bool used = false;
    for (pugi::xml_node r : root.children())
      if (id == r.attribute("Id").value()) used = true;
    if (!used) break;
  }
  pugi::xml_node r = root.append_child((prefix + "Relationship").c_str());
  r.append_attribute("Id") = id.c_str();
  r.append_attribute("Type") = type.c_str();
  r.append_attribute("Target") = target.c_str();
  if (external) r.append_attribute("TargetMode") = "External";
  MarkDirty(rels);
  return id;
}

void Package::Save(const std::filesystem::path& to, const std::map<std::string, std::string>& replaced) {
  Impl& im = *mImpl;
  std::filesystem::path target = std::filesystem::absolute(to);
  std::error_code ec;
  if (!std::filesystem::is_directory(target.parent_path(), ec))
    Fail(STG_E_FILENOTFOUND, to, "cannot be written: the folder does not exist");

  const std::wstring targetName = platform::FromUtf8(target.string());
  if (im.last && im.last->edits == im.edits && im.last->replaced == replaced && im.last->saved.file != target) {
    // The stamp is taken after copying: a file changed before or while it
    // was read is not used.
    auto copy = [&](const std::wstring& tempPath) {
      std::error_code failed;
      std::filesystem::copy_file(im.last->saved.file, platform::ToUtf8(tempPath),
                                 std::filesystem::copy_options::overwrite_existing, failed);
      return !failed && StampOf(im.last->saved.file) == im.last->saved.stamp;
    };
    // Should the copy fail, the save below writes the file in full.
    if (platform::CurrentFiles().WriteAtomicallyWith(targetName, copy, {}) == ERROR_SUCCESS) {
      Remember({target, {}, im.last->saved.parts, im.last->saved.reader});
      return;
    }
  }

  bool written = false;
  SavedFile saved{target, {}, {}};
  auto fill = [&](const std::wstring& tempPath) {
    saved.parts.clear();
    const std::string temp = platform::ToUtf8(tempPath);
    zip_t* out = nullptr;
    const int fd = ::open(temp.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
      auto* file = new ArchiveFile(fd);
      zip_error_t err;
      zip_error_init(&err);
      zip_source_t* dest = zip_source_function_create(SourceCallback<ArchiveFile>, file, &err);
      if (!dest) delete file;
      out = dest ? zip_open_from_source(dest, ZIP_CREATE | ZIP_TRUNCATE, &err) : nullptr;
      if (dest && !out) zip_source_free(dest);
      zip_error_fini(&err);
    }
    if (!out) Fail(E_ACCESSDENIED, to, "cannot be written (cannot create a temporary file beside it)");
    SaveAhead ahead;  // outlives the parts, which zip_close or zip_discard frees
    // Whatever ends the save early (a refusal of libzip's, a part that
    // cannot be read) lets go of the temporary file, so that it can go.
    std::unique_ptr<zip_t, decltype(&zip_discard)> unfinished(out, zip_discard);
    auto abort = [&](const std::string& why) { Fail(E_FAIL, to, "cannot be written: " + why); };
    for (auto& up : im.entries) {
      Entry& e = *up;
      if (e.removed) continue;
      zip_int64_t idx = -1;
      if (e.folder) {
        idx = zip_dir_add(out, e.name.substr(0, e.name.size() - 1).c_str(), ZIP_FL_ENC_UTF_8);
        if (idx < 0) abort(zip_strerror(out));
        continue;
      }
      auto rep = replaced.find(e.name);
      if (!e.dirty && e.index >= 0 && rep == replaced.end()) {
        // Unchanged: the compressed bytes of the source entry, as they are.
        zip_source_t* src =
            zip_source_zip(out, im.zip.get(), static_cast<zip_uint64_t>(e.index), ZIP_FL_COMPRESSED, 0, -1);
        if (!src) abort(zip_strerror(out));
        idx = zip_file_add(out, e.name.c_str(), src, ZIP_FL_ENC_UTF_8);
        if (idx < 0) {
          zip_source_free(src);
          abort(zip_strerror(out));
        }
        zip_set_file_compression(out, static_cast<zip_uint64_t>(idx), e.compMethod, 0);
        if (!e.kept) e.kept = std::make_shared<KeptPart>();
        saved.parts.emplace(Lower(e.name), e.kept);
        continue;
      }
      zip_source_t* src = nullptr;
      if (rep == replaced.end() && e.xml && e.dirty) {
        auto* part = new SerialisedPart(*e.xml, e.encoding, e.bom, ahead);
        src = zip_source_function(out, SourceCallback<SerialisedPart>, part);
        if (!src) delete part;
      } else {
        // Handed to libzip as they are, not copied: both the replacement and
        // the part's bytes live until zip_close.
        const std::string& data = rep != replaced.end() ? rep->second : Bytes(e.name);
        src = zip_source_buffer(out, data.data(), data.size(), 0);
      }
      if (!src) abort(zip_strerror(out));
      idx = zip_file_add(out, e.name.c_str(), src, ZIP_FL_ENC_UTF_8);
      if (idx < 0) {
        zip_source_free(src);
        abort(zip_strerror(out));
      }
      // The fast deflate: the parts come out a tenth larger for half the
      // time of the default level.
      zip_set_file_compression(out, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFLATE, 3);
    }
    if (zip_close(out) != 0) abort(zip_strerror(out));
    unfinished.release();  // zip_close has freed it
    written = true;
    return true;
  };
  DWORD rc = platform::CurrentFiles().WriteAtomicallyWith(targetName, fill, {});
  if (rc == ERROR_SUCCESS) {
    im.last.reset();
    if (std::optional<SavedFile> kept = Remember(std::move(saved))) im.last = {std::move(*kept), im.edits, replaced};
    return;
  }
  if (!written) Fail(E_ACCESSDENIED, to, "cannot be written (cannot create a temporary file beside it)");
  Fail(E_ACCESSDENIED, to, "cannot be replaced: " + platform::ToUtf8(platform::SystemErrorText(rc)));
}

}  // namespace host::pptx
