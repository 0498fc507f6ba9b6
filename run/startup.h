// The program's entry: the start-up dialogue, then identification, update and outcome.
#pragma once

// The start-up dialogue: returns when the identification is to begin.
void startup_dialogue();
// Runs the whole program; returns the exit code of a normal end: 0, or EXIT_UPDATE_FAILED
// when the update failed.
int program_entry();
