#!/usr/bin/env bash
# The mutation check: small faults of the kind a developer could make by mistake, put into a
# scratch copy of the tree one at a time. The fast test suite must catch each of them.
#
#   scripts/mutate.sh            every mutant; exit 1 if any survives, is stale or does not compile
#   scripts/mutate.sh ID...      only the named mutants
#   scripts/mutate.sh -l         list the mutants
#
# Each mutant replaces one exact text in one file. The text must occur exactly once in that
# file, otherwise the mutant is reported STALE: a mutant never silently stops applying when
# the code changes. A mutant that no longer compiles counts as a failure too, not as killed.
set -euo pipefail
cd "$(dirname "$0")/.."

# id@@file@@search@@replacement@@what the fault does
MUTANTS=$(cat <<'EOF'
R01@@protocol/flash_update.cpp@@    while (sent == LINK_BUSY) {@@    if (sent == LINK_BUSY) return BLOCK_NO_REPLY;    while (sent == LINK_BUSY) {@@a briefly busy interface during the update is a dialog error instead of a re-send
R02@@protocol/flash_update.cpp@@        tick_wait(UPDATE_POLL_MS);@@        if (r != LINK_BUSY && r != LINK_NO_DATA) return BLOCK_REPLIED; tick_wait(UPDATE_POLL_MS);@@the 10 ms wait no longer follows the poll that brings the reply
R03@@protocol/flash_update.h@@UPDATE_REPLY_LIMIT_MS = 30000;@@UPDATE_REPLY_LIMIT_MS = 1000;@@the 30 s reply limit cut to 1 s
R04@@link/ci_link.h@@DIALOG_RESET_SIZE = 1298;@@DIALOG_RESET_SIZE = 270;@@the dialog reset asks for 270 instead of 1298
R05@@protocol/flash_update.cpp@@        (void)ci_reset(DIALOG_RESET_SIZE, &scratch);@@        (void)scratch;@@no interface reset after a write error
R06@@link/ci_detect.cpp@@    case LINK_NO_DATA:@@    case LINK_TRANSFER_ERROR: return LOOP_FAIL; case LINK_NO_DATA:@@the size-read loop fails on RE instead of using the bytes
R07@@link/ci_detect.cpp@@    case LINK_BUSY:@@    case LINK_BUSY: return LOOP_FAIL;@@the size-write loop fails on a busy interface instead of retrying
R08@@link/ci_detect.cpp@@(size_ms & 0x07) == 0@@(size_ms & 0x03) == 0@@the probe masks size MS with 0x03 instead of 0x07
R09@@platform/console_linux.cpp@@constexpr int ESC_WAIT_MS = 50;@@constexpr int ESC_WAIT_MS = 1;@@the ESC wait cut from 50 ms to 1 ms
R10@@sim/sim_module.cpp@@        if (sim_record.negotiated > sim_config.module_buffer)@@        if (false && sim_record.negotiated > sim_config.module_buffer)@@the simulated module no longer flags a negotiated size above its offer
R11@@platform/port_access_linux.cpp@@    if (!port_access_drop_caps()) {@@    if (false && !port_access_drop_caps()) {@@the capabilities are not dropped after the ports are opened
R12@@platform/port_access_linux.cpp@@    return ioperm(base, IO_WINDOW, 1);@@    return ioperm(base, 3, 1);@@ioperm opens 3 ports per window instead of 4
R13@@link/ci_detect.cpp@@    case LINK_NO_DATA:@@    case LINK_TRANSFER_ERROR: if (module_link.status & STATUS_RE) return LOOP_FAIL; break; case LINK_NO_DATA:@@the size-read loop fails when the size reply ends with RE
L01@@link/ci_register.cpp@@    if (port_read(static_cast<uint16_t>(base + REG_SIZE_MS)) != 0xFF) return LINK_OK;@@@@the presence check no longer reads size MS
L02@@link/ci_register.cpp@@    module_link.present = 0;@@@@a module found gone keeps its present flag
L03@@link/ci_register.cpp@@    module_link.command_shadow |= bit;@@    module_link.command_shadow = bit;@@setting a command bit forgets the others in the shadow
L04@@link/ci_transfer.cpp@@    if (!(module_link.status & STATUS_FR)) return LINK_BUSY;@@@@ci_send takes host control without checking FR first
L05@@link/ci_transfer.cpp@@REG_SIZE_LS), static_cast<uint8_t>(length & 0xFF))@@REG_SIZE_LS), static_cast<uint8_t>(length >> 8))@@ci_send writes the length MS into size LS
L06@@link/ci_transfer.cpp@@    const bool write_error = (module_link.status & STATUS_WE) != 0;@@    const bool write_error = (module_link.status & STATUS_RE) != 0;@@ci_send tests RE instead of WE after the message
L07@@link/ci_transfer.cpp@@    if (link_clear_command_bit(COMMAND_HC) != LINK_OK) return LINK_NO_MODULE;@@@@ci_send leaves HC set after the message
L08@@link/ci_transfer.cpp@@static_cast<uint16_t>(module_link.size_ms << 8 | module_link.size_ls);@@static_cast<uint16_t>(module_link.size_ls << 8 | module_link.size_ms);@@ci_receive swaps the size bytes
L09@@link/ci_transfer.cpp@@    if (module_link.status & STATUS_RE) return LINK_TRANSFER_ERROR;@@    if (module_link.status & STATUS_WE) return LINK_TRANSFER_ERROR;@@ci_receive tests WE instead of RE after the message
L10@@link/ci_transfer.cpp@@    return announced > capacity ? LINK_TRANSFER_ERROR : LINK_OK;@@    return announced >= capacity ? LINK_TRANSFER_ERROR : LINK_OK;@@ci_receive refuses a message that exactly fills the buffer
L11@@link/ci_detect.cpp@@        if (++count == RESET_ATTEMPTS) return false;@@        if (count++ == RESET_ATTEMPTS) return false;@@a reset loop makes one attempt more than RESET_ATTEMPTS allows
L12@@link/ci_detect.cpp@@    if (module_size > host_max) {@@    if (module_size < host_max) {@@the reset clamps to the host maximum the wrong way round
L13@@link/ci_detect.cpp@@    if (link_clear_command_bit(COMMAND_SR) != LINK_OK) return LINK_RESET_FAILED;@@@@SR stays set during the size write
L14@@link/ci_detect.cpp@@i < IO_BASE_COUNT && found < 0@@i < IO_BASE_COUNT - 1 && found < 0@@the probe never tries the last base
L15@@link/tick_wait.cpp@@    while (static_cast<uint32_t>(tick_count() - start) < ms)@@    while (tick_count() < start + ms)@@tick_wait compares absolute ticks and breaks at the wrap
P01@@protocol/frame.cpp@@    for (int i = 0; i < FRAME_POS_DATA + n; ++i) check ^= frame[i];@@    for (int i = 1; i < FRAME_POS_DATA + n; ++i) check ^= frame[i];@@the check byte leaves out the start byte
P02@@protocol/frame.cpp@@static_cast<uint8_t>(5 + n);@@static_cast<uint8_t>(4 + n);@@the frame length byte is one short
P03@@protocol/frame.cpp@@            if (elapsed >= EXCHANGE_TIMEOUT_MS) return -1;@@            if (elapsed > EXCHANGE_TIMEOUT_MS) return -1;@@the exchange polls once more after 2000 ms
P04@@protocol/frame.cpp@@            received_data_error();@@            return 0;@@a failed reply transfer is taken as a reply
P05@@protocol/frame.cpp@@        case LINK_NO_DATA:@@@@the exchange ends at the first poll without data
P06@@protocol/identify.cpp@@s3 < '7')@@s3 <= '7')@@revision 1.x07 also takes mode 0
P07@@protocol/identify.cpp@@        p += 2u + record.length;@@        p += 1u + record.length;@@the record walk steps one byte short
P08@@protocol/identify.cpp@@!(n == 2 && text[0] == '5'@@!(text[0] == '5'@@a processor "51x" is accepted
P09@@protocol/identify.cpp@@        if (ci_detect(FALLBACK_MAX_BUFFER, &buffer_size, 1) != LINK_OK)@@        if (ci_detect(STARTUP_MAX_BUFFER, &buffer_size, 1) != LINK_OK)@@the fall-back reset asks for 270 instead of 128
P10@@protocol/identify.cpp@@        frame_mode = 0;@@        frame_mode = 1;@@the fall-back sets frame mode 1
P11@@protocol/flash_update.cpp@@index == 0 ? 1 : 0@@index == 1 ? 1 : 0@@the first-block flag is set on the second block
P12@@protocol/flash_update.cpp@@std::memset(call.staging + take, PAD_BYTE,@@std::memset(call.staging + take, 0x00,@@the last block is padded with 0x00
P13@@protocol/page_image.h@@(image.size + block_len - 1) / block_len@@image.size / block_len@@the block count rounds down
P14@@protocol/flash_update.cpp@@    uint8_t result = update_page(call, page_image_0);@@    uint8_t result = update_page(call, page_image_1);@@page 1 is written first
P15@@protocol/flash_update.cpp@@sw1 == SW1_NVM_UNCHANGED && sw2 != SW2_MEMORY_FAILURE@@sw1 == SW1_NVM_UNCHANGED && sw2 == SW2_MEMORY_FAILURE@@the flash-memory-error screen wants 6481
P16@@protocol/flash_update.cpp@@sw1 == SW1_WRONG_LENGTH && sw2 == 0x00@@sw1 == SW1_WRONG_LENGTH@@the length-block screen ignores SW2
P17@@protocol/flash_update.cpp@@"Block Number = %03u / %03u", index + 1,@@"Block Number = %03u / %03u", index,@@the block number counts from 0
P18@@protocol/flash_update.cpp@@        if (call.frame[REPLY_POS_SW1] != SW1_OK)@@        if (call.frame[REPLY_POS_SW2] != SW1_OK)@@the reply check reads SW2 instead of SW1
C01@@console/screen.cpp@@ZUZERA V6.00   ciflash@@ZUZERA V6.00  ciflash@@the banner loses a blank
C02@@console/screen.cpp@@if (key == 'Q' || key == 'q') process_exit(0);@@if (key == 'Q') process_exit(0);@@lower-case q no longer quits
C03@@console/screen.cpp@@if (key == KEY_ESC || key == KEY_SPACE) return key;@@if (key == KEY_ESC) return key;@@SPACE is ignored at a prompt
C04@@console/screen.cpp@@if (code == KEY_LOST || code == KEY_ESC) return;@@if (code == KEY_LOST || code == KEY_ESC || code == KEY_SPACE) return;@@SPACE also leaves an error screen
C05@@console/startup.cpp@@    if (wait_key() == KEY_ESC) return;@@    if (wait_key() == KEY_SPACE) return;@@SPACE at the insert prompt skips the second detection
C06@@console/startup.cpp@@    while (wait_key() == KEY_SPACE) {@@    while (wait_key() == KEY_ESC) {@@the initialisation error screen is left with SPACE
C07@@console/startup.cpp@@&buffer_size, 0) == LINK_OK;@@&buffer_size, 1) == LINK_OK;@@the start-up detection does not probe the bases
C08@@console/update_run.cpp@@if (flash_update() == 0) {@@if (flash_update() != 0) {@@success and error outcomes swap
X01@@platform/key_decode.cpp@@        return single(1, KEY_ESC); // ESC pressed twice in quick succession@@        return dropped(2);@@ESC pressed twice is dropped
X02@@platform/key_decode.cpp@@if (length == 1) return more_may_come ? NEED_MORE : single(1, KEY_ESC);@@if (length == 1) return single(1, KEY_ESC);@@a lone ESC is decided before the rest of a sequence can come
X03@@platform/key_decode.cpp@@{1, PLAIN}, {2, SHIFT}, {3, ALT}, {5, CTRL}@@{1, PLAIN}, {2, SHIFT}, {3, CTRL}, {5, ALT}@@Alt and Ctrl modifiers swapped
X04@@platform/key_decode.cpp@@if (bytes[i] < 0x40 || bytes[i] > 0x7E) return dropped(i);@@if (bytes[i] < 0x40 || bytes[i] > 0x7E) return dropped(i + 1);@@a broken sequence swallows the next key's first byte
X05@@platform/console_linux.cpp@@        tcsetattr(terminal.tty, TCSANOW, &terminal.found);@@        tcsetattr(terminal.tty, TCSANOW, &terminal.run_modes);@@the terminal is left in the run modes at the end
X06@@platform/console_linux.cpp@@    if (decoding.count == 2) terminal.second_code = decoding.codes[1];@@@@the second code of a two-code key is lost
X07@@platform/port_linux.cpp@@    return port_windows_open && port_in_windows(port);@@    return port_in_windows(port);@@the ports answer before the windows are open
X08@@platform/port_windows.h@@port - base < IO_WINDOW@@port - base <= IO_WINDOW@@the window guard lets the port after a window through
S01@@sim/sim_firmware.cpp@@    if (check != 0) return reject@@    if (false && check != 0) return reject@@the simulated module accepts a wrong check byte
S02@@sim/sim_firmware.cpp@@    if (f[FRAME_POS_LENGTH] + 4u != f.size())@@    if (false && f[FRAME_POS_LENGTH] + 4u != f.size())@@the simulated module accepts a wrong length byte
S03@@sim/sim_firmware.cpp@@    if (f[FRAME_POS_P1] != page)@@    if (false && f[FRAME_POS_P1] != page)@@the simulated module accepts blocks for the wrong page
S04@@sim/sim_firmware.cpp@@    if (f[FRAME_POS_P2] != (block == 1 ? 1 : 0))@@    if (false && f[FRAME_POS_P2] != (block == 1 ? 1 : 0))@@the simulated module accepts a wrong first-block flag
S06@@sim/sim_firmware.cpp@@    if (f.size() != sim_fw.frame_size)@@    if (false && f.size() != sim_fw.frame_size)@@the simulated module accepts block frames of another size
S07@@sim/sim_module.cpp@@    if ((rising & COMMAND_SW) && (value & COMMAND_SR))@@    if (false && (rising & COMMAND_SW) && (value & COMMAND_SR))@@the simulated module accepts SW with SR still set
S08@@sim/sim_module.cpp@@    if (!(sim_if.command & COMMAND_HC) || !sim_if.fr_at_hc) {@@    if (!(sim_if.command & COMMAND_HC)) {@@the simulated module takes data written while FR was clear
N01@@platform/process_linux.cpp@@        if (!ignored(number)) sigaddset(&set, number);@@        sigaddset(&set, number);@@a signal ignored at start is held by the shield and ends the run at its end
N02@@protocol/flash_update.cpp@@    process_shield_end();@@@@an update error screen waits for ESC while a held signal stays held
N03@@console/update_run.cpp@@    process_shield_end();@@@@the shield stays up over the outcome screen
N04@@protocol/flash_update.h@@    return block < UPDATE_MAX_BLOCK ? block : UPDATE_MAX_BLOCK;@@    return block;@@a buffer of 260 to 270 bytes gives frames longer than 259 bytes
N05@@console/ciflash_main.cpp@@    if (argc > 1) return answer_arguments(argc, argv);@@@@ciflash ignores its arguments and goes for the ports
N06@@console/command_line.cpp@@    if (argc == 2 && (help || version)) return 0;@@    if (help || version) return 0;@@ciflash accepts --version followed by another argument
N07@@sim/sim_options.cpp@@    return events_reachable(error);@@    return true;@@the simulator accepts a PAGE:BLOCK that no run reaches
N08@@sim/sim_firmware.cpp@@    if (f.size() > sim_record.negotiated)@@    if (f.size() > 1300)@@the simulated module takes frames longer than the negotiated size
N09@@protocol/flash_update.cpp@@        screen_clear();@@@@the buffer-size refusal is drawn over the screen before it
EOF
)

# Mutants that cannot change behaviour: id@@reason. They are listed, not run.
EQUIVALENT=$(cat <<'EOF'
EOF
)

field() { # field N LINE: the Nth @@-separated field of a table line
    local line=$2 n=$1
    while ((n > 1)); do
        line=${line#*@@}
        n=$((n - 1))
    done
    printf '%s' "${line%%@@*}"
}

if [ "${1:-}" = "-l" ]; then
    while IFS= read -r line; do
        printf '%-4s %-30s %s\n' "$(field 1 "$line")" "$(field 2 "$line")" "$(field 5 "$line")"
    done <<<"$MUTANTS"
    exit 0
fi

# The mutants to run, in table order: all, or those named.
selected=()
while IFS= read -r line; do
    id=$(field 1 "$line")
    if [ $# -eq 0 ] || printf '%s\n' "$@" | grep -qx -- "$id"; then selected+=("$line"); fi
done <<<"$MUTANTS"
for id in "$@"; do
    grep -q "^$id@@" <<<"$MUTANTS" || { echo "mutate.sh: no mutant $id" >&2; exit 2; }
done

# MODE FILE SEARCH REPLACEMENT: checks (MODE check) or makes (MODE apply) the one replacement
# of SEARCH in FILE; exit 3 unless SEARCH occurs exactly once and differs from REPLACEMENT.
mutant_edit() {
    SEARCH=$3 REPLACEMENT=$4 perl -e '
        my ($mode, $file) = @ARGV;
        open(my $in, "<", $file) or exit 3;
        my $text = do { local $/; <$in> };
        close $in;
        my ($s, $r) = ($ENV{SEARCH}, $ENV{REPLACEMENT});
        my ($count, $at) = (0, -1);
        for (my $p = index($text, $s); $p >= 0; $p = index($text, $s, $p + 1)) {
            $count++;
            $at = $p;
        }
        exit 3 unless $count == 1 && $s ne $r;
        exit 0 if $mode eq "check";
        substr($text, $at, length $s) = $r;
        open(my $out, ">", $file) or exit 4;
        print $out $text;
        close $out;
    ' "$1" "$2"
}

# Equivalent mutants are reported, never run.
equivalence() { grep "^$1@@" <<<"$EQUIVALENT" | sed 's/^[^@]*@@//' || true; }

# Stale mutants fail at once, before anything is built.
stale=()
for line in "${selected[@]}"; do
    mutant_edit check "$(field 2 "$line")" "$(field 3 "$line")" "$(field 4 "$line")" ||
        stale+=("$(field 1 "$line") STALE: $(field 2 "$line"): $(field 3 "$line")")
done
if [ ${#stale[@]} -gt 0 ]; then
    printf '%s\n' "${stale[@]}" "mutate.sh: the search text of each mutant above does not occur exactly once" >&2
    exit 1
fi

scripts/install-deps.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
src=$scratch/src
build=$scratch/build
mkdir -p "$src"
# The tracked files as they are in the working tree, and new files not yet added.
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' path; do
    [ -e "$path" ] && printf '%s\0' "$path"
done | tar --null -T - -cf - | tar -xf - -C "$src"

start=$SECONDS
echo "Building the pristine tree in $build"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
nice cmake --build "$build" -j2 >/dev/null

# The fast suite: every test not labelled slow (terminal runs, Wine, whole real-time runs).
fast_suite() {
    ctest --test-dir "$build" -LE slow -j2 --stop-on-failure --timeout 60 \
        >"$scratch/ctest.log" 2>&1
}
if ! fast_suite; then
    cat "$scratch/ctest.log"
    echo "mutate.sh: the fast suite fails on the pristine tree" >&2
    exit 1
fi

killed=0
total=0
failures=()
for line in "${selected[@]}"; do
    id=$(field 1 "$line")
    file=$(field 2 "$line")
    what=$(field 5 "$line")
    reason=$(equivalence "$id")
    if [ -n "$reason" ]; then
        printf '%-4s %-16s %s (%s)\n' "$id" equivalent "$what" "$reason"
        continue
    fi
    total=$((total + 1))
    cp "$src/$file" "$scratch/original"
    mutant_edit apply "$src/$file" "$(field 3 "$line")" "$(field 4 "$line")"
    if ! nice cmake --build "$build" -j2 >"$scratch/build.log" 2>&1; then
        verdict="does not compile"
    elif fast_suite; then
        verdict=SURVIVED
    else
        verdict=killed
        killed=$((killed + 1))
    fi
    # Back to the pristine file; its new mtime makes the next build recompile it.
    cp "$scratch/original" "$src/$file"
    [ "$verdict" = killed ] || failures+=("$id $verdict: $what")
    printf '%-4s %-16s %s\n' "$id" "$verdict" "$what"
done

echo "killed $killed/$total ($((SECONDS - start)) s)"
if [ ${#failures[@]} -gt 0 ]; then
    echo "Not killed:"
    printf '  %s\n' "${failures[@]}"
    exit 1
fi
