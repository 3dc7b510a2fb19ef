// Scripted windows, dialogs, message boxes, drawing and string table for host tests: the host
// port has none, so only tests and fuzz targets link these. No window is ever shown: a dialog is a
// record whose procedure SendMessageA and DispatchMessageA call, message boxes take scripted
// answers, and every drawing on a control's device context is recorded.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

// Forgets every window, string, answer and recording.
void HostWindowsReset();

// The text LoadStringA finds for an id; ids without one give an empty text.
void HostSetString(unsigned id, const std::string& text);

struct HostMessageBox
{
    HWND Owner;
    std::string Text;
    std::string Caption;
    UINT Type;
    std::string ItemText;  // the last item text set before the box, if any
};

// Answers for the coming message boxes, in order; a box with no answer left returns IDOK.
void HostAnswerMessageBoxes(const std::vector<int>& answers);
const std::vector<HostMessageBox>& HostMessageBoxes();

struct HostItemText
{
    HWND Dialog;
    int Id;
    std::string Text;
};

// Every SetDlgItemTextA, in call order.
const std::vector<HostItemText>& HostItemTexts();

// CreateDialogParamA fails (returns null) while this is set.
void HostFailDialogs(bool fail);
// The last dialog CreateDialogParamA made, or null.
HWND HostLastDialog();
std::string HostDialogTemplate(HWND dialog);
bool HostIsVisible(HWND window);
bool HostIsDestroyed(HWND window);
// Commands removed from the dialog's system menu with DeleteMenu.
std::vector<UINT> HostDeletedMenuCommands(HWND dialog);

// What GetActiveWindow returns; without a call, the last shown window that still exists.
void HostSetActiveWindow(HWND window);

// Client rectangle of every dialog control, in pixels.
void HostSetControlSize(int width, int height);

struct HostFill
{
    RECT Rect;
    COLORREF Color;
};

struct HostDrawnText
{
    std::string Text;
    RECT Rect;
    UINT Format;
    COLORREF Color;
    bool Clipped;
    RECT Clip;  // when Clipped
};

// The calls made between one GetDC of a control and its ReleaseDC.
struct HostDrawing
{
    std::vector<HostFill> Fills;
    std::vector<HostDrawnText> Texts;
    int BackgroundMode = 0;
    bool Flushed = false;  // GdiFlush after the release
};

// Every completed drawing of a control, oldest first.
const std::vector<HostDrawing>& HostDrawings(HWND control);
// Device contexts and brushes not yet given back.
unsigned HostOpenDeviceContexts();
unsigned HostLiveBrushes();
// The colour GetSysColor gives for an index (distinct for every index).
COLORREF HostSystemColor(int index);

// Used by HostMessages.cpp: routes a message to a host dialog's procedure. False when the
// window is none of ours.
bool HostDeliverToDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
