#include "tools/knupdate/RunControl.h"

namespace {

constexpr wchar_t kMustFinish[] =
    L"The update must finish: the firmware is being written, and stopping now could leave the instrument unusable.";
constexpr wchar_t kStoppingText[] = L"Stopping: the update ends before anything is written.";
constexpr wchar_t kRunStoppingText[] = L"Stopping: no further instrument is updated.";

}  // namespace

RunControl::RunControl(ConsoleOutput& out, Form form)
    : m_out(out), m_form(form), m_ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

RunControl::~RunControl() {
  if (m_ended != nullptr) CloseHandle(m_ended);
}

bool RunControl::BeginUpdate() {
  ResetEvent(m_ended);
  // Under the lock the console handler takes: a stop it asks for while this update begins
  // either comes before (no update begins) or finds the update preparing.
  std::lock_guard<std::mutex> lock(m_eventMutex);
  if (m_runStopRequested.load()) return false;
  m_state = kPreparing;
  return true;
}

void RunControl::UpdateEnded() { End(m_form == Form::kSeveralUpdates ? kIdle : kEnded); }

void RunControl::RunEnded() { End(kEnded); }

void RunControl::End(State next) {
  m_state = next;
  m_guard.Release();
  SetEvent(m_ended);
}

bool RunControl::BeginWriting() {
  int expected = kPreparing;
  if (!m_state.compare_exchange_strong(expected, kWriting)) return false;
  m_guard.Engage();
  return true;
}

void RunControl::EndRunOnRequest() {
  {
    std::lock_guard<std::mutex> lock(m_eventMutex);
    if (m_state.load() == kWriting) {
      if (!m_runStopRequested.exchange(true)) m_out.Line(kRunStoppingText);
      return;
    }
  }
  OnConsoleEvent(CTRL_C_EVENT);
}

bool RunControl::OnConsoleEvent(DWORD event) {
  int state = kIdle;
  {
    std::lock_guard<std::mutex> lock(m_eventMutex);
    if (m_form == Form::kSeveralUpdates && m_state.compare_exchange_strong(state, kIdle)) {
      if (!m_runStopRequested.exchange(true)) m_out.Line(kRunStoppingText);
      return true;
    }
    state = kPreparing;
    if (m_state.compare_exchange_strong(state, kStopping)) {
      m_out.Line(kStoppingText);
      m_runStopRequested = true;
      state = kStopping;
    }
  }
  if (state == kEnded || state == kIdle) return false;  // nothing under way to protect
  // The console is closing, or the session ending: Windows ends the process a few seconds after
  // this returns, so no further instrument may be begun meanwhile.
  if (m_form == Form::kSeveralUpdates && event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT &&
      !m_runStopRequested.exchange(true)) {
    m_out.Line(kRunStoppingText);
  }
  if (state == kWriting) m_out.Line(kMustFinish);
  // A console that is being closed ends the process as soon as this returns: hold it until the
  // update has stopped or ended. Windows ends it a few seconds later all the same, which is why
  // the close box is greyed while the firmware is written.
  if (event == CTRL_CLOSE_EVENT) WaitForSingleObject(m_ended, INFINITE);
  return true;
}
