// knupdate history: this user's update history, record by record.
#include <string>

#include "history/UpdateHistory.h"
#include "tools/knupdate/CommandTable.h"
#include "tools/knupdate/ExitCodes.h"

int RunHistoryCommand(const CommandArguments&, ConsoleOutput& out) {
  const std::wstring path = HistoryFilePath();
  std::string text;
  if (!ReadHistory(path, text)) {
    out.Line(L"No update recorded yet (" + path + L").");
    return exit_codes::kSucceeded;
  }
  // Record by record, so a console shows the text itself whatever its code page. A quoted field
  // may hold a line break (a product text that carries one): it stays in its record, printed
  // escaped, and never starts a line of its own.
  std::size_t start = 0;
  bool quoted = false;
  for (std::size_t at = 0; at <= text.size(); ++at) {
    if (at < text.size() && text[at] == '"') quoted = !quoted;
    const bool recordEnds = at == text.size() || (!quoted && text.compare(at, 2, "\r\n") == 0);
    if (!recordEnds) continue;
    if (at > start) out.Line(FromUtf8(text.substr(start, at - start)));
    start = at + 2;
    ++at;
  }
  return exit_codes::kSucceeded;
}
