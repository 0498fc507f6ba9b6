#pragma once

// Asks the operating system for the five 4-port windows and no other port, then gives up every
// privilege as port_access_none does, on failure too: nothing else runs privileged. On failure
// a diagnosis has been written to standard error and false is returned; nothing was drawn.
bool port_access_open();

// Gives up every privilege that opening the ports needs (on Linux every capability set; Windows
// grants none to a process), for a program that touches no port. False, said on standard error,
// when that cannot be verified.
bool port_access_none();
