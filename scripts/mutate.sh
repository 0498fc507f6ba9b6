#!/usr/bin/env bash
# The mutation check: small faults of the kind a developer could make by mistake, put into a
# scratch copy of the tree one at a time. The tests must catch each of them.
#
#   scripts/mutate.sh              every mutant; exit 1 unless every one is killed
#   scripts/mutate.sh ID...        only the named mutants
#   scripts/mutate.sh --windows    only the mutants judged under Wine (the Windows test step)
#   scripts/mutate.sh --no-windows every mutant but those
#   scripts/mutate.sh -l           list the mutants
#   scripts/mutate.sh --record ... as above, each judged by its whole judge set, and writes the
#                                  tests that killed each into scripts/mutants/first-judges.map
#
# Each mutant replaces one exact text in one file. The text must occur exactly once in that
# file, otherwise the mutant is reported STALE: a mutant never silently stops applying when
# the code changes. A mutant that no longer compiles counts as a failure too, not as killed,
# and so does one that only makes a test run out of time: a test must fail, not hang.
# One line per mutant, naming every test that killed it, goes to stdout and to the log
# (build-mutate/mutate.log).
# A mutant named in scripts/mutants/first-judges.map (`id regex`, the tests that killed it in
# the last recorded run) is judged first by those tests alone, and by its whole judge set only
# when they let it through.
set -euo pipefail
cd "$(dirname "$0")/.."

