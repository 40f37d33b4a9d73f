#include "framework/Framework.h"

// The application object's InitInstance runs the whole program (its dialog is modal) and
// returns FALSE, so there is no message loop after it.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return 1;
  app->InitInstance();
  return 0;
}
