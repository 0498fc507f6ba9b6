// The update history, the program's side: what the run learns on its way into the record.
#include "run/history.h"

#include "run/history_record.h"
#include "link/ci_link.h"
#include "platform/process.h"
#include "protocol/identify.h"
#include "protocol/run_state.h"

namespace {

HistoryRun &run = history_run;

// The link's and the identification's values as they are now.
void note_link() {
    run.base = module_link.io_base;
    run.buffer = buffer_size;
    run.frame_mode = frame_mode;
}

} // namespace

void history_note_ident(uint8_t tag, const char *text) {
    if (tag < IDENT_BIOS_REVISION || tag > IDENT_PROCESSOR) return;
    history_copy_text(run.ident[tag - 1], sizeof run.ident[tag - 1], text);
    run.ident_read[tag - 1] = true;
    note_link();
}

void history_note_outcome(const char *line, int exit_code) {
    history_copy_text(run.outcome, sizeof run.outcome, line);
    run.outcome_exit_code = exit_code;
    note_link();
}

void history_note_sent(uint8_t page) {
    ++run.sent[page & 1];
}

void history_note_block(uint8_t page) {
    ++run.blocks[page & 1];
}

void history_started() {
    if (!run.path[0] || run.started) return;
    note_link();
    if (history_write_started() == 0) return;
    // No write without its record: the run ends here, and its end says why.
    history_note_outcome("update history not written", 1);
    process_exit(1);
}

int history_refused(const char *reason) {
    history_note_outcome(reason, 1);
    history_ended(1);
    return 1;
}
