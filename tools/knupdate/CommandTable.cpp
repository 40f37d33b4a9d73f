#include "tools/knupdate/CommandTable.h"

#include <algorithm>

#include "tools/knupdate/ExitCodes.h"

// Each command's own file.
int RunListCommand(const CommandArguments& arguments, ConsoleOutput& out);
int RunUpdateCommand(const CommandArguments& arguments, ConsoleOutput& out);
int RunAllCommand(const CommandArguments& arguments, ConsoleOutput& out);
int RunStationCommand(const CommandArguments& arguments, ConsoleOutput& out);
int RunHistoryCommand(const CommandArguments& arguments, ConsoleOutput& out);
int RunHelpCommand(const CommandArguments& arguments, ConsoleOutput& out);
int RunRecordsCommand(const CommandArguments& arguments, ConsoleOutput& out);
int RunRecordsSendCommand(const CommandArguments& arguments, ConsoleOutput& out);

const std::vector<CommandForm>& CommandTable() {
  using namespace options;
  static const std::vector<CommandForm> table = {
      {L"list", {}, {}, &RunListCommand, L"the instruments, as the dialog lists them"},
      {L"update", {kPackage, kDevice}, {kYes}, &RunUpdateCommand,
       L"updates entry \"Device N\", or the one entry whose text contains TEXT; --yes answers the bootloader "
       L"warning in advance"},
      {L"update", {kPackage, kAll}, {kYes, kKeepGoing}, &RunAllCommand,
       L"every listed instrument the package is for, one after another, with a summary; --keep-going goes on "
       L"after a failure"},
      {L"station", {kPackage}, {kYes}, &RunStationCommand,
       L"updates each instrument of the package's type as it is plugged in, until Ctrl+C or q"},
      {L"history", {}, {}, &RunHistoryCommand, L"the update history of this user"},
      {L"records", {}, {}, &RunRecordsCommand,
       L"how many update records wait for the department's database, and why the last attempt to send them "
       L"failed"},
      {L"records send", {}, {}, &RunRecordsSendCommand,
       L"sends the waiting records now; exits 1 when some still wait"},
      {L"help", {}, {}, &RunHelpCommand, L"this text"},
  };
  return table;
}

namespace {

std::wstring OptionUsage(const Option& option) {
  return option.value != nullptr ? std::wstring(option.name) + L" " + option.value : std::wstring(option.name);
}

std::wstring FormUsage(const CommandForm& form) {
  std::wstring usage = L"knupdate " + std::wstring(form.name);
  for (const Option& option : form.required) usage += L" " + OptionUsage(option);
  for (const Option& option : form.optional) usage += L" [" + OptionUsage(option) + L"]";
  return usage;
}

// The option of this name that some form of the command takes; null when none does.
const Option* KnownOption(const std::wstring& command, const std::wstring& name) {
  for (const CommandForm& form : CommandTable()) {
    if (command != form.name) continue;
    for (const std::vector<Option>* options : {&form.required, &form.optional}) {
      for (const Option& option : *options) {
        if (name == option.name) return &option;
      }
    }
  }
  return nullptr;
}

bool Takes(const std::vector<Option>& options, const std::wstring& name) {
  return std::any_of(options.begin(), options.end(), [&](const Option& option) { return name == option.name; });
}

// How many arguments the form's name takes up (its words, "records send" two) when the
// arguments begin with it; 0 when they do not.
std::size_t NameWords(const CommandForm& form, const std::vector<std::wstring>& arguments) {
  const std::wstring name = form.name;
  std::size_t words = 0;
  for (std::size_t start = 0; start <= name.size(); ++words) {
    const std::size_t end = std::min(name.find(L' ', start), name.size());
    if (words >= arguments.size() || arguments[words] != name.substr(start, end - start)) return 0;
    start = end + 1;
  }
  return words;
}

// The options after the command's name into given (and their names, in order); false when one
// is not the command's or lacks its value.
bool ReadOptions(const std::wstring& command, const std::vector<std::wstring>& arguments, std::size_t first,
                 CommandArguments& given, std::vector<std::wstring>& names) {
  for (std::size_t i = first; i < arguments.size(); ++i) {
    const Option* option = KnownOption(command, arguments[i]);
    if (option == nullptr || (option->value != nullptr && (i + 1 >= arguments.size() || arguments[i + 1].empty()))) {
      return false;
    }
    names.push_back(option->name);
    given.Set(*option, option->value != nullptr ? arguments[++i] : std::wstring());
  }
  return true;
}

// Whether the form is the one the given options name: all of its required ones, none it does
// not take.
bool Fits(const CommandForm& form, const CommandArguments& given, const std::vector<std::wstring>& names) {
  for (const Option& option : form.required) {
    if (!given.Has(option)) return false;
  }
  return std::all_of(names.begin(), names.end(), [&](const std::wstring& name) {
    return Takes(form.required, name) || Takes(form.optional, name);
  });
}

}  // namespace

std::wstring CommandArguments::Value(const Option& option) const {
  const auto found = m_given.find(option.name);
  return found != m_given.end() ? found->second : std::wstring();
}

std::wstring UsageText() {
  std::wstring usage;
  for (const CommandForm& form : CommandTable()) {
    usage += (usage.empty() ? L"usage: " : L"\r\n       ") + FormUsage(form);
  }
  return usage;
}

std::wstring HelpText() {
  std::wstring help;
  for (const CommandForm& form : CommandTable()) {
    help += FormUsage(form) + L"\r\n    " + form.help + L"\r\n";
  }
  return help;
}

int RunCommandLine(const std::vector<std::wstring>& arguments, ConsoleOutput& out) {
  for (const CommandForm& form : CommandTable()) {
    const std::size_t words = NameWords(form, arguments);
    if (words == 0) continue;
    CommandArguments given;
    std::vector<std::wstring> names;
    if (ReadOptions(form.name, arguments, words, given, names) && Fits(form, given, names)) return form.run(given, out);
  }
  out.Errors(UsageText());
  return exit_codes::kUsage;
}

int RunHelpCommand(const CommandArguments&, ConsoleOutput& out) {
  out.Lines(HelpText());
  return exit_codes::kSucceeded;
}
