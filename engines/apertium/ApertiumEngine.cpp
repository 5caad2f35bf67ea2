#include "engines/apertium/ApertiumServer.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>

#include "engines/apertium/ApertiumFormat.h"
#include "engines/apertium/InProcess.h"
#include "engines/apertium/Pipeline.h"
#include "src/engine/server/AheadQueue.h"
#include "src/engine/server/EngineClasses.h"
#include "src/platform/Strings.h"
#include "src/support/Log.h"

namespace apertium {

using namespace engine_server;

namespace {

const wchar_t kLogSource[] = L"Apertium";

std::string Quote(const std::string& path) {
  std::string q = "'";
  for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string RunForOutput(const std::vector<std::string>& argv) {
  std::string cmd;
  for (const auto& a : argv) cmd += Quote(a) + " ";
  cmd += "2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return {};
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  if (pclose(p) != 0) return {};
  return out;
}

// Apertium's own tool turns a mode into its null-flush form with the stages
// that carry wordbound blanks across the tagger and transfer.
std::string NullFlushCommand(const ApertiumPair& pair) {
  std::string cmd = RunForOutput({"apertium-wblank-mode", "-z", pair.modeFile});
  while (!cmd.empty() && (cmd.back() == '\n' || cmd.back() == '\r')) cmd.pop_back();
  return cmd;
}

RequestOutcome Outcome(Translator::Result r) {
  switch (r) {
    case Translator::Result::Ok: return RequestOutcome::Done();
    case Translator::Result::Cancelled: return RequestOutcome::Cancelled();
    case Translator::Result::StartFailed: return RequestOutcome::Failed(kEngineErrorClient);
    default: return RequestOutcome::Failed(kEngineErrorEngine);
  }
}

// An answer is a translation of its request: a few times its size at most
// (target words, markers), never megabytes more.
size_t MaxAnswerBytes(size_t requestBytes) {
  constexpr size_t kFloor = 1u << 20;
  constexpr size_t kPerRequestByte = 16;
  return std::max(kFloor, requestBytes * kPerRequestByte);
}

const wchar_t* Describe(Translator::Result r) {
  switch (r) {
    case Translator::Result::Ok: return L"ok";
    case Translator::Result::Cancelled: return L"cancelled";
    case Translator::Result::StartFailed: return L"could not start";
    case Translator::Result::Died: return L"ended unexpectedly";
    case Translator::Result::TimedOut: return L"did not answer in time";
    case Translator::Result::TooLong: return L"gave an answer far longer than its request";
  }
  return L"";
}

}  // namespace

// Texts announced ahead go through the pipeline this many at a time. Each
// answer is handed on as soon as it is out, so a larger batch costs the
// first text nothing; it only keeps texts announced meanwhile waiting for
// the next batch.
constexpr size_t kAheadBatch = 48;

// Shared by the engine and its request's worker: a worker whose job is given
// up on (an engine closed while it still runs) keeps what it uses alive.
struct ApertiumEngine::Impl {
  ApertiumPair pair;
  Settings settings;
  // Held by every job: the pipelines serve one exchange at a time, also
  // when a request that was given up on is still ending.
  std::mutex busy;
  std::unique_ptr<Translator> translation;
  std::unique_ptr<Translator> analyser;
  std::unique_ptr<Translator> bilingual;
  std::uint64_t lastRequest = 0;
  const std::shared_ptr<AheadQueue> ahead = std::make_shared<AheadQueue>();

  // The translation stages, built on first use: in process when the runner
  // knows every stage of the mode, else the process pipeline. Decided once.
  Translator* Translation() {
    if (translation) return translation.get();
    // $1 is the generator's option: "-n" leaves unknown words unmarked;
    // $2 is the tagger's extra option (none).
    const std::vector<std::string> args = {"-n", ""};
    if (settings.pipelineCommand.empty() && settings.inProcess) {
      std::string unknown;
      auto stages = ParseCommand(ModeCommand(pair), args, true, &unknown);
      if (stages) {
        LOG_INFO(kLogSource, pair.id + L": the stages run in process");
        translation = std::make_unique<InProcessRunner>(std::move(*stages));
        return translation.get();
      }
      LOG_INFO(kLogSource, pair.id + L": the stages run as processes, for want of an in-process \"" +
                               platform::FromUtf8(unknown) + L"\"");
    }
    std::string cmd = settings.pipelineCommand.empty() ? NullFlushCommand(pair) : settings.pipelineCommand;
    if (cmd.empty()) return nullptr;
    translation = std::make_unique<Pipeline>(cmd, args);
    return translation.get();
  }

