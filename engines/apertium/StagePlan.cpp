#include "engines/apertium/InProcess.h"

#include <algorithm>
#include <cctype>

#include "engines/apertium/Pipeline.h"

namespace apertium {

namespace {

std::string Basename(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsOption(const std::string& w) { return w.size() >= 2 && w[0] == '-'; }

// Splits a stage's words into its options and its file arguments; false
// when an option is not among `known`.
bool SplitOptions(const std::vector<std::string>& words, const std::string& known, std::string* options,
                  std::vector<std::string>* files) {
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (IsOption(w)) {
      if (w.size() != 2 || known.find(w[1]) == std::string::npos) return false;
      *options += w[1];
    } else {
      files->push_back(w);
    }
  }
  return true;
}

bool Has(const std::string& options, char c) { return options.find(c) != std::string::npos; }

}  // namespace

std::vector<std::string> ShellWords(const std::string& stage) {
  std::vector<std::string> words;
  std::string cur;
  bool inWord = false;
  char quote = 0;
  for (char c : stage) {
    if (quote) {
      if (c == quote) {
        quote = 0;
      } else {
        cur.push_back(c);
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      inWord = true;
    } else if (isspace(static_cast<unsigned char>(c))) {
      if (inWord) words.push_back(cur);
      cur.clear();
      inWord = false;
    } else {
      cur.push_back(c);
      inWord = true;
    }
  }
  if (inWord) words.push_back(cur);
  return words;
}

std::optional<StagePlan> ParseStage(const std::vector<std::string>& words) {
  using Kind = StagePlan::Kind;
  if (words.empty()) return std::nullopt;
  // A word the shell would treat specially is beyond a list of arguments.
  for (const auto& w : words) {
    if (w.find_first_of("$`<>;&*?") != std::string::npos) return std::nullopt;
  }
  const std::string program = Basename(words[0]);
  StagePlan plan;
  std::string options;
  auto files = [&](const std::string& known, size_t count) {
    return SplitOptions(words, known, &options, &plan.files) && plan.files.size() == count;
  };
  if (program == "lt-proc") {
    if (!files("zwcbgndp", 1)) return std::nullopt;
    int modes = 0;
    for (char m : std::string("bgndp")) modes += Has(options, m);
    if (modes > 1) return std::nullopt;
    plan.dictionaryCase = Has(options, 'w');
    plan.caseSensitive = Has(options, 'c');
    if (Has(options, 'b')) {
      plan.kind = Kind::Bilingual;
    } else if (Has(options, 'p')) {
      plan.kind = Kind::Postgeneration;
    } else if (Has(options, 'g') || Has(options, 'n') || Has(options, 'd')) {
      plan.kind = Kind::Generation;
      plan.generation = Has(options, 'n') ? 'n' : Has(options, 'd') ? 'd' : 'g';
    } else {
      plan.kind = Kind::Analysis;
    }
  } else if (program == "apertium-tagger") {
    if (!files("gz", 1) || !Has(options, 'g')) return std::nullopt;
    plan.kind = Kind::Tagger;
  } else if (program == "apertium-pretransfer") {
    if (!files("z", 0)) return std::nullopt;
    plan.kind = Kind::Pretransfer;
  } else if (program == "apertium-transfer") {
    if (!SplitOptions(words, "bnz", &options, &plan.files)) return std::nullopt;
    plan.fromBilingual = Has(options, 'b');
    plan.useBilingual = !Has(options, 'b') && !Has(options, 'n');
    if (plan.files.size() != (plan.useBilingual ? 3u : 2u)) return std::nullopt;
    plan.kind = Kind::Transfer;
  } else if (program == "lrx-proc") {
    if (!files("mz", 1)) return std::nullopt;
    plan.kind = Kind::LexicalSelection;
  } else if (program == "apertium-interchunk") {
    if (!files("z", 2)) return std::nullopt;
    plan.kind = Kind::Interchunk;
  } else if (program == "apertium-postchunk") {
    if (!files("z", 2)) return std::nullopt;
    plan.kind = Kind::Postchunk;
  } else if (program == "apertium-wblank-attach" || program == "apertium-wblank-detach") {
    if (!files("z", 0)) return std::nullopt;
    plan.kind = program.ends_with("attach") ? Kind::AttachBlanks : Kind::DetachBlanks;
  } else {
    return std::nullopt;
  }
  return plan;
}

std::optional<std::vector<StagePlan>> ParseCommand(const std::string& command, const std::vector<std::string>& args,
                                                   bool wordBlanks, std::string* unknown) {
  using Kind = StagePlan::Kind;
  std::string trimmed = command;
  while (!trimmed.empty() && isspace(static_cast<unsigned char>(trimmed.back()))) trimmed.pop_back();
  std::vector<StagePlan> stages;
  for (const std::string& stage : SplitStages(trimmed)) {
    std::vector<std::string> words;
    for (const std::string& w : ShellWords(stage)) {
      // Whole-word "$N" only; anything else with a "$" stays unknown.
      if (w.size() == 2 && w[0] == '$' && w[1] >= '1' && w[1] <= '9') {
        size_t n = static_cast<size_t>(w[1] - '1');
        std::string value = n < args.size() ? args[n] : std::string();
        if (!value.empty()) words.push_back(value);
        continue;
      }
      words.push_back(w);
    }
    if (words.size() >= 1 && words[0] == "exec") words.erase(words.begin());
    std::optional<StagePlan> plan = ParseStage(words);
    if (!plan) {
      if (unknown) *unknown = stage;
      return std::nullopt;
    }
    stages.push_back(std::move(*plan));
  }
  if (stages.empty()) {
    if (unknown) *unknown = command;
    return std::nullopt;
  }
  auto has = [&](Kind k) {
    for (const auto& s : stages) {
      if (s.kind == k) return true;
    }
    return false;
  };
  if (wordBlanks && !has(Kind::AttachBlanks) && !has(Kind::DetachBlanks)) {
    // As Apertium's null-flush modes place them: right after the analyser,
    // right before the generator.
    auto generator = std::find_if(stages.begin(), stages.end(), [](const auto& s) { return s.kind == Kind::Generation; });
    if (stages.front().kind == Kind::Analysis && generator != stages.end()) {
      StagePlan detach;
      detach.kind = Kind::DetachBlanks;
      stages.insert(generator, detach);
      StagePlan attach;
      attach.kind = Kind::AttachBlanks;
      stages.insert(stages.begin() + 1, attach);
    }
  }
  return stages;
}

}  // namespace apertium