# One mutant a line, in the files of scripts/mutants/ (one per area of the code):
#   id@@file@@search@@replacement@@what the fault does[@@judges]
# The judges are the fast suite (every test not labelled slow) unless the sixth field names
# them: a ctest -R regex (slow tests allowed), or `windows`, the cross build's tests under Wine.
MUTANTS=$(cat scripts/mutants/*.txt)

# Tests whose outcome may depend on privilege (one skips unless run as root; the rehearsal
# drops capabilities). Run as root, a kill by them alone is judged again as the user nobody,
# and marked "needs root" unless they fail there too.
PRIVILEGED='^(PortAccessDropCaps\.|rehearse_|command_line$)'

# Mutants that cannot change behaviour: id@@reason. They are listed, not run.
EQUIVALENT=$(cat <<'EOF'
EOF
)

field() { # field N LINE: the Nth @@-separated field of a table line, empty past the last
    local line=$2 n=$1
    while ((n > 1)); do
        [[ $line == *@@* ]] || return 0
        line=${line#*@@}
        n=$((n - 1))
    done
    printf '%s' "${line%%@@*}"
}

FIRST_JUDGES=scripts/mutants/first-judges.map
record=0
if [ "${1:-}" = --record ]; then
    record=1
    shift
fi

if [ "${1:-}" = "-l" ]; then
    while IFS= read -r line; do
        judge=$(field 6 "$line")
        printf '%-4s %-30s %s%s\n' "$(field 1 "$line")" "$(field 2 "$line")" "$(field 5 "$line")" \
            "${judge:+ [judged by $judge]}"
    done <<<"$MUTANTS"
    exit 0
fi

# The mutants to run, in table order: all, those named, or those of one side of Wine.
selected=()
while IFS= read -r line; do
    id=$(field 1 "$line")
    judge=$(field 6 "$line")
    case "${1:-}" in
    "") pick=1 ;;
    --windows) [ "$judge" = windows ] && pick=1 || pick=0 ;;
    --no-windows) [ "$judge" != windows ] && pick=1 || pick=0 ;;
    *) printf '%s\n' "$@" | grep -qx -- "$id" && pick=1 || pick=0 ;;
    esac
    [ "$pick" = 0 ] || selected+=("$line")
done <<<"$MUTANTS"
case "${1:-}" in
--windows | --no-windows | "") ;;
*)
    for id in "$@"; do
        grep -q "^$id@@" <<<"$MUTANTS" || { echo "mutate.sh: no mutant $id" >&2; exit 2; }
    done
    ;;
esac
dups=$(cut -d@ -f1 <<<"$MUTANTS" | sort | uniq -d)
[ -z "$dups" ] || { echo "mutate.sh: ids used twice: $dups" >&2; exit 2; }

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
mkdir -p build-mutate
log=$PWD/build-mutate/mutate.log
: >"$log"
say() { printf '%s\n' "$*" | tee -a "$log"; }
scratch=$(mktemp -d)
WINESERVER=
trap '[ -z "$WINESERVER" ] || "$WINESERVER" -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
src=$scratch/src
mkdir -p "$src"
# The tracked files as they are in the working tree, and new files not yet added.
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' path; do
    [ -e "$path" ] && printf '%s\0' "$path"
done | tar --null -T - -cf - | tar -xf - -C "$src"
start=$SECONDS
say "mutate.sh: $(git rev-parse --short HEAD), ${#selected[@]} mutants, as user $(id -un); log $log"

# The build a judge runs in: the native one, or the cross build for Wine, each built once in
# full and then incrementally per mutant.
build_of() { [ "$1" = windows ] && echo "$scratch/build-windows" || echo "$scratch/build"; }
configure() { # configure JUDGE: configures and builds its pristine tree
    local build
    build=$(build_of "$1")
    [ ! -d "$build" ] || return 0
    echo "Building the pristine tree in $build"
    if [ "$1" = windows ]; then
        scripts/install-deps.sh g++-mingw-w64-x86-64-posix googletest wine64 bsdutils
        . scripts/windows-env.sh
        windows_wine_env "$scratch"
        cmake --no-warn-unused-cli -S "$src" -B "$build" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-mingw64.cmake" \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCIFLASH_GTEST_SOURCE=/usr/src/googletest >/dev/null
        # One Wine server for all the test programs (see scripts/windows-test.sh).
        "$WINESERVER" -p30
    else
        cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    nice cmake --build "$build" -j2 >/dev/null
}

# judge JUDGE [FIRST]: runs the tests of JUDGE, or only its tests that FIRST matches; their
# ctest output is left in $scratch/ctest.log.
judge() {
    local build filter=()
    build=$(build_of "$1")
    case "$1" in
    "") filter=(-LE slow) ;;
    windows) ;;
    *) filter=(-R "$1") ;;
    esac
    # Recorded from the kills of this judge set, FIRST stands for a regex judge.
    [ -z "${2:-}" ] || { [ -z "$1" ] || filter=(); filter+=(-R "$2"); }
    ctest --test-dir "$build" "${filter[@]}" -j2 --timeout 60 --no-tests=error \
        >"$scratch/ctest.log" 2>&1
}
# The tests that failed in the last judgement as "name (Failed)", "name (Timeout)"...
failed_tests() {
    sed -n '/^The following tests FAILED:/,$s/^[[:space:]]*[0-9]* - \(.*\)$/\1/p' \
        "$scratch/ctest.log" | sed 's/  # GetParam() = [^ ]*//'
}

# Every judge passes on the pristine tree before it judges a mutant.
declare -A proven=()
prove() {
    [ -z "${proven[x$1]:-}" ] || return 0
    configure "$1"
    # The build may still hold the mutant before, whose file has just been put back.
    nice cmake --build "$(build_of "$1")" -j2 >/dev/null
    if ! judge "$1"; then
        cat "$scratch/ctest.log"
        echo "mutate.sh: the tests of judge '${1:-fast suite}' fail on the pristine tree" >&2
        exit 1
    fi
    if [ -z "$1" ] && [ "$(id -u)" = 0 ] && ! as_nobody "$1" "$PRIVILEGED"; then
        cat "$scratch/ctest-nobody.log"
        echo "mutate.sh: the privileged tests fail as nobody on the pristine tree" >&2
        exit 1
    fi
    proven[x$1]=1
}
# as_nobody JUDGE REGEX: runs the tests of REGEX in JUDGE's build as the user nobody.
as_nobody() {
    chmod -R a+rwX "$scratch"
    setpriv --reuid=65534 --regid=65534 --clear-groups ctest --test-dir "$(build_of "$1")" \
        -R "$2" --timeout 60 --no-tests=error >"$scratch/ctest-nobody.log" 2>&1
}

