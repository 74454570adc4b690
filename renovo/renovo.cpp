// Renovo, the updater: reads the update request from its command line and
// runs the update window until it closes.
#include <orlik/winmain.h>

#include "update_dialog.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
  static const renovo::UpdateSettings settings = renovo::ReadCommandLine(commandLine);
  renovo::UpdateDialog dialog(settings);
  dialog.DoModal();
  return 0;
}
