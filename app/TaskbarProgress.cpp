#include "app/TaskbarProgress.h"

#include <shobjidl.h>

SystemTaskbarProgress::~SystemTaskbarProgress() {
  if (m_list != nullptr) m_list->Release();
  if (m_comStarted) CoUninitialize();
}

bool SystemTaskbarProgress::Ready() {
  if (m_tried) return m_list != nullptr;
  m_tried = true;
  m_comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  ITaskbarList3* list = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                              reinterpret_cast<void**>(&list)))) {
    return false;
  }
  if (FAILED(list->HrInit())) {
    list->Release();
    return false;
  }
  m_list = list;
  return true;
}

void SystemTaskbarProgress::SetState(HWND window, TaskbarState state) {
  if (!Ready()) return;
  const TBPFLAG flag = state == TaskbarState::kNormal ? TBPF_NORMAL
                       : state == TaskbarState::kError ? TBPF_ERROR
                                                       : TBPF_NOPROGRESS;
  m_list->SetProgressState(window, flag);
}

void SystemTaskbarProgress::SetValue(HWND window, ULONGLONG done, ULONGLONG total) {
  if (Ready()) m_list->SetProgressValue(window, done, total);
}
