#!/usr/bin/env bash
# What the run history costs: the same replace over a corpus of small files (in memory), with and
# without the history (backups on in both), in alternating runs; then undoing a recorded run against
# `cp -r` of the tree. Prints user, system and elapsed times of each run.
#
#   bench/history.sh [norvik-cli] [files] [runs]      (defaults: build/bin/norvik-cli 20000 3)
set -euo pipefail
cli=$(realpath "${1:-build/bin/norvik-cli}")
files=${2:-20000}
runs=${3:-3}
root=$(mktemp -d /dev/shm/norvik-history-bench-XXXXXX)
trap 'rm -rf "$root"' EXIT
python3 - "$root/pristine" "$files" <<'PY'
import os, random, sys
root, n = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
words = ["alpha", "beta", "gamma", "delta", "token", "value", "data"]
for i in range(n):
    d = os.path.join(root, "d%03d" % (i % 200))
    os.makedirs(d, exist_ok=True)
    text = " ".join(rng.choice(words) for _ in range(rng.randint(100, 600)))
    with open(os.path.join(d, "f%05d.txt" % i), "w") as f:
        f.write(text + (" NvkToken42 " if i % 2 == 0 else "") + "\n")
PY
cd "$root"
job=(replace --no-progress --types '*.txt' --find NvkToken42 --replace NvkDone42)
for ((i = 0; i < runs; i++)); do
    rm -rf work history; cp -a pristine work
    /usr/bin/time -f "history on:  user %U s, system %S s, elapsed %e s" "$cli" "${job[@]}" --history-folder "$root/history" work >/dev/null
    rm -rf work; cp -a pristine work
    /usr/bin/time -f "history off: user %U s, system %S s, elapsed %e s" "$cli" "${job[@]}" --no-history work >/dev/null
done
rm -rf work history; cp -a pristine work
"$cli" "${job[@]}" --history-folder "$root/history" work >/dev/null
id=$("$cli" history --history-folder "$root/history" | cut -d' ' -f1)
/usr/bin/time -f "restore --run: user %U s, system %S s, elapsed %e s" "$cli" restore --run "$id" --history-folder "$root/history" >/dev/null
/usr/bin/time -f "cp -r:         user %U s, system %S s, elapsed %e s" cp -r work copy
