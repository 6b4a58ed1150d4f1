// The interactive face of the host: dialogs and message boxes on the
// terminal, driven by the keyboard.
//
// Tab / Down and Shift+Tab / Up move between items; typing edits the focused
// field (Left, Right, Home, End, Backspace, Delete); Space ticks a check box,
// chooses a radio button or presses a button; Enter presses the focused
// button or else the default one; Esc, F10 or Ctrl+C cancels.
#pragma once

#include "DialogView.h"
#include "Screen.h"

namespace farhost {

// Runs the dialog; the index of the item that closed it, or -1.
int RunDialog(DialogView& view);

// Shows the message box; the number of the chosen button, or -1.
int RunMessage(const MessageView& msg);

}  // namespace farhost
