#pragma once

// Returns when the identification is to begin.
void startup_dialogue();
// Returns the exit code of a normal end: 0, or EXIT_UPDATE_FAILED when the update failed.
int program_entry();
