// The translation mode of the text and lookup commands: an engine pair of
// the engine cache, named by its engine key (for example Apertium:eng-spa).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "apps/pelorant/Command.h"
#include "src/engine/EngineCaches.h"
#include "src/engine/EngineEntry.h"
#include "src/options/TranslationOptionUDT.h"

namespace app {

// What --help says about --mode.
extern const char* const kModeHelp;

struct ModeChoice {
  engine::EngineEntry entry;
  std::wstring displayLanguage;
};

// The index of the pair whose engine key is KEY as given, else of the one key
// that equals it without regard to case; -1 when none or several do.
int FindModeKey(const engine::EngineCaches& cache, const std::wstring& key);

// Finds the pair in a filled cache: KEY as FindModeKey does; without KEY the
// stored key when it names a pair, else the first checked pair. Errors go to
// io.err with the command's name; -1 then.
int PickMode(const std::string& command, const engine::EngineCaches& cache, const std::string& key,
             const std::wstring& storedKey, CommandIo& io);

// The translation mode the add-in's menu remembers ("Menu.TranModeID");
// empty when none is stored.
std::wstring StoredMenuMode();

// FindModeKey; when no pair has the key and the engines were not asked in
// this run yet, one forced rebuild first, so that a pair installed since
// the list was built is found. A failed rebuild adds message 1252; a failing
// engine-side call raises ComError.
int FindModeKeyRefreshing(engine::EngineCaches& cache, const std::wstring& key);

// Reads the engine cache (asking the engines when it is empty or out of
// date) and finds the pair: the key as given, else the one key that equals
// it without regard to case; without a key, the first checked pair. Errors
// go to io.err with the command's name; nullopt then.
std::optional<ModeChoice> ChooseMode(const std::string& command, const std::string& key, CommandIo& io);

// The run option record of a command-line translation: the option defaults
// with the pair, without keep-style, dual print or macros (there is no
// document and no host to run them).
options::TranslationOptionUDT PlainTextOptions(const ModeChoice& mode);

// Prints the error list's messages and clears it.
void PrintErrors(const std::string& command, CommandIo& io);

// Splits "--mode KEY" / "--mode=KEY" out of the arguments; false with a
// message on a bad option.
bool ParseModeOption(const std::string& command, const std::vector<std::string>& args, std::string* mode,
                     std::vector<std::string>* rest, CommandIo& io);

}  // namespace app
