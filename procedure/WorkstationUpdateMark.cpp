#include "procedure/WorkstationUpdateMark.h"

#include <sddl.h>

namespace {

constexpr wchar_t kDefaultName[] = L"Global\\QM_TWBootloader.UpdateUnderWay";
// Everyone may wait for the mark and let it go: a program of another user on the same
// workstation updates the same USB bus.
constexpr wchar_t kEveryoneMayTakeIt[] = L"D:(A;;0x00100001;;;WD)";  // SYNCHRONIZE | MUTEX_MODIFY_STATE
constexpr DWORD kTakeAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;
constexpr DWORD kLookPassesMs = 250;

std::wstring& ConfiguredName() {
  static std::wstring name;
  return name;
}

struct HolderStart {
  HANDLE decided;
  HANDLE release;
  bool taken;
};

// The mutex, made by the first program that asks; null when it cannot be had, which includes
// a mark made by another user's program that grants this one no access.
HANDLE OpenMark() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, FALSE};
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kEveryoneMayTakeIt, SDDL_REVISION_1, &descriptor,
                                                           nullptr)) {
    attributes.lpSecurityDescriptor = descriptor;
  }
  // Only the rights to wait and let go are asked for: an existing mark grants no more.
  const HANDLE mark = CreateMutexExW(&attributes, WorkstationUpdateMarkName().c_str(), 0, kTakeAccess);
  if (descriptor != nullptr) LocalFree(descriptor);
  return mark;
}

}  // namespace

DWORD WINAPI WorkstationUpdateMark::HolderThread(LPVOID parameter) {
  auto* start = static_cast<HolderStart*>(parameter);
  const HANDLE release = start->release;
  const HANDLE mark = OpenMark();
  bool taken = false;
  if (mark != nullptr) {
    // A program that only looks whether the mark is free holds it for a moment: that passes.
    // An update holds it for seconds at least.
    const DWORD wait = WaitForSingleObject(mark, kLookPassesMs);
    taken = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  }
  start->taken = taken;
  SetEvent(start->decided);  // start is the taker's, and may be gone from here on
  if (taken) {
    WaitForSingleObject(release, INFINITE);
    ReleaseMutex(mark);
  }
  if (mark != nullptr) CloseHandle(mark);
  return 0;
}

WorkstationUpdateMark::~WorkstationUpdateMark() { Release(); }

bool WorkstationUpdateMark::TryTake() {
  if (m_held.load()) return true;
  HolderStart start = {CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr),
                       false};
  HANDLE holder = start.decided != nullptr && start.release != nullptr
                      ? CreateThread(nullptr, 0, &WorkstationUpdateMark::HolderThread, &start, 0, nullptr)
                      : nullptr;
  if (holder != nullptr) {
    WaitForSingleObject(start.decided, INFINITE);
    if (!start.taken) {
      WaitForSingleObject(holder, INFINITE);
      CloseHandle(holder);
      holder = nullptr;
    }
  }
  if (start.decided != nullptr) CloseHandle(start.decided);
  if (holder == nullptr) {
    // Not taken, or no thread to hold it: no update may go on without it.
    if (start.release != nullptr) CloseHandle(start.release);
    return false;
  }
  m_holder = holder;
  m_release = start.release;
  m_held = true;
  return true;
}

void WorkstationUpdateMark::Release() {
  if (!m_held.load()) return;
  SetEvent(m_release);
  WaitForSingleObject(m_holder, INFINITE);
  CloseHandle(m_holder);
  CloseHandle(m_release);
  m_holder = nullptr;
  m_release = nullptr;
  m_held = false;
}

bool WorkstationUpdateMark::HeldElsewhere() {
  WorkstationUpdateMark look;
  return !look.TryTake();  // let go again as it goes
}

void SetWorkstationUpdateMarkName(const std::wstring& name) { ConfiguredName() = name; }

std::wstring WorkstationUpdateMarkName() { return ConfiguredName().empty() ? kDefaultName : ConfiguredName(); }
