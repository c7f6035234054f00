// Owner-drawn looks for the settings dialog's push buttons: soft edge, bevel
// or glass, chosen by the host's skin style.
#pragma once

#include <windows.h>

#include <cstdint>

// Remembers the style and skins the dialog's four push buttons (OK, Cancel,
// Help, Test). Style 0 leaves them as they are.
void ApplyButtonSkin(HWND dialog, int32_t skinStyle);

// The module-wide skin style ApplyButtonSkin remembered: 0 plain, 2 bevel, 3 glass,
// any other value soft edge. Read at install time and at every paint.
int32_t ButtonSkinStyle();
void SetButtonSkinStyle(int32_t skinStyle);

enum class ButtonLook { SoftEdge, Bevel, Glass };
// Which painter a non-zero skin style asks for.
ButtonLook ButtonLookForStyle(int32_t skinStyle);

// Makes the dialog's child controlId owner-drawn and gives it SkinButtonProc
// as its window procedure. Returns 0 and changes nothing when the style is 0
// or there is no such child, else 1. The skin stays until the window goes.
int SkinButton(HWND dialog, int controlId);

// Window procedure of a skinned button: paints through PaintSkinnedButton,
// keeps the pressed flag (bit 0 of the window's user data) on left-button
// down and up, and hands everything else to the button class's procedure.
// Nothing thrown below it gets out of it.
LRESULT CALLBACK SkinButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Painters. Each paints the whole button described by the request into
// request->hDC and returns 1; ODS_SELECTED means pressed, ODS_DISABLED draws
// the text in the shadow colour. PaintSkinnedButton picks one by the style.
int PaintSkinnedButton(const DRAWITEMSTRUCT* request);
int PaintSoftEdgeButton(const DRAWITEMSTRUCT* request);
int PaintBevelButton(const DRAWITEMSTRUCT* request);
int PaintGlassButton(const DRAWITEMSTRUCT* request);

// Gradient directions of FillGradient.
constexpr int GradientLeftToRight = 1;  // one vertical line per column
constexpr int GradientTopToBottom = 2;  // one horizontal line per row

// Fills rect with one-pixel lines whose colour runs from `from` towards `to`
// (the last line stops one step short of `to`). An empty or negative extent,
// or an unknown direction, draws nothing.
void FillGradient(HDC dc, const RECT* rect, COLORREF from, COLORREF to, int direction);
