// The hidden tray window: its procedure, the notification-area icon, the
// popup menu's commands and the timer that drives the link to the simulator.
#pragma once

#include <windows.h>

// Message the tray icon sends for mouse events over it.
constexpr UINT kTrayCallbackMessage = WM_USER + 1;
// The timer on the tray window that runs the tick.
constexpr UINT_PTR kTickTimerId = 1;

LRESULT CALLBACK trayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Adds the program's icon to the notification area (at start-up, and again
// when the shell restarts). False when the shell refused it.
bool addTrayIcon(HWND window);
void removeTrayIcon(HWND window);
