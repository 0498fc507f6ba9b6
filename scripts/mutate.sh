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
L01@@link/ci_register.cpp@@    if (port_read(static_cast<uint16_t>(base + REG_STATUS)) != 0xFF) return LINK_OK;@@    if (port_read(static_cast<uint16_t>(base + REG_STATUS)) != 0xFE) return LINK_OK;@@presence check compares status with 0xFE
EOF
)

# Mutants that cannot change behaviour: id@@reason. They are listed, not run.
EQUIVALENT=$(cat <<'EOF'
EOF
)

field() { # field N LINE: the Nth @@-separated field
    local line=$2 n=$1
    while ((n > 1)); do
        line=${line#*@@}
        n=$((n - 1))
    done
    printf '%s' "${line%%@@*}"
}

mutant_ids() { while IFS= read -r line; do [ -n "$line" ] && field 1 "$line" && echo; done <<<"$MUTANTS"; }

if [ "${1:-}" = "-l" ]; then
    while IFS= read -r line; do
        [ -n "$line" ] && printf '%-4s %-32s %s\n' "$(field 1 "$line")" "$(field 2 "$line")" "$(field 5 "$line")"
    done <<<"$MUTANTS"
    exit 0
fi

# The mutants to run, in table order.
selected=()
if [ $# -gt 0 ]; then
    for id in "$@"; do
        grep -qx -- "$id" <(mutant_ids) || { echo "mutate.sh: no mutant $id" >&2; exit 2; }
    done
fi
while IFS= read -r line; do
    [ -n "$line" ] || continue
    id=$(field 1 "$line")
    if [ $# -gt 0 ]; then
        wanted=0
        for want in "$@"; do [ "$want" = "$id" ] && wanted=1; done
        [ $wanted -eq 1 ] || continue
    fi
    selected+=("$line")
done <<<"$MUTANTS"

# Replaces the one occurrence of SEARCH in FILE by REPLACEMENT; exit 3 unless it occurs once.
apply_mutant() {
    SEARCH=$2 REPLACEMENT=$3 perl -e '
        my $file = shift;
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
        substr($text, $at, length $s) = $r;
        open(my $out, ">", $file) or exit 4;
        print $out $text;
        close $out;
    ' "$1"
}

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

echo "Building the pristine tree in $build"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
nice cmake --build "$build" -j2 >/dev/null

# The fast suite: the slow label and the terminal end-to-end runs stay out.
fast_suite() {
    ctest --test-dir "$build" -LE slow -E '^e2e_' -j2 --stop-on-failure --timeout 60 \
        >"$scratch/ctest.log" 2>&1
}
if ! fast_suite; then
    cat "$scratch/ctest.log"
    echo "mutate.sh: the fast suite fails on the pristine tree" >&2
    exit 1
fi

start=$SECONDS
killed=0
total=0
failures=()
for line in "${selected[@]}"; do
    id=$(field 1 "$line")
    file=$(field 2 "$line")
    what=$(field 5 "$line")
    reason=$(printf '%s\n' "$EQUIVALENT" | grep "^$id@@" || true)
    if [ -n "$reason" ]; then
        printf '%-4s %-10s %s (equivalent: %s)\n' "$id" skipped "$what" "$(field 2 "$reason")"
        continue
    fi
    total=$((total + 1))
    cp -p "$src/$file" "$scratch/original"
    if ! apply_mutant "$src/$file" "$(field 3 "$line")" "$(field 4 "$line")"; then
        verdict=STALE
    elif ! nice cmake --build "$build" -j2 >"$scratch/build.log" 2>&1; then
        verdict="does not compile"
    elif fast_suite; then
        verdict=SURVIVED
    else
        verdict=killed
        killed=$((killed + 1))
    fi
    # Back to the pristine file; its new mtime makes the next build recompile it.
    cp "$scratch/original" "$src/$file"
    touch "$src/$file"
    [ "$verdict" = killed ] || failures+=("$id $verdict: $what")
    printf '%-4s %-10s %s\n' "$id" "$verdict" "$what"
done

echo "killed $killed/$total in $((SECONDS - start)) s"
if [ ${#failures[@]} -gt 0 ]; then
    echo "Not killed:"
    printf '  %s\n' "${failures[@]}"
    exit 1
fi
