// Plain text to Apertium's stream format and back.
//
// The stream reserves [ ] ^ $ / \ @ < > { } (escaped with a backslash) and
// carries formatting in superblanks "[...]", which the pipeline keeps in
// place. Control characters (line ends, tabs) travel as superblanks so the
// analyser never sees them as text. Every chunk ends with an end marker
// superblank and a sentence-final ".[]": the full stop makes each stage
// release the words it holds back while looking for a longer rule match,
// and the marker tells where the real translation ends, so a full stop of
// the source is never eaten by the one the pipeline needs. The marker
// carries the request's number, so an answer that belongs to another
// request (a stage that repeats or delays one) is never taken for this one.
//
// For word correspondence every word is wrapped in a wordbound blank
// "[[w:N]]word[[/]]"; Apertium carries it onto the target word(s) the
// source word became, however transfer reorders them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "src/engine/server/EngineServer.h"

namespace apertium {

struct SourceWord {
  LONG position;
  LONG length;
};

// The source words that correspondence marks cover: runs of letters and
// digits (with inner apostrophes and hyphens).
std::vector<SourceWord> FindWords(const std::wstring& text);

// The chunk (UTF-8, without the NUL that ends it) for text, its end marker
// numbered by `request`. With words given, each word is wrapped in a
// wordbound blank numbered by its index.
std::string Deformat(const std::wstring& text, const std::vector<SourceWord>* words, std::uint64_t request);

struct Reformatted {
  std::wstring text;
  // Ranges of the translation that carry each word mark, by source word index.
  std::vector<std::vector<engine_server::TextRange>> wordRanges;
  bool complete = false;   // the end marker of the request was found
  bool outOfStep = false;  // another request's marker was found: a late or repeated answer
};

// The translation in a chunk that the pipeline returned (without the NUL)
// for the request numbered `request`.
Reformatted Reformat(const std::string& chunk, size_t wordCount, std::uint64_t request);

// Removes blanks that the pipeline put at either end of the translation
// where the source had none (its multiword handling sometimes does), moving
// the word mark ranges along.
void TrimAddedBlanks(const std::wstring& source, Reformatted* reformatted);

// Word correspondence groups from reformatted marks: one group per source
// word that reached the translation, at most eight translation ranges each.
std::vector<engine_server::WordCorrespondence> CorrespondenceGroups(const std::vector<SourceWord>& words,
                                                                   const Reformatted& reformatted);

// A dictionary lookup: the word as the analyser's input; the analyser's
// answer as the bilingual dictionary's query ("" unless the analyser knows
// the word as a whole); its answer as lines "lemma (pos): translation, ...",
// one per source reading ("" when there is none).
std::string DictionaryWord(const std::wstring& word);
std::string DictionaryQuery(const std::string& analysed);
std::wstring DictionaryText(const std::string& translated);

// Apertium's three-letter language codes (with an optional variant such as
// "eng_US") to the add-in's codes ("en", "en-us"); unknown codes stay as
// they are, lower-cased.
std::wstring LanguageCode(const std::wstring& apertiumCode);
// English name of an Apertium language code, or the code itself.
std::wstring LanguageName(const std::wstring& apertiumCode);

}  // namespace apertium
