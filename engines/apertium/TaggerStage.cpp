#include "engines/apertium/Stages.h"

#include <sys/mman.h>

#include <apertium/file_morpho_stream.h>
#include <apertium/hmm.h>
#include <apertium/tagger_word.h>

#include <cstdlib>
#include <mutex>

namespace apertium {

namespace {

// The tagger's word class keeps the tag list and its pattern cache in
// statics, shared by every tagger of the process: a tagger holds them for
// one run over its input at a time, reading the chunks that arrived
// together as a stream of their own, separated as in null-flush mode. The
// stream and its pattern matcher are built once and read each run's input
// from the start.
std::mutex gTaggerStatics;

class TaggerStage : public ChunkStage {
 public:
  explicit TaggerStage(const StagePlan& plan) {
    mTagger.deserialise(OpenData(plan.files.at(0)).get());
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
      if (mStream) {
        mStream->rewind();
      } else {
        mStream = std::make_unique<FileMorphoStream>(mPath.c_str(), false, &mTagger.get_tagger_data());
      }
      mTagger.tagger(*mStream, output);
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
  std::unique_ptr<FileMorphoStream> mStream;  // over mPath, once the first run opens it
};

}  // namespace

std::unique_ptr<Stage> MakeTaggerStage(const StagePlan& plan) { return std::make_unique<TaggerStage>(plan); }

}  // namespace apertium
