// `pelorant options`: the option sets kept in the settings store, managed
// from the command line as the options dialog manages them. Every change
// loads the sets, applies itself and saves them back.
#include <filesystem>
#include <ostream>

#include "apps/pelorant/Command.h"
#include "src/options/Glossary.h"
#include "src/options/RegistrySettings.h"
#include "src/options/TranslationOption.h"
#include "src/options/TranslationOptions.h"
#include "src/platform/Files.h"
#include "src/platform/Strings.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace {

using options::TranslationOption;
using options::TranslationOptions;
using platform::FromUtf8;
using platform::ToUtf8;

const wchar_t* const kSource = L"pelorant:options";

const char* const kUsage =
    "Usage: pelorant options [--hidden] COMMAND [ARGUMENTS]\n"
    "\n"
    "  list                     the option sets; the selected one is marked with *\n"
    "  show NAME                every value of a set with its value name\n"
    "  add NAME                 a new set with the default values\n"
    "  remove NAME              remove a set (\"default\" always stays)\n"
    "  select NAME              make a set the selected one\n"
    "  set NAME FIELD=VALUE...  change values, written as they are stored:\n"
    "                           flags True or False, choices by their digit,\n"
    "                           numbers decimal, 0x hexadecimal or 0 octal;\n"
    "                           Glossary=PATH names a file of terms to keep\n"
    "                           or fix; TranslatesCharts, TranslatesAltText,\n"
    "                           TranslatesLinkTips and TranslatesMasters=False\n"
    "                           leave charts, alternative text, link tips or\n"
    "                           masters' text as they are (see pelorant\n"
    "                           translate --help)\n"
    "  import NAME [PATH]       read a set from an option file, under NAME\n"
    "  export NAME [PATH]       write a set's public values to an option file\n"
    "  reset [--yes]            back to the machine-wide defaults, after a Yes\n"
    "\n"
    "Without PATH the file is NAME.ini in the add-in's per-user data folder.\n"
    "\n"
    "--hidden shows the hidden values (names beginning with \"_\") and saves\n"
    "them, as the options dialog does while hidden options are on; the setting\n"
    "_Setup.ShowHiddenOptions=True turns it on for every run. Without it, a\n"
    "save keeps the hidden values already stored.\n";

// The options dialog shows and saves the hidden values when this common
// setting is "True"; the command follows it.
bool HiddenOptionsShown() {
  options::RegistrySettings reg(options::RegistrySettings::CommonPath());
  if (!reg.OpenRead(platform::Hive::CurrentUser, L"", platform::Hive::LocalMachine)) return false;
  return reg.QueryValue(L"_Setup.ShowHiddenOptions", L"False") == L"True";
}

struct Context {
  explicit Context(app::CommandIo& stream) : io(stream) {}

  app::CommandIo& io;
  bool hidden = false;
  bool yes = false;
  TranslationOptions sets;

  int Fail(const std::wstring& message) {
    io.err << "pelorant options: " << ToUtf8(message) << "\n";
    LOG_WARNING(kSource, message);
    return 1;
  }
  int Usage(const std::string& message) {
    io.err << "pelorant options: " << message << "\n\n" << kUsage;
    return 2;
  }

  bool Load() {
    if (sets.Load(false)) return true;
    Fail(L"the option sets could not be read: " + sets.LastFailure());
    return false;
  }

  int Save() { return Save(hidden); }
  int Save(bool includeHidden) {
    if (sets.Save(includeHidden)) return 0;
    return Fail(L"the option sets could not be written: " + sets.LastFailure());
  }
};

int List(Context& c) {
  if (!c.Load()) return 1;
  for (size_t i = 0; i < c.sets.Count(); ++i) {
    const std::wstring& name = c.sets.At(i).Name();
    c.io.out << (name == c.sets.SelectedName() ? "* " : "  ") << ToUtf8(name) << "\n";
  }
  return 0;
}

int Show(Context& c, const std::wstring& name) {
  if (!c.Load()) return 1;
  const TranslationOption* set = c.sets.Find(name);
  if (set == nullptr) return c.Fail(L"there is no option set named \"" + name + L"\"");
  std::vector<std::wstring> names, values;
  TranslationOptions::ToNameValue(*set, &names, &values, c.hidden);
  for (size_t i = 0; i < names.size(); ++i) {
    if (!names[i].empty()) c.io.out << ToUtf8(names[i]) << "=" << ToUtf8(values[i]) << "\n";
  }
  return 0;
}

bool CheckNewName(Context& c, const std::wstring& name) {
  std::wstring why;
  if (name.empty()) {
    c.Fail(L"an option set needs a name");
    return false;
  }
  if (name.find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos) {
    c.Fail(L"an option set name cannot hold a line break");
    return false;
  }
  return true;
}

int Add(Context& c, const std::wstring& name) {
  if (!CheckNewName(c, name) || !c.Load()) return 1;
  // Lookups reach only the first set of a name, so a second one could
  // never be chosen or changed.
  if (c.sets.Find(name) != nullptr) return c.Fail(L"an option set named \"" + name + L"\" exists already");
  c.sets.Add(name);
  return c.Save();
}

int Remove(Context& c, const std::wstring& name) {
  if (!c.Load()) return 1;
  if (name == options::kDefaultOptionName) return c.Fail(L"the option set \"default\" cannot be removed");
  if (!c.sets.Remove(name)) return c.Fail(L"there is no option set named \"" + name + L"\"");
  return c.Save();
}

int Select(Context& c, const std::wstring& name) {
  if (!c.Load()) return 1;
  if (c.sets.Select(name) == nullptr) return c.Fail(L"there is no option set named \"" + name + L"\"");
  return c.Save();
}

