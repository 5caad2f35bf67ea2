#include "engines/apertium/Stages.h"

namespace apertium {

namespace {

// Copies a superblank "[...]" or a wordbound blank "[[...]]" starting at
// i (its "[") into *text, honouring escapes; returns the index after it.
size_t ReadBlank(const std::string& s, size_t i, std::string* text) {
  const bool word = i + 1 < s.size() && s[i + 1] == '[';
  size_t j = i + (word ? 2 : 1);
  while (j < s.size()) {
    if (s[j] == '\\') {
      j += 2;
      continue;
    }
    if (s[j] == ']' && (!word || (j + 1 < s.size() && s[j + 1] == ']'))) {
      j += word ? 2 : 1;
      break;
    }
    ++j;
  }
  j = std::min(j, s.size());
  *text = s.substr(i, j - i);
  return j;
}

// Index after the lexical unit starting at i (its "^").
size_t ReadUnit(const std::string& s, size_t i) {
  size_t j = i + 1;
  while (j < s.size() && s[j] != '$') j += s[j] == '\\' ? 2 : 1;
  return std::min(j + 1, s.size());
}

bool IsWordBlank(const std::string& blank) { return blank.size() >= 4 && blank.compare(0, 2, "[[") == 0; }

// The stream with text and escapes as they are and each blank and lexical
// unit as its handler writes it.
template <class OnBlank, class OnUnit>
std::string Rewrite(const std::string& s, OnBlank onBlank, OnUnit onUnit) {
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '\\') {
      out.append(s, i, 2);
      i += 2;
    } else if (c == '[') {
      std::string blank;
      i = ReadBlank(s, i, &blank);
      onBlank(blank, &out);
    } else if (c == '^') {
      const size_t end = ReadUnit(s, i);
      onUnit(s.substr(i, end - i), &out);
      i = end;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

class BlankStage : public ChunkStage {
 public:
  explicit BlankStage(bool attach) : mAttach(attach) {}

 protected:
  std::string Chunk(const std::string& in) override { return mAttach ? AttachWordBlanks(in) : DetachWordBlanks(in); }

 private:
  bool mAttach;
};

}  // namespace

std::unique_ptr<Stage> MakeBlankStage(bool attach) { return std::make_unique<BlankStage>(attach); }

std::string AttachWordBlanks(const std::string& s) {
  std::vector<std::string> open;
  auto blank = [&](const std::string& b, std::string* out) {
    if (!IsWordBlank(b)) {
      *out += b;
    } else if (b == "[[/]]") {
      if (!open.empty()) open.pop_back();
    } else {
      open.push_back(b.substr(2, b.size() - 4));
    }
  };
  auto unit = [&](const std::string& u, std::string* out) {
    if (!open.empty()) {
      *out += "[[";
      for (size_t k = 0; k < open.size(); ++k) *out += (k ? "; " : "") + open[k];
      *out += "]]";
    }
    *out += u;
  };
  return Rewrite(s, blank, unit);
}

std::string DetachWordBlanks(const std::string& s) {
  bool pending = false;
  auto blank = [&](const std::string& b, std::string* out) {
    if (IsWordBlank(b) && b != "[[/]]") pending = true;
    *out += b;
  };
  auto unit = [&](const std::string& u, std::string* out) {
    *out += u;
    if (pending) *out += "[[/]]";
    pending = false;
  };
  return Rewrite(s, blank, unit);
}

}  // namespace apertium
