#pragma once

// Identifiers of the program's resources, shared by the resource script
// and the code.

// Icons: the window's and the buttons' images.
#define IDI_TARVELO 1
#define IDI_OPEN 2
#define IDI_CHECK 3
#define IDI_HELP 4
#define IDI_SAVE 5
#define IDI_CLOSE 6

// The window's controls are numbered by role (ControlId of
// app_win32/window_layout.h).
