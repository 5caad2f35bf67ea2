#include "src/platform/ConsoleMessageBox.h"

#include <cctype>

#include "src/platform/Strings.h"

namespace platform {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t b = s.find_first_not_of(" \t\r\n");
  size_t e = s.find_last_not_of(" \t\r\n");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

struct Choice {
  const char* word;
  const char* shortWord;
  int id;
};

// The answers a button set accepts. For OK/Cancel boxes "yes" and "no"
// are taken as OK and Cancel, so one preset answer serves every question.
std::vector<Choice> ChoicesFor(unsigned buttons) {
  switch (buttons) {
    case MB_OKCANCEL:
      return {{"ok", "o", IDOK}, {"cancel", "c", IDCANCEL}, {"yes", "y", IDOK}, {"no", "n", IDCANCEL}};
    case MB_YESNO:
      return {{"yes", "y", IDYES}, {"no", "n", IDNO}};
    case MB_YESNOCANCEL:
      return {{"yes", "y", IDYES}, {"no", "n", IDNO}, {"cancel", "c", IDCANCEL}};
    default:
      return {{"ok", "o", IDOK}};
  }
}

const char* ButtonName(int id) {
  switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDYES: return "Yes";
    case IDNO: return "No";
  }
  return "?";
}

bool Match(const std::vector<Choice>& choices, const std::string& answer, int* id) {
  std::string a = Lower(answer);
  for (const auto& c : choices) {
    if (a == c.word || a == c.shortWord) {
      *id = c.id;
      return true;
    }
  }
  return false;
}

std::string Prompt(unsigned buttons, int def) {
  switch (buttons) {
    case MB_OKCANCEL: return def == IDOK ? "[OK/cancel] " : "[ok/Cancel] ";
    case MB_YESNO: return def == IDYES ? "[Y/n] " : "[y/N] ";
    case MB_YESNOCANCEL:
      return def == IDYES ? "[Y/n/c] " : def == IDNO ? "[y/N/c] " : "[y/n/C] ";
  }
  return "";
}

}  // namespace

std::string IconKindName(unsigned style) {
  switch (style & 0xF0) {
    case MB_ICONERROR: return "error";
    case MB_ICONQUESTION: return "question";
    case MB_ICONEXCLAMATION: return "warning";
    case MB_ICONINFORMATION: return "information";
  }
  return "";
}

int ConsoleMessageBox(const MessageBoxRequest& request, ConsoleIo& io) {
  auto write = [&](const std::string& s) {
    if (io.write) io.write(s);
  };
  std::string kind = IconKindName(request.style);
  std::string head = kind.empty() ? "[message]" : "[" + kind + "]";
  if (!request.caption.empty()) head += " " + ToUtf8(request.caption);
  std::string text = ToUtf8(request.text);
  // Windows line ends in message texts would show as stray characters.
  std::string clean;
  for (char c : text) {
    if (c != '\r') clean.push_back(c);
  }
  write(head + "\n" + clean + (clean.empty() || clean.back() != '\n' ? "\n" : ""));

  unsigned buttons = request.style & 0x0F;
  int def = DefaultButton(request.style);
  if (buttons != MB_OKCANCEL && buttons != MB_YESNO && buttons != MB_YESNOCANCEL) return IDOK;
  std::vector<Choice> choices = ChoicesFor(buttons);

  if (!io.presetAnswer.empty()) {
    int id;
    if (Match(choices, io.presetAnswer, &id)) {
      write(std::string("-> ") + ButtonName(id) + " (PELORANT_ANSWER)\n");
      return id;
    }
    write("PELORANT_ANSWER=\"" + io.presetAnswer + "\" does not answer this question; taking the default button, " +
          ButtonName(def) + "\n");
    return def;
  }
  if (io.interactive && io.readLine) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      write(Prompt(buttons, def));
      std::string line;
      if (!io.readLine(&line)) break;
      if (Lower(line).empty()) return def;
      int id;
      if (Match(choices, line, &id)) return id;
    }
    write("\nno answer; taking the default button, " + std::string(ButtonName(def)) + "\n");
    return def;
  }
  write(std::string("no terminal to answer on and PELORANT_ANSWER not set; taking the default button, ") +
        ButtonName(def) + "\n");
  return def;
}

}  // namespace platform
