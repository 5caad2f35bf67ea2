#include "engines/apertium/InProcess.h"

#include <sys/mman.h>
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
#include <cstdlib>
#include <exception>
#include <mutex>
#include <stdexcept>

#include "engines/apertium/Pipeline.h"

namespace apertium {

namespace {

std::string Basename(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
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

// The library stages write to a UFILE; here it is kept in memory.
template <class F>
void ToMemory(std::string* out, F&& run) {
  out->clear();
  char* buffer = nullptr;
  size_t size = 0;
  FILE* outFile = open_memstream(&buffer, &size);
  if (!outFile) throw std::runtime_error("no memory for a stage's output");
  UFILE* output = u_finit(outFile, nullptr, "UTF-8");
  if (!output) {
    fclose(outFile);
    free(buffer);
    throw std::runtime_error("no memory for a stage's output");
  }
  auto finish = [&] {
    u_fclose(output);  // leaves outFile open
    fclose(outFile);
  };
  try {
    run(output);
  } catch (...) {
    finish();
    free(buffer);
    throw;
  }
  finish();
  out->assign(buffer, size);
  free(buffer);
}

// And they read a FILE, here one over the previous stage's output.
template <class F>
void OnMemory(const std::string& in, std::string* out, F&& run) {
  out->clear();
  if (in.empty()) return;
  FILE* inFile = fmemopen(const_cast<char*>(in.data()), in.size(), "r");
  if (!inFile) throw std::runtime_error("no memory for a stage's input");
  InputFile input;
  input.wrap(inFile);  // closes it
  ToMemory(out, [&](UFILE* output) { run(input, output); });
}

FILE* OpenData(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) throw std::runtime_error("cannot read " + path);
  return f;
}

class Stage {
 public:
  virtual ~Stage() = default;
  virtual void Run(const std::string& in, std::string* out) = 0;
};

class FstStage : public Stage {
 public:
  explicit FstStage(const StageSpec& spec) : mKind(spec.kind) {
    FILE* f = OpenData(spec.files.at(0));
    mFst.load(f);
    fclose(f);
    mFst.setDictionaryCaseMode(spec.dictionaryCase);
    mFst.setCaseSensitiveMode(spec.caseSensitive);
    switch (mKind) {
      case StageSpec::Kind::Analysis: mFst.initAnalysis(); break;
      case StageSpec::Kind::Bilingual: mFst.initBiltrans(); break;
      case StageSpec::Kind::Generation: mFst.initGeneration(); break;
      default: mFst.initPostgeneration(); break;
    }
    if (!mFst.valid()) throw std::runtime_error("not a usable transducer: " + spec.files[0]);
    mMode = spec.generation == 'n' ? gm_clean : spec.generation == 'd' ? gm_all : gm_unknown;
  }
  void Run(const std::string& in, std::string* out) override {
    OnMemory(in, out, [this](InputFile& input, UFILE* output) {
      switch (mKind) {
        case StageSpec::Kind::Analysis: mFst.analysis(input, output); break;
        case StageSpec::Kind::Bilingual: mFst.bilingual(input, output); break;
        case StageSpec::Kind::Generation: mFst.generation(input, output, mMode); break;
        default: mFst.postgeneration(input, output); break;
      }
    });
  }

 private:
  StageSpec::Kind mKind;
  FSTProcessor mFst;
  GenerationMode mMode = gm_unknown;
};

// The tagger's word class keeps the tag list and its pattern cache in
// statics, shared by every tagger of the process.
std::mutex gTaggerStatics;

class TaggerStage : public Stage {
 public:
  explicit TaggerStage(const StageSpec& spec) {
    FILE* f = OpenData(spec.files.at(0));
    mTagger.deserialise(f);
    fclose(f);
    // The tagger reads its input by file name only; a memory file gives it one.
    mInput = memfd_create("pelorant-tagger-input", MFD_CLOEXEC);
    if (mInput < 0) throw std::runtime_error("no memory file for the tagger");
    mPath = "/proc/self/fd/" + std::to_string(mInput);
  }
  ~TaggerStage() override { close(mInput); }
  void Run(const std::string& in, std::string* out) override {
    out->clear();
    if (in.empty()) return;
    if (ftruncate(mInput, 0) != 0) throw std::runtime_error("cannot reset the tagger's input");
    size_t written = 0;
    while (written < in.size()) {
      ssize_t w = pwrite(mInput, in.data() + written, in.size() - written, static_cast<off_t>(written));
      if (w <= 0) throw std::runtime_error("cannot write the tagger's input");
      written += static_cast<size_t>(w);
    }
    std::lock_guard<std::mutex> lock(gTaggerStatics);
    TaggerWord::setArrayTags(mTagger.getArrayTags());
    TaggerWord::generate_marks = false;
    ToMemory(out, [this](UFILE* output) { mTagger.Apertium::FILE_Tagger::tagger(mPath.c_str(), output); });
  }

