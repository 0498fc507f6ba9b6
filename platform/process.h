// The process seam: ending the run, and shielding the flash write phase from signals.
#pragma once

// Ends the process with the exit code after restoring the console and flushing output.
[[noreturn]] void process_exit(int code);

// Makes interrupt, quit, terminate and hang-up signals restore the console before they end
// the process; a signal that is ignored when the program starts stays ignored. Called by
// console_open.
void process_catch_signals();

// From the first block frame sent until the flash update returns, interrupt, quit,
// terminate and hang-up signals are held back: a half-written module is worse than a late
// exit. A signal that arrived meanwhile takes effect at process_shield_end.
void process_shield_begin();
void process_shield_end();
