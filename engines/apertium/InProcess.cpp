#include "engines/apertium/InProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio_ext.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <apertium-lex-tools/lrx_processor.h>
#include <apertium/hmm.h>
#include <apertium/interchunk.h>
#include <apertium/postchunk.h>
#include <apertium/pretransfer.h>
#include <apertium/tagger_word.h>
#include <apertium/transfer.h>
#include <lttoolbox/fst_processor.h>
#include <lttoolbox/input_file.h>
#include <unicode/ustdio.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <cerrno>
#include <exception>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "engines/apertium/Pipeline.h"

namespace apertium {

namespace {

std::string Basename(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void CloseFd(int* fd) {
  if (*fd >= 0) {
    close(*fd);
    *fd = -1;
  }
}

bool IsOption(const std::string& w) { return w.size() >= 2 && w[0] == '-'; }

// Splits a stage's words into its options and its file arguments; false
// when an option is not among `known`.
bool SplitOptions(const std::vector<std::string>& words, const std::string& known, std::string* options,
                  std::vector<std::string>* files) {
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (IsOption(w)) {
      if (w.size() != 2 || known.find(w[1]) == std::string::npos) return false;
      *options += w[1];
    } else {
      files->push_back(w);
    }
  }
  return true;
}

bool Has(const std::string& options, char c) { return options.find(c) != std::string::npos; }

FILE* OpenData(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) throw std::runtime_error("cannot read " + path);
  return f;
}

// The two sockets a stage works between. What the stage writes waits here
// while more input is at hand and goes out when the stage would otherwise
// wait for input, has much to say, or ends: chunks that arrive together
// leave together, one wake-up of the next stage instead of one a chunk,
// while a lone chunk still goes out as soon as it is answered.
class StageLink {
 public:
  StageLink(int in, int out) : mIn(in), mOut(out) {}
  // Takes over both sockets and gives the files a stage reads and writes
  // through; the link goes with the last of them closed. Null when out of
  // memory, with the sockets closed.
  static StageLink* Open(int in, int out, FILE** reader, FILE** writer) {
    auto* link = new StageLink(in, out);
    cookie_io_functions_t r = {Read, nullptr, nullptr, CloseReader};
    cookie_io_functions_t w = {nullptr, Write, nullptr, CloseWriter};
    *reader = fopencookie(link, "r", r);
    *writer = *reader ? fopencookie(link, "w", w) : nullptr;
    if (*reader && *writer) {
      // Each file is used by its stage's thread alone: no lock a character.
      __fsetlocking(*reader, FSETLOCKING_BYCALLER);
      __fsetlocking(*writer, FSETLOCKING_BYCALLER);
      link->mUsers = 2;
      return link;
    }
    if (*reader) {
      link->mUsers = 1;
      fclose(*reader);  // closes in and frees the link
      close(out);
    } else {
      close(in);
      close(out);
      delete link;
    }
    *reader = *writer = nullptr;
    return nullptr;
  }
  // At most size bytes of what has come in, waiting only when nothing has.
  ssize_t ReadSome(char* data, size_t size) {
    for (;;) {
      ssize_t r = recv(mIn, data, size, MSG_DONTWAIT);
      if (r >= 0) return r;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
      // Everything answered so far goes out before the stage waits.
      Flush();
      do {
        r = recv(mIn, data, size, 0);
      } while (r < 0 && errno == EINTR);
      return r;
    }
  }

 private:
  static constexpr size_t kMostHeld = 1024;

  static ssize_t Read(void* cookie, char* data, size_t size) {
    return static_cast<StageLink*>(cookie)->ReadSome(data, size);
  }
  static ssize_t Write(void* cookie, const char* data, size_t size) {
    auto* link = static_cast<StageLink*>(cookie);
    if (link->mBroken) return -1;
    link->mHeld.append(data, size);
    if (link->mHeld.size() >= kMostHeld && !link->Flush()) return -1;
    return static_cast<ssize_t>(size);
  }
  static int CloseReader(void* cookie) {
    auto* link = static_cast<StageLink*>(cookie);
    int rc = close(link->mIn);
    link->Release();
    return rc;
  }
  static int CloseWriter(void* cookie) {
    auto* link = static_cast<StageLink*>(cookie);
    bool sent = link->Flush();
    int rc = close(link->mOut);
    link->Release();
    return sent ? rc : -1;
  }
  // Written with MSG_NOSIGNAL: once the reader is gone (the runner stopped,
  // a stage let go of after a cancel), a write fails instead of raising
  // SIGPIPE, also when the program's exit flushes what a stage left.
  bool Flush() {
    size_t sent = 0;
    while (!mBroken && sent < mHeld.size()) {
      ssize_t w = send(mOut, mHeld.data() + sent, mHeld.size() - sent, MSG_NOSIGNAL);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) mBroken = true;
      else sent += static_cast<size_t>(w);
    }
    mHeld.clear();
    return !mBroken;
  }
  void Release() {
    if (--mUsers == 0) delete this;
  }

