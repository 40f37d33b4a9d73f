// Why the last send to the department's database failed, kept beside the outbox
// ("outbox-failure.txt") so that `knupdate records` can tell it without asking the database
// again: the dialog's sends and every knupdate's leave it there. A send that fails writes it, one
// that ends with nothing failed removes it; the last sender of any program wins, which is what
// "the last attempt" means on a workstation.
#pragma once

#include <string>

constexpr wchar_t kLastSendFailureFileName[] = L"outbox-failure.txt";

struct LastSendFailure {
  std::wstring whenUtc;  // "2026-12-10T15:04:05Z"
  std::wstring reason;   // empty: the last attempt did not fail (or none was made)
};

// The note beside this outbox.
std::wstring LastSendFailurePath(const std::wstring& outboxPath);
// Notes a failed send (now), or, for an empty failure, that the last send failed in nothing.
void NoteSendFailure(const std::wstring& outboxPath, const std::wstring& failure);
LastSendFailure ReadLastSendFailure(const std::wstring& outboxPath);
