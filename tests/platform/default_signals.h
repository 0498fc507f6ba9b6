// A test child starts with the ending signals at their default, as a background runner hands
// down INT and QUIT ignored, and ignored signals stay ignored.
#pragma once
#include <csignal>
#include <initializer_list>

inline void default_ending_signals() {
    for (const int number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) signal(number, SIG_DFL);
}
