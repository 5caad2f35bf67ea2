#include "engines/apertium/ApertiumServer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>

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

bool IsFile(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A language code of a mode name: 2-3 lower-case letters, optionally "_"
// and a variant.
bool IsLanguagePart(const std::string& s) {
  size_t sep = s.find('_');
  std::string base = s.substr(0, sep);
  if (base.size() < 2 || base.size() > 3) return false;
  for (char c : base) {
    if (c < 'a' || c > 'z') return false;
  }
  if (sep == std::string::npos) return true;
  std::string variant = s.substr(sep + 1);
  if (variant.empty()) return false;
  for (char c : variant) {
    if (!isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void FindTransducers(const std::string& mode, ApertiumPair* pair) {
  std::stringstream stages(mode);
  std::string stage;
  bool first = true;
  while (std::getline(stages, stage, '|')) {
    auto w = ShellWords(stage);
    if (w.empty()) continue;
    bool ltProc = w[0] == "lt-proc" || w[0].ends_with("/lt-proc");
    if (ltProc && w.size() >= 2) {
      bool bilingual = std::find(w.begin(), w.end(), "-b") != w.end();
      if (first && !bilingual && IsFile(w.back())) pair->analyser = w.back();
      if (bilingual && pair->bilingual.empty() && IsFile(w.back())) pair->bilingual = w.back();
    }
    first = false;
  }
}

std::string RunForOutput(const std::vector<std::string>& argv) {
  std::string cmd;
  for (const auto& a : argv) {
    std::string quoted = "'";
    for (char c : a) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    cmd += quoted + "' ";
  }
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

std::string Quote(const std::string& path) {
  std::string q = "'";
  for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
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

// "^surface/analysis1/analysis2$" units of a stream, each split at its
// unescaped "/".
std::vector<std::vector<std::wstring>> LexicalUnits(const std::wstring& stream) {
  std::vector<std::vector<std::wstring>> units;
  size_t i = 0;
  while (i < stream.size()) {
    if (stream[i] == L'\\') {
      i += 2;
      continue;
    }
    if (stream[i] != L'^') {
      ++i;
      continue;
    }
    std::vector<std::wstring> parts(1);
    ++i;
    while (i < stream.size() && stream[i] != L'$') {
      if (stream[i] == L'\\' && i + 1 < stream.size()) {
        parts.back().push_back(stream[i + 1]);
        i += 2;
        continue;
      }
      if (stream[i] == L'/') {
        parts.emplace_back();
      } else {
        parts.back().push_back(stream[i]);
      }
      ++i;
    }
    ++i;
    units.push_back(std::move(parts));
  }
  return units;
}

// "casa<n><f><sg>" to "casa (n f)": the lemma, its part of speech and,
// for a dictionary reader, its gender; inflection tags are left out.
std::wstring Readable(const std::wstring& analysis) {
  size_t lt = analysis.find(L'<');
  std::wstring out = analysis.substr(0, lt);
  // "#" marks where a multiword's invariable part joins; readers want "get married".
  std::erase(out, L'#');
  std::wstring shown;
  bool first = true;
  while (lt != std::wstring::npos) {
    size_t gt = analysis.find(L'>', lt);
    if (gt == std::wstring::npos) break;
    std::wstring tag = analysis.substr(lt + 1, gt - lt - 1);
    if (first || tag == L"m" || tag == L"f" || tag == L"mf" || tag == L"nt") {
      if (!shown.empty()) shown += L" ";
      shown += tag;
    }
    first = false;
    lt = analysis.find(L'<', gt);
  }
  if (!shown.empty()) out += L" (" + shown + L")";
  return out;
}

std::wstring Escape(const std::wstring& word) {
  std::wstring out;
  for (wchar_t c : word) {
    if (c < 0x20) continue;
    if (std::wstring(L"[]^$/\\@<>{}").find(c) != std::wstring::npos) out.push_back(L'\\');
    out.push_back(c);
  }
  return out;
}

}  // namespace

Settings Settings::FromEnvironment() {
  Settings s;
  const char* dirs = std::getenv("PELORANT_APERTIUM_MODES");
  if (dirs && *dirs) {
    std::stringstream list(dirs);
    std::string d;
    while (std::getline(list, d, ':')) {
      if (!d.empty()) s.modeDirs.push_back(d);
    }
  } else {
    s.modeDirs = {"/usr/share/apertium/modes", "/usr/local/share/apertium/modes"};
  }
  const char* inProcess = std::getenv("PELORANT_APERTIUM_IN_PROCESS");
  if (inProcess && std::string(inProcess) == "0") s.inProcess = false;
  const char* timeout = std::getenv("PELORANT_APERTIUM_TIMEOUT_MS");
  if (timeout && *timeout) {
    char* end = nullptr;
    long v = std::strtol(timeout, &end, 10);
    if (end && *end == '\0' && v > 0) s.timeoutMs = static_cast<int>(v);
  }
  return s;
}

std::vector<ApertiumPair> FindPairs(const std::vector<std::string>& modeDirs) {
  std::vector<ApertiumPair> pairs;
  std::set<std::string> seen;
  for (const auto& dir : modeDirs) {
    DIR* d = opendir(dir.c_str());
    if (!d) continue;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto& file : names) {
      if (!file.ends_with(".mode")) continue;
      std::string name = file.substr(0, file.size() - 5);
      size_t dash = name.find('-');
      if (dash == std::string::npos || name.find('-', dash + 1) != std::string::npos) continue;
      std::string from = name.substr(0, dash), to = name.substr(dash + 1);
      if (!IsLanguagePart(from) || !IsLanguagePart(to)) continue;
      if (seen.count(name)) continue;
      std::string path = dir + "/" + file;
      if (!IsFile(path)) continue;
      ApertiumPair pair;
      pair.id = platform::FromUtf8(name);
      pair.fromCode = platform::FromUtf8(from);
      pair.toCode = platform::FromUtf8(to);
      pair.modeFile = path;
      FindTransducers(ReadFile(path), &pair);
      seen.insert(name);
      pairs.push_back(std::move(pair));
    }
  }
  std::sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
  return pairs;
}

EngineListEntry ListEntry(const ApertiumPair& pair) {
  EngineListEntry e;
  e.engineId = pair.id;
  e.fromLang = LanguageCode(pair.fromCode);
  e.toLang = LanguageCode(pair.toCode);
  e.flags = kPairFlagTranslate | (pair.HasDictionary() ? kPairFlagDictionary : 0);
  e.displayName = LanguageName(pair.fromCode) + L" - " + LanguageName(pair.toCode);
  e.productName = kImplementationName;
  e.productNameShort = kImplementationName;
  return e;
}

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
      auto stages = ParseCommand(ReadFile(pair.modeFile), args, true, &unknown);
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
    // A selection often carries the blank or the punctuation next to the word.
    auto loose = [](wchar_t c) { return platform::IsWhiteSpace(c) || platform::IsPunctuation(c); };
    std::wstring trimmed = word;
    while (!trimmed.empty() && loose(trimmed.back())) trimmed.pop_back();
    while (!trimmed.empty() && loose(trimmed.front())) trimmed.erase(trimmed.begin());
    if (trimmed.empty()) return RequestOutcome::Failed(kEngineErrorWordNotFound);

    std::string analysed;
    Translator::Result r = impl->Run(impl->analyser.get(), platform::ToUtf8(Escape(trimmed)), &analysed, token);
    if (r != Translator::Result::Ok) return Outcome(r);
    // Only a word the analyser knows as a whole is looked up.
    auto units = LexicalUnits(platform::FromUtf8(analysed));
    std::wstring query;
    if (units.size() == 1) {
      for (size_t i = 1; i < units[0].size(); ++i) {
        const std::wstring& a = units[0][i];
        if (a.empty() || a[0] == L'*') continue;
        query += L"^" + Escape(a.substr(0, a.find(L'<'))) + a.substr(a.find(L'<') == std::wstring::npos ? a.size() : a.find(L'<')) + L"$ ";
      }
    }
    if (query.empty()) return RequestOutcome::Failed(kEngineErrorWordNotFound);

    std::string translated;
    r = impl->Run(impl->bilingual.get(), platform::ToUtf8(query), &translated, token);
    if (r != Translator::Result::Ok) return Outcome(r);
    // One line per source reading, its translations merged in order.
    std::vector<std::pair<std::wstring, std::vector<std::wstring>>> entries;
    for (const auto& unit : LexicalUnits(platform::FromUtf8(translated))) {
      std::wstring label = Readable(unit[0]);
      auto entry = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == label; });
      for (size_t i = 1; i < unit.size(); ++i) {
        if (unit[i].empty() || unit[i][0] == L'@') continue;
        if (entry == entries.end()) {
          entries.push_back({label, {}});
          entry = entries.end() - 1;
        }
        std::wstring t = Readable(unit[i]);
        if (std::find(entry->second.begin(), entry->second.end(), t) == entry->second.end()) entry->second.push_back(t);
      }
    }
    std::vector<std::wstring> lines;
    for (const auto& [label, targets] : entries) {
      std::wstring line = label + L": ";
      for (size_t i = 0; i < targets.size(); ++i) line += (i ? L", " : L"") + targets[i];
      lines.push_back(line);
    }
    if (lines.empty()) return RequestOutcome::Failed(kEngineErrorWordNotFound);
    std::wstring text;
    for (size_t i = 0; i < lines.size(); ++i) text += (i ? L"\r\n" : L"") + lines[i];
    res->Set(text);
    return RequestOutcome::Done();
  });
  return S_OK;
}

