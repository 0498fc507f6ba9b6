// A test child starts with the ending signals at their default: a runner in the background
// hands down interrupt and quit ignored, and the console leaves ignored signals alone.
#pragma once
#include <csignal>
#include <initializer_list>

inline void default_ending_signals() {
    for (const int number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) signal(number, SIG_DFL);
}
