// The console control events that end the process on Windows: Ctrl+C, Ctrl+Break, closing the
// console window, log-off and shut-down put the console back first and then take their default
// effect, the end of the process with STATUS_CONTROL_C_EXIT. Windows runs the control handler
// on a thread of its own. A process started with Ctrl+C ignored (as a background job is) never
// sees the event: Windows does not call the handler for it, shield or not, and nothing here
// clears that setting.
#include "platform/process_windows.h"
#include "platform/process.h"

#include "platform/console.h"

#include <atomic>
#include <csignal>
#include <windows.h>

namespace {

enum Shield { SHIELD_OFF, SHIELD_ON, SHIELD_HOLDING };
std::atomic<int> shield{SHIELD_OFF};

} // namespace

BOOL WINAPI process_console_event(DWORD event) {
    int state = SHIELD_ON;
    if (!shield.compare_exchange_strong(state, SHIELD_HOLDING) && state != SHIELD_HOLDING) {
        console_restore();
        run_ended_by_signal(SIGINT, static_cast<int>(STATUS_CONTROL_C_EXIT));
        return FALSE;
    }
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // The end of the shield ends the process while this waits. Windows waits about five
    // seconds at most for a handler of these events, then ends the process anyway.
    for (;;) Sleep(INFINITE);
}

void process_catch_signals() {
    SetConsoleCtrlHandler(process_console_event, TRUE);
}

void process_shield_begin() {
    int state = SHIELD_OFF;
    shield.compare_exchange_strong(state, SHIELD_ON);
}

void process_shield_end() {
    if (shield.exchange(SHIELD_OFF) == SHIELD_HOLDING)
        process_exit(static_cast<int>(STATUS_CONTROL_C_EXIT));
}
