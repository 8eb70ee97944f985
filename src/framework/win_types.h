#pragma once
// The handful of numeric constants of the Win32 API that the program's
// logic and its stored data depend on. Backends translate them to their toolkit.

#include <cstdint>

using UINT = unsigned int;

// Dialog results and message box buttons.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Message box styles.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_TYPEMASK = 0xF;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_ICONMASK = 0xF0;

// System commands.
constexpr UINT SC_SIZE = 0xF000;
constexpr UINT SC_MOVE = 0xF010;
constexpr UINT SC_MINIMIZE = 0xF020;
constexpr UINT SC_MAXIMIZE = 0xF030;
constexpr UINT SC_CLOSE = 0xF060;
constexpr UINT SC_RESTORE = 0xF120;

// Window messages that reach a command table.
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_QUERYDRAGICON = 0x0037;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr int WHEEL_DELTA = 120;  // one notch of the wheel

// Notification code of a button click.
constexpr UINT BN_CLICKED = 0;

// Scroll codes carried by WM_VSCROLL.
constexpr UINT SB_LINEUP = 0;
constexpr UINT SB_LINEDOWN = 1;
constexpr UINT SB_PAGEUP = 2;
constexpr UINT SB_PAGEDOWN = 3;
constexpr UINT SB_THUMBPOSITION = 4;
constexpr UINT SB_THUMBTRACK = 5;
constexpr UINT SB_TOP = 6;
constexpr UINT SB_BOTTOM = 7;
constexpr UINT SB_ENDSCROLL = 8;

// System metrics.
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;

// Help commands.
constexpr UINT HELP_CONTEXT = 0x0001;

// Window and control styles, with the values the dialog templates use.
constexpr uint32_t WS_POPUP = 0x80000000u;
constexpr uint32_t WS_VISIBLE = 0x10000000u;
constexpr uint32_t WS_CAPTION = 0x00C00000u;
constexpr uint32_t WS_BORDER = 0x00800000u;
constexpr uint32_t WS_SYSMENU = 0x00080000u;
constexpr uint32_t WS_GROUP = 0x00020000u;
constexpr uint32_t WS_TABSTOP = 0x00010000u;
constexpr uint32_t WS_MINIMIZEBOX = 0x00020000u;  // same bit as WS_GROUP, on a window
constexpr uint32_t DS_MODALFRAME = 0x80u;
constexpr uint32_t DS_SETFONT = 0x40u;
constexpr uint32_t WS_EX_APPWINDOW = 0x00040000u;

constexpr uint32_t BS_PUSHBUTTON = 0x0u;
constexpr uint32_t BS_DEFPUSHBUTTON = 0x1u;
constexpr uint32_t BS_GROUPBOX = 0x7u;
constexpr uint32_t BS_AUTORADIOBUTTON = 0x9u;

constexpr uint32_t ES_RIGHT = 0x2u;
constexpr uint32_t ES_MULTILINE = 0x4u;
constexpr uint32_t ES_AUTOHSCROLL = 0x80u;
constexpr uint32_t ES_NOHIDESEL = 0x100u;
constexpr uint32_t ES_READONLY = 0x800u;

constexpr uint32_t SS_LEFT = 0x0u;
constexpr uint32_t SS_ICON = 0x3u;
constexpr uint32_t SS_NOPREFIX = 0x80u;

constexpr uint32_t TBS_VERT = 0x2u;
constexpr uint32_t TBS_BOTH = 0x8u;
constexpr uint32_t TBS_NOTICKS = 0x10u;
