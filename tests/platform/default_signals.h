// A background runner hands down INT and QUIT ignored.
#pragma once
#include <csignal>
#include <initializer_list>

inline void default_ending_signals() {
    for (const int number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) signal(number, SIG_DFL);
}
