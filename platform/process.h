// The process seam: ending the run, and shielding the flash write phase from signals.
#pragma once

// Ends the process with the exit code after restoring the console and flushing output.
[[noreturn]] void process_exit(int code);

// Makes the signals whose default ends the process (interrupt, quit, terminate, hang-up, the
// user and timer signals and the like; on Windows the console's control events) restore the
// console before they end it; a signal that is ignored when the program starts stays ignored.
// Called by console_open.
void process_catch_signals();

// The shield keeps those signals (Ctrl+C and Ctrl+Break on Windows), and on Linux the stop
// requests (Ctrl+Z, reads and writes of a background job), from ending or stopping the run
// while block frames are sent and their replies awaited: a half-written module is worse than
// a late exit. A signal ignored when the program started is not held: it stays ignored.
// process_shield_begin raises the shield before the first block frame; once up, a further
// call does nothing.
void process_shield_begin();
// Lowers the shield; does nothing when it is not up. An ending signal held back meanwhile
// ends the process here with 128 + its number (on Windows the code of a process ended by
// Ctrl+C), the console restored, without a key; a held stop request is dropped. Called once
// the outcome screen is drawn, so that a held signal ends the run on it; from then on a signal
// ends the program at once.
void process_shield_end();

// Defined by the program on top (the end of its update history): process_exit calls
// run_ended with the exit code, an ending signal's handler (on Windows the console's control
// handler) run_ended_by_signal, which must therefore be safe in a signal handler.
void run_ended(int exit_code);
void run_ended_by_signal(int number, int exit_code);
