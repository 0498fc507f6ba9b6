// A test child starts from the default action of the signals that end a run: a test runner in
// the background hands down interrupt and quit ignored, and the console leaves those alone.
#pragma once
#include <csignal>
#include <initializer_list>

inline void default_ending_signals() {
    for (const int number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) signal(number, SIG_DFL);
}
