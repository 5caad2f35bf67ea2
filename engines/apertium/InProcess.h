// A direction's stages run as library calls inside this process: the
// mode's analyser, tagger, pretransfer, transfer stages, lexical selection,
// generator and post-generator, each loaded once on a thread of its own and
// fed the previous stage's output, in null-flush mode, exactly as the
// stages' programs are in a pipeline of processes, but without starting
// any process.
//
// The runner knows a fixed set of stages and their options; a mode that
// names anything else is left to the process pipeline.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engines/apertium/Translator.h"
#include "engines/apertium/WakePipe.h"

namespace apertium {

// Shell words of one stage of a mode file (quotes as the mode files use them).
std::vector<std::string> ShellWords(const std::string& stage);

// One stage as a mode names it.
struct StagePlan {
  enum class Kind {
    Analysis,          // lt-proc FST
    Bilingual,         // lt-proc -b FST
    Generation,        // lt-proc -g|-n|-d FST
    Postgeneration,    // lt-proc -p FST
    Tagger,            // apertium-tagger -g PROB
    Pretransfer,       // apertium-pretransfer
    Transfer,          // apertium-transfer [-b|-n] T1X BIN [BIL]
    LexicalSelection,  // lrx-proc [-m] BIN
    Interchunk,        // apertium-interchunk T2X BIN
    Postchunk,         // apertium-postchunk T3X BIN
    AttachBlanks,      // apertium-wblank-attach
    DetachBlanks,      // apertium-wblank-detach
  };
  Kind kind = Kind::Analysis;
  std::vector<std::string> files;
  bool dictionaryCase = false;  // lt-proc -w
  bool caseSensitive = false;   // lt-proc -c
  char generation = 'g';        // lt-proc's generation option: 'g', 'n' or 'd'
  bool fromBilingual = false;   // apertium-transfer -b
  bool useBilingual = true;     // apertium-transfer without -b or -n
};

// The stage that a stage's shell words name, or nothing when the runner
// does not know the program or one of its options. "-z" is accepted
// everywhere: the runner runs every stage in null-flush mode anyway.
std::optional<StagePlan> ParseStage(const std::vector<std::string>& words);

// The stages of a pipeline command with "$1", "$2"... replaced by args (an
// empty argument is no word at all, as the shell has it). With wordBlanks,
// wordbound blanks are attached to words after the analyser and detached
// before the generator, as Apertium's own null-flush modes do. Nothing
// when any stage is unknown; *unknown then names it.
std::optional<std::vector<StagePlan>> ParseCommand(const std::string& command, const std::vector<std::string>& args,
                                                   bool wordBlanks, std::string* unknown);

// What apertium-wblank-attach does to a stream: every open "[[...]]" moves
// onto each lexical unit it covers, and the closing "[[/]]" goes.
std::string AttachWordBlanks(const std::string& stream);
// And back: a lexical unit right after a wordbound blank gets its "[[/]]".
std::string DetachWordBlanks(const std::string& stream);

// For a program that ends once its command is done: the stages of an
// engine that closes from now on leave their loaded data (tens of megabytes
// of transducers and rules, freed piece by piece) to the end of the
// process, which drops it at once, rather than freeing it while the program
// saves and holding up its exit until they are through.
void LeaveStageDataToTheExit();

class InProcessRunner : public Translator {
 public:
  explicit InProcessRunner(std::vector<StagePlan> stages);
  ~InProcessRunner() override;
  InProcessRunner(const InProcessRunner&) = delete;
  InProcessRunner& operator=(const InProcessRunner&) = delete;

  // Starts the stages' threads and loads their data on first use
  // (StartFailed when one cannot be read). A cancel, a time-out or an answer
  // over its cap ends the exchange at once; stages still busy with it are
  // let go of and end by themselves, and the next exchange starts afresh.
  Result Exchange(const std::string& input, std::string* output, const engine_server::CancelToken& token,
                  std::chrono::milliseconds timeout, size_t maxAnswer) override;
  // All inputs go in at once: each stage works on one chunk while the next
  // stage works on the one before. maxAnswer caps each answer.
  Result ExchangeMany(const std::vector<std::string>& inputs, std::vector<std::string>* outputs,
                      const engine_server::CancelToken& token, std::chrono::milliseconds timeout,
                      size_t maxAnswer, const AnswerSink& onAnswer = {}) override;
  Result ExchangeFed(const std::vector<std::string>& inputs, std::vector<std::string>* outputs,
                     const engine_server::CancelToken& token, std::chrono::milliseconds timeout, size_t maxAnswer,
                     const AnswerSink& onAnswer, const MoreInputs& more) override;
  void Reset() override;
  pid_t ProcessId() const override { return 0; }

 private:
  struct Running;
  bool Start();
  // Ends the stages' input; waits for their threads or lets them go.
  void Stop(bool wait);

  std::vector<StagePlan> mStages;
  std::unique_ptr<Running> mRunning;
  WakePipe mWake;
};

}  // namespace apertium
