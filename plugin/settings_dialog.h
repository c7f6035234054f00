// The plug-in's settings dialog, run modally by PLUGIN17DoBuild: four ranged
// edits, a live preview and the OK, Cancel, Test and Help buttons. The builds
// behind OK and Test are in build_driver.h.
#pragma once

#include <windows.h>

#include "plugin/host_records.h"

// Runs dialog template 1000 modally, owned by hostWindow; returns the
// dialog's result (1 after OK, 0 otherwise). May be called again from inside
// the host's callback while a dialog runs.
INT_PTR RunSettingsDialog(HWND hostWindow, HostContext* context);
