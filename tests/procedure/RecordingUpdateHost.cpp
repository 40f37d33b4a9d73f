#include "tests/procedure/RecordingUpdateHost.h"

#include <algorithm>

#include "dfu/DfuApi.h"
#include "procedure/ProcedureTexts.h"
#include "procedure/UpdateWorker.h"

namespace {
constexpr wchar_t kClassName[] = L"KnRecordingUpdateHost";
}

RecordingUpdateHost::RecordingUpdateHost() {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = &RecordingUpdateHost::WindowProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  RegisterClassW(&windowClass);  // fails harmlessly once registered
  m_window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), this);
}

RecordingUpdateHost::~RecordingUpdateHost() {
  if (m_window != nullptr) DestroyWindow(m_window);
}

LRESULT CALLBACK RecordingUpdateHost::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<RecordingUpdateHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr) {
    switch (message) {
      case UM_DFU_WRITE_BEGIN: self->captions.push_back(self->stage + L" downloading!"); return 0;
      case UM_DFU_VERIFY_BEGIN: self->captions.push_back(self->stage + L" verifying!"); return 0;
      case UM_DFU_PROGRESS: ++self->progressUnits; return 0;
      case UM_DFU_DONE: case UM_DFU_FAILED: return 0;
      default: break;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void RecordingUpdateHost::ShowMessage(const std::wstring& text) {
  events.push_back(L"message: " + text);
  messages.push_back(text);
  onMessage(text);
}

void RecordingUpdateHost::SetStatusText(const std::wstring& text) {
  events.push_back(L"status: " + text);
  statusText = text;
}

void RecordingUpdateHost::ShowStatus(bool shown) {
  events.push_back(shown ? L"status shown" : L"status hidden");
  statusShown = shown;
}

void RecordingUpdateHost::ShowProgress(bool shown) {
  events.push_back(shown ? L"progress shown" : L"progress hidden");
  progressShown = shown;
}

void RecordingUpdateHost::SetProgressRange(int upper) {
  events.push_back(L"range " + std::to_wstring(upper));
  progressUpper = upper;
}

void RecordingUpdateHost::SetProgressPos(int position) {
  positions.push_back(position);
  progressPos = position;
}

void RecordingUpdateHost::Pause(DWORD milliseconds) {
  events.push_back(L"pause " + std::to_wstring(milliseconds));
  ++pauses[milliseconds];
  onPause(milliseconds);
}

void RecordingUpdateHost::RefreshDeviceList() {
  events.push_back(L"refresh");
  refresh();
}

void RecordingUpdateHost::EnableInputs(bool enabled) {
  events.push_back(enabled ? L"inputs enabled" : L"inputs disabled");
  inputsEnabled = enabled;
}

void RecordingUpdateHost::SetRefreshTimer(bool running) {
  events.push_back(running ? L"timer running" : L"timer stopped");
  timerRunning = running;
}

void RecordingUpdateHost::SetUpdateRunning(bool running) {
  events.push_back(running ? L"running" : L"not running");
  updateRunning = running;
}

void RecordingUpdateHost::SetStage(const std::wstring& text) {
  events.push_back(L"stage: " + text);
  stage = text;
  onStage(text);
}

bool RecordingUpdateHost::StartWorker() {
  beforeWorker();
  if (!workerThreadStarts || session == nullptr) return false;
  events.push_back(L"worker started");
  ++workerRuns;
  workerResult = UpdateWorker(*this, *session);
  return true;
}

void RecordingUpdateHost::ClearRecords() {
  events.clear();
  messages.clear();
  positions.clear();
  pauses.clear();
  captions.clear();
  progressUnits = 0;
  workerRuns = 0;
  records.clear();
  outcomes.clear();
}

bool RecordingUpdateHost::BeginWriting() {
  if (stopRequested()) return false;
  events.push_back(L"writing begins");
  return true;
}

bool RecordingUpdateHost::RecordUpdate(const HistoryRecord& record, UpdateOutcome outcome) {
  events.push_back(L"recorded: " + record.result);
  records.push_back(record);
  outcomes.push_back(outcome);
  return historyWritable;
}

int RecordingUpdateHost::PausesOf(DWORD milliseconds) const {
  const auto found = pauses.find(milliseconds);
  return found == pauses.end() ? 0 : found->second;
}

bool RecordingUpdateHost::Succeeded() const { return !outcomes.empty() && outcomes.back() == UpdateOutcome::kSucceeded; }