  int mIn, mOut;
  std::string mHeld;
  bool mBroken = false;
  int mUsers = 0;
};

// A stage runs on a thread of its own over a stream of NUL-ended chunks,
// as its program does in null-flush mode, until the stream ends.
class Stage {
 public:
  virtual ~Stage() = default;
  // Takes over both files, which are over link.
  virtual void Stream(FILE* in, FILE* out, StageLink& link) = 0;
};

// The library's own null-flush loop: it answers each chunk with one chunk
// and flushes at every NUL.
class LibraryStage : public Stage {
 public:
  void Stream(FILE* in, FILE* out, StageLink&) override {
    InputFile input;
    input.wrap(in);  // closes it
    UFILE* output = u_finit(out, nullptr, "UTF-8");
    if (!output) {
      fclose(out);
      throw std::runtime_error("no memory for a stage's output");
    }
    try {
      Process(input, output);
    } catch (...) {
      u_fclose(output);  // leaves out open
      fclose(out);
      throw;
    }
    u_fclose(output);
    fclose(out);
  }

 protected:
  virtual void Process(InputFile& input, UFILE* output) = 0;
};

// A stage that handles a whole chunk at a time. It reads its descriptor
// itself, so that the chunks already waiting (texts announced ahead come
// several at once) are handed to it together.
class ChunkStage : public Stage {
 public:
  void Stream(FILE* in, FILE* out, StageLink& link) override {
    std::unique_ptr<FILE, int (*)(FILE*)> input(in, fclose), output(out, fclose);
    std::string pending;
    char buffer[65536];
    for (;;) {
      ssize_t n = link.ReadSome(buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      pending.append(buffer, static_cast<size_t>(n));
      const size_t end = pending.rfind('\0');
      if (end == std::string::npos) continue;
      std::vector<std::string> chunks;
      for (size_t from = 0; from <= end;) {
        const size_t nul = pending.find('\0', from);
        chunks.push_back(pending.substr(from, nul - from));
        from = nul + 1;
      }
      pending.erase(0, end + 1);
      std::string answer;
      for (const std::string& a : Chunks(chunks)) {
        answer += a;
        answer.push_back('\0');
      }
      if (fwrite(answer.data(), 1, answer.size(), out) != answer.size() || fflush(out) != 0) break;
    }
  }

 protected:
  virtual std::string Chunk(const std::string& chunk) = 0;
  // One answer a chunk, in order.
  virtual std::vector<std::string> Chunks(const std::vector<std::string>& chunks) {
    std::vector<std::string> answers;
    for (const std::string& c : chunks) answers.push_back(Chunk(c));
    return answers;
  }
};

class FstStage : public LibraryStage {
 public:
  explicit FstStage(const StagePlan& plan) : mKind(plan.kind) {
    FILE* f = OpenData(plan.files.at(0));
    mFst.load(f);
    fclose(f);
    mFst.setNullFlush(true);
    mFst.setDictionaryCaseMode(plan.dictionaryCase);
    mFst.setCaseSensitiveMode(plan.caseSensitive);
    switch (mKind) {
      case StagePlan::Kind::Analysis: mFst.initAnalysis(); break;
      case StagePlan::Kind::Bilingual: mFst.initBiltrans(); break;
      case StagePlan::Kind::Generation: mFst.initGeneration(); break;
      default: mFst.initPostgeneration(); break;
    }
    if (!mFst.valid()) throw std::runtime_error("not a usable transducer: " + plan.files[0]);
    mMode = plan.generation == 'n' ? gm_clean : plan.generation == 'd' ? gm_all : gm_unknown;
  }

