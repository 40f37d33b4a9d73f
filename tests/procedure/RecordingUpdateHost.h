// An update host without a dialog: it keeps what the procedure asked it to show and do, in
// order, counts pauses instead of sleeping, and runs the worker on the calling thread. Its
// notification window is a real window of the calling thread that puts together the progress
// captions as the dialog would show them.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "procedure/UpdateHost.h"
#include "procedure/UpdateSession.h"

class RecordingUpdateHost : public UpdateHost {
 public:
  RecordingUpdateHost();
  ~RecordingUpdateHost() override;
  RecordingUpdateHost(const RecordingUpdateHost&) = delete;
  RecordingUpdateHost& operator=(const RecordingUpdateHost&) = delete;

  // What the list offers, how it is rebuilt, and what a pause does besides being counted.
  std::function<bool(DeviceSelection&)> selection = [](DeviceSelection&) { return false; };
  std::function<void()> refresh = [] {};
  std::function<void(DWORD)> onPause = [](DWORD) {};
  // Runs just before the worker would start; may change the world under it.
  std::function<void()> beforeWorker = [] {};
  // Runs while a message box would be open, before it is answered.
  std::function<void(const std::wstring&)> onMessage = [](const std::wstring&) {};
  // Runs as the worker names each component it writes.
  std::function<void(const std::wstring&)> onStage = [](const std::wstring&) {};
  bool workerThreadStarts = true;
  // Whether a stop is asked for, each time the procedure asks.
  std::function<bool()> stopRequested = [] { return false; };
  std::vector<HistoryRecord> records;
  std::vector<UpdateOutcome> outcomes;  // one for each record
  bool historyWritable = true;  // false: every record is lost, as on a full disk
  UpdateSession* session = nullptr;  // the worker's, set by the test

  // In the order they happened: "message: ...", "status: ...", "status shown", "progress
  // hidden", "range 60", "pause 1000", "inputs disabled", "timer stopped", "running",
  // "stage: Data file", "refresh", "worker started", "writing begins", "recorded: <result>".
// Progress positions are kept apart.
  std::vector<std::wstring> events;
  std::vector<std::wstring> messages;
  std::vector<int> positions;
  std::map<DWORD, int> pauses;  // duration -> how many
  std::vector<std::wstring> captions;  // progress captions as the dialog would set them
  int progressUnits = 0;               // UM_DFU_PROGRESS notifications received

  bool inputsEnabled = true, timerRunning = true, updateRunning = false;
  bool statusShown = false, progressShown = false;
  std::wstring statusText, stage;
  int progressUpper = 100, progressPos = 0;
  int workerRuns = 0;
  DWORD workerResult = 0;

  void ShowMessage(const std::wstring& text) override;
  void SetStatusText(const std::wstring& text) override;
  void ShowStatus(bool shown) override;
  void ShowProgress(bool shown) override;
  void SetProgressRange(int upper) override;
  void SetProgressPos(int position) override;
  void Pause(DWORD milliseconds) override;
  bool GetSelection(DeviceSelection& selected) override { return selection(selected); }
  void RefreshDeviceList() override;
  void EnableInputs(bool enabled) override;
  void SetRefreshTimer(bool running) override;
  void SetUpdateRunning(bool running) override;
  HWND NotificationWindow() override { return m_window; }
  void SetStage(const std::wstring& text) override;
  bool StartWorker() override;
  bool StopRequested() override { return stopRequested(); }
  bool BeginWriting() override;
  bool RecordUpdate(const HistoryRecord& record, UpdateOutcome outcome) override;

  // Forgets what was recorded, for a second update with the same host.
  void ClearRecords();
  // How many pauses of this length were counted.
  int PausesOf(DWORD milliseconds) const;
  // The last update recorded its outcome as a success.
  bool Succeeded() const;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND m_window = nullptr;
};
