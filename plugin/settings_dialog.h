// The plug-in's settings dialog with its live preview, and the build driver
// behind its OK and Test buttons.
#pragma once

#include <windows.h>

#include "plugin/host_records.h"

// Runs dialog template 1000 modally, owned by hostWindow; returns the
// dialog's result (1 after OK, 0 otherwise).
INT_PTR RunSettingsDialog(HWND hostWindow, HostContext* context);
