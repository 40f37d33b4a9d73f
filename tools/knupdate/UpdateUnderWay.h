// Which knupdate programs on this workstation are updating an instrument now. A run must not
// switch an instrument into its loader while another program writes one there: the loader
// may hide a device that is open elsewhere, and the switched one could then be taken for it.
// Each update holds one of a few named mutexes; a program that ends without letting go of
// its own leaves it abandoned, which counts as free.
#pragma once

#include <windows.h>

class UpdateUnderWay {
 public:
  // Marks an update of this program as under way, on the thread that runs it (a mutex
  // belongs to its thread). When every mark is taken it marks nothing: the update goes on.
  UpdateUnderWay();
  ~UpdateUnderWay();
  UpdateUnderWay(const UpdateUnderWay&) = delete;
  UpdateUnderWay& operator=(const UpdateUnderWay&) = delete;

  // Whether another program marks an update as under way now.
  static bool InAnotherProgram();

 private:
  HANDLE m_mark = nullptr;
};
