// knupdate update --device: the one instrument a number or a text names.
#include <cwctype>
#include <string>
#include <vector>

#include "ui/DeviceList.h"
#include "procedure/ProcedureTexts.h"
#include "tools/knupdate/CommandTable.h"
#include "tools/knupdate/ConsoleRun.h"
#include "tools/knupdate/ExitCodes.h"

namespace {

using namespace exit_codes;

bool IsNumber(const std::wstring& text) {
  if (text.empty()) return false;
  for (wchar_t c : text) {
    if (!std::iswdigit(c)) return false;
  }
  return true;
}

enum class Choice { kOne, kNone, kSeveral };

// The one entry that N (its listed number) or TEXT (a part of its text) names into chosen, or
// the reason printed.
Choice ChooseDevice(ConsoleOutput& out, const std::vector<ListedDevice>& entries, const std::wstring& device,
                    ListedDevice& chosen) {
  std::vector<const ListedDevice*> matches;
  for (const ListedDevice& listed : entries) {
    const bool named = IsNumber(device) ? std::to_wstring(listed.listedNumber) == device
                                        : listed.text.find(device) != std::wstring::npos;
    if (named) matches.push_back(&listed);
  }
  if (matches.size() == 1) {
    chosen = *matches[0];
    return Choice::kOne;
  }
  if (matches.empty()) {
    out.Error(L"No instrument is listed as " + device + L".");
    return Choice::kNone;
  }
  out.Error(L"More than one instrument is listed as " + device + L"; name one of them:");
  for (const ListedDevice* listed : matches) out.Error(L"  " + listed->text);
  return Choice::kSeveral;
}

}  // namespace

int RunUpdateCommand(const CommandArguments& arguments, ConsoleOutput& out) {
  ConsoleRun console(out);
  if (!console.List()) return kFailed;
  ListedDevice chosen;
  switch (ChooseDevice(out, console.Devices().Entries(), arguments.Value(options::kDevice), chosen)) {
    case Choice::kOne: break;
    case Choice::kNone: return kFailed;     // an instrument not attached (now)
    case Choice::kSeveral: return kUsage;  // a name that does not tell which one
  }
  if (!console.Begin(arguments, RunControl::Form::kOneUpdate)) return kFailed;
  const RunResult result = console.Run().Update(chosen);
  if (!result.begun) out.Line(texts::kStopped);
  if (result.gone) out.Line(result.entry + L": " + result.result);
  if (!result.succeeded) return kFailed;
  return console.Run().HistoryLost() ? kRecordLost : kSucceeded;
}
