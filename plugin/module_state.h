// Values that live for as long as the module is loaded, used only on the
// host's thread: the module's own handle, the host context of the innermost
// running dialog and the preview's countdown. (The button style is kept
// with the skin, ui/button_skin.h.)
#pragma once

#include <windows.h>

#include "plugin/host_records.h"
#include "render/leader_painter.h"

HINSTANCE PluginModule();
void SetPluginModule(HINSTANCE module);

// The HostContext of the innermost running dialog (null outside one).
const HostContext* CurrentHostContext();
void SetCurrentHostContext(const HostContext* context);

// True when the running host wants 8-bit grey palette frames.
bool HostWantsPaletteImages();

// The preview's countdown: always 9 down to 0 and round again, set back to
// (9, 360) when a dialog starts and advanced by every preview paint.
LeaderCounter* PreviewCounter();
