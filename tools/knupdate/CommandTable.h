// knupdate's commands, one table: each form of a command with the options that pick it, the
// options it may take, the function that runs it and a line of help. The usage and the help
// are made from it. A new command is a file of its own with its Run function, and a row here.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/knupdate/ConsoleOutput.h"

// An option: a flag, or a name followed by its value.
struct Option {
  const wchar_t* name;   // "--package"
  const wchar_t* value;  // what its value is ("FILE"); null for a flag
};

namespace options {
constexpr Option kPackage{L"--package", L"FILE"};
constexpr Option kDevice{L"--device", L"N|TEXT"};
constexpr Option kAll{L"--all", nullptr};
constexpr Option kYes{L"--yes", nullptr};
constexpr Option kKeepGoing{L"--keep-going", nullptr};
}  // namespace options

// The options given to a command, each known to its form.
class CommandArguments {
 public:
  bool Has(const Option& option) const { return m_given.count(option.name) != 0; }
  // The option's value; empty for a flag or one not given.
  std::wstring Value(const Option& option) const;
  void Set(const Option& option, std::wstring value) { m_given[option.name] = std::move(value); }

 private:
  std::map<std::wstring, std::wstring> m_given;
};

// Runs a command; returns the process's exit code (ExitCodes.h).
using CommandRun = int (*)(const CommandArguments& arguments, ConsoleOutput& out);

// One form of a command.
struct CommandForm {
  const wchar_t* name;            // the first argument, or the first words ("records send")
  std::vector<Option> required;   // every one given, in the usage's order
  std::vector<Option> optional;   // may be given
  CommandRun run;
  const wchar_t* help;            // what it does, in a line
};

const std::vector<CommandForm>& CommandTable();

// "usage: knupdate list" and a line for every other form.
std::wstring UsageText();
// The usage with each form's help.
std::wstring HelpText();

// Runs the form the arguments name (the command's name first); the usage, and the exit code
// for wrong usage, for anything else.
int RunCommandLine(const std::vector<std::wstring>& arguments, ConsoleOutput& out);
