#include <ostream>

#include "apps/pelorant/Command.h"
#include "src/platform/Strings.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace {

// The text of the add-in's version box: product title (text 203), product
// version and copyright from the version block.
std::wstring VersionBoxText() {
  support::VersionInfo version;
  return support::LoadText(203) + L"  Version " + version.GetValue(L"ProductVersion") + L"\n\n" +
         version.GetValue(L"LegalCopyright");
}

app::CommandRegistration versionCommand{
    {"version", "show the add-in's version box",
     "Usage: pelorant --version\n"
     "\n"
     "Prints the text of the add-in's version box in the language of the\n"
     "resource module chosen by LANG (English with OfficeAddInRes1033.res\n"
     "beside the program, Japanese otherwise).\n",
     [](const std::vector<std::string>& args, app::CommandIo& io) {
       if (!args.empty()) {
         io.err << "pelorant: --version takes no arguments\n";
         return 2;
       }
       LOG_INFO(L"pelorant:version", L"ShowVersion");
       io.out << platform::ToUtf8(VersionBoxText()) << "\n";
       return 0;
     }}};

}  // namespace
