// Fuzz target: an identification reply of up to 300 raw bytes through the record parsing and
// the screen lines it draws.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "link/port.h"
#include "protocol/identify.h"
#include "protocol/run_state.h"
#include "tests/support/virtual_screen.h"

// Showing the records never touches the interface.
uint8_t port_read(uint16_t) {
    FUZZ_FAIL("a port read while showing the records");
}
void port_write(uint16_t, uint8_t) {
    FUZZ_FAIL("a port write while showing the records");
}

namespace {

constexpr size_t MAX_REPLY = 300;
constexpr uint8_t MODE_UNSET = 2; // neither mode: tells whether a record set frame_mode
constexpr int LAST_SCREEN_ROW = SCREEN_ROWS - 1;

const char REVISION_LABEL[] = "BIOS REVISION: ";
const char PROCESSOR_LABEL[] = "PROCESSOR VERSION: ";
const char ACCEPTED_PROCESSOR[] = "PROCESSOR VERSION: 51";
const char *const LABELS[] = {REVISION_LABEL,   "BIOS DATE: ", "PAGE NUMBER: ",
                              "ASIC VERSION: ", "CUSTOMER: ",  PROCESSOR_LABEL};

bool is_record_line(const std::string &text) {
    return std::any_of(std::begin(LABELS), std::end(LABELS),
                       [&](const char *label) { return text.starts_with(label); });
}

// Module text reaches the screen without bytes that a terminal takes as controls.
bool free_of_controls(const std::string &text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<uint8_t>(c);
        return byte < 0x20 || (byte >= 0x7F && byte <= 0x9F);
    });
}

// The mode that the revision rule gives for a shown revision text s, or -1 when the screen
// cannot tell: a '?' at s[3] stands for '?' itself or for a control byte the module sent.
int mode_of_shown_revision(const std::string &s) {
    if (s.size() < 3) return 1;
    const char s3 = s.size() == 3 ? '\0' : s[3];
    if (s3 == '?') return -1;
    return s[0] == '1' && s[2] == '0' && static_cast<signed char>(s3) < '7' ? 0 : 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > MAX_REPLY) return 0;
    // The reply in a buffer of exactly its length, so that a read past its end is caught.
    const std::vector<uint8_t> reply(data, data + size);
    vscreen_reset();
    frame_mode = MODE_UNSET;

    const int code =
        run_until_exit([&] { identify_show_records(reply.data(), static_cast<uint16_t>(size)); });
    FUZZ_CHECK(code == -1 || code == 1, "the records end the run only with exit code 1");
    FUZZ_CHECK(vscreen.clears == 0 && vscreen.keys_read == 0,
               "the records cleared the screen or waited for a key");
    for (const auto &write : vscreen.writes)
        FUZZ_CHECK(free_of_controls(write.second), "a control byte reached the screen");

    std::vector<std::pair<int, std::string>> lines = vscreen.writes;
    if (code == 1) {
        // A refused processor: its own line, then the two failure lines over rows 20 and 21.
        FUZZ_CHECK(lines.size() >= 3, "a refusal without its lines");
        FUZZ_CHECK(lines[lines.size() - 2] ==
                       std::make_pair(20, std::string("Wrong processor !!!")),
                   "the refusal is not on row 20");
        FUZZ_CHECK(lines.back() ==
                       std::make_pair(21, std::string(" Contact Zolvant Technical Support")),
                   "the contact line is not on row 21");
        lines.resize(lines.size() - 2);
        const std::string &processor = lines.back().second;
        FUZZ_CHECK(processor.starts_with(PROCESSOR_LABEL) && processor != ACCEPTED_PROCESSOR,
                   "a refusal that does not follow a wrong processor line");
    }

    // Each record takes at least its tag and length bytes after the three header bytes.
    const size_t most_records = size > 3 ? (size - 3) / 2 : 0;
    FUZZ_CHECK(lines.size() <= most_records, "more lines than the reply has records");
    int revision_mode = MODE_UNSET;
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto &[row, text] = lines[i];
        const int wanted_row = IDENT_FIRST_ROW + static_cast<int>(i);
        // Below the last row the cursor cannot go: the line lands where the last one ended.
        if (wanted_row <= LAST_SCREEN_ROW)
            FUZZ_CHECK(row == wanted_row, "a record line off its row");
        else
            FUZZ_CHECK(row >= IDENT_FIRST_ROW && row <= LAST_SCREEN_ROW, "a line above row 18");
        FUZZ_CHECK(is_record_line(text), "a line that is no record line");
        const bool refused_line = code == 1 && i + 1 == lines.size();
        if (text.starts_with(PROCESSOR_LABEL) && !refused_line)
            FUZZ_CHECK(text == ACCEPTED_PROCESSOR, "a wrong processor accepted");
        if (text.starts_with(REVISION_LABEL))
            revision_mode = mode_of_shown_revision(text.substr(sizeof REVISION_LABEL - 1));
    }
    if (revision_mode == MODE_UNSET)
        FUZZ_CHECK(frame_mode == MODE_UNSET, "frame_mode changed without a revision record");
    else if (revision_mode < 0)
        FUZZ_CHECK(frame_mode == 0 || frame_mode == 1, "frame_mode neither 0 nor 1");
    else
        FUZZ_CHECK(frame_mode == revision_mode, "frame_mode against the last revision shown");
    return 0;
}