  // The analyser (giving the dictionary's lemma, not the selection's
  // capitalisation, so the bilingual dictionary finds it) and the
  // bilingual dictionary, built on first use.
  void DictionaryStages() {
    if (analyser) return;
    std::optional<std::vector<StagePlan>> a, b;
    if (settings.inProcess) {
      a = ParseCommand("lt-proc -w " + Quote(pair.analyser), {}, false, nullptr);
      b = ParseCommand("lt-proc -b " + Quote(pair.bilingual), {}, false, nullptr);
    }
    if (a && b) {
      analyser = std::make_unique<InProcessRunner>(std::move(*a));
      bilingual = std::make_unique<InProcessRunner>(std::move(*b));
    } else {
      analyser = std::make_unique<Pipeline>("exec lt-proc -z -w " + Quote(pair.analyser), std::vector<std::string>{});
      bilingual = std::make_unique<Pipeline>("exec lt-proc -z -b " + Quote(pair.bilingual), std::vector<std::string>{});
    }
  }

  Translator::Result Run(Translator* p, const std::string& input, std::string* output, const CancelToken& token) {
    if (!p) {
      LOG_ERROR(kLogSource, L"no null-flush pipeline for " + pair.id);
      return Translator::Result::StartFailed;
    }
    // Long inputs get time in proportion; the base covers loading the
    // pair's transducers on the first request.
    auto timeout = std::chrono::milliseconds(settings.timeoutMs) + std::chrono::milliseconds(input.size() * 2);
    Translator::Result r = p->Exchange(input, output, token, timeout, MaxAnswerBytes(input.size()));
    if (r != Translator::Result::Ok && r != Translator::Result::Cancelled) {
      LOG_ERROR(kLogSource, pair.id + L": the pipeline " + Describe(r));
    }
    return r;
  }

  // Translates one chunk through the translation pipeline: its end marker
  // is numbered, and an answer carrying another number (a stage that
  // repeated or delayed an answer) fails the request and replaces the
  // pipeline.
  Translator::Result Exchange(const std::wstring& text, const std::vector<SourceWord>* words, const CancelToken& token,
                            Reformatted* out) {
    const std::uint64_t number = ++lastRequest;
    std::string answer;
    Translator* p = Translation();
    Translator::Result r = Run(p, Deformat(text, words, number), &answer, token);
    if (r != Translator::Result::Ok) return r;
    *out = Reformat(answer, words ? words->size() : 0, number);
    if (!out->complete) {
      LOG_ERROR(kLogSource, pair.id + (out->outOfStep ? L": an answer of another request came back"
                                                      : L": the answer lost its end marker"));
      p->Reset();
      return Translator::Result::Died;
    }
    return r;
  }