 private:
  HMM mTagger;
  int mInput = -1;
  std::string mPath;
};

class PretransferStage : public Stage {
 public:
  void Run(const std::string& in, std::string* out) override {
    OnMemory(in, out, [](InputFile& input, UFILE* output) { processStream(input, output, false, false, false); });
  }
};

class TransferStage : public Stage {
 public:
  explicit TransferStage(const StageSpec& spec) {
    if (spec.fromBilingual) mTransfer.setPreBilingual(true);
    if (!spec.useBilingual) mTransfer.setUseBilingual(false);
    for (const auto& f : spec.files) fclose(OpenData(f));
    mTransfer.read(spec.files.at(0), spec.files.at(1), spec.files.size() > 2 ? spec.files[2] : std::string());
  }
  void Run(const std::string& in, std::string* out) override {
    OnMemory(in, out, [this](InputFile& input, UFILE* output) { mTransfer.transfer(input, output); });
  }

 private:
  Transfer mTransfer;
};

class InterchunkStage : public Stage {
 public:
  explicit InterchunkStage(const StageSpec& spec) {
    for (const auto& f : spec.files) fclose(OpenData(f));
    mInterchunk.read(spec.files.at(0).c_str(), spec.files.at(1).c_str());
  }
  void Run(const std::string& in, std::string* out) override {
    OnMemory(in, out, [this](InputFile& input, UFILE* output) { mInterchunk.interchunk(input, output); });
  }

 private:
  Interchunk mInterchunk;
};

class PostchunkStage : public Stage {
 public:
  explicit PostchunkStage(const StageSpec& spec) {
    for (const auto& f : spec.files) fclose(OpenData(f));
    mPostchunk.read(spec.files.at(0).c_str(), spec.files.at(1).c_str());
  }
  void Run(const std::string& in, std::string* out) override {
    OnMemory(in, out, [this](InputFile& input, UFILE* output) { mPostchunk.postchunk(input, output); });
  }

 private:
  Postchunk mPostchunk;
};

class LexicalSelectionStage : public Stage {
 public:
  explicit LexicalSelectionStage(const StageSpec& spec) {
    FILE* f = OpenData(spec.files.at(0));
    mRules.load(f);
    fclose(f);
    mRules.init();
  }
  void Run(const std::string& in, std::string* out) override {
    OnMemory(in, out, [this](InputFile& input, UFILE* output) { mRules.process(input, output); });
  }

 private:
  LRXProcessor mRules;
};

class BlankStage : public Stage {
 public:
  explicit BlankStage(bool attach) : mAttach(attach) {}
  void Run(const std::string& in, std::string* out) override {
    *out = mAttach ? AttachWordBlanks(in) : DetachWordBlanks(in);
  }

