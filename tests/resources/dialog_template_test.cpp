// Dialog template 1000 as the DLL carries it: window styles, and every control
// in order with its id, class, text, position and style.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/support/plugin_dll.h"

namespace {

struct TemplateItem {
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;
    std::string className;
    std::string text;
};

struct DialogTemplate {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string caption, font;
    WORD pointSize = 0;
    std::vector<TemplateItem> items;
};

// Reads a string or ordinal field of a template; ordinals of the predefined
// classes are turned into their names.
std::string ReadField(const WORD*& p)
{
    if (*p == 0xFFFF) {
        WORD ordinal = p[1];
        p += 2;
        switch (ordinal) {
        case 0x80: return "Button";
        case 0x81: return "Edit";
        case 0x82: return "Static";
        default: return "#" + std::to_string(ordinal);
        }
    }
    std::string text;
    while (*p) text += static_cast<char>(*p++);
    ++p;
    return text;
}

const WORD* AlignDword(const WORD* p)
{
    return reinterpret_cast<const WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR(3));
}

bool ParseTemplate(const void* data, DialogTemplate* out)
{
    auto* header = static_cast<const DLGTEMPLATE*>(data);
    if (reinterpret_cast<const WORD*>(data)[1] == 0xFFFF) return false;  // extended templates not expected
    out->style = header->style;
    out->exStyle = header->dwExtendedStyle;
    out->x = header->x;
    out->y = header->y;
    out->cx = header->cx;
    out->cy = header->cy;
    const WORD* p = reinterpret_cast<const WORD*>(header + 1);
    ReadField(p);  // menu
    ReadField(p);  // class
    out->caption = ReadField(p);
    if (header->style & DS_SETFONT) {
        out->pointSize = *p++;
        out->font = ReadField(p);
    }
    for (int i = 0; i < header->cdit; ++i) {
        p = AlignDword(p);
        auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        TemplateItem t;
        t.style = item->style;
        t.x = item->x;
        t.y = item->y;
        t.cx = item->cx;
        t.cy = item->cy;
        t.id = static_cast<short>(item->id);
        p = reinterpret_cast<const WORD*>(item + 1);
        t.className = ReadField(p);
        t.text = ReadField(p);
        WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        out->items.push_back(t);
    }
    return true;
}

struct ExpectedItem {
    int id;
    const char* className;
    const char* text;
    short x, y, cx, cy;
    DWORD style;  // WS_CHILD | WS_VISIBLE are added below
};

const DWORD kEdit = ES_LEFT | ES_NUMBER | WS_BORDER | WS_TABSTOP;
const DWORD kSpin = UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_NOTHOUSANDS;
const DWORD kLabel = SS_RIGHT | WS_GROUP;

const ExpectedItem kItems[] = {
    {-1, "Static",
     "Velmora leader plugin: This is a free plugin to generate movie leaders. Click on Help for more about how it "
     "works and what it does.",
     8, 8, 188, 28, SS_LEFT},
    {IDC_PREVIEW, "Button", "", 128, 44, 68, 60, BS_OWNERDRAW | BS_CENTER},
    {-1, "Button", "Settings", 8, 40, 112, 80, BS_GROUPBOX | BS_CENTER | WS_GROUP},
    {-1, "Static", "Width:", 16, 54, 56, 8, kLabel},
    {IDC_WIDTH, "Edit", "", 76, 52, 27, 12, kEdit},
    {IDC_WIDTH_SPIN, "msctls_updown32", "64,256,64", 103, 52, 9, 12, kSpin},
    {-1, "Static", "Depth:", 16, 69, 56, 8, kLabel},
    {IDC_HEIGHT, "Edit", "", 76, 68, 27, 12, kEdit},
    {IDC_HEIGHT_SPIN, "msctls_updown32", "64,256,64", 103, 68, 9, 12, kSpin},
    {-1, "Static", "Starting number:", 16, 85, 56, 8, kLabel},
    {IDC_START_NUMBER, "Edit", "", 76, 84, 27, 12, kEdit},
    {IDC_START_NUMBER_SPIN, "msctls_updown32", "1,9,9", 103, 84, 9, 12, kSpin},
    {IDC_DELAY_LABEL, "Static", "Delay:", 16, 102, 56, 8, kLabel},
    {IDC_DELAY, "Edit", "", 76, 100, 27, 12, kEdit},
    {IDC_DELAY_SPIN, "msctls_updown32", "1,1000,10", 103, 100, 9, 12, kSpin},
    {IDOK, "Button", "OK", 204, 8, 50, 14, BS_DEFPUSHBUTTON | BS_CENTER | WS_TABSTOP},
    {IDCANCEL, "Button", "Cancel", 204, 28, 50, 14, BS_PUSHBUTTON | BS_CENTER | WS_TABSTOP},
    {IDC_TEST, "Button", "&Test", 204, 48, 50, 14, BS_PUSHBUTTON | BS_CENTER | WS_TABSTOP},
    {IDC_HELP_BUTTON, "Button", "&Help", 204, 68, 50, 14, BS_PUSHBUTTON | BS_CENTER | WS_TABSTOP},
};

TEST(DialogTemplate, MatchesTheLayout)
{
    PluginDll dll;
    ASSERT_TRUE(dll);
    HRSRC found = FindResourceA(dll.module(), MAKEINTRESOURCEA(IDD_SETTINGS), MAKEINTRESOURCEA(5) /*RT_DIALOG*/);
    ASSERT_NE(found, nullptr);
    const void* data = LockResource(LoadResource(dll.module(), found));
    ASSERT_NE(data, nullptr);
    DialogTemplate t;
    ASSERT_TRUE(ParseTemplate(data, &t));

    EXPECT_EQ(t.style, 0x90C020C4u);
    EXPECT_EQ(t.exStyle, 0x401u);
    EXPECT_EQ(t.cx, 264);
    EXPECT_EQ(t.cy, 130);
    EXPECT_EQ(t.caption, "Velmora Leader");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.font, "MS Sans Serif");

    ASSERT_EQ(t.items.size(), sizeof kItems / sizeof kItems[0]);
    for (size_t i = 0; i < t.items.size(); ++i) {
        const TemplateItem& got = t.items[i];
        const ExpectedItem& want = kItems[i];
        EXPECT_EQ(got.id, want.id) << "control " << i;
        EXPECT_EQ(_stricmp(got.className.c_str(), want.className), 0)
            << got.className << " for " << want.className << ", control " << i;
        EXPECT_EQ(got.text, want.text) << "control " << i;
        EXPECT_EQ(got.x, want.x) << "control " << i;
        EXPECT_EQ(got.y, want.y) << "control " << i;
        EXPECT_EQ(got.cx, want.cx) << "control " << i;
        EXPECT_EQ(got.cy, want.cy) << "control " << i;
        EXPECT_EQ(got.style, want.style | WS_CHILD | WS_VISIBLE) << std::hex << "control " << i;
    }
}

}  // namespace
