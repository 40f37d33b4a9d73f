// The application object: starts the common controls and runs the dialog modally; the
// process ends when the dialog does.
#pragma once

#include "framework/Framework.h"

class CQM_TWBootloaderApp : public CWinApp {
 public:
  CQM_TWBootloaderApp();
  BOOL InitInstance() override;
};

extern CQM_TWBootloaderApp theApp;
