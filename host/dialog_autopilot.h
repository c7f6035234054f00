// Works the plug-in's dialog in an unattended run, from the thread that runs
// it: a thread timer, served by whichever modal loop is running, finds the
// dialog, types the settings into its edits and presses a button, and
// answers every message box the plug-in shows, reporting its text. In any
// run, after a stop (Ctrl+C) it answers the plug-in's message boxes and
// cancels its dialog as soon as no build is running.
#pragma once

#include <windows.h>

#include <string>

#include "host/host_options.h"
#include "host/host_session.h"

class DialogAutopilot {
public:
    DialogAutopilot(const HostOptions& options, HostSession& session);
    ~DialogAutopilot();
    DialogAutopilot(const DialogAutopilot&) = delete;
    DialogAutopilot& operator=(const DialogAutopilot&) = delete;

    bool Start();
    void Stop();
    bool sawDialog() const { return dialog_ != nullptr; }

private:
    enum class Stage { FindDialog, TakePicture, AwaitButton, PressCancel, Done };
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    void Tick();
    bool AnswerMessageBoxes();
    void Press(int id);
    void PressChosenButton();
    void CloseAfterStop();
    int TypeNumber(int editId, const char* option, const DialogNumber& number, int value);
    void TakePicture();

    const HostOptions& options_;
    HostSession& session_;
    UINT_PTR timer_ = 0;
    HWND dialog_ = nullptr;
    Stage stage_ = Stage::FindDialog;
    int ticksWaited_ = 0;
    int buildsBefore_ = 0;
    int helpsBefore_ = 0;
    bool inTick_ = false;
};
