// Sets the module-wide host context's palette flag for the length of a scope,
// as a dialog would while it runs; the previous context comes back afterwards.
#pragma once

#include "plugin/host_records.h"
#include "plugin/module_state.h"

class PaletteOutput {
public:
    explicit PaletteOutput(bool wanted)
    {
        context_.size = sizeof context_;
        context_.version = PluginInterfaceVersion;
        context_.outputFlags = wanted ? HostOutputPaletteImages : 0;
        previous_ = CurrentHostContext();
        SetCurrentHostContext(&context_);
    }
    ~PaletteOutput() { SetCurrentHostContext(previous_); }
    PaletteOutput(const PaletteOutput&) = delete;
    PaletteOutput& operator=(const PaletteOutput&) = delete;

private:
    HostContext context_ = {};
    const HostContext* previous_;
};
