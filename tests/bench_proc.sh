#!/usr/bin/env bash
# The /proc readings bench/e2e.sh compares the overlay with Chromium by, under set -e as there:
# a process tree is walked whole, and CPU ticks are read past a process name with blanks and
# parentheses.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/proc.sh
source "$root/bench/proc.sh"

scratch=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
        { wait "$pid"; } 2>/dev/null || true # quiet: no note of how it ended
    done
    rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
check() { # description, command...
    local what=$1
    shift
    if "$@"; then echo "PASS $what"; else echo "FAIL $what" && failures=$((failures + 1)); fi
}
has() { grep -qx "$2" <<<"$1"; }

# A parent whose first child is a leaf and whose second child has a child of its own, as
# Chromium's browser has its zygotes and they their renderers: each PID is written to a file
# by the process itself, so the test knows them all.
cat >"$scratch/parent.sh" <<'EOF'
dir=$1
sleep 60 & echo $! >"$dir/leaf"
bash -c 'echo $$ >"$1/middle"; sleep 60 & echo $! >"$1/grandchild"; wait' _ "$dir" &
wait
EOF
bash "$scratch/parent.sh" "$scratch" &
parent=$!
pids+=("$parent")
for _ in $(seq 100); do
    [[ -s "$scratch/leaf" && -s "$scratch/middle" && -s "$scratch/grandchild" ]] && break
    sleep 0.05
done
leaf=$(<"$scratch/leaf") middle=$(<"$scratch/middle") grandchild=$(<"$scratch/grandchild")
pids+=("$leaf" "$middle" "$grandchild")

mapfile -t walked < <(tree "$parent")
listing=$(printf '%s\n' "${walked[@]}")
check "the walk lists the parent" has "$listing" "$parent"
check "the walk lists the leaf child" has "$listing" "$leaf"
check "the walk lists the child with a child" has "$listing" "$middle"
check "the walk lists the grandchild" has "$listing" "$grandchild"
check "the walk lists nothing else" test "${#walked[@]}" -eq 4
mapfile -t alone < <(tree "$leaf")
check "a leaf's walk is itself" test "${alone[*]}" = "$leaf"

# A busy process named with a blank and a closing parenthesis, which the name field of
# /proc/PID/stat shows as they are.
busy="$scratch/a) b"
cp "$(command -v bash)" "$busy"
# shellcheck disable=SC2016 # expanded by the spinner itself
"$busy" -c 'end=$((SECONDS + 30)); while ((SECONDS < end)); do :; done' &
spinner=$!
pids+=("$spinner")
sleep 0.5
t0=${EPOCHREALTIME/./}
first=$(ticks "$spinner")
sleep 0.5
second=$(ticks "$spinner")
t1=${EPOCHREALTIME/./}
# Half a second of a busy loop is about 50 ticks at 100 Hz; even a starved one gets some, and
# one thread cannot get more than the time that passed (a tick of rounding at each end).
allowed=$(((t1 - t0) * clk_tck / 1000000 + 2))
check "ticks grow for a busy process named 'a) b' ($first -> $second)" test "$second" -gt "$first"
check "ticks stay within the time that passed ($first -> $second, at most +$allowed)" \
    test $((second - first)) -le "$allowed"
kill -KILL "$spinner"
{ wait "$spinner"; } 2>/dev/null || true
check "a process that is gone reads 0 ticks" test "$(ticks "$spinner")" -eq 0
check "a sum over processes that are gone is 0" test "$(sum_ticks "$spinner" "$spinner")" -eq 0

read -r pss rss < <(mem_kb "$parent")
check "a live process has PSS and RSS ($pss / $rss kB)" test "$pss" -gt 0 -a "$rss" -ge "$pss"
read -r pss rss < <(sum_mem "$parent" "$spinner")
check "a sum skips a process that is gone" test "$pss" -gt 0

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
