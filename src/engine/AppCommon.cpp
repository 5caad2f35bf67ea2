#include "src/engine/AppCommon.h"

#include <algorithm>
#include <string_view>

#include "resources/MessageIds.h"
#include "src/platform/ComError.h"
#include "src/platform/MessagePump.h"
#include "src/platform/Strings.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"

namespace engine {

namespace msg = resources::msg;

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

// Text around protected spans goes to the engine only when it holds a
// letter: numbers and punctuation between addresses stay as they are.
bool HasWord(std::wstring_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](wchar_t c) { return platform::IsAlphaNumeric(c) && (c < L'0' || c > L'9'); });
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The stretch of a text between two protected spans (or an end).
struct Piece {
  std::int32_t start;
  std::int32_t length;
};

// n spans leave n + 1 pieces, some of them empty.
std::vector<Piece> PiecesBetween(std::int32_t size, const std::vector<ProtectedSpan>& spans) {
  std::vector<Piece> pieces;
  std::int32_t at = 0;
  for (const ProtectedSpan& span : spans) {
    pieces.push_back({at, span.position - at});
    at = span.position + span.length;
  }
  pieces.push_back({at, size - at});
  return pieces;
}

bool PiecesHaveWords(const std::wstring& text, const std::vector<Piece>& pieces) {
  return std::any_of(pieces.begin(), pieces.end(), [&](const Piece& p) {
    return HasWord(std::wstring_view(text).substr(p.start, p.length));
  });
}

// Span i of the text becomes the placeholder character i.
std::wstring WithPlaceholders(const std::wstring& text, const std::vector<ProtectedSpan>& spans) {
  std::vector<Piece> pieces = PiecesBetween(static_cast<std::int32_t>(text.size()), spans);
  std::wstring out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    out.append(text, pieces[i].start, pieces[i].length);
    if (i < spans.size()) out.push_back(static_cast<wchar_t>(kPlaceholderFirst + i));
  }
  return out;
}

bool PlaceholdersFit(const std::vector<ProtectedSpan>& spans) {
  return spans.size() <= static_cast<size_t>(kPlaceholderLast - kPlaceholderFirst) + 1;
}

// The blanks at either end of a piece stay where they are; the engine gets
// what is between them.
void CoreOf(std::wstring_view piece, size_t* lead, size_t* length) {
  size_t a = 0;
  while (a < piece.size() && IsBlank(piece[a])) ++a;
  size_t b = piece.size();
  while (b > a && IsBlank(piece[b - 1])) --b;
  *lead = a;
  *length = b - a;
}

