#!/usr/bin/env bash
# Whole-job speed of norvik-cli against the command-line tools people use instead, on two seeded
# corpora of mixed encodings: many small files, and a few large ones (--large files of about 20 M
# characters, the four encodings in turn, the token in every second one; 0 leaves it out). Prints
# one table per corpus of times (medians, warm cache) and ratios, all from the same run.
#
#   bench/jobs.sh [--files 20000] [--big 10] [--large 20] [--runs 5] [--dir /dev/shm/norvik-bench]
#
# Needs: python3, sed, perl, grep, and from Debian: sd, ripgrep, time (installed when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
files=20000 big=10 large=20 runs=5 dir=/dev/shm/norvik-bench
while [ $# -gt 0 ]; do
    case "$1" in
        --files) files=$2; shift 2 ;;
        --big) big=$2; shift 2 ;;
        --large) large=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --dir) dir=$2; shift 2 ;;
        *) echo "usage: $0 [--files N] [--big N] [--large N] [--runs N] [--dir DIR]" >&2; exit 2 ;;
    esac
done
need=()
for tool in sd rg /usr/bin/time; do command -v "$tool" >/dev/null || need+=("$tool"); done
if [ ${#need[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq sd ripgrep time >/dev/null
fi
bash scripts/deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORVIK_BUILD_UI=OFF -DNORVIK_BUILD_TESTS=OFF \
    -DNORVIK_BUILD_BENCH=OFF >/dev/null
cmake --build build-bench --target norvik-cli >/dev/null
export NORVIK_CLI=$PWD/build-bench/bin/norvik-cli
exec python3 - "$files" "$big" "$runs" "$dir" "$large" <<'PY'
import os, random, shutil, statistics, subprocess, sys, time

files, big, runs, root, large = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], int(sys.argv[5])
cli = os.environ["NORVIK_CLI"]
token, repl = "NvkToken42", "NvkDone42"
corpus = os.path.join(root, "corpus")
rng = random.Random(20261207)

words = ["the", "quick", "brown", "fox", "jumps", "over", "lazy", "dog", "data", "value"]
hanzi = "的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业本去把性好应开它合还因由其些然前外天政四日那社义事平形相全表间样与关各重新线内数正心反你明看原又么利比或但质气第向道命此变条只没结解问意建月公无系军很情者最立代想已通并提直题党程展五果料象员革位入常文总次品式活设及管特件长求老头基资边流路级少图山统接知较将组见计别她手角期根论运农指几九区强放决西被干做必战先回则任取据处队南给色光门即保治北造百规热领七海口东导器压志世金增争济阶油思术极交受联什认六共权收证改清己美再采转更单风切打白教速花带安场身车例真务具万每目至达走积示议声报斗完类八离华名确才科张信马节话米整空元况今集温传土许步群广石记需段研界拉林律叫且究观越织装影算低持音众书布复容儿须际商非验连断深难近矿千周委素技备半办青省列习响约支般史感劳便团往酸历市克何除消构府称太准精值号率族维划选标写存候毛亲快效斯院查江型眼王按格养易置派层片始却专状育厂京识适属圆包火住调满县局照参红细引听该铁价严"

def text(size, planted):
    parts, n = [], 0
    while n < size:
        if rng.random() < 0.7:
            w = rng.choice(words) + " "
        else:
            w = "".join(rng.choice(hanzi) for _ in range(rng.randint(2, 6)))
        parts.append(w); n += len(w)
        if rng.random() < 0.08:
            parts.append("\n")
    if planted:
        parts.insert(rng.randrange(len(parts)), " " + token + " ")
    return "".join(parts)

def encode(t, kind):
    if kind == "gbk":
        return t.replace("\n", "\r\n").encode("gbk")
    if kind == "utf8":
        return t.encode("utf-8")
    if kind == "utf8bom":
        return b"\xef\xbb\xbf" + t.encode("utf-8")
    return b"\xff\xfe" + t.encode("utf-16-le")

def build():
    if os.path.isdir(corpus) and os.path.exists(os.path.join(corpus, ".done-%d-%d" % (files, big))):
        return
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(corpus)
    kinds = ["gbk", "gbk", "gbk", "gbk", "gbk", "gbk", "utf8", "utf8bom", "utf16", "utf8"]
    for i in range(files):
        sub = os.path.join(corpus, "d%03d" % (i % 200))
        os.makedirs(sub, exist_ok=True)
        size = 20 * 1024 * 1024 if i < big else int(rng.expovariate(1 / 9000)) + 200
        with open(os.path.join(sub, "f%05d.txt" % i), "wb") as f:
            f.write(encode(text(size, i % 10 == 0), kinds[i % 10]))
    open(os.path.join(corpus, ".done-%d-%d" % (files, big)), "w").close()

largecorpus = os.path.join(root, "large")

def build_large():
    mark = os.path.join(largecorpus, ".done-%d" % large)
    if os.path.exists(mark):
        return
    shutil.rmtree(largecorpus, ignore_errors=True)
    os.makedirs(largecorpus)
    # Random chunks put together at random: as varied as the small files' text, and quick to make.
    chunks = [text(256 * 1024, False) for _ in range(48)]
    kinds = ["gbk", "utf8", "utf8bom", "utf16"]
    for i in range(large):
        parts, n = [], 0
        while n < 20 * 1000 * 1000:
            c = rng.choice(chunks); parts.append(c); n += len(c)
        if i % 2 == 0:
            parts.insert(rng.randrange(len(parts)), " " + token + " ")
        with open(os.path.join(largecorpus, "L%02d.txt" % i), "wb") as f:
            f.write(encode("".join(parts), kinds[i % 4]))
    open(mark, "w").close()

def tree_size(path):
    total = count = 0
    largest = 0
    for d, _, names in os.walk(path):
        for n in names:
            if n.startswith("."):
                continue  # the corpus's own completion mark
            s = os.path.getsize(os.path.join(d, n)); total += s; count += 1; largest = max(largest, s)
    return total, count, largest

def timed(cmd, setup=None):
    samples = []
    for _ in range(runs):
        if setup: setup()
        t0 = time.perf_counter()
        subprocess.run(cmd, shell=True, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        samples.append(time.perf_counter() - t0)
    return statistics.median(samples)

def measure(corpus, work, title, with_empties):
    total, count, largest = tree_size(corpus)
    def fresh():
        shutil.rmtree(work, ignore_errors=True)
        subprocess.run(["cp", "-r", corpus, work], check=True)
    listing = "find %s -type f -name '*.txt' -print0" % work
    # Warm the cache.
    subprocess.run("find %s -type f -exec cat {} + > /dev/null" % corpus, shell=True)
    t_cat = timed("find %s -type f -name '*.txt' -exec cat {} + > /dev/null" % corpus)
    t_grep = timed("grep -rlF %s %s" % (token, corpus))
    t_rg = timed("rg -lF %s %s" % (token, corpus))
    t_nsearch = timed("%s search --find %s %s" % (cli, token, corpus))
    t_nsearch1 = timed("%s search --jobs 1 --find %s %s" % (cli, token, corpus))
    out = subprocess.run("/usr/bin/time -f %%M %s search --find %s %s" % (cli, token, corpus),
                         shell=True, capture_output=True, text=True)
    search_kib = int(out.stderr.strip().splitlines()[-1])
    t_cp = timed("rm -rf %s && cp -r %s %s" % (work, corpus, work))
    t_sed = timed("%s | xargs -0 sed -i 's/%s/%s/g'" % (listing, token, repl), fresh)
    t_perl = timed("%s | xargs -0 perl -pi -e 's/%s/%s/g'" % (listing, token, repl), fresh)
    t_sd = timed("%s | xargs -0 sd -s %s %s" % (listing, token, repl), fresh)
    # The peers keep no undo: the comparable run records no history (its cost is the last rows).
    rep = "%s replace --no-history --match-case --find %s --replace %s" % (cli, token, repl)
    t_nrep = timed("%s --no-backup %s" % (rep, work), fresh)
    t_nrep1 = timed("%s --no-backup --jobs 1 %s" % (rep, work), fresh)
    t_nbak = timed("%s %s" % (rep, work), fresh)
    hist = os.path.join(root, "history")
    t_nhist = timed("%s replace --history-folder %s --match-case --find %s --replace %s %s" % (cli, hist, token, repl, work), fresh)
    shutil.rmtree(hist, ignore_errors=True)
    fresh()
    out = subprocess.run("/usr/bin/time -f %%M %s --no-backup %s" % (rep, work),
                         shell=True, capture_output=True, text=True)
    peak_kib = int(out.stderr.strip().splitlines()[-1])
    limit_kib = (3 * largest) // 1024 + 64 * 1024
    shutil.rmtree(work, ignore_errors=True)

    print()
    print("%s: %d files, %.0f MB, largest %.1f MB, in %s; median of %d runs" % (title, count, total / 1e6, largest / 1e6, corpus, runs))
    print("%-40s %9s  %s" % ("measure", "seconds", "ratio"))
    def row(name, t, base=None, bname=""):
        print("%-40s %9.3f  %s" % (name, t, ("%.2f x %s" % (t / base, bname)) if base else ""))
    row("cat of every file (floor)", t_cat)
    row("grep -rlF", t_grep, t_cat, "cat")
    row("rg -lF", t_rg, t_cat, "cat")
    row("norvik-cli search", t_nsearch, t_cat, "cat")
    row("norvik-cli search --jobs 1", t_nsearch1, t_nsearch, "default jobs (target >= 1.6)")
    print("%-40s %9.1f  MiB peak (target <= 16)" % ("norvik-cli search memory", search_kib / 1024))
    row("cp -r of the tree", t_cp)
    row("sed -i", t_sed, t_cp, "cp")
    row("perl -pi", t_perl, t_cp, "cp")
    row("sd", t_sd, t_cp, "cp")
    row("norvik-cli replace", t_nrep, t_cp, "cp")
    print("%-40s %9s  %.2f x sd" % ("norvik-cli replace / sd", "", t_nrep / t_sd))
    row("norvik-cli replace --jobs 1", t_nrep1, t_nrep, "default jobs (target >= 1.6)")
    row("norvik-cli replace, backups", t_nbak, t_cp, "cp")
    row("norvik-cli replace, backups, history", t_nhist, t_nbak, "without history (target <= 1.15)")
    if with_empties:
        def empties(n):
            d = os.path.join(root, "empty%d" % n)
            if not os.path.isdir(d):
                os.makedirs(d)
                for i in range(n):
                    sub = os.path.join(d, "s%03d" % (i % 100)); os.makedirs(sub, exist_ok=True)
                    open(os.path.join(sub, "e%06d.txt" % i), "w").close()
            return d
        e10, e100 = empties(10000), empties(100000)
        t_e10 = timed("%s replace --no-backup --find x --replace y %s" % (cli, e10))
        t_e100 = timed("%s replace --no-backup --find x --replace y %s" % (cli, e100))
        row("norvik-cli, 10,000 empty files", t_e10)
        row("norvik-cli, 100,000 empty files", t_e100, t_e10, "10,000 (target <= 11)")
    print("%-40s %9.1f  MiB peak; limit 3 x largest + 64 MiB = %.1f MiB (%s)" %
          ("norvik-cli replace memory", peak_kib / 1024, limit_kib / 1024, "ok" if peak_kib <= limit_kib else "OVER"))

build()
if large > 0:
    build_large()
measure(corpus, os.path.join(root, "work"), "small files", True)
if large > 0:
    measure(largecorpus, os.path.join(root, "largework"), "large files", False)
PY