 private:
  bool mAttach;
};

std::unique_ptr<Stage> MakeStage(const StageSpec& spec) {
  using Kind = StageSpec::Kind;
  switch (spec.kind) {
    case Kind::Analysis:
    case Kind::Bilingual:
    case Kind::Generation:
    case Kind::Postgeneration: return std::make_unique<FstStage>(spec);
    case Kind::Tagger: return std::make_unique<TaggerStage>(spec);
    case Kind::Pretransfer: return std::make_unique<PretransferStage>();
    case Kind::Transfer: return std::make_unique<TransferStage>(spec);
    case Kind::LexicalSelection: return std::make_unique<LexicalSelectionStage>(spec);
    case Kind::Interchunk: return std::make_unique<InterchunkStage>(spec);
    case Kind::Postchunk: return std::make_unique<PostchunkStage>(spec);
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

std::optional<StageSpec> ParseStage(const std::vector<std::string>& words) {
  using Kind = StageSpec::Kind;
  if (words.empty()) return std::nullopt;
  // A word the shell would treat specially is beyond a list of arguments.
  for (const auto& w : words) {
    if (w.find_first_of("$`<>;&*?") != std::string::npos) return std::nullopt;
  }
  const std::string program = Basename(words[0]);
  StageSpec spec;
  std::string options;
  auto files = [&](const std::string& known, size_t count) {
    return SplitOptions(words, known, &options, &spec.files) && spec.files.size() == count;
  };
  if (program == "lt-proc") {
    if (!files("zwcbgndp", 1)) return std::nullopt;
    int modes = 0;
    for (char m : std::string("bgndp")) modes += Has(options, m);
    if (modes > 1) return std::nullopt;
    spec.dictionaryCase = Has(options, 'w');
    spec.caseSensitive = Has(options, 'c');
    if (Has(options, 'b')) {
      spec.kind = Kind::Bilingual;
    } else if (Has(options, 'p')) {
      spec.kind = Kind::Postgeneration;
    } else if (Has(options, 'g') || Has(options, 'n') || Has(options, 'd')) {
      spec.kind = Kind::Generation;
      spec.generation = Has(options, 'n') ? 'n' : Has(options, 'd') ? 'd' : 'g';
    } else {
      spec.kind = Kind::Analysis;
    }
  } else if (program == "apertium-tagger") {
    if (!files("gz", 1) || !Has(options, 'g')) return std::nullopt;
    spec.kind = Kind::Tagger;
  } else if (program == "apertium-pretransfer") {
    if (!files("z", 0)) return std::nullopt;
    spec.kind = Kind::Pretransfer;
  } else if (program == "apertium-transfer") {
    if (!SplitOptions(words, "bnz", &options, &spec.files)) return std::nullopt;
    spec.fromBilingual = Has(options, 'b');
    spec.useBilingual = !Has(options, 'b') && !Has(options, 'n');
    if (spec.files.size() != (spec.useBilingual ? 3u : 2u)) return std::nullopt;
    spec.kind = Kind::Transfer;
  } else if (program == "lrx-proc") {
    if (!files("mz", 1)) return std::nullopt;
    spec.kind = Kind::LexicalSelection;
  } else if (program == "apertium-interchunk") {
    if (!files("z", 2)) return std::nullopt;
    spec.kind = Kind::Interchunk;
  } else if (program == "apertium-postchunk") {
    if (!files("z", 2)) return std::nullopt;
    spec.kind = Kind::Postchunk;
  } else if (program == "apertium-wblank-attach" || program == "apertium-wblank-detach") {
    if (!files("z", 0)) return std::nullopt;
    spec.kind = program.ends_with("attach") ? Kind::AttachBlanks : Kind::DetachBlanks;
  } else {
    return std::nullopt;
  }
  return spec;
}

std::optional<std::vector<StageSpec>> ParseCommand(const std::string& command, const std::vector<std::string>& args,
                                                   bool wordBlanks, std::string* unknown) {
  using Kind = StageSpec::Kind;
  std::string trimmed = command;
  while (!trimmed.empty() && isspace(static_cast<unsigned char>(trimmed.back()))) trimmed.pop_back();
  std::vector<StageSpec> stages;
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
    std::optional<StageSpec> spec = ParseStage(words);
    if (!spec) {
      if (unknown) *unknown = stage;
      return std::nullopt;
    }
    stages.push_back(std::move(*spec));
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
      StageSpec detach;
      detach.kind = Kind::DetachBlanks;
      stages.insert(generator, detach);
      StageSpec attach;
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

struct InProcessRunner::Loaded {
  std::vector<std::unique_ptr<Stage>> stages;
};

InProcessRunner::InProcessRunner(std::vector<StageSpec> stages) : mStages(std::move(stages)) {}

InProcessRunner::~InProcessRunner() = default;

void InProcessRunner::Reset() { mLoaded.reset(); }

Translator::Result InProcessRunner::Exchange(const std::string& input, std::string* output,
                                             const engine_server::CancelToken& token,
                                             std::chrono::milliseconds timeout, size_t maxAnswer) {
  output->clear();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  if (token.Cancelled()) return Result::Cancelled;
  if (!mLoaded) {
    auto loaded = std::make_unique<Loaded>();
    try {
      for (const StageSpec& spec : mStages) loaded->stages.push_back(MakeStage(spec));
    } catch (const std::exception&) {
      return Result::StartFailed;
    }
    mLoaded = std::move(loaded);
  }
  std::string text = input, next;
  try {
    for (const auto& stage : mLoaded->stages) {
      if (token.Cancelled()) return Result::Cancelled;
      if (std::chrono::steady_clock::now() >= deadline) return Result::TimedOut;
      stage->Run(text, &next);
      // Analyses and tags make the middle stages' streams several times
      // longer than the answer; only a runaway one is stopped early.
      if (next.size() / 64 > maxAnswer) return Result::TooLong;
      text.swap(next);
    }
  } catch (const std::exception&) {
    // A stage left halfway may hold part of this chunk; start clean.
    Reset();
    return Result::Died;
  }
  if (token.Cancelled()) return Result::Cancelled;
  if (std::chrono::steady_clock::now() >= deadline) return Result::TimedOut;
  if (text.size() > maxAnswer) return Result::TooLong;
  *output = std::move(text);
  return Result::Ok;
}

}  // namespace apertium
