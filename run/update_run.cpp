#include "console/screen.h"
#include "platform/console.h"
#include "platform/process.h"
#include "protocol/flash_update.h"
#include "protocol/history_notes.h"
#include "protocol/identify.h"
#include "run/startup.h"

int program_entry() {
    startup_dialogue();
    module_identify();
    if (flash_update() == 0) {
        screen_clear();
        screen_banner();
        screen_line(15, "UPDATE SUCCESSFULL. ");
        history_note_outcome("success", 0);
    } else {
        // The update's own error screen has just cleared the screen.
        screen_banner();
        screen_line(20, "UPDATE ERROR !!!");
        quit_exit_code = EXIT_UPDATE_FAILED;
    }
    screen_line(24, "EXIT WITH 'Q'");
    // The outcome is on screen: a signal held back during the write ends the program now.
    process_shield_end();
    wait_key_past_space();
    return quit_exit_code;
}
