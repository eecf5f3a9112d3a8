#pragma once

// Identifiers of the program's resources and of the window's controls,
// shared by the resource script and the code.

// Icons: the window's and the buttons' images.
#define IDI_TARVELO 1
#define IDI_OPEN 2
#define IDI_CHECK 3
#define IDI_HELP 4
#define IDI_SAVE 5
#define IDI_CLOSE 6

// Controls of frmInicio, in the order of the window's design.
#define IDC_LABEL3 1001
#define IDC_EDARQRISCO 1002
#define IDC_SPEEDBUTTON4 1003
#define IDC_LABEL4 1004
#define IDC_EDARQSINISTRO 1005
#define IDC_SPEEDBUTTON3 1006
#define IDC_PROGRESSBAR 1007
#define IDC_BTNOK 1008
#define IDC_BTNAJUDA 1009
#define IDC_BTNEXPORTA 1010
#define IDC_BTNFECHAR 1011
#define IDC_EDLOG 1012