HRESULT ApertiumEngine::SplitSentences(const std::wstring&, LONG, std::vector<SentenceSpan>* sentences) {
  if (!sentences) return E_POINTER;
  sentences->clear();
  return S_FALSE;
}

// Apertium has neither a settings dialog nor a user dictionary.
HRESULT ApertiumEngine::ShowSettingsDialog(std::uintptr_t) { return E_NOTIMPL; }
HRESULT ApertiumEngine::ShowDictionaryDialog(std::uintptr_t) { return E_NOTIMPL; }

pid_t ApertiumEngine::PipelineProcessId() const {
  return mImpl->translation ? mImpl->translation->ProcessId() : 0;
}

ApertiumFactory::ApertiumFactory(Settings settings)
    : mSettings(std::move(settings)), mProperties(std::make_shared<ClientProperties>()) {}

HRESULT ApertiumFactory::SetImplementation(const std::wstring&) { return S_OK; }
HRESULT ApertiumFactory::SetDisplayLanguage(const std::wstring&) { return S_OK; }

HRESULT ApertiumFactory::Properties(std::shared_ptr<IClientProperties>* properties) {
  if (!properties) return E_POINTER;
  *properties = mProperties;
  return S_OK;
}

HRESULT ApertiumFactory::GetEngineList(const std::wstring& engineId, const std::wstring&, const std::wstring&, LONG,
                                       std::shared_ptr<IEngineList>* list) {
  if (!list) return E_POINTER;
  auto pairs = FindPairs(mSettings.modeDirs);
  if (pairs.empty()) return ENGINE_E_UNAVAILABLE;
  auto filled = std::make_shared<EngineList>();
  *list = filled;
  mRequest.Start([pairs, filled, engineId](const CancelToken&) {
    for (const auto& p : pairs) {
      if (engineId.empty() || platform::EqualsNoCase(p.id, engineId)) filled->Append(ListEntry(p));
    }
    LONG count = 0;
    filled->Count(&count);
    if (count == 0) return RequestOutcome::Failed(kEngineErrorInvalidEngineId);
    return RequestOutcome::Done();
  });
  return S_OK;
}

