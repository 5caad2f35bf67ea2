// The one routine every translated text passes through (TranslateText), the
// block and plain-text translations built on it, and the run's cancel flag.
// Document-independent: the PowerPoint layer, copy/paste and the command
// line all come here.
//
// Used on the user-interface thread, except SetCancel and IsCancelled, which
// any thread may call (the progress dialog's cancel button, the watchdog):
// the flag is an atomic word and cancelling the engine only raises the
// engine's own atomic request.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "src/engine/Engine.h"
#include "src/engine/ProgressReport.h"
#include "src/options/TranslationOptionUDT.h"

namespace engine {

class AppCommon {
 public:
  // Runs a host macro by name and returns its result; throws (ComError) when
  // the host cannot run it. The layer that knows the host installs it for a
  // run; without one a macro cannot run.
  using MacroRunner = std::function<std::wstring(const std::wstring& macroName)>;

  explicit AppCommon(Engine& engine);
  AppCommon(const AppCommon&) = delete;
  AppCommon& operator=(const AppCommon&) = delete;

  // The process-wide instance, over Engine::Instance().
  static AppCommon& Instance();

  Engine& GetEngine() { return mEngine; }

  void SetMacroRunner(MacroRunner runner) { mMacroRunner = std::move(runner); }
  MacroRunner GetMacroRunner() const { return mMacroRunner; }

  // The progress target of TranslateBlock, or null; not owned.
  void SetProgressReport(ProgressReport* report) { mProgress = report; }
  ProgressReport* GetProgressReport() const { return mProgress; }

  // Any thread. Raising the flag also asks the open engine to stop;
  // clearing it (at the start of a run) forgets an earlier engine cancel.
  void SetCancel(bool cancel);
  bool IsCancelled() const { return mCancel.load() != 0; }

  // Translates one segment into segment.translation (and its style
  // correspondence for keep-style runs). Also succeeds when the text was
  // skipped or the run is cancelled; the translation then holds what was
  // produced so far. Engine-side failures that are not request statuses,
  // and a pre- or post-macro the host cannot run, raise ComError.
  bool TranslateText(const options::TranslationOptionUDT& options, TranslationSegment& segment);

  // Tells the engine what TranslateText will hand it for each of these
  // segments, in order, so that it can work ahead; every segment must then
  // still go through TranslateText. Nothing is announced while a pre-macro
  // decides the text or once the run is cancelled.
  void TranslateAhead(const options::TranslationOptionUDT& options, const std::vector<TranslationSegment>& segments);
  // The same for texts gathered beforehand with EngineTexts, however few;
  // false when nothing was announced.
  bool AnnounceAhead(const options::TranslationOptionUDT& options, const std::vector<std::wstring>& texts);
  // What TranslateText hands the open engine for each of these segments, in
  // order; those it answers without the engine (blanks, numbers) left out.
  std::vector<std::wstring> EngineTexts(const options::TranslationOptionUDT& options,
                                        const std::vector<TranslationSegment>& segments) const;

  // Cuts a text into sentences, translates each and joins the results.
  bool TranslateBlock(const options::TranslationOptionUDT& options, const std::wstring& text, bool showProgress,
                      std::wstring* translated);

  // OpenEngine, TranslateBlock, CloseEngine; text is replaced by its
  // translation on success. An engine that cannot be opened adds message
  // 1251 and fails.
  bool TranslatePlainText(const options::TranslationOptionUDT& options, std::wstring& text, bool showProgress);

  // The character folding TranslateText applies before translating.
  static std::wstring FoldCharacters(const std::wstring& text);
  // True for text made only of "0123456789,.+-" (and for empty text).
  static bool IsNumberOnly(const std::wstring& text);
  // The text of a source that goes to the engine: white space taken off
  // both ends (into *leading and *trailing) and characters folded.
  static std::wstring EngineText(const std::wstring& source, std::wstring* leading, std::wstring* trailing);

 private:
  // Runs a macro; false when it recorded an error. Raises ComError when the
  // host cannot run it.
  bool RunMacro(const std::wstring& name, std::wstring* result);
  // The protected stretches of an engine text (positions in it): the
  // segment's held ones moved by the leading white space taken off, and
  // those found in the text.
  static std::vector<ProtectedSpan> SpansOf(const options::TranslationOptionUDT& options,
                                            const TranslationSegment& segment, const std::wstring& text,
                                            std::int32_t leading);
  // The requests that translating text around its spans makes, in order.
  std::vector<std::wstring> Requests(const std::wstring& text, const std::vector<ProtectedSpan>& spans) const;
  // Translates text (original: the same characters before folding) with
  // its spans kept: inside the sentence as placeholders when the engine
  // keeps them there, else by translating the pieces between them. False
  // when the engine failed; *translation is then the text. *asked tells
  // whether the engine was asked at all.
  bool TranslateAround(const std::wstring& text, const std::wstring& original, const std::vector<ProtectedSpan>& spans,
                       bool correspond, std::wstring* translation, StyleCorrespondence* correspondence,
                       std::vector<KeptSpan>* kept, bool* asked);
  bool TranslatePlaceholders(const std::wstring& text, const std::vector<std::wstring>& contents,
                             const std::vector<ProtectedSpan>& spans, bool correspond, std::wstring* translation,
                             StyleCorrespondence* correspondence, std::vector<KeptSpan>* kept, bool* failed);
  bool TranslatePieces(const std::wstring& text, const std::vector<std::wstring>& contents,
                       const std::vector<ProtectedSpan>& spans, bool correspond, std::wstring* translation,
                       StyleCorrespondence* correspondence, std::vector<KeptSpan>* kept);

  Engine& mEngine;
  MacroRunner mMacroRunner;
  ProgressReport* mProgress = nullptr;
  std::atomic<int> mCancel{0};
};

}  // namespace engine
