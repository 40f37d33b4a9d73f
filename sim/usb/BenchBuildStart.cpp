// Linked into the bench build only: before the program starts, the USB layer is pointed at
// the bench's driver simulation over the bench named by KN_BENCH. Without a bench the program
// sees no USBIO driver at all, like a machine without it.
#include "sim/usb/UsbDriverSimulation.h"

namespace {

const bool g_benchInstalled = sim::InstallBenchUsbDriver();

}  // namespace
