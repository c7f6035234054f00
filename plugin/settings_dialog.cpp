// Placeholder until the dialog lands: no dialog is shown.
#include "plugin/settings_dialog.h"

INT_PTR RunSettingsDialog(HWND /*hostWindow*/, HostContext* /*context*/) { return 0; }
