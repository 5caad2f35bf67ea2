#include "src/engine/AppCommon.h"

#include "src/platform/ComError.h"
#include "src/platform/MessagePump.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"

namespace engine {

namespace {

constexpr wchar_t kSource[] = L"AppCommon";

bool IsLeadingSpace(wchar_t c) { return c == L' ' || c == L'\x3000' || c == L'\t'; }
bool IsLineEnd(wchar_t c) { return c == L'\r' || c == L'\n' || c == L'\x0B'; }

void ShiftSources(StyleCorrespondence& sc, std::int32_t shift) {
  for (StyleCorrespondenceGroup& g : sc)
    for (int i = 0; i < g.SourceCount(); ++i) g.Source(i)[0] += shift;
}

void ShiftTranslations(StyleCorrespondence& sc, std::int32_t shift) {
  for (StyleCorrespondenceGroup& g : sc)
    for (int i = 0; i < g.TranslationCount(); ++i) g.Translation(i)[0] += shift;
}

}  // namespace

AppCommon::AppCommon(Engine& engine) : mEngine(engine) {}

AppCommon& AppCommon::Instance() {
  static AppCommon instance(Engine::Instance());
  return instance;
}

void AppCommon::SetCancel(bool cancel) {
  mCancel.store(cancel ? 1 : 0);
  if (cancel) {
    mEngine.CancelEngine();
  } else {
    mEngine.ResetCancel();
  }
}

std::wstring AppCommon::FoldCharacters(const std::wstring& text) {
  std::wstring out = text;
  // One pass per row, in the table's order; no row's replacement is matched
  // by a later row, so the order only documents the rule.
  for (wchar_t& c : out) {
    switch (c) {
      case L'\x1E': case L'\x1F':
        c = L'-';
        break;
      case L'\xA0': case L'\x2002': case L'\x2003': case L'\x2005': case L'\x200C': case L'\x200D':
        c = L' ';
        break;
      case L'\x2013': case L'\x2014':
        c = L'-';
        break;
      case L'\x2018': case L'\x2019': case L'\x201A':
        c = L'\'';
        break;
      case L'\x201C': case L'\x201D': case L'\x201E':
        c = L'"';
        break;
      case L'\x2212':
        c = L'-';
        break;
      case L'\x3000':
        c = L' ';
        break;
      default:
        if (c >= L'\x01' && c <= L'\x1D') c = L' ';
        break;
    }
  }
  return out;
}

bool AppCommon::IsNumberOnly(const std::wstring& text) {
  return text.find_first_not_of(L"0123456789,.+-") == std::wstring::npos;
}

bool AppCommon::RunMacro(const std::wstring& name, std::wstring* result) {
  result->clear();
  support::ErrorList::Clear();
  // A macro the host cannot run is a failing host call like any other: it
  // reaches the caller, which reports it and ends the run as failed. Taken
  // for an empty result it would cancel the run without a word.
  try {
    if (mMacroRunner) {
      *result = mMacroRunner(name);
    } else {
      throw platform::ComError(E_UNEXPECTED, L"no host application to run the macro " + name);
    }
  } catch (const platform::ComError& e) {
    LOG_ERROR(kSource, L"the macro " + name + L" failed: " + e.Description());
    throw;
  }
  return support::ErrorList::GetCount() == 0;
}

std::wstring AppCommon::EngineText(const std::wstring& source, std::wstring* leadingOut, std::wstring* trailingOut) {
  std::wstring text = source;
  std::wstring& leading = *leadingOut;
  std::wstring& trailing = *trailingOut;
  leading.clear();
  trailing.clear();
  bool firstPass = true;
  for (;;) {
    size_t lead = 0;
    while (lead < text.size() && IsLeadingSpace(text[lead])) ++lead;
    leading += text.substr(0, lead);
    text.erase(0, lead);
    for (wchar_t& c : leading)
      if (c == L'\x3000') c = L' ';
    size_t keep = text.size();
    while (keep > 0 && IsLineEnd(text[keep - 1])) --keep;
    trailing.insert(0, text.substr(keep));
    text.erase(keep);
    if (!firstPass) break;
    // Folding can turn characters at either end into blanks or line ends
    // that must be taken off too.
    text = FoldCharacters(text);
    firstPass = false;
  }
  return text;
}

std::vector<std::wstring> AppCommon::EngineTexts(const std::vector<TranslationSegment>& segments) {
  std::vector<std::wstring> texts;
  std::wstring leading, trailing;
  for (const TranslationSegment& segment : segments) {
    std::wstring text = EngineText(segment.source, &leading, &trailing);
    if (!IsNumberOnly(text)) texts.push_back(std::move(text));
  }
  return texts;
}

bool AppCommon::AnnounceAhead(const options::TranslationOptionUDT& options, const std::vector<std::wstring>& texts) {
  if (options.UsesPreMacro == 1 || IsCancelled() || texts.empty()) return false;
  return mEngine.TranslateAhead(texts);
}

void AppCommon::TranslateAhead(const options::TranslationOptionUDT& options,
                               const std::vector<TranslationSegment>& segments) {
  std::vector<std::wstring> texts = EngineTexts(segments);
  // One sentence gains nothing from being announced.
  if (texts.size() > 1) AnnounceAhead(options, texts);
}

bool AppCommon::TranslateText(const options::TranslationOptionUDT& options, TranslationSegment& segment) {
  std::wstring leading;
  std::wstring trailing;
  std::wstring text = EngineText(segment.source, &leading, &trailing);

  std::wstring translation;
  std::optional<StyleCorrespondence> correspondence;
  bool changedByRule = false;
  bool translated = false;

  if (!IsCancelled()) {
    if (options.UsesPreMacro == 1) {
      std::wstring result;
      bool ok = RunMacro(options.PreMacroName, &result);
      if (ok && !result.empty() && result != text) {
        text = result;
        changedByRule = true;
      }
      if (result.empty()) SetCancel(true);
    }

    if (!IsCancelled()) {
      if (IsNumberOnly(text)) {
        translation = text;
        changedByRule = true;
      } else {
        std::wstring result;
        translated = mEngine.TranslateSentence(text, &result);
        if (translated) {
          translation = result.empty() ? text : result;
        } else {
          translation = text;
        }
      }
    }

    if (!IsCancelled() && options.UsesPostMacro == 1) {
      std::wstring result;
      bool ok = RunMacro(options.PostMacroName, &result);
      if (ok && !result.empty() && result != translation) {
        translation = result;
        changedByRule = true;
      }
      if (result.empty()) SetCancel(true);
    }

    if (!IsCancelled() && translated && options.KeepStyle == 1 && !changedByRule) {
      StyleCorrespondence sc;
      if (mEngine.GetStyleCorrespondence(translation, text, &sc)) correspondence = std::move(sc);
    }

    if (!IsCancelled()) {
      std::int32_t shift = static_cast<std::int32_t>(leading.size());
      if (correspondence) ShiftSources(*correspondence, shift);
      if (options.DualPrint == 1) {
        if (!options.TranPrefix.empty()) {
          translation = options.TranPrefix + translation;
          shift += static_cast<std::int32_t>(options.TranPrefix.size());
        }
        if (!options.TranSuffix.empty()) translation += options.TranSuffix;
      }
      if (correspondence) ShiftTranslations(*correspondence, shift);
      translation = leading + translation + trailing;
    }
  }

  segment.translation = std::move(translation);
  segment.styleCorrespondence = std::move(correspondence);
  return true;
}

bool AppCommon::TranslateBlock(const options::TranslationOptionUDT& options, const std::wstring& text,
                               bool showProgress, std::wstring* translated) {
  translated->clear();
  std::wstring uniform;
  uniform.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'\r') {
      if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      uniform.push_back(L'\x0B');
    } else if (c == L'\n') {
      uniform.push_back(L'\x0B');
    } else {
      uniform.push_back(c);
    }
  }

  std::vector<TranslationSegment> segments;
  if (!mEngine.SplitSentences(uniform, 0, static_cast<std::int32_t>(uniform.size()) - 1, &segments)) return false;

  ProgressReport* progress = showProgress ? mProgress : nullptr;
  const std::int64_t total = static_cast<std::int64_t>(segments.size());
  if (progress) {
    progress->SetMessages(kStatusTranslatingText, kCountLabelSentences);
    progress->SetProgress(0, total);
  }

  TranslateAhead(options, segments);
  // Whatever ends the loop early, sentences announced and not asked for
  // must not keep the engine busy.
  struct DropOnExit {
    Engine& engine;
    ~DropOnExit() { engine.DropAhead(); }
  } dropOnExit{mEngine};
  std::int64_t done = 0;
  for (size_t i = 0; i < segments.size(); ++i) {
    TranslationSegment& segment = segments[i];
    if (!TranslateText(options, segment)) return false;
    if (IsCancelled()) break;
    std::wstring piece = segment.translation.value_or(segment.source);
    // Sentences of languages written without spaces (Japanese, Chinese) run
    // together; the target language's separator keeps them apart.
    bool nextStartsWithSpace = i + 1 < segments.size() && !segments[i + 1].source.empty() &&
                               (IsLeadingSpace(segments[i + 1].source[0]) || IsLineEnd(segments[i + 1].source[0]));
    if (i + 1 < segments.size() && !nextStartsWithSpace && !piece.empty() && !IsLineEnd(piece.back()) &&
        !IsLeadingSpace(piece.back()))
      piece += options.SentenceSeparator;
    *translated += piece;
    ++done;
    if (progress) progress->SetProgress(done, total);
    platform::DrainMessageQueue();
  }
  return true;
}

bool AppCommon::TranslatePlainText(const options::TranslationOptionUDT& options, std::wstring& text,
                                   bool showProgress) {
  bool opened = false;
  try {
    opened = mEngine.OpenEngine(options.EngineGroup, options.EngineID, options.DisplayLanguage, options.FromLang);
  } catch (const platform::ComError& e) {
    LOG_ERROR(kSource, L"OpenEngine failed: " + e.Description());
    opened = false;
  }
  if (!opened) {
    // An open stopped by the user (or the time limit) is not a failure to report.
    if (!IsCancelled()) support::ErrorList::Add(kEngineInitFailed, L"");
    return false;
  }
  std::wstring translated;
  bool ok = false;
  try {
    ok = TranslateBlock(options, text, showProgress, &translated);
  } catch (...) {
    mEngine.CloseEngine();
    throw;
  }
  mEngine.CloseEngine();
  if (ok) text = std::move(translated);
  return ok;
}

}  // namespace engine