int Set(Context& c, const std::wstring& name, const std::vector<std::wstring>& assignments) {
  std::vector<std::wstring> names, values;
  for (const auto& a : assignments) {
    size_t eq = a.find(L'=');
    if (eq == std::wstring::npos || eq == 0) return c.Fail(L"\"" + a + L"\" is not FIELD=VALUE");
    std::wstring field = a.substr(0, eq), value = a.substr(eq + 1);
    const options::OptionFieldInfo* info = options::FindOptionField(field);
    if (info == nullptr) {
      std::wstring hint;
      for (const auto& f : options::OptionFields()) {
        if (platform::EqualsNoCase(f.name, field)) hint = std::wstring(L"; did you mean ") + f.name + L"?";
      }
      return c.Fail(L"there is no value named \"" + field + L"\"" + hint);
    }
    if (field == options::names::kName) {
      return c.Fail(L"Name is the set's name; add a new set or import under another name instead");
    }
    if (info->hidden && !c.hidden) {
      return c.Fail(field + L" is a hidden value; add --hidden to set it");
    }
    std::wstring why;
    if (!options::IsValidOptionValue(*info, value, &why)) return c.Fail(L"bad value \"" + value + L"\": " + why);
    if (field == options::names::kGlossary && !value.empty()) {
      // Commands start in other folders than this one, and a glossary that
      // cannot be used is better refused now than at the next run.
      value = FromUtf8(std::filesystem::absolute(platform::NativePath(value)).string());
      const options::GlossaryRead glossary = options::ReadGlossary(value);
      if (!glossary.ok) return c.Fail(L"the glossary cannot be used: " + glossary.failure);
    }
    names.push_back(std::move(field));
    values.push_back(std::move(value));
  }
  if (!c.Load()) return 1;
  TranslationOption* set = c.sets.Find(name);
  if (set == nullptr) return c.Fail(L"there is no option set named \"" + name + L"\"");
  if (!TranslationOptions::FromNameValue(set, names, values)) return c.Fail(L"the values could not be applied");
  return c.Save();
}

int Import(Context& c, const std::wstring& name, const std::wstring& path) {
  if (!CheckNewName(c, name) || !c.Load()) return 1;
  std::wstring why;
  if (!c.sets.Import(name, path, &why)) return c.Fail(L"could not import \"" + name + L"\": " + why);
  if (int rc = c.Save()) return rc;
  c.io.out << "imported \"" << ToUtf8(name) << "\"\n";
  return 0;
}

int Export(Context& c, const std::wstring& name, const std::wstring& path) {
  if (!c.Load()) return 1;
  std::wstring why;
  std::wstring target = path.empty() ? options::DefaultOptionFilePath(name, &why) : path;
  if (!c.sets.Export(name, path, &why)) return c.Fail(L"could not export \"" + name + L"\": " + why);
  c.io.out << "exported \"" << ToUtf8(name) << "\" to " << ToUtf8(target) << "\n";
  return 0;
}

int Reset(Context& c) {
  if (!c.yes) {
    // No is the default button, so a script that cannot answer keeps the sets.
    int answer = support::ShowMessage(4003, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer != IDYES) {
      c.io.err << "pelorant options: nothing was reset\n";
      return 1;
    }
  }
  if (!c.sets.Load(true)) return c.Fail(L"the machine-wide option sets could not be read: " + c.sets.LastFailure());
  // A reset replaces the hidden values too, with the machine-wide ones.
  return c.Save(true);
}

int Run(const std::vector<std::string>& rawArgs, app::CommandIo& io) {
  Context c(io);
  std::vector<std::wstring> args;
  for (const auto& a : rawArgs) {
    if (a == "--hidden") c.hidden = true;
    else if (a == "--yes" || a == "-y") c.yes = true;
    else if (a == "--help" || a == "-h") {
      io.out << kUsage;
      return 0;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return c.Usage("unknown switch " + a);
    } else {
      args.push_back(FromUtf8(a));
    }
  }
  if (args.empty()) return c.Usage("which command?");
  if (!c.hidden) c.hidden = HiddenOptionsShown();
  const std::wstring cmd = args[0];
  const size_t n = args.size() - 1;
  LOG_INFO(kSource, cmd);
  auto arg = [&](size_t i) { return i <= n ? args[i] : std::wstring(); };
  if (cmd == L"list" && n == 0) return List(c);
  if (cmd == L"show" && n == 1) return Show(c, arg(1));
  if (cmd == L"add" && n == 1) return Add(c, arg(1));
  if (cmd == L"remove" && n == 1) return Remove(c, arg(1));
  if (cmd == L"select" && n == 1) return Select(c, arg(1));
  if (cmd == L"set" && n >= 2) return Set(c, arg(1), std::vector<std::wstring>(args.begin() + 2, args.end()));
  if (cmd == L"import" && (n == 1 || n == 2)) return Import(c, arg(1), arg(2));
  if (cmd == L"export" && (n == 1 || n == 2)) return Export(c, arg(1), arg(2));
  if (cmd == L"reset" && n == 0) return Reset(c);
  for (const char* known : {"list", "show", "add", "remove", "select", "set", "import", "export", "reset"}) {
    if (cmd == FromUtf8(known)) return c.Usage("wrong number of arguments for " + std::string(known));
  }
  return c.Usage("unknown command " + ToUtf8(cmd));
}

app::CommandRegistration optionsCommand{{"options", "manage the translation option sets", kUsage, Run}};

}  // namespace
