// Module-wide values; everything runs on the host's user-interface thread.
#include "plugin/module_state.h"

namespace {
HINSTANCE g_module = nullptr;
const HostContext* g_hostContext = nullptr;
LeaderCounter g_previewCounter = {9, 360};
}  // namespace

HINSTANCE PluginModule() { return g_module; }
void SetPluginModule(HINSTANCE module) { g_module = module; }

const HostContext* CurrentHostContext() { return g_hostContext; }
void SetCurrentHostContext(const HostContext* context) { g_hostContext = context; }

bool HostWantsPaletteImages()
{
    return g_hostContext && (g_hostContext->outputFlags & HostOutputPaletteImages) != 0;
}

LeaderCounter* PreviewCounter() { return &g_previewCounter; }
