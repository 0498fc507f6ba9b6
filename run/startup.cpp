#include "run/startup.h"

#include "console/screen.h"
#include "link/ci_link.h"
#include "platform/console.h"
#include "protocol/history_notes.h"
#include "protocol/run_state.h"

static bool detect_module() {
    return ci_detect(STARTUP_MAX_BUFFER, &buffer_size, 0) == LINK_OK;
}

void startup_dialogue() {
    screen_clear();
    screen_banner();
    screen_line(3, "INITIALISATION");
    if (detect_module()) return;

    screen_line(15, "PLEASE, INSERT A DVB MODULE");
    screen_line(16, "AND WAIT FOR THE BEEPS BEFORE PRESSING 'SPACE BAR'");
    screen_line(24, "EXIT WITH 'Q'");
    if (wait_key() == KEY_ESC) return;
    if (detect_module()) return;

    screen_banner();
    screen_line(20, "DVB MODULE INITIALISATION ERROR !!!");
    history_note_outcome("DVB MODULE INITIALISATION ERROR !!!", quit_exit_code);
    screen_line(24, "EXIT WITH 'Q'");
    wait_key_past_space();
}
