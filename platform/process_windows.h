#pragma once
#include <windows.h>

// The console control handler that process_catch_signals installs. Outside the shield it
// restores the console and returns FALSE, on to the system's handler, which ends the
// process. During the shield it holds the event back for process_shield_end: Ctrl+C and
// Ctrl+Break by returning TRUE, the others (close, log-off, shut-down), which end the process
// whenever a handler returns, by never returning.
BOOL WINAPI process_console_event(DWORD event);
