// knupdate records: what waits for the department's database and why the last attempt to send
// it failed, as noted beside the outbox by whichever program tried last (nothing is sent);
// knupdate records send: sends it now.
#include <string>

#include "records/CentralRecords.h"
#include "records/LastSendFailure.h"
#include "tools/knupdate/CommandTable.h"
#include "tools/knupdate/ExitCodes.h"

namespace {

constexpr wchar_t kOff[] = L"No central records: there is no central-records.txt beside the program.";

std::wstring Counted(int count, const wchar_t* one, const wchar_t* several) {
  return std::to_wstring(count) + L" " + (count == 1 ? one : several);
}

// Rows of the outbox that are no record are never sent; a technician should know of them.
void TellUnreadable(ConsoleOutput& out, int unreadable) {
  if (unreadable > 0) {
    out.Line(Counted(unreadable, L"row", L"rows") + L" of " + OutboxPath() + L" " +
             (unreadable == 1 ? L"is" : L"are") + L" no record and cannot be sent.");
  }
}

}  // namespace

int RunRecordsCommand(const CommandArguments&, ConsoleOutput& out) {
  if (!CentralRecordsSetUp()) {
    out.Line(kOff);
    return exit_codes::kSucceeded;
  }
  const OutboxSendResult waiting = WaitingRecords(OutboxPath());
  if (!waiting.failure.empty()) out.Line(waiting.failure);
  out.Line(Counted(waiting.waiting, L"record waits", L"records wait") + L" for the central database.");
  TellUnreadable(out, waiting.unreadable);
  const LastSendFailure last = ReadLastSendFailure(OutboxPath());
  if (!last.reason.empty()) out.Line(L"The last attempt to send them failed (" + last.whenUtc + L"): " + last.reason);
  return exit_codes::kSucceeded;
}

int RunRecordsSendCommand(const CommandArguments&, ConsoleOutput& out) {
  if (!CentralRecordsSetUp()) {
    out.Line(kOff);
    return exit_codes::kSucceeded;
  }
  const OutboxSendResult result = SendWaitingRecords();
  out.Line(Counted(result.sent, L"record", L"records") + L" sent to the central database.");
  TellUnreadable(out, result.unreadable);
  if (result.waiting == 0 && result.failure.empty()) return exit_codes::kSucceeded;
  out.Line(Counted(result.waiting, L"record waits", L"records wait") + L": " +
           (result.failure.empty() ? std::wstring(L"added while the send ran.") : result.failure));
  return result.waiting == 0 ? exit_codes::kSucceeded : exit_codes::kFailed;
}
