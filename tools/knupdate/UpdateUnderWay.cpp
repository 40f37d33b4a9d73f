#include "tools/knupdate/UpdateUnderWay.h"

#include <string>

namespace {

constexpr int kMarks = 16;  // more programs than instruments a workstation updates at once
constexpr DWORD kLookMs = 50;

std::wstring MarkName(int index) { return L"Local\\KnUpdate.UpdateUnderWay." + std::to_wstring(index); }

bool Taken(DWORD wait) { return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED; }

}  // namespace

UpdateUnderWay::UpdateUnderWay() {
  for (int i = 0; i < kMarks && m_mark == nullptr; ++i) {
    const HANDLE mark = CreateMutexW(nullptr, FALSE, MarkName(i).c_str());
    if (mark == nullptr) continue;
    if (Taken(WaitForSingleObject(mark, 0))) {
      m_mark = mark;
    } else {
      CloseHandle(mark);
    }
  }
}

UpdateUnderWay::~UpdateUnderWay() {
  if (m_mark == nullptr) return;
  ReleaseMutex(m_mark);
  CloseHandle(m_mark);
}

bool UpdateUnderWay::InAnotherProgram() {
  bool underWay = false;
  for (int i = 0; i < kMarks && !underWay; ++i) {
    const HANDLE mark = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, MarkName(i).c_str());
    if (mark == nullptr) continue;  // never made, or let go by all
    // Held for a moment only, it is another program looking, as this one does.
    const DWORD wait = WaitForSingleObject(mark, kLookMs);
    if (Taken(wait)) {
      ReleaseMutex(mark);  // free: taken here only to look
    } else {
      underWay = wait == WAIT_TIMEOUT;
    }
    CloseHandle(mark);
  }
  return underWay;
}