 protected:
  void Process(InputFile& input, UFILE* output) override {
    switch (mKind) {
      case StagePlan::Kind::Analysis: mFst.analysis(input, output); break;
      case StagePlan::Kind::Bilingual: mFst.bilingual(input, output); break;
      case StagePlan::Kind::Generation: mFst.generation(input, output, mMode); break;
      default: mFst.postgeneration(input, output); break;
    }
  }

 private:
  StagePlan::Kind mKind;
  FSTProcessor mFst;
  GenerationMode mMode = gm_unknown;
};

// The tagger's word class keeps the tag list and its pattern cache in
// statics, shared by every tagger of the process: a tagger holds them for
// one run over its input at a time, reading the chunks that arrived
// together as a stream of their own. Each run builds the tagger's pattern
// matcher anew, so chunks that wait together go through one run, separated
// as in null-flush mode.
std::mutex gTaggerStatics;

class TaggerStage : public ChunkStage {
 public:
  explicit TaggerStage(const StagePlan& plan) {
    FILE* f = OpenData(plan.files.at(0));
    mTagger.deserialise(f);
    fclose(f);
    // The tagger reads its input by file name only; a memory file gives it one.
    mInput = memfd_create("pelorant-tagger-input", MFD_CLOEXEC);
    if (mInput < 0) throw std::runtime_error("no memory file for the tagger");
    mPath = "/proc/self/fd/" + std::to_string(mInput);
  }
  ~TaggerStage() override { close(mInput); }

 protected:
  std::string Chunk(const std::string& in) override {
    if (in.empty()) return {};
    return Tag(in, false);
  }

  std::vector<std::string> Chunks(const std::vector<std::string>& chunks) override {
    std::string joined;
    size_t count = 0;
    for (const std::string& c : chunks) {
      if (c.empty()) continue;
      joined += c;
      joined.push_back('\0');
      ++count;
    }
    if (count < 2) return ChunkStage::Chunks(chunks);
    // One answer a chunk, each ended by a NUL; what follows the last is the
    // end of the stream.
    const std::string all = Tag(joined, true);
    std::vector<std::string> pieces;
    for (size_t from = 0; pieces.size() < count;) {
      const size_t nul = all.find('\0', from);
      if (nul == std::string::npos) break;
      pieces.push_back(all.substr(from, nul - from));
      from = nul + 1;
    }
    if (pieces.size() < count) return ChunkStage::Chunks(chunks);
    std::vector<std::string> answers;
    size_t next = 0;
    for (const std::string& c : chunks) answers.push_back(c.empty() ? std::string() : std::move(pieces[next++]));
    return answers;
  }

 private:
  std::string Tag(const std::string& in, bool nullFlush) {
    if (ftruncate(mInput, 0) != 0) throw std::runtime_error("cannot reset the tagger's input");
    size_t written = 0;
    while (written < in.size()) {
      ssize_t w = pwrite(mInput, in.data() + written, in.size() - written, static_cast<off_t>(written));
      if (w <= 0) throw std::runtime_error("cannot write the tagger's input");
      written += static_cast<size_t>(w);
    }
    char* buffer = nullptr;
    size_t size = 0;
    FILE* outFile = open_memstream(&buffer, &size);
    if (!outFile) throw std::runtime_error("no memory for the tagger's output");
    __fsetlocking(outFile, FSETLOCKING_BYCALLER);
    UFILE* output = u_finit(outFile, nullptr, "UTF-8");
    if (output) {
      std::lock_guard<std::mutex> lock(gTaggerStatics);
      TaggerWord::setArrayTags(mTagger.getArrayTags());
      TaggerWord::generate_marks = false;
      mTagger.setNullFlush(nullFlush);
      mTagger.Apertium::FILE_Tagger::tagger(mPath.c_str(), output);
      u_fclose(output);  // leaves outFile open
    }
    fclose(outFile);
    std::string out(buffer, size);
    free(buffer);
    if (!output) throw std::runtime_error("no memory for the tagger's output");
    return out;
  }

  HMM mTagger;
  int mInput = -1;
  std::string mPath;
};

class PretransferStage : public LibraryStage {
 protected:
  void Process(InputFile& input, UFILE* output) override { processStream(input, output, true, false, false); }
};

class TransferStage : public LibraryStage {
 public:
  explicit TransferStage(const StagePlan& plan) {
    mTransfer.setNullFlush(true);
    if (plan.fromBilingual) mTransfer.setPreBilingual(true);
    if (!plan.useBilingual) mTransfer.setUseBilingual(false);
    for (const auto& f : plan.files) fclose(OpenData(f));
    mTransfer.read(plan.files.at(0), plan.files.at(1), plan.files.size() > 2 ? plan.files[2] : std::string());
  }