  // Translates a batch of announced texts back to back through the
  // translation pipeline and settles every entry as its answer comes out;
  // the queue fails those left (the request that wants one then translates
  // it on its own).
  Translator::Result TranslateBatch(AheadQueue::Batch& batch, const CancelToken& token) {
    std::vector<std::vector<SourceWord>> words;
    std::vector<std::uint64_t> numbers;
    size_t bytes = 0;
    // Deformats the entries from `from` on; returns the largest input.
    auto prepare = [&](size_t from, std::vector<std::string>* inputs) {
      size_t largest = 0;
      words.resize(batch.size());
      for (size_t i = from; i < batch.size(); ++i) {
        const bool marks = batch[i]->mode == kTranslateModeCorrespondence;
        if (marks) words[i] = FindWords(batch[i]->text);
        numbers.push_back(++lastRequest);
        inputs->push_back(Deformat(batch[i]->text, marks ? &words[i] : nullptr, numbers.back()));
        bytes += inputs->back().size();
        largest = std::max(largest, inputs->back().size());
      }
      return largest;
    };
    std::vector<std::string> inputs;
    const size_t largest = prepare(0, &inputs);
    std::vector<std::string> answers;
    Translator::Result r = Translator::Result::StartFailed;
    bool outOfStep = false;
    size_t settled = 0;
    // Texts announced while the lot is on its way follow it into the
    // stages before they run dry, a bounded number at a time.
    auto more = [&](std::vector<std::string>* lot) -> size_t {
      if (outOfStep) return 0;
      const size_t from = batch.size();
      ahead->Fill(&batch, settled + kAheadBatch);
      return from == batch.size() ? 0 : MaxAnswerBytes(prepare(from, lot));
    };
    auto settle = [&](size_t i, const std::string& answer) {
      ++settled;
      if (outOfStep) return;
      Reformatted out = Reformat(answer, words[i].size(), numbers[i]);
      if (!out.complete) {
        LOG_ERROR(kLogSource, pair.id + (out.outOfStep ? L": an answer of another request came back"
                                                       : L": the answer lost its end marker"));
        outOfStep = true;
        return;
      }
      TrimAddedBlanks(batch[i]->text, &out);
      std::vector<WordCorrespondence> groups;
      if (batch[i]->mode == kTranslateModeCorrespondence) groups = CorrespondenceGroups(words[i], out);
      ahead->Settle(*batch[i], std::move(out.text), std::move(groups));
    };
    Translator* p = Translation();
    if (p) {
      auto timeout = std::chrono::milliseconds(settings.timeoutMs) + std::chrono::milliseconds(bytes * 2);
      r = p->ExchangeFed(inputs, &answers, token, timeout, MaxAnswerBytes(largest), settle, more);
      if (r != Translator::Result::Ok && r != Translator::Result::Cancelled) {
        LOG_ERROR(kLogSource, pair.id + L": the pipeline " + Describe(r) + L" (texts sent ahead)");
      }
      if (outOfStep) {
        p->Reset();
        r = Translator::Result::Died;
      }
    } else {
      LOG_ERROR(kLogSource, L"no null-flush pipeline for " + pair.id);
    }
    return r;
  }
};

ApertiumEngine::ApertiumEngine(ApertiumPair pair, Settings settings) : mImpl(std::make_shared<Impl>()) {
  mImpl->pair = std::move(pair);
  mImpl->settings = std::move(settings);
}

ApertiumEngine::~ApertiumEngine() = default;

RequestOutcome ApertiumEngine::WarmUp(const CancelToken& token) {
  std::lock_guard<std::mutex> busy(mImpl->busy);
  Reformatted r;
  return Outcome(mImpl->Exchange(L"", nullptr, token, &r));
}

HRESULT ApertiumEngine::WaitForResult(LONG timeoutMs, LONG* status) { return mRequest.WaitForResult(timeoutMs, status); }
HRESULT ApertiumEngine::Cancel() {
  mImpl->ahead->Drop();
  mAhead.Cancel();
  return mRequest.Cancel();
}
HRESULT ApertiumEngine::ErrorCode(LONG* code) { return mRequest.ErrorCode(code); }

HRESULT ApertiumEngine::Info(LONG* flags) {
  if (!flags) return E_POINTER;
  *flags = kInfoFlagTranslate | kInfoFlagCorrespondence | kInfoFlagKeepsPrivateUse |
             (mImpl->pair.HasDictionary() ? kInfoFlagDictionary : 0);
  return S_OK;
}

HRESULT ApertiumEngine::Translate(const std::wstring& text, LONG mode, std::shared_ptr<ITranslationResult>* result) {
  if (!result) return E_POINTER;
  auto res = std::make_shared<TranslationResult>();
  *result = res;
  std::shared_ptr<Impl> impl = mImpl;
  AheadQueue::Entry entry = impl->ahead->Take(text, mode);
  // Mostly the answer is there already: no worker is needed to hand it on.
  if (entry && impl->ahead->Answer(*entry, res.get())) {
    mRequest.Complete(RequestOutcome::Done());
    return S_OK;
  }
  mRequest.Start([impl, res, text, mode, entry](const CancelToken& token) {
    if (entry) {
      if (!impl->ahead->Wait(*entry, token)) return RequestOutcome::Cancelled();
      if (impl->ahead->Answer(*entry, res.get())) return RequestOutcome::Done();
      // A hung pipeline has cost one time-out already, as a request of its
      // own would; any other failure of the batch is retried below alone,
      // with the single request's own recovery.
      if (entry->timedOut) return Outcome(Translator::Result::TimedOut);
    }
    std::lock_guard<std::mutex> busy(impl->busy);
    std::vector<SourceWord> words;
    bool marks = mode == kTranslateModeCorrespondence;
    if (marks) words = FindWords(text);
    Reformatted r;
    Translator::Result result = impl->Exchange(text, marks ? &words : nullptr, token, &r);
    if (result == Translator::Result::Died && marks && !r.outOfStep && !token.Cancelled()) {
      // Word marks are an extra a stage may trip over; the translation
      // itself matters more, so try once more without them. Not after a
      // time-out: a hung pipeline would cost a second one.
      LOG_WARNING(kLogSource, L"retrying without word marks");
      marks = false;
      words.clear();
      result = impl->Exchange(text, nullptr, token, &r);
    }
    if (result != Translator::Result::Ok) return Outcome(result);
    TrimAddedBlanks(text, &r);
    res->Set(r.text, marks ? CorrespondenceGroups(words, r) : std::vector<WordCorrespondence>{});
    return RequestOutcome::Done();
  });
  return S_OK;
}

HRESULT ApertiumEngine::TranslateAhead(const std::vector<std::wstring>& texts, LONG mode) {
  if (mode != kTranslateModePlain && mode != kTranslateModeCorrespondence) return E_INVALIDARG;
  if (texts.empty()) return S_OK;
  if (!mImpl->ahead->Announce(texts, mode)) return S_OK;
  std::shared_ptr<Impl> impl = mImpl;
  mAhead.Start([impl](const CancelToken& token) {
    return impl->ahead->Work(token, kAheadBatch, [&](AheadQueue::Batch& batch) {
      std::lock_guard<std::mutex> busy(impl->busy);
      return impl->TranslateBatch(batch, token) == Translator::Result::TimedOut ? AheadQueue::BatchEnd::TimedOut
                                                                                 : AheadQueue::BatchEnd::Translated;
    });
  });
  return S_OK;
}

HRESULT ApertiumEngine::DropAhead() {
  mImpl->ahead->Drop();
  return S_OK;
}

HRESULT ApertiumEngine::LookupDictionary(const std::wstring& word, std::shared_ptr<IDictionaryResult>* result) {
  if (!result) return E_POINTER;
  if (!mImpl->pair.HasDictionary()) return E_NOTIMPL;
  auto res = std::make_shared<DictionaryResult>();
  *result = res;
  std::shared_ptr<Impl> impl = mImpl;
  mRequest.Start([impl, res, word](const CancelToken& token) {
    std::lock_guard<std::mutex> busy(impl->busy);
    impl->DictionaryStages();
    const std::wstring trimmed = LookupWord(word);
    if (trimmed.empty()) return RequestOutcome::Failed(kEngineErrorWordNotFound);

    std::string analysed;
    Translator::Result r = impl->Run(impl->analyser.get(), DictionaryWord(trimmed), &analysed, token);
    if (r != Translator::Result::Ok) return Outcome(r);
    const std::string query = DictionaryQuery(analysed);
    if (query.empty()) return RequestOutcome::Failed(kEngineErrorWordNotFound);

    std::string translated;
    r = impl->Run(impl->bilingual.get(), query, &translated, token);
    if (r != Translator::Result::Ok) return Outcome(r);
    const std::wstring text = DictionaryText(translated);
    if (text.empty()) return RequestOutcome::Failed(kEngineErrorWordNotFound);
    res->Set(text);
    return RequestOutcome::Done();
  });
  return S_OK;
}

pid_t ApertiumEngine::PipelineProcessId() const {
  return mImpl->translation ? mImpl->translation->ProcessId() : 0;
}

}  // namespace apertium