# first_judges ID: the regex of the tests that killed mutant ID last time; none when recording.
first_judges() {
    [ "$record" = 0 ] && [ -f "$FIRST_JUDGES" ] || return 0
    awk -v id="$1" '$1 == id { sub(/^[^ ]+ /, ""); print }' "$FIRST_JUDGES"
}

# judged JUDGE [FIRST]: sets verdict and killers from the tests of judge (JUDGE, FIRST).
judged() {
    killers=
    if judge "$1" "${2:-}"; then
        verdict=SURVIVED
        return
    fi
    local failed
    failed=$(failed_tests)
    # A test that fails kills; one that only runs out of time does not.
    killers=$(grep -v ' (Timeout)$' <<<"$failed" | sed 's/ ([^()]*)$//' | paste -sd' ' || true)
    if [ -n "$killers" ]; then
        verdict=killed
        if [ "$(id -u)" = 0 ] &&
            [ -z "$(tr ' ' '\n' <<<"$killers" | grep -Ev "$PRIVILEGED" || true)" ] &&
            as_nobody "$1" "^($(tr ' ' '|' <<<"$killers"))\$"; then
            verdict="killed, needs root,"
        fi
    elif [ -n "$failed" ]; then
        verdict="timed out"
        killers=$(sed 's/ ([^()]*)$//' <<<"$failed" | paste -sd' ')
    else
        verdict="ctest failed"
        tail -5 "$scratch/ctest.log" >&2
    fi
}

killed=0
total=0
failures=()
for line in "${selected[@]}"; do
    id=$(field 1 "$line")
    file=$(field 2 "$line")
    what=$(field 5 "$line")
    by=$(field 6 "$line")
    reason=$(equivalence "$id")
    if [ -n "$reason" ]; then
        say "$(printf '%-4s %-16s %s (%s)' "$id" equivalent "$what" "$reason")"
        continue
    fi
    prove "$by"
    total=$((total + 1))
    cp "$src/$file" "$scratch/original"
    mutant_edit apply "$src/$file" "$(field 3 "$line")" "$(field 4 "$line")"
    killers=
    first=$(first_judges "$id")
    if ! nice cmake --build "$(build_of "$by")" -j2 >"$scratch/build.log" 2>&1; then
        verdict="does not compile"
    else
        [ -z "$first" ] || judged "$by" "$first"
        if [ -z "$first" ] || [[ $verdict != killed* ]]; then
            [ -z "$first" ] || say "$id: let through by its first judges; the whole judge set runs"
            judged "$by"
        fi
    fi
    [[ $verdict != killed* ]] || killed=$((killed + 1))
    # Back to the pristine file; its new mtime makes the next build recompile it.
    cp "$scratch/original" "$src/$file"
    [[ $verdict == killed* ]] || failures+=("$id $verdict: $what")
    say "$(printf '%-4s %-16s %s%s' "$id" "$verdict" "$what" "${killers:+ [$killers]}")"
done

say "killed $killed/$total ($((SECONDS - start)) s); log $log"
# The killers of each killed mutant, from the log, replace the mutant's line of first judges.
if [ "$record" = 1 ]; then
    kept=$(grep -v '^#' "$FIRST_JUDGES" 2>/dev/null || true)
    for line in "${selected[@]}"; do
        kept=$(awk -v id="$(field 1 "$line")" '$1 != id' <<<"$kept")
    done
    {
        echo "# id regex: the tests that killed each mutant in its last recorded run (mutate.sh --record)"
        {
            [ -z "$kept" ] || printf '%s\n' "$kept"
            perl -ne 'next unless /^(\S+)\s+killed.*\[([^][]*)\]$/;
                my ($id, @tests) = ($1, split / /, $2);
                print "$id ^(", join("|", map { quotemeta } @tests), ")( |\$)\n"' "$log"
        } | sort -V
    } >"$FIRST_JUDGES"
    echo "mutate.sh: first judges written to $FIRST_JUDGES"
fi
if [ ${#failures[@]} -gt 0 ]; then
    say "Not killed:"
    for f in "${failures[@]}"; do say "  $f"; done
    exit 1
fi