 protected:
  void Process(InputFile& input, UFILE* output) override { mTransfer.transfer(input, output); }

 private:
  Transfer mTransfer;
};

// Interchunk and postchunk read their rules and run alike.
template <class Module, void (Module::*Run)(InputFile&, UFILE*)>
class ChunkRulesStage : public LibraryStage {
 public:
  explicit ChunkRulesStage(const StagePlan& plan) {
    for (const auto& f : plan.files) fclose(OpenData(f));
    mModule.setNullFlush(true);
    mModule.read(plan.files.at(0).c_str(), plan.files.at(1).c_str());
  }

 protected:
  void Process(InputFile& input, UFILE* output) override { (mModule.*Run)(input, output); }

 private:
  Module mModule;
};

using InterchunkStage = ChunkRulesStage<Interchunk, &Interchunk::interchunk>;
using PostchunkStage = ChunkRulesStage<Postchunk, &Postchunk::postchunk>;

class LexicalSelectionStage : public LibraryStage {
 public:
  explicit LexicalSelectionStage(const StagePlan& plan) {
    FILE* f = OpenData(plan.files.at(0));
    mRules.load(f);
    fclose(f);
    mRules.setNullFlush(true);
    mRules.init();
  }

 protected:
  void Process(InputFile& input, UFILE* output) override { mRules.process(input, output); }

 private:
  LRXProcessor mRules;
};

class BlankStage : public ChunkStage {
 public:
  explicit BlankStage(bool attach) : mAttach(attach) {}

 protected:
  std::string Chunk(const std::string& in) override { return mAttach ? AttachWordBlanks(in) : DetachWordBlanks(in); }

 private:
  bool mAttach;
};

std::unique_ptr<Stage> MakeStage(const StagePlan& plan) {
  using Kind = StagePlan::Kind;
  switch (plan.kind) {
    case Kind::Analysis:
    case Kind::Bilingual:
    case Kind::Generation:
    case Kind::Postgeneration: return std::make_unique<FstStage>(plan);
    case Kind::Tagger: return std::make_unique<TaggerStage>(plan);
    case Kind::Pretransfer: return std::make_unique<PretransferStage>();
    case Kind::Transfer: return std::make_unique<TransferStage>(plan);
    case Kind::LexicalSelection: return std::make_unique<LexicalSelectionStage>(plan);
    case Kind::Interchunk: return std::make_unique<InterchunkStage>(plan);
    case Kind::Postchunk: return std::make_unique<PostchunkStage>(plan);
    case Kind::AttachBlanks: return std::make_unique<BlankStage>(true);
    case Kind::DetachBlanks: return std::make_unique<BlankStage>(false);
  }
  return nullptr;
}

// Copies a superblank "[...]" or a wordbound blank "[[...]]" starting at
// i (its "[") into *text, honouring escapes; returns the index after it.
size_t ReadBlank(const std::string& s, size_t i, std::string* text) {
  const bool word = i + 1 < s.size() && s[i + 1] == '[';
  size_t j = i + (word ? 2 : 1);
  while (j < s.size()) {
    if (s[j] == '\\') {
      j += 2;
      continue;
    }
    if (s[j] == ']' && (!word || (j + 1 < s.size() && s[j + 1] == ']'))) {
      j += word ? 2 : 1;
      break;
    }
    ++j;
  }
  j = std::min(j, s.size());
  *text = s.substr(i, j - i);
  return j;
}

// Index after the lexical unit starting at i (its "^").
size_t ReadUnit(const std::string& s, size_t i) {
  size_t j = i + 1;
  while (j < s.size() && s[j] != '$') j += s[j] == '\\' ? 2 : 1;
  return std::min(j + 1, s.size());
}

bool IsWordBlank(const std::string& blank) { return blank.size() >= 4 && blank.compare(0, 2, "[[") == 0; }

}  // namespace

