#include "engines/apertium/Stages.h"

#include <dlfcn.h>

#include <apertium-lex-tools/lrx_processor.h>
#include <apertium/interchunk.h>
#include <apertium/postchunk.h>
#include <apertium/pretransfer.h>
#include <apertium/transfer.h>
#include <lttoolbox/fst_processor.h>
#include <lttoolbox/string_utils.h>

#include <cstdint>

namespace apertium {

namespace {

class FstStage : public LibraryStage {
 public:
  explicit FstStage(const StagePlan& plan) : mKind(plan.kind) {
    mFst.load(OpenData(plan.files.at(0)).get());
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
    for (const auto& f : plan.files) OpenData(f);
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
    for (const auto& f : plan.files) OpenData(f);
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
    mRules.load(OpenData(plan.files.at(0)).get());
    mRules.setNullFlush(true);
    mRules.init();
  }

 protected:
  void Process(InputFile& input, UFILE* output) override { mRules.process(input, output); }

 private:
  LRXProcessor mRules;
};

}  // namespace

std::unique_ptr<Stage> MakeStage(const StagePlan& plan) {
  using Kind = StagePlan::Kind;
  switch (plan.kind) {
    case Kind::Analysis:
    case Kind::Bilingual:
    case Kind::Generation:
    case Kind::Postgeneration: return std::make_unique<FstStage>(plan);
    case Kind::Tagger: return MakeTaggerStage(plan);
    case Kind::Pretransfer: return std::make_unique<PretransferStage>();
    case Kind::Transfer: return std::make_unique<TransferStage>(plan);
    case Kind::LexicalSelection: return std::make_unique<LexicalSelectionStage>(plan);
    case Kind::Interchunk: return std::make_unique<InterchunkStage>(plan);
    case Kind::Postchunk: return std::make_unique<PostchunkStage>(plan);
    case Kind::AttachBlanks: return MakeBlankStage(true);
    case Kind::DetachBlanks: return MakeBlankStage(false);
  }
  return nullptr;
}

}  // namespace apertium

// lttoolbox reads a number through ICU's u_sscanf, which builds a number
// format at every call; postchunk reads every "<N>" tag reference of every
// chunk that way, and that took two thirds of the stage's time. Defined in
// the program, this takes the place of the library's own for all its callers
// in the process: plain decimal digits up to a ">" (the rest of the chunk
// follows) or the end are read here, anything else by the library's.
int StringUtils::stoi(const UString& str) {
  constexpr size_t kMostDigits = 9;  // within an int
  std::uint64_t value = 0;
  size_t i = 0;
  for (; i < str.size() && i <= kMostDigits && str[i] >= u'0' && str[i] <= u'9'; ++i) {
    value = value * 10 + static_cast<std::uint64_t>(str[i] - u'0');
  }
  if (i > 0 && i <= kMostDigits && (i == str.size() || str[i] == u'>')) return static_cast<int>(value);
  using Stoi = int (*)(const UString&);
  static const auto library = reinterpret_cast<Stoi>(
      dlsym(RTLD_NEXT, "_ZN11StringUtils4stoiERKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE"));
  if (!library) throw std::invalid_argument("no number reader");
  return library(str);
}
