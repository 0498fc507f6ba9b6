#include "protocol/identify.h"

#include <cstdio>
#include <cstring>

#include "console/screen.h"
#include "link/ci_link.h"
#include "platform/process.h"
#include "protocol/frame.h"
#include "protocol/history_notes.h"
#include "protocol/run_state.h"

// The records shown, one row each; other tags take no row. Numbers are the first value byte.
struct IdentLine {
    uint8_t tag;
    const char *label;
    bool numeric;
};
constexpr IdentLine IDENT_LINES[] = {
    {IDENT_BIOS_REVISION, "BIOS REVISION: ", false},
    {IDENT_BIOS_DATE, "BIOS DATE: ", false},
    {IDENT_PAGE_NUMBER, "PAGE NUMBER: ", true},
    {IDENT_ASIC_VERSION, "ASIC VERSION: ", true},
    {IDENT_CUSTOMER, "CUSTOMER: ", false},
    {IDENT_PROCESSOR, "PROCESSOR VERSION: ", false},
};

[[noreturn]] static void identify_failure(const char *what) {
    history_note_outcome(what, 1);
    screen_line(20, what);
    screen_line(21, " Contact Zolvant Technical Support");
    process_exit(1);
}

constexpr uint16_t IDENT_FIRST_ROW = 18;

static uint8_t identify_revision_mode(const char *text, uint16_t n) {
    // Early BIOS revisions 1.x0 up to 1.x6 take mode 0; s[1] is not looked at, and the
    // terminating zero of a three-character text counts as s[3].
    if (n < 3) return 1;
    const auto s3 = static_cast<signed char>(text[3]);
    return (text[0] == '1' && text[2] == '0' && s3 < '7') ? 0 : 1;
}

// Control bytes are shown as '?', so that a module cannot drive the operator's terminal.
static uint16_t record_text(const uint8_t *value, uint16_t available, char text[256]) {
    uint16_t n = 0;
    while (n < available && value[n] != 0) {
        const uint8_t c = value[n];
        text[n] = (c < 0x20 || (c >= 0x7F && c <= 0x9F)) ? '?' : static_cast<char>(c);
        ++n;
    }
    text[n] = '\0';
    return n;
}

void identify_show_records(const uint8_t *reply, uint16_t length) {
    uint16_t row = IDENT_FIRST_ROW;
    for (uint32_t p = 3; p < length;) {
        // A tag on the reply's last byte has no length byte inside the reply: the list ends.
        if (p + 1 >= length) break;
        const IdentRecord record = {reply[p], reply[p + 1], reply + p + 2};
        // A value running past the reply's end is cut there.
        const uint32_t room = length - (p + 2);
        const auto available = static_cast<uint16_t>(record.length < room ? record.length : room);
        char text[256] = {};
        const uint16_t n = record_text(record.value, available, text);
        const unsigned number = available > 0 ? record.value[0] : 0;

        for (const IdentLine &shown : IDENT_LINES) {
            if (shown.tag != record.tag) continue;
            char line[300];
            if (shown.numeric)
                std::snprintf(line, sizeof line, "%s%u", shown.label, number);
            else
                std::snprintf(line, sizeof line, "%s%s", shown.label, text);
            screen_line(row++, line);
            history_note_ident(shown.tag, line + std::strlen(shown.label));
        }

        if (record.tag == IDENT_BIOS_REVISION) {
            // The revision rule reads the raw bytes, as the module sent them.
            char raw[256] = {};
            for (uint16_t i = 0; i < n; ++i) raw[i] = static_cast<char>(record.value[i]);
            frame_mode = identify_revision_mode(raw, n);
        }
        if (record.tag == IDENT_PROCESSOR && !(n == 2 && text[0] == '5' && text[1] == '1'))
            identify_failure("Wrong processor !!!");
        p += 2u + record.length;
    }
}

void module_identify() {
    // Room for the request and for a reply as long as the negotiated buffer (up to 270).
    uint8_t work[STARTUP_MAX_BUFFER] = {};
    uint16_t length = frame_build(work, 0x01, INS_IDENTIFY, 0x00, 0x00, nullptr, 0);
    if (frame_exchange(work, sizeof work, &length) != 0) {
        // No answer: reset at the base already found, with the smaller buffer of early BIOSes.
        if (ci_detect(FALLBACK_MAX_BUFFER, &buffer_size, 1) != LINK_OK)
            identify_failure("Wrong module reset !!!");
        frame_mode = 0;
        return;
    }
    identify_show_records(work, length);
}
