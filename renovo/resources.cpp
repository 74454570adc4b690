// The updater's resources: the dialog template 102, the program icon 128 and
// the built-in background bitmap 130. The pictures are drawn at build time by
// the artwork tool and assembled into the program (embedded_*.cpp, generated).
#include <orlik/windows.h>

#include "update_dialog.h"

extern "C" const unsigned char renovo_background[];
extern "C" const unsigned char renovo_background_end[];
extern "C" const unsigned char renovo_icon[];
extern "C" const unsigned char renovo_icon_end[];

namespace renovo {
namespace {

// A visible popup without caption or controls, 224 x 133 dialog units,
// centred, font "MS Shell Dlg" at 9 points.
#pragma pack(push, 2)
struct UpdateDialogTemplate {
  DLGTEMPLATE header;
  WORD menu, windowClass, title;
  WORD pointSize;
  char16_t face[13];
};
#pragma pack(pop)

const UpdateDialogTemplate kTemplate = {
    {WS_POPUP | WS_VISIBLE | DS_CENTER | DS_SETFONT | DS_MODALFRAME, 0, 0, 0, 0, 224, 133},
    0, 0, 0, 9, u"MS Shell Dlg"};

struct ResourceRegistration {
  ORLIK_RESOURCE table[3];
  ResourceRegistration() {
    table[0] = {RT_DIALOG, MAKEINTRESOURCE(kUpdateDialogTemplate), &kTemplate, DWORD(sizeof kTemplate)};
    table[1] = {RT_ICON, MAKEINTRESOURCE(kProgramIcon), renovo_icon, DWORD(renovo_icon_end - renovo_icon)};
    table[2] = {RT_BITMAP, MAKEINTRESOURCE(kBuiltInBackground), renovo_background,
                DWORD(renovo_background_end - renovo_background)};
    orlik_register_resources(this, table, 3);
  }
  ~ResourceRegistration() { orlik_unregister_resources(this); }
};

ResourceRegistration registration;

}  // namespace
}  // namespace renovo
