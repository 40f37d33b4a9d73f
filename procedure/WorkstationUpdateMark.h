// One update at a time on a workstation, whichever program runs it: the dialog and every form
// of knupdate hold this mark from before an instrument is switched into its DFU loader (or a
// loader entry is opened for writing) until that update has ended. Two updates at once could
// each take the other's instrument in the loader, where only product texts tell instruments
// apart.
//
// The mark is one named mutex in the global namespace, so programs of other sessions count
// too, taken in one step: a program has it or learns that another has it. It is held by a
// thread of the mark's own, because an update takes it on one thread and ends on another (the
// worker's), and Windows lets a mutex go only on the thread that owns it. A program that ends
// without letting go leaves the mutex abandoned, which the next one takes as free.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

class WorkstationUpdateMark {
 public:
  WorkstationUpdateMark() = default;
  ~WorkstationUpdateMark();
  WorkstationUpdateMark(const WorkstationUpdateMark&) = delete;
  WorkstationUpdateMark& operator=(const WorkstationUpdateMark&) = delete;

  // True when this object holds the mark now (taken now, or before); false when another
  // program (or another object of this one) holds it. Waits a quarter of a second at most. Take and Release are called by one
  // thread at a time: the stages of an update follow each other.
  bool TryTake();
  void Release();
  bool Held() const { return m_held.load(); }

  // Whether another program holds the mark now. Looked at by taking it for a moment, which
  // the takers above let pass.
  static bool HeldElsewhere();

 private:
  static DWORD WINAPI HolderThread(LPVOID start);

  HANDLE m_holder = nullptr;   // the thread that owns the mutex while the mark is held
  HANDLE m_release = nullptr;  // set: the holder lets go and ends
  std::atomic<bool> m_held{false};
};

// The name of the mark, "Global\..."; bench builds and their tests give each virtual bench (a
// workstation of its own) a name of its own. Set before any update runs; empty: the default.
void SetWorkstationUpdateMarkName(const std::wstring& name);
std::wstring WorkstationUpdateMarkName();
