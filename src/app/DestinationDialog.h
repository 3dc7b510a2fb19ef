// The destination dialog, with the shell's folder browser behind its "..." button. Runs the
// platform's modal loops; its only lasting effects are Destination and ConfirmOverwrites,
// and only when the user pressed OK.
#pragma once

#include "Types.h"
#include "platform/win32.h"

INT_PTR CALLBACK DestinationDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// path (a path's buffer) holds the edit field's text, in UTF-8. True with path replaced by the
// chosen folder, false with path unchanged.
bool BrowseForDestination(HWND owner, char* path);

// The text after the last backslash byte of path, or the whole path without one.
const char* BrowseLastName(const char* path);
// Carries the last name the user had typed over to the folder chosen in the browser: appended
// unless the chosen folder's own last name begins with it (ASCII case ignored). chosen holds
// a path's buffer; the result is cut at PathLimit bytes.
void BrowseCarryLastName(char* chosen, const char* previousLastName);