HRESULT ApertiumFactory::GetEngine(const std::shared_ptr<IEngineListItem>& item,
                                   std::shared_ptr<ITranslationEngine>* engine) {
  if (!engine) return E_POINTER;
  if (!item) return E_INVALIDARG;
  std::wstring id;
  HRESULT hr = item->EngineID(&id);
  if (FAILED(hr)) return hr;
  for (const auto& p : FindPairs(mSettings.modeDirs)) {
    if (!platform::EqualsNoCase(p.id, id)) continue;
    auto made = std::make_shared<ApertiumEngine>(p, mSettings);
    *engine = made;
    LOG_INFO(kLogSource, L"opening " + p.id);
    mRequest.Start([made](const CancelToken& token) { return made->WarmUp(token); });
    return S_OK;
  }
  return E_INVALIDARG;
}

HRESULT ApertiumFactory::WaitForResult(LONG timeoutMs, LONG* status) { return mRequest.WaitForResult(timeoutMs, status); }
HRESULT ApertiumFactory::Cancel() { return mRequest.Cancel(); }
HRESULT ApertiumFactory::ErrorCode(LONG* code) { return mRequest.ErrorCode(code); }

void RegisterApertiumServer() {
  InProcessImplementation impl;
  impl.name = kImplementationName;
  impl.available = [] { return !FindPairs(Settings::FromEnvironment().modeDirs).empty(); };
  impl.makeFactory = []() -> std::shared_ptr<IEngineFactory> {
    return std::make_shared<ApertiumFactory>(Settings::FromEnvironment());
  };
  RegisterImplementation(std::move(impl));
}

}  // namespace apertium
