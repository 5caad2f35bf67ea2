#include <cctype>
#include <cstring>
#include <mutex>

#include "src/platform/ConsoleMessageBox.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/platform/SystemNative.h"

namespace platform {
namespace {

std::mutex gHandlerMutex;
MessageBoxHandler gMessageBoxHandler;
BeepHandler gBeepHandler;
DiagnosticSink gDiagnosticSink;

template <typename F>
F Swap(F* slot, F next) {
  std::lock_guard<std::mutex> g(gHandlerMutex);
  F previous = std::move(*slot);
  *slot = std::move(next);
  return previous;
}

template <typename F>
F Get(const F& slot) {
  std::lock_guard<std::mutex> g(gHandlerMutex);
  return slot;
}

struct LocaleEntry {
  const char* name;
  LANGID id;
};

// Language and country as POSIX locales spell them; a bare language maps to
// the id Windows gives that language's default sub-language.
const LocaleEntry kLocales[] = {
    {"ja_JP", 1041}, {"ja", 1041},    {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081},
    {"en_CA", 4105}, {"en_NZ", 5129}, {"en_IE", 6153}, {"en_ZA", 7177}, {"en_IN", 16393},
    {"en", 1033},    {"zh_CN", 2052}, {"zh_TW", 1028}, {"zh_HK", 3076}, {"zh_SG", 4100},
    {"zh_MO", 5124}, {"zh", 2052},    {"ko_KR", 1042}, {"ko", 1042},    {"de_DE", 1031},
    {"de_AT", 3079}, {"de_CH", 2055}, {"de_LU", 4103}, {"de", 1031},    {"fr_FR", 1036},
    {"fr_CA", 3084}, {"fr_BE", 2060}, {"fr_CH", 4108}, {"fr", 1036},    {"es_ES", 3082},
    {"es_MX", 2058}, {"es_AR", 11274}, {"es", 3082},   {"it_IT", 1040}, {"it_CH", 2064},
    {"it", 1040},    {"pt_BR", 1046}, {"pt_PT", 2070}, {"pt", 1046},    {"ru_RU", 1049},
    {"ru", 1049},    {"pl_PL", 1045}, {"pl", 1045},    {"cs_CZ", 1029}, {"cs", 1029},
    {"hu_HU", 1038}, {"hu", 1038},    {"sk_SK", 1051}, {"sk", 1051},    {"sl_SI", 1060},
    {"sl", 1060},    {"hr_HR", 1050}, {"hr", 1050},    {"ro_RO", 1048}, {"ro", 1048},
    {"bg_BG", 1026}, {"bg", 1026},    {"uk_UA", 1058}, {"uk", 1058},    {"be_BY", 1059},
    {"be", 1059},    {"el_GR", 1032}, {"el", 1032},    {"tr_TR", 1055}, {"tr", 1055},
    {"he_IL", 1037}, {"he", 1037},    {"ar_SA", 1025}, {"ar_EG", 3073}, {"ar", 1025},
    {"fa_IR", 1065}, {"fa", 1065},    {"lt_LT", 1063}, {"lt", 1063},    {"lv_LV", 1062},
    {"lv", 1062},    {"et_EE", 1061}, {"et", 1061},    {"vi_VN", 1066}, {"vi", 1066},
    {"th_TH", 1054}, {"th", 1054},    {"nl_NL", 1043}, {"nl_BE", 2067}, {"nl", 1043},
    {"sv_SE", 1053}, {"sv_FI", 2077}, {"sv", 1053},    {"da_DK", 1030}, {"da", 1030},
    {"nb_NO", 1044}, {"nb", 1044},    {"no_NO", 1044}, {"nn_NO", 2068}, {"nn", 2068},
    {"fi_FI", 1035}, {"fi", 1035},    {"id_ID", 1057}, {"id", 1057},    {"ms_MY", 1086},
    {"ms", 1086},    {"ca_ES", 1027}, {"ca", 1027},    {"eu_ES", 1069}, {"eu", 1069},
    {"gl_ES", 1110}, {"gl", 1110},    {"is_IS", 1039}, {"is", 1039},    {"hi_IN", 1081},
    {"hi", 1081},    {"sr_RS", 2074}, {"sr", 2074},    {"mk_MK", 1071}, {"mk", 1071},
    {"sq_AL", 1052}, {"sq", 1052},    {"ur_PK", 1056}, {"ur", 1056},    {"az_AZ", 1068},
    {"az", 1068},
};

}  // namespace

int ShowMessageBox(const MessageBoxRequest& request) {
  if (MessageBoxHandler h = Get(gMessageBoxHandler)) return h(request);
  return native::ShowMessageBox(request);
}

void AlertBeep(unsigned iconType) {
  if (BeepHandler h = Get(gBeepHandler)) return h(iconType);
  native::AlertBeep(iconType);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) { return Swap(&gMessageBoxHandler, std::move(handler)); }
BeepHandler SetBeepHandler(BeepHandler handler) { return Swap(&gBeepHandler, std::move(handler)); }
DiagnosticSink SetDiagnosticSink(DiagnosticSink sink) { return Swap(&gDiagnosticSink, std::move(sink)); }

void ReportDiagnostic(const std::wstring& message) {
  native::WriteDiagnostic(message);
  if (DiagnosticSink s = Get(gDiagnosticSink)) {
    try {
      s(message);
    } catch (...) {
      // A failing sink must not turn a reported problem into a new one.
    }
  }
}

int DefaultButton(unsigned style) {
  unsigned buttons = style & 0x0F;
  unsigned def = (style & 0xF00) >> 8;  // 0 first, 1 second, 2 third
  switch (buttons) {
    case MB_OKCANCEL: return def == 1 ? IDCANCEL : IDOK;
    case MB_YESNOCANCEL: return def == 1 ? IDNO : def == 2 ? IDCANCEL : IDYES;
    case MB_YESNO: return def == 1 ? IDNO : IDYES;
    default: return IDOK;
  }
}

LANGID LangIdFromLocaleName(std::string_view locale) {
  size_t cut = locale.find_first_of(".@");
  if (cut != std::string_view::npos) locale = locale.substr(0, cut);
  std::string name(locale);
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  // Language lower case, country upper case, as the table spells them.
  size_t us = name.find('_');
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    name[i] = static_cast<char>(us != std::string::npos && i > us ? std::toupper(c) : std::tolower(c));
  }
  if (name == "c" || name == "posix") return 1033;
  for (const auto& e : kLocales) {
    if (name == e.name) return e.id;
  }
  if (us != std::string::npos) {
    std::string lang = name.substr(0, us);
    for (const auto& e : kLocales) {
      if (lang == e.name) return e.id;
    }
  }
  return 0;
}

wchar_t PathSeparator();

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty()) return name;
  if (name.empty()) return folder;
  wchar_t sep = PathSeparator();
  auto isSep = [&](wchar_t c) { return c == sep || c == L'/' || c == L'\\'; };
  bool absolute = isSep(name[0]) || (name.size() > 1 && name[1] == L':');
  if (absolute) return name;
  if (isSep(folder.back())) return folder + name;
  return folder + sep + name;
}

}  // namespace platform
