#include "records/BackgroundRecordsSender.h"

#include <mutex>

#include "records/CentralRecords.h"

struct BackgroundRecordsSender::State {
  std::mutex mutex;
  bool running = false;
  bool again = false;
  HWND window = nullptr;
  UINT message = 0;
  std::vector<OutboxSendResult> results;
  HANDLE idle = CreateEventW(nullptr, TRUE, TRUE, nullptr);  // set while no send runs

  ~State() {
    if (idle != nullptr) CloseHandle(idle);
  }
};

BackgroundRecordsSender::BackgroundRecordsSender() : m_state(std::make_shared<State>()) {}

BackgroundRecordsSender::~BackgroundRecordsSender() = default;

void BackgroundRecordsSender::NotifyWindow(HWND window, UINT message) {
  std::lock_guard<std::mutex> lock(m_state->mutex);
  m_state->window = window;
  m_state->message = message;
}

void BackgroundRecordsSender::Send() {
  // Nothing to send without central-records.txt: no thread, at start-up or after an update.
  if (!CentralRecordsSetUp()) return;
  {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (m_state->running) {
      m_state->again = true;
      return;
    }
    m_state->running = true;
    ResetEvent(m_state->idle);
  }
  // The thread gets a share of the state of its own; nobody waits on its handle.
  auto* share = new std::shared_ptr<State>(m_state);
  HANDLE thread = CreateThread(nullptr, 0, &BackgroundRecordsSender::SendThread, share, 0, nullptr);
  if (thread != nullptr) {
    CloseHandle(thread);
    return;
  }
  delete share;
  // No thread to be had: the records wait for the next send.
  std::lock_guard<std::mutex> lock(m_state->mutex);
  m_state->running = false;
  SetEvent(m_state->idle);
}

DWORD WINAPI BackgroundRecordsSender::SendThread(LPVOID share) {
  std::unique_ptr<std::shared_ptr<State>> state(static_cast<std::shared_ptr<State>*>(share));
  SendWhileAsked(*state);
  return 0;
}

bool BackgroundRecordsSender::WaitUntilIdle(DWORD milliseconds) {
  return WaitForSingleObject(m_state->idle, milliseconds) == WAIT_OBJECT_0;
}

std::vector<OutboxSendResult> BackgroundRecordsSender::TakeResults() {
  std::lock_guard<std::mutex> lock(m_state->mutex);
  std::vector<OutboxSendResult> results;
  results.swap(m_state->results);
  return results;
}

void BackgroundRecordsSender::SendWhileAsked(const std::shared_ptr<State>& state) {
  for (;;) {
    const OutboxSendResult result = SendWaitingRecords();
    HWND window = nullptr;
    UINT message = 0;
    bool more = false;
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      state->results.push_back(result);
      window = state->window;
      message = state->message;
      more = state->again;
      state->again = false;
      if (!more) {
        state->running = false;
        SetEvent(state->idle);
      }
    }
    // Posted, never sent: the window's thread may be waiting for something else, or gone (a
    // window that no longer exists takes no message, and nothing is lost but the note).
    if (window != nullptr) PostMessageW(window, message, 0, 0);
    if (!more) return;
  }
}