std::vector<std::string> ShellWords(const std::string& stage) {
  std::vector<std::string> words;
  std::string cur;
  bool inWord = false;
  char quote = 0;
  for (char c : stage) {
    if (quote) {
      if (c == quote) {
        quote = 0;
      } else {
        cur.push_back(c);
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      inWord = true;
    } else if (isspace(static_cast<unsigned char>(c))) {
      if (inWord) words.push_back(cur);
      cur.clear();
      inWord = false;
    } else {
      cur.push_back(c);
      inWord = true;
    }
  }
  if (inWord) words.push_back(cur);
  return words;
}

std::optional<StagePlan> ParseStage(const std::vector<std::string>& words) {
  using Kind = StagePlan::Kind;
  if (words.empty()) return std::nullopt;
  // A word the shell would treat specially is beyond a list of arguments.
  for (const auto& w : words) {
    if (w.find_first_of("$`<>;&*?") != std::string::npos) return std::nullopt;
  }
  const std::string program = Basename(words[0]);
  StagePlan plan;
  std::string options;
  auto files = [&](const std::string& known, size_t count) {
    return SplitOptions(words, known, &options, &plan.files) && plan.files.size() == count;
  };
  if (program == "lt-proc") {
    if (!files("zwcbgndp", 1)) return std::nullopt;
    int modes = 0;
    for (char m : std::string("bgndp")) modes += Has(options, m);
    if (modes > 1) return std::nullopt;
    plan.dictionaryCase = Has(options, 'w');
    plan.caseSensitive = Has(options, 'c');
    if (Has(options, 'b')) {
      plan.kind = Kind::Bilingual;
    } else if (Has(options, 'p')) {
      plan.kind = Kind::Postgeneration;
    } else if (Has(options, 'g') || Has(options, 'n') || Has(options, 'd')) {
      plan.kind = Kind::Generation;
      plan.generation = Has(options, 'n') ? 'n' : Has(options, 'd') ? 'd' : 'g';
    } else {
      plan.kind = Kind::Analysis;
    }
  } else if (program == "apertium-tagger") {
    if (!files("gz", 1) || !Has(options, 'g')) return std::nullopt;
    plan.kind = Kind::Tagger;
  } else if (program == "apertium-pretransfer") {
    if (!files("z", 0)) return std::nullopt;
    plan.kind = Kind::Pretransfer;
  } else if (program == "apertium-transfer") {
    if (!SplitOptions(words, "bnz", &options, &plan.files)) return std::nullopt;
    plan.fromBilingual = Has(options, 'b');
    plan.useBilingual = !Has(options, 'b') && !Has(options, 'n');
    if (plan.files.size() != (plan.useBilingual ? 3u : 2u)) return std::nullopt;
    plan.kind = Kind::Transfer;
  } else if (program == "lrx-proc") {
    if (!files("mz", 1)) return std::nullopt;
    plan.kind = Kind::LexicalSelection;
  } else if (program == "apertium-interchunk") {
    if (!files("z", 2)) return std::nullopt;
    plan.kind = Kind::Interchunk;
  } else if (program == "apertium-postchunk") {
    if (!files("z", 2)) return std::nullopt;
    plan.kind = Kind::Postchunk;
  } else if (program == "apertium-wblank-attach" || program == "apertium-wblank-detach") {
    if (!files("z", 0)) return std::nullopt;
    plan.kind = program.ends_with("attach") ? Kind::AttachBlanks : Kind::DetachBlanks;
  } else {
    return std::nullopt;
  }
  return plan;
}

std::optional<std::vector<StagePlan>> ParseCommand(const std::string& command, const std::vector<std::string>& args,
                                                   bool wordBlanks, std::string* unknown) {
  using Kind = StagePlan::Kind;
  std::string trimmed = command;
  while (!trimmed.empty() && isspace(static_cast<unsigned char>(trimmed.back()))) trimmed.pop_back();
  std::vector<StagePlan> stages;
  for (const std::string& stage : SplitStages(trimmed)) {
    std::vector<std::string> words;
    for (const std::string& w : ShellWords(stage)) {
      // Whole-word "$N" only; anything else with a "$" stays unknown.
      if (w.size() == 2 && w[0] == '$' && w[1] >= '1' && w[1] <= '9') {
        size_t n = static_cast<size_t>(w[1] - '1');
        std::string value = n < args.size() ? args[n] : std::string();
        if (!value.empty()) words.push_back(value);
        continue;
      }
      words.push_back(w);
    }
    if (words.size() >= 1 && words[0] == "exec") words.erase(words.begin());
    std::optional<StagePlan> plan = ParseStage(words);
    if (!plan) {
      if (unknown) *unknown = stage;
      return std::nullopt;
    }
    stages.push_back(std::move(*plan));
  }
  if (stages.empty()) {
    if (unknown) *unknown = command;
    return std::nullopt;
  }
  auto has = [&](Kind k) {
    for (const auto& s : stages) {
      if (s.kind == k) return true;
    }
    return false;
  };
  if (wordBlanks && !has(Kind::AttachBlanks) && !has(Kind::DetachBlanks)) {
    // As Apertium's null-flush modes place them: right after the analyser,
    // right before the generator.
    auto generator = std::find_if(stages.begin(), stages.end(), [](const auto& s) { return s.kind == Kind::Generation; });
    if (stages.front().kind == Kind::Analysis && generator != stages.end()) {
      StagePlan detach;
      detach.kind = Kind::DetachBlanks;
      stages.insert(generator, detach);
      StagePlan attach;
      attach.kind = Kind::AttachBlanks;
      stages.insert(stages.begin() + 1, attach);
    }
  }
  return stages;
}

std::string AttachWordBlanks(const std::string& s) {
  std::string out;
  std::vector<std::string> open;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (c == '\\') {
      out.append(s, i, 2);
      i += 2;
    } else if (c == '[') {
      std::string blank;
      i = ReadBlank(s, i, &blank);
      if (!IsWordBlank(blank)) {
        out += blank;
      } else if (blank == "[[/]]") {
        if (!open.empty()) open.pop_back();
      } else {
        open.push_back(blank.substr(2, blank.size() - 4));
      }
    } else if (c == '^') {
      if (!open.empty()) {
        out += "[[";
        for (size_t k = 0; k < open.size(); ++k) out += (k ? "; " : "") + open[k];
        out += "]]";
      }
      size_t end = ReadUnit(s, i);
      out.append(s, i, end - i);
      i = end;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

std::string DetachWordBlanks(const std::string& s) {
  std::string out;
  bool pending = false;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (c == '\\') {
      out.append(s, i, 2);
      i += 2;
    } else if (c == '[') {
      std::string blank;
      i = ReadBlank(s, i, &blank);
      if (IsWordBlank(blank) && blank != "[[/]]") pending = true;
      out += blank;
    } else if (c == '^') {
      size_t end = ReadUnit(s, i);
      out.append(s, i, end - i);
      i = end;
      if (pending) out += "[[/]]";
      pending = false;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

namespace {

// Joins the stage threads of runners that are done with, on a thread of its
// own: their stages free their dictionaries as they end, which need not
// hold up whoever closed the engine (the program saving its document, say).
// The program's end waits for them.
class StageReaper {
 public:
  static StageReaper& Instance() {
    static StageReaper reaper;
    return reaper;
  }
  void Take(std::vector<std::thread> threads) {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      for (auto& t : threads) mThreads.push_back(std::move(t));
      if (!mWorker.joinable()) mWorker = std::thread([this] { Work(); });
    }
    mWake.notify_one();
  }
  ~StageReaper() {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      mEnding = true;
    }
    mWake.notify_one();
    if (mWorker.joinable()) mWorker.join();
  }

 private:
  void Work() {
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
      mWake.wait(lock, [this] { return mEnding || !mThreads.empty(); });
      if (mThreads.empty()) return;
      std::thread t = std::move(mThreads.front());
      mThreads.pop_front();
      lock.unlock();
      t.join();
      lock.lock();
    }
  }
  std::mutex mMutex;
  std::condition_variable mWake;
  std::deque<std::thread> mThreads;
  std::thread mWorker;
  bool mEnding = false;
};

}  // namespace

struct InProcessRunner::Running {
  std::vector<std::thread> threads;  // one a stage
  int toStages = -1;                 // the first stage reads what is written here
  int fromStages = -1;               // the last stage's answers
};

InProcessRunner::InProcessRunner(std::vector<StagePlan> stages) : mStages(std::move(stages)) {}

InProcessRunner::~InProcessRunner() {
  if (!mRunning) return;
  // The stages end as soon as their input does; waiting for them to free
  // their data is the reaper's part.
  CloseFd(&mRunning->toStages);
  CloseFd(&mRunning->fromStages);
  StageReaper::Instance().Take(std::move(mRunning->threads));
  mRunning.reset();
}

void InProcessRunner::Reset() { Stop(true); }

bool InProcessRunner::Start() {
  // A socket, not a pipe, in front: a write to a first stage that has ended
  // fails (MSG_NOSIGNAL) instead of raising SIGPIPE in the caller's thread.
  int first[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, first) != 0) return false;
  auto running = std::make_unique<Running>();
  running->toStages = first[0];
  int upstream = first[1];  // what the next stage reads
  std::vector<std::future<bool>> loaded;
  bool ok = true;
  for (const StagePlan& plan : mStages) {
    int out[2];
    FILE* in = nullptr;
    FILE* o = nullptr;
    StageLink* link = nullptr;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, out) == 0) {
      link = StageLink::Open(upstream, out[1], &in, &o);
      upstream = out[0];
    } else {
      close(upstream);
      upstream = -1;
    }
    if (!in || !o) {
      if (in) fclose(in);
      if (o) fclose(o);
      ok = false;
      break;
    }
    std::promise<bool> ready;
    loaded.push_back(ready.get_future());
    // Each stage loads its data on its own thread, so the stages load side
    // by side, and owns it: a thread let go of after a cancel ends by itself.
    running->threads.emplace_back([plan, in, o, link, ready = std::move(ready)]() mutable {
      sigset_t pipeSignal;
      sigemptyset(&pipeSignal);
      sigaddset(&pipeSignal, SIGPIPE);
      pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
      std::unique_ptr<Stage> stage;
      try {
        stage = MakeStage(plan);
      } catch (const std::exception&) {
      }
      ready.set_value(stage != nullptr);
      if (!stage) {
        fclose(in);
        fclose(o);
        return;
      }
      try {
        stage->Stream(in, o, *link);
      } catch (const std::exception&) {
        // Its files are closed: the stages after it see the end of their
        // input, and the exchange that waits on them fails.
      }
    });
  }
  running->fromStages = upstream;
  for (auto& f : loaded) ok = f.get() && ok;
  mRunning = std::move(running);
  if (!ok || mRunning->fromStages < 0) {
    Stop(true);
    return false;
  }
  fcntl(mRunning->toStages, F_SETFL, fcntl(mRunning->toStages, F_GETFL) | O_NONBLOCK);
  return true;
}

