#include <istream>
#include <iterator>
#include <ostream>

#include "apps/pelorant/Command.h"
#include "apps/pelorant/TranslationMode.h"
#include "src/dialogs/CDialogProgress.h"
#include "src/engine/AppCommon.h"
#include "src/platform/Strings.h"
#include "src/powerpoint/PowerPointTranslationProcess.h"
#include "src/support/ErrorList.h"
#include "src/support/ResourceModule.h"

namespace {

std::string Usage() {
  return std::string(
             "Usage: pelorant text [--mode KEY] [TEXT...]\n"
             "\n"
             "Translates TEXT (the arguments joined by blanks), or standard input when no\n"
             "TEXT is given, the way the add-in translates copied text: cut into\n"
             "sentences, each sentence through the engine, line breaks kept. The\n"
             "translation goes to standard output. While it runs, a progress line is shown\n"
             "on stderr when that is a terminal; Ctrl-C asks whether to stop.\n"
             "\n") +
         app::kModeHelp +
         "\n"
         "Exit status: 0 translated; 1 the engine could not be used, the run was\n"
         "cancelled, or some sentences could not be translated (they are printed as\n"
         "they were, and stderr says so); 2 bad arguments or unknown mode.\n"
         "\n"
         "Example: echo \"The dog is big. It runs fast.\" | pelorant text --mode Apertium:eng-spa\n";
}

std::string ToOutput(const std::wstring& translated) {
  // The block translation marks line ends with VT, as the host's text does.
  std::wstring text = translated;
  for (wchar_t& c : text)
    if (c == L'\x0B') c = L'\n';
  std::string out = platform::ToUtf8(text);
  if (out.empty() || out.back() != '\n') out += '\n';
  return out;
}

int Run(const std::vector<std::string>& args, app::CommandIo& io) {
  std::string key;
  std::vector<std::string> words;
  if (!app::ParseModeOption("text", args, &key, &words, io)) return 2;

  std::string input;
  if (words.empty()) {
    input.assign(std::istreambuf_iterator<char>(io.in), std::istreambuf_iterator<char>());
  } else {
    for (size_t i = 0; i < words.size(); ++i) input += (i ? " " : "") + words[i];
  }

  std::optional<app::ModeChoice> mode = app::ChooseMode("text", key, io);
  if (!mode) return key.empty() ? 1 : 2;
  options::TranslationOptionUDT options = app::PlainTextOptions(*mode);

  std::wstring text = platform::FromUtf8(input);
  engine::AppCommon& common = engine::AppCommon::Instance();
  common.SetCancel(false);
  support::ErrorList::Clear();

  bool dialog = dialogs::OpenProgressDialog(powerpoint::PowerPointTranslationProcess::Instance().ProgressViewFactory());
  common.SetProgressReport(dialog ? dialogs::CurrentProgressDialog() : nullptr);
  bool ok = false;
  try {
    ok = common.TranslatePlainText(options, text, dialog);
  } catch (...) {
    common.SetProgressReport(nullptr);
    dialogs::WaitForProgressDialogThread();
    throw;
  }
  common.SetProgressReport(nullptr);
  dialogs::WaitForProgressDialogThread();

  if (!ok) {
    app::PrintErrors("text", io);
    return 1;
  }
  if (common.IsCancelled()) {
    io.err << "pelorant text: the translation was cancelled; nothing was printed\n";
    return 1;
  }
  io.out << ToOutput(text);
  io.out.flush();
  engine::Engine& eng = common.GetEngine();
  if (eng.FailedRequests() > 0) {
    io.err << "pelorant text: " << eng.FailedRequests()
           << " sentence(s) could not be translated and were printed as they were";
    if (eng.LastErrorCode() != 0)
      io.err << ": " << platform::ToUtf8(support::LoadText(support::ErrorList::EngineErrorToMessageId(eng.LastErrorCode())));
    if (!eng.LastErrorText().empty()) io.err << "\n  " << platform::ToUtf8(eng.LastErrorText());
    io.err << "\n";
    return 1;
  }
  return 0;
}

app::CommandRegistration text{{"text", "translate text from the arguments or standard input", Usage(), Run}};

}  // namespace
