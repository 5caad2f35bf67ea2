#include "src/host/pptx/TextLanguages.h"

#include <cctype>

namespace host::pptx {
namespace {

struct Language {
  int id;
  const char* tag;
};

// The primary region of a language comes first, so that a bare language
// tag finds it.
constexpr Language kLanguages[] = {
    {1033, "en-US"},  {2057, "en-GB"},   {3081, "en-AU"},   {4105, "en-CA"},   {5129, "en-NZ"},
    {6153, "en-IE"},  {7177, "en-ZA"},   {8201, "en-JM"},   {9225, "en-029"},  {10249, "en-BZ"},
    {11273, "en-TT"}, {12297, "en-ZW"},  {13321, "en-PH"},  {16393, "en-IN"},  {17417, "en-MY"},
    {18441, "en-SG"}, {1041, "ja-JP"},   {2052, "zh-CN"},   {1028, "zh-TW"},   {3076, "zh-HK"},
    {4100, "zh-SG"},  {5124, "zh-MO"},   {1042, "ko-KR"},   {1031, "de-DE"},   {2055, "de-CH"},
    {3079, "de-AT"},  {4103, "de-LU"},   {5127, "de-LI"},   {1036, "fr-FR"},   {2060, "fr-BE"},
    {3084, "fr-CA"},  {4108, "fr-CH"},   {5132, "fr-LU"},   {6156, "fr-MC"},   {3082, "es-ES"},
    {1034, "es-ES_tradnl"}, {2058, "es-MX"}, {4106, "es-GT"}, {5130, "es-CR"}, {6154, "es-PA"},
    {7178, "es-DO"},  {8202, "es-VE"},   {9226, "es-CO"},   {10250, "es-PE"},  {11274, "es-AR"},
    {12298, "es-EC"}, {13322, "es-CL"},  {14346, "es-UY"},  {15370, "es-PY"},  {16394, "es-BO"},
    {17418, "es-SV"}, {18442, "es-HN"},  {19466, "es-NI"},  {20490, "es-PR"},  {21514, "es-US"},
    {1040, "it-IT"},  {2064, "it-CH"},   {1046, "pt-BR"},   {2070, "pt-PT"},   {1043, "nl-NL"},
    {2067, "nl-BE"},  {1049, "ru-RU"},   {1045, "pl-PL"},   {1029, "cs-CZ"},   {1051, "sk-SK"},
    {1038, "hu-HU"},  {1048, "ro-RO"},   {1026, "bg-BG"},   {1050, "hr-HR"},   {1060, "sl-SI"},
    {2074, "sr-Latn-CS"}, {9242, "sr-Latn-RS"}, {3098, "sr-Cyrl-CS"}, {10266, "sr-Cyrl-RS"},
    {5146, "bs-Latn-BA"}, {1071, "mk-MK"}, {1052, "sq-AL"},  {1032, "el-GR"},   {1055, "tr-TR"},
    {1058, "uk-UA"},  {1059, "be-BY"},   {1061, "et-EE"},   {1062, "lv-LV"},   {1063, "lt-LT"},
    {1035, "fi-FI"},  {1053, "sv-SE"},   {2077, "sv-FI"},   {1030, "da-DK"},   {1044, "nb-NO"},
    {2068, "nn-NO"},  {1039, "is-IS"},   {1080, "fo-FO"},   {1027, "ca-ES"},   {1069, "eu-ES"},
    {1110, "gl-ES"},  {1106, "cy-GB"},   {2108, "ga-IE"},   {1084, "gd-GB"},   {1082, "mt-MT"},
    {1134, "lb-LU"},  {1047, "rm-CH"},   {1025, "ar-SA"},   {2049, "ar-IQ"},   {3073, "ar-EG"},
    {4097, "ar-LY"},  {5121, "ar-DZ"},   {6145, "ar-MA"},   {7169, "ar-TN"},   {8193, "ar-OM"},
    {9217, "ar-YE"},  {10241, "ar-SY"},  {11265, "ar-JO"},  {12289, "ar-LB"},  {13313, "ar-KW"},
    {14337, "ar-AE"}, {15361, "ar-BH"},  {16385, "ar-QA"},  {1037, "he-IL"},   {1065, "fa-IR"},
    {1056, "ur-PK"},  {1081, "hi-IN"},   {1093, "bn-IN"},   {2117, "bn-BD"},   {1094, "pa-IN"},
    {1095, "gu-IN"},  {1096, "or-IN"},   {1097, "ta-IN"},   {1098, "te-IN"},   {1099, "kn-IN"},
    {1100, "ml-IN"},  {1101, "as-IN"},   {1102, "mr-IN"},   {1103, "sa-IN"},   {1121, "ne-NP"},
    {1115, "si-LK"},  {1054, "th-TH"},   {1066, "vi-VN"},   {1057, "id-ID"},   {1086, "ms-MY"},
    {2110, "ms-BN"},  {1124, "fil-PH"},  {1107, "km-KH"},   {1108, "lo-LA"},   {1109, "my-MM"},
    {1104, "mn-MN"},  {1087, "kk-KZ"},   {1088, "ky-KG"},   {1091, "uz-Latn-UZ"}, {2115, "uz-Cyrl-UZ"},
    {1092, "tt-RU"},  {1064, "tg-Cyrl-TJ"}, {1090, "tk-TM"}, {1068, "az-Latn-AZ"}, {2092, "az-Cyrl-AZ"},
    {1067, "hy-AM"},  {1079, "ka-GE"},   {1078, "af-ZA"},   {1089, "sw-KE"},   {1077, "zu-ZA"},
    {1076, "xh-ZA"},  {1074, "tn-ZA"},   {1128, "ha-Latn-NG"}, {1130, "yo-NG"}, {1136, "ig-NG"},
    {1118, "am-ET"},  {1123, "ps-AF"},   {1152, "ug-CN"},   {1105, "bo-CN"},   {1153, "mi-NZ"},
    {1150, "br-FR"},  {1154, "oc-FR"},   {1155, "co-FR"},   {1083, "se-NO"},   {1125, "dv-MV"},
    {1114, "syr-SY"}, {1111, "kok-IN"},  {1135, "kl-GL"},   {1070, "hsb-DE"},  {1133, "ba-RU"},
    {1160, "rw-RW"},  {1159, "wo-SN"},   {1122, "fy-NL"},   {1126, "bin-NG"},  {1142, "la-Latn"},
    {1143, "so-SO"},  {1144, "ii-CN"},   {1146, "moh-CA"},  {1148, "arn-CL"},  {1131, "quz-BO"},
};

bool SameTag(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] == '_' && b[i] == '-' ? '-' : a[i];
    if (std::tolower(static_cast<unsigned char>(x)) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

int LanguageIdFromTag(std::string_view tag) {
  if (tag.empty()) return 0;
  for (const Language& l : kLanguages)
    if (SameTag(tag, l.tag)) return l.id;
  std::string_view primary = tag.substr(0, tag.find_first_of("-_"));
  for (const Language& l : kLanguages) {
    std::string_view t = l.tag;
    if (SameTag(primary, t.substr(0, t.find('-')))) return l.id;
  }
  return 0;
}

std::string TagFromLanguageId(int languageId) {
  // Traditional-sort Spanish is written as plain es-ES.
  if (languageId == 1034) return "es-ES";
  for (const Language& l : kLanguages)
    if (l.id == languageId) return l.tag;
  return {};
}

}  // namespace host::pptx
