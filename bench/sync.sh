#!/usr/bin/env bash
# What durable commits cost on a real disk: the same replace (backups on) with and without --no-sync,
# alternating, on a tree of small files in a folder of a disk-backed file system (not tmpfs, where a
# sync costs nothing). Prints the medians and their ratio, all from the same run.
#
#   bench/sync.sh [--files 20000] [--runs 5] [--dir /var/tmp/norvik-sync-bench]
set -euo pipefail
cd "$(dirname "$0")/.."
files=20000 runs=5 dir=/var/tmp/norvik-sync-bench
while [ $# -gt 0 ]; do
    case "$1" in
        --files) files=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --dir) dir=$2; shift 2 ;;
        *) echo "usage: $0 [--files N] [--runs N] [--dir DIR]" >&2; exit 2 ;;
    esac
done
bash scripts/deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORVIK_BUILD_UI=OFF -DNORVIK_BUILD_TESTS=OFF \
    -DNORVIK_BUILD_BENCH=OFF >/dev/null
cmake --build build-bench --target norvik-cli >/dev/null
exec python3 - "$files" "$runs" "$dir" "$PWD/build-bench/bin/norvik-cli" <<'PY'
import os, shutil, statistics, subprocess, sys, time
files, runs, root, cli = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
src = os.path.join(root, "src")
if not os.path.isdir(src):
    for i in range(files):
        d = os.path.join(src, "d%03d" % (i % 200))
        os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, "f%05d.txt" % i), "w") as f:
            f.write(("line %d of a small text file\n" % i) * 20 + ("NvkToken42\n" if i % 2 == 0 else ""))
work = os.path.join(root, "work")
fs_type = subprocess.run(["stat", "-f", "-c", "%T", root], capture_output=True, text=True).stdout.strip()
times = {"durable": [], "--no-sync": []}
for r in range(runs):
    for name in (["durable", "--no-sync"] if r % 2 == 0 else ["--no-sync", "durable"]):
        shutil.rmtree(work, ignore_errors=True)
        subprocess.run(["cp", "-r", src, work], check=True)
        subprocess.run(["sync"], check=True)
        extra = [] if name == "durable" else ["--no-sync"]
        start = time.perf_counter()
        subprocess.run([cli, "replace", "--no-progress", "--no-history", "--match-case", *extra, "--find",
                        "NvkToken42", "--replace", "NvkDone42", work], check=True, stdout=subprocess.DEVNULL)
        times[name].append(time.perf_counter() - start)
shutil.rmtree(work, ignore_errors=True)
d, n = statistics.median(times["durable"]), statistics.median(times["--no-sync"])
print("%d files (half changed), backups on, %s at %s; median of %d runs" % (files, fs_type, root, runs))
print("%-28s %8.3f s" % ("replace, durable commits", d))
print("%-28s %8.3f s" % ("replace --no-sync", n))
print("%-28s %8.2f x (target <= 1.3)" % ("durable / --no-sync", d / n))
PY
