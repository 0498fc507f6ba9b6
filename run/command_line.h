// The command line of the programs: the update itself takes no arguments; --help and
// --version answer without opening a port or drawing anything.
#pragma once

// Prints the program's version and the size and SHA-256 of each page image it carries.
void print_version(const char *program);

// Answers the hardware program's arguments (there is at least one): the usage for --help or
// the version for --version on standard output, exit code 0; one line on standard error and
// exit code 2 for anything else. Returns the exit code.
int answer_arguments(int argc, const char *const argv[]);
