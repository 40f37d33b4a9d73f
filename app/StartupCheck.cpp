#include "app/StartupCheck.h"

#include "dfu/DfuLibrary.h"
#include "dfu/DfuLibraryTexts.h"

int CheckDfuLibraryAtStartup(int loadResult, DriverPromptHost& host) {
  switch (loadResult) {
    case kDfuReady:
      return 1;
    case kDfuDriverNotFound:
      if (host.PromptBox(startup_texts::kDriverNotFound, startup_texts::kDriverNotFoundCaption, MB_OKCANCEL) == IDOK) {
        host.RunDriverInstallation();
      }
      return 0;
    case kDfuWrongDriverVersion:
      // OK is the only answer: the reinstallation always follows.
      host.PromptBox(startup_texts::kWrongDriverVersion, nullptr, MB_OK);
      host.RunDriverInstallation();
      return 0;
    case kDfuLibraryOfOtherArchitecture:
      // The driver is there: installing it again would not help. The dialog goes on as
      // without a library.
      host.PromptBox(texts::kLibraryOfOtherArchitecture, nullptr, MB_OK);
      return 0;
    default:
      host.PromptBox(startup_texts::kUnexpectedResult, nullptr, MB_OK);
      return 0;
  }
}