void InProcessRunner::Stop(bool wait) {
  if (!mRunning) return;
  // The first stage sees the end of its input and the rest follow; the last
  // one's answers have nowhere to go.
  CloseFd(&mRunning->toStages);
  CloseFd(&mRunning->fromStages);
  for (auto& t : mRunning->threads) {
    if (wait) {
      t.join();
    } else {
      t.detach();
    }
  }
  mRunning.reset();
}

Translator::Result InProcessRunner::Exchange(const std::string& input, std::string* output,
                                             const engine_server::CancelToken& token,
                                             std::chrono::milliseconds timeout, size_t maxAnswer) {
  output->clear();
  std::vector<std::string> outputs;
  Result r = ExchangeMany({input}, &outputs, token, timeout, maxAnswer);
  if (r == Result::Ok) *output = std::move(outputs.front());
  return r;
}

Translator::Result InProcessRunner::ExchangeMany(const std::vector<std::string>& inputs,
                                                 std::vector<std::string>* outputs,
                                                 const engine_server::CancelToken& token,
                                                 std::chrono::milliseconds timeout, size_t maxAnswer,
                                                 const AnswerSink& onAnswer) {
  return ExchangeFed(inputs, outputs, token, timeout, maxAnswer, onAnswer, {});
}

Translator::Result InProcessRunner::ExchangeFed(const std::vector<std::string>& inputs,
                                                std::vector<std::string>* outputs,
                                                const engine_server::CancelToken& token,
                                                std::chrono::milliseconds timeout, size_t maxAnswer,
                                                const AnswerSink& onAnswer, const MoreInputs& more) {
  outputs->clear();
  mWake.Drain();
  if (token.Cancelled()) return Result::Cancelled;
  mWake.WakeOn(token);
  if (!mRunning && !Start()) return Result::StartFailed;
  Result r = ExchangeChunks({mRunning->toStages, mRunning->fromStages, mWake.ReadEnd(), true}, inputs, outputs, token,
                            std::chrono::steady_clock::now() + timeout, timeout, maxAnswer, onAnswer, more);
  // A stage that died has ended its followers; stages still busy with a
  // chunk nobody waits for are let go of and end by themselves.
  if (r != Result::Ok) {
    outputs->clear();
    Stop(r == Result::Died);
  }
  return r;
}

}  // namespace apertium
