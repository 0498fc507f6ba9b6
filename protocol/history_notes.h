// What the update tells the update history on its way. Defined by the program on top (its
// history's writer) and linked in, as the port and tick seams are.
#pragma once
#include <cstdint>

// A value of the module's identification as shown on screen, by its identification tag.
void history_note_ident(uint8_t tag, const char *text);
// The line of the screen the run ends on ("success" for the success screen), and the exit code
// the run ends with from that screen. A later screen's line replaces an earlier one.
void history_note_outcome(const char *line, int exit_code);
// A block frame of the page about to go to the module.
void history_note_sent(uint8_t page);
// A block of the page acknowledged by the module.
void history_note_block(uint8_t page);
// Writes the started record and flushes it to the disk before the first block frame; does
// nothing after the first call. False when it could not be written: no frame may be sent.
bool history_started();
