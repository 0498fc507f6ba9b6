#pragma once

// Also names the size and SHA-256 of each page image the program carries.
void print_version(const char *program);

// Answers the hardware program's arguments (there is at least one) without opening a port or
// drawing anything: --help or --version on standard output, exit code 0; one line on standard
// error and exit code 2 for anything else. Returns the exit code.
int answer_arguments(int argc, const char *const argv[]);
