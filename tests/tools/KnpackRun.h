// knpack.exe run as its users run it, for the package tool's tests.
#pragma once

#include <string>

#include "tests/support/TestFiles.h"

namespace knpack_run {

using ToolRun = testing_support::ProgramRun;

// Runs the knpack.exe given as --knpack=PATH with args.
inline ToolRun Knpack(const std::wstring& args) {
  return testing_support::RunProgram(L"\"" + testing_support::CommandLineOption(L"knpack") + L"\" " + args);
}

inline std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

inline std::string LastLine(const std::string& output) {
  std::string text = output;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text.substr(text.find_last_of('\n') == std::string::npos ? 0 : text.find_last_of('\n') + 1);
}

}  // namespace knpack_run