// A protected stretch that travels as characters carries its own formatting
// onto its place in the translation.
void AddSpanGroups(const std::vector<KeptSpan>& kept, StyleCorrespondence* sc) {
  for (const KeptSpan& k : kept) {
    if (k.held || k.sourceLength <= 0 || k.translationLength <= 0) continue;
    StyleCorrespondenceGroup g;
    g.pairs[0] = {1, 1};
    g.Source(0) = {k.sourcePosition, k.sourceLength};
    g.Translation(0) = {k.translationPosition, k.translationLength};
    sc->push_back(g);
  }
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

std::vector<ProtectedSpan> AppCommon::SpansOf(const options::TranslationOptionUDT& options,
                                              const TranslationSegment& segment, const std::wstring& text,
                                              std::int32_t leading) {
  std::vector<ProtectedSpan> held;
  const auto size = static_cast<std::int32_t>(text.size());
  for (ProtectedSpan h : segment.held) {
    std::int32_t start = std::clamp(h.position - leading, 0, size);
    std::int32_t end = std::clamp(h.position + h.length - leading, 0, size);
    if (end <= start) continue;
    h.position = start;
    h.length = end - start;
    h.held = true;
    held.push_back(std::move(h));
  }
  return MergeProtectedSpans(std::move(held), FindProtectedSpans(text, options.GlossaryTerms));
}

std::vector<std::wstring> AppCommon::Requests(const std::wstring& text, const std::vector<ProtectedSpan>& spans) const {
  if (spans.empty()) return IsNumberOnly(text) ? std::vector<std::wstring>{} : std::vector<std::wstring>{text};
  std::vector<Piece> pieces = PiecesBetween(static_cast<std::int32_t>(text.size()), spans);
  if (!PiecesHaveWords(text, pieces)) return {};
  if (mEngine.KeepsPlaceholders() && PlaceholdersFit(spans)) return {WithPlaceholders(text, spans)};
  std::vector<std::wstring> requests;
  for (const Piece& p : pieces) {
    std::wstring_view piece = std::wstring_view(text).substr(p.start, p.length);
    if (!HasWord(piece)) continue;
    size_t lead = 0, length = 0;
    CoreOf(piece, &lead, &length);
    requests.emplace_back(piece.substr(lead, length));
  }
  return requests;
}

std::vector<std::wstring> AppCommon::EngineTexts(const options::TranslationOptionUDT& options,
                                                 const std::vector<TranslationSegment>& segments) const {
  std::vector<std::wstring> texts;
  std::wstring leading, trailing;
  for (const TranslationSegment& segment : segments) {
    std::wstring text = EngineText(segment.source, &leading, &trailing);
    auto spans = SpansOf(options, segment, text, static_cast<std::int32_t>(leading.size()));
    for (std::wstring& r : Requests(text, spans)) texts.push_back(std::move(r));
  }
  return texts;
}

bool AppCommon::TranslateAround(const std::wstring& text, const std::wstring& original,
                                const std::vector<ProtectedSpan>& spans, bool correspond, std::wstring* translation,
                                StyleCorrespondence* correspondence, std::vector<KeptSpan>* kept, bool* asked) {
  std::vector<std::wstring> contents;
  for (const ProtectedSpan& span : spans) contents.push_back(span.replacement.value_or(original.substr(span.position, span.length)));
  std::vector<Piece> pieces = PiecesBetween(static_cast<std::int32_t>(text.size()), spans);
  *asked = PiecesHaveWords(text, pieces);
  if (!*asked) {
    // Nothing around the spans to translate: the text stands, with the
    // glossary's targets in place.
    translation->clear();
    for (size_t i = 0; i < pieces.size(); ++i) {
      translation->append(text, pieces[i].start, pieces[i].length);
      if (i == spans.size()) break;
      kept->push_back({spans[i].position, spans[i].length, static_cast<std::int32_t>(translation->size()),
                       static_cast<std::int32_t>(contents[i].size()), spans[i].held});
      *translation += contents[i];
    }
    return true;
  }
  if (mEngine.KeepsPlaceholders() && PlaceholdersFit(spans)) {
    bool failed = false;
    if (TranslatePlaceholders(text, contents, spans, correspond, translation, correspondence, kept, &failed)) return true;
    if (failed) {
      *translation = text;
      return false;
    }
    // The engine lost, doubled or swapped a placeholder: the pieces
    // between the spans go on their own.
    LOG_WARNING(kSource, L"protected text did not come back in place: " + text);
    correspondence->clear();
    kept->clear();
  }
  if (TranslatePieces(text, contents, spans, correspond, translation, correspondence, kept)) return true;
  *translation = text;
  correspondence->clear();
  kept->clear();
  return false;
}

bool AppCommon::TranslatePlaceholders(const std::wstring& text, const std::vector<std::wstring>& contents,
                                      const std::vector<ProtectedSpan>& spans, bool correspond,
                                      std::wstring* translation, StyleCorrespondence* correspondence,
                                      std::vector<KeptSpan>* kept, bool* failed) {
  const std::wstring compact = WithPlaceholders(text, spans);
  std::wstring result;
  if (!mEngine.TranslateSentence(compact, &result)) {
    *failed = true;
    return false;
  }
  if (result.empty()) result = compact;
  size_t next = 0;
  for (wchar_t c : result) {
    if (!IsPlaceholder(c)) continue;
    if (next >= spans.size() || c != static_cast<wchar_t>(kPlaceholderFirst + next)) return false;
    ++next;
  }
  if (next != spans.size()) return false;

  // Where each character of the engine's texts lands once the spans are
  // back, so that its word correspondence can be moved along.
  std::vector<std::int32_t> fromCompact(compact.size() + 1);
  std::int32_t at = 0;
  size_t k = 0;
  for (size_t i = 0; i < compact.size(); ++i) {
    fromCompact[i] = at;
    at += IsPlaceholder(compact[i]) ? spans[k++].length : 1;
  }
  fromCompact[compact.size()] = at;
  std::vector<std::int32_t> fromResult(result.size() + 1);
  translation->clear();
  k = 0;
  for (size_t i = 0; i < result.size(); ++i) {
    fromResult[i] = static_cast<std::int32_t>(translation->size());
    if (!IsPlaceholder(result[i])) {
      translation->push_back(result[i]);
      continue;
    }
    kept->push_back({spans[k].position, spans[k].length, static_cast<std::int32_t>(translation->size()),
                     static_cast<std::int32_t>(contents[k].size()), spans[k].held});
    *translation += contents[k++];
  }
  fromResult[result.size()] = static_cast<std::int32_t>(translation->size());
  if (!correspond) return true;
  StyleCorrespondence sc;
  if (mEngine.GetStyleCorrespondence(result, compact, &sc)) {
    auto move = [](std::array<std::int32_t, 2>& range, const std::vector<std::int32_t>& map) {
      std::int32_t end = map[range[0] + range[1]];
      range[0] = map[range[0]];
      range[1] = end - range[0];
    };
    for (StyleCorrespondenceGroup& g : sc) {
      for (int i = 0; i < g.SourceCount(); ++i) move(g.Source(i), fromCompact);
      for (int i = 0; i < g.TranslationCount(); ++i) move(g.Translation(i), fromResult);
      correspondence->push_back(g);
    }
  }
  AddSpanGroups(*kept, correspondence);
  return true;
}

bool AppCommon::TranslatePieces(const std::wstring& text, const std::vector<std::wstring>& contents,
                                const std::vector<ProtectedSpan>& spans, bool correspond, std::wstring* translation,
                                StyleCorrespondence* correspondence, std::vector<KeptSpan>* kept) {
  std::vector<Piece> pieces = PiecesBetween(static_cast<std::int32_t>(text.size()), spans);
  translation->clear();
  for (size_t i = 0; i < pieces.size(); ++i) {
    std::wstring_view piece = std::wstring_view(text).substr(pieces[i].start, pieces[i].length);
    if (HasWord(piece)) {
      size_t lead = 0, length = 0;
      CoreOf(piece, &lead, &length);
      const std::wstring core(piece.substr(lead, length));
      std::wstring result;
      if (!mEngine.TranslateSentence(core, &result)) return false;
      if (result.empty()) result = core;
      translation->append(piece.substr(0, lead));
      StyleCorrespondence sc;
      if (correspond && mEngine.GetStyleCorrespondence(result, core, &sc)) {
        ShiftSources(sc, pieces[i].start + static_cast<std::int32_t>(lead));
        ShiftTranslations(sc, static_cast<std::int32_t>(translation->size()));
        correspondence->insert(correspondence->end(), sc.begin(), sc.end());
      }
      *translation += result;
      translation->append(piece.substr(lead + length));
    } else {
      translation->append(piece);
    }
    if (i == spans.size()) break;
    kept->push_back({spans[i].position, spans[i].length, static_cast<std::int32_t>(translation->size()),
                     static_cast<std::int32_t>(contents[i].size()), spans[i].held});
    *translation += contents[i];
  }
  if (correspond) AddSpanGroups(*kept, correspondence);
  return true;
}

bool AppCommon::AnnounceAhead(const options::TranslationOptionUDT& options, const std::vector<std::wstring>& texts) {
  if (options.UsesPreMacro == 1 || IsCancelled() || texts.empty()) return false;
  return mEngine.TranslateAhead(texts);
}

void AppCommon::TranslateAhead(const options::TranslationOptionUDT& options,
                               const std::vector<TranslationSegment>& segments) {
  std::vector<std::wstring> texts = EngineTexts(options, segments);
  // One sentence gains nothing from being announced.
  if (texts.size() > 1) AnnounceAhead(options, texts);
}

bool AppCommon::TranslateText(const options::TranslationOptionUDT& options, TranslationSegment& segment) {
  std::wstring leading;
  std::wstring trailing;
  std::wstring text = EngineText(segment.source, &leading, &trailing);
  const auto lead = static_cast<std::int32_t>(leading.size());
  const std::wstring original = segment.source.substr(leading.size(), text.size());
  std::vector<ProtectedSpan> spans = SpansOf(options, segment, text, lead);

  std::wstring translation;
  std::optional<StyleCorrespondence> correspondence;
  StyleCorrespondence around;
  std::vector<KeptSpan> kept;
  bool changedByRule = false;
  bool translated = false;

  if (!IsCancelled()) {
    if (options.UsesPreMacro == 1) {
      std::wstring result;
      bool ok = RunMacro(options.PreMacroName, &result);
      if (ok && !result.empty() && result != text) {
        text = result;
        changedByRule = true;
        // The macro's text goes as it is: the spans found in the old one
        // point nowhere in it.
        spans.clear();
      }
      if (result.empty()) SetCancel(true);
    }

    if (!IsCancelled()) {
      if (!spans.empty()) {
        const bool correspond = options.KeepStyle == 1 || segment.wantsCorrespondence;
        bool asked = false;
        translated = TranslateAround(text, original, spans, correspond, &translation, &around, &kept, &asked);
        if (!asked) changedByRule = true;
      } else if (IsNumberOnly(text)) {
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
        kept.clear();
      }
      if (result.empty()) SetCancel(true);
    }

    const bool correspond = options.KeepStyle == 1 || segment.wantsCorrespondence;
    if (!IsCancelled() && translated && correspond && !changedByRule) {
      if (!spans.empty()) {
        if (!around.empty()) correspondence = std::move(around);
      } else {
        StyleCorrespondence sc;
        if (mEngine.GetStyleCorrespondence(translation, text, &sc)) correspondence = std::move(sc);
      }
    }

    if (!IsCancelled()) {
      std::int32_t shift = lead;
      if (correspondence) ShiftSources(*correspondence, shift);
      for (KeptSpan& k : kept) k.sourcePosition += lead;
      if (options.DualPrint == 1) {
        if (!options.TranPrefix.empty()) {
          translation = options.TranPrefix + translation;
          shift += static_cast<std::int32_t>(options.TranPrefix.size());
        }
        if (!options.TranSuffix.empty()) translation += options.TranSuffix;
      }
      if (correspondence) ShiftTranslations(*correspondence, shift);
      for (KeptSpan& k : kept) k.translationPosition += shift;
      translation = leading + translation + trailing;
    } else {
      kept.clear();
    }
  }

  segment.translation = std::move(translation);
  segment.styleCorrespondence = std::move(correspondence);
  segment.kept = std::move(kept);
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
    progress->SetMessages(msg::kTranslatingText, msg::kCountSentences);
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
    if (!IsCancelled()) support::ErrorList::Add(msg::kEngineInitFailed, L"");
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
