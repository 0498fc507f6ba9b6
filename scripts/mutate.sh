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

# One mutant a line, in the files of scripts/mutants/ (one per area of the code):
#   id@@file@@search@@replacement@@what the fault does
MUTANTS=$(cat scripts/mutants/*.txt)

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
