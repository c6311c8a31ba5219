#!/usr/bin/env python3
"""Speed benchmark of tarnwick-cli on synthetic Poser libraries, each case beside its floor.

    python3 bench/run.py                  # all eight cases, full sizes
    python3 bench/run.py --quick          # smaller trees and fewer runs
    python3 bench/run.py --write-results  # also record the figures in bench/results.md

Builds tarnwick-cli in Release (build/bench), generates the trees under bench/work/ (reused
while their generator arguments are unchanged), and measures whole processes: the median of
several runs after one warm-up, wall and CPU (user + system) seconds, and peak resident
memory. Files are in the page cache for the program and its floor alike.

  1 check only: folder run (--root, --yes) over a library where nothing needs repair;
    floor: grep -r -c -i -E '\.obj[[:space:]]*$' over the same tree, its counts written to a
    file (the line scanning that the check shares with the report must keep up with grep).
  2 repair: every file holds one prefix-notation reference, so every file is rewritten
    (no prompt); each run gets its own fresh copy of the pristine tree, synced before the
    run; floor: cp -r of the pristine tree plus one sync. The share of the per-file flush
    is measured by runs with fsync made a no-op through LD_PRELOAD (bench/nofsync.c; the
    program itself always flushes) and by strace's time inside fsync.
  3 scaling: case 1 at three sizes; the time per MB must stay flat.
  4 one large .pz3 scene, single-file run; floor: grep -c on it.
  5 library report (--report --json) over the 20,000-file tree of case 3, read in parallel,
    and over the trees shaped like real documents (--real-shape, 1,000 files of 300 KB,
    --short-lines, 5,000 files of 12.5-byte lines, and --broken-library, the real-shaped
    documents without their meshes and textures: nearly every reference built-in, the rest
    missing); floor: rg -uu -c -i '\.ob[jz]' over the same tree; peak memory under 64 MB.
    Case 1 runs on the real-shaped tree too.
  6 library report on one 1 GB scene saved compressed (.pzz, gzip level 9); floor: the
    pipeline gzip -dc FILE | rg -c -i '\.ob[jz]', timed whole through sh -c; peak memory
    under 64 MB.
  7 library report over a tree of case 5's size where a tenth of the references are moved
    (each moved mesh lies under Runtime/Geometries/Relocated, its only namesake), so the
    name index is built; floor: case 5's report, timed in the same pairs.
  8 extended repair (--modern --root --yes) of compressed files (.crz .ppz .hrz .pzz), a tenth
    of which hold one prefix-notation reference and are rewritten compressed, with a backup;
    the others are read and left alone; floor: cp -r + sync as in case 2, and the ratio is
    shown beside case 2's. The same fsync-free runs as case 2.
  9 library report over a sparse library (5,000 files, one or two references each) and over
    case 5's two shaped trees, warm and cold (the page cache emptied before every run of the
    program and of its floor alike); floor: rg as in case 5.
  u undo of an extended run that changed every file of case 2's tree; floor: cp -r + sync.
  m move (--move) of a folder of 2,000 textures used by 5,000 material documents, within one
    file system: every document rewritten; floor: the report of the same library plus mv of
    the folder, in the same rounds, each on a fresh copy; the same fsync-free runs as case 2;
    beside it, cp -r + sync of the 5,000 documents, what writing them alone costs.
  i install of a product zip of 20,000 files (1 GB unpacked) into an empty content folder;
    floor: unzip -q -o of the same zip plus sync; then each install taken back (--undo)
    against rm -rf of an unzipped copy plus sync. Peak memory under 64 MB.
Every case checks its results against the generator's manifest: the report's JSON counts,
grep's and rg's counts, and the run log and backups of a repair.
"""

import argparse
import datetime
import gzip
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
WORK = os.path.join(HERE, "work")
BUILD = os.path.join(REPO, "build", "bench")
CLI = os.path.join(BUILD, "cli", "tarnwick-cli")
NOFSYNC = os.path.join(BUILD, "libnofsync.so")
RUSAGE = os.path.join(BUILD, "rusage")
RESULTS = os.path.join(HERE, "results.md")
# A reference line as grep sees it in a CR LF file: ".obj", the carriage return, the end.
OBJ_LINE = "\\.obj\r$"
# The check's floor: a line ending in ".obj" in any letter case, blanks (the CR too) after it.
CHECK_FLOOR = ["grep", "-r", "-c", "-i", "-E", "\\.obj[[:space:]]*$"]
# The report's floor: every line naming an OBJ or OBZ mesh, hidden and ignored files too.
REPORT_PATTERN = "\\.ob[jz]"

# The tree shaped like real documents: 1,000 files of 300 KB on average, as the 59 public
# documents measured (18 MB) average 305 KB.
REAL_SHAPE_AVG_KB = 300
# What each shaped tree's rows add to their input column.
SHAPE_NOTES = {}
TARGETS = {"1": 1.0, "2": 2.0, "3": 0.20, "4": 1.5, "5": 1.0, "6": 1.0, "7": 1.5, "9": 1.0}
MEMORY_TARGET_MB = 16
REPORT_MEMORY_TARGET_MB = 64
# The report's exit status when something is moved or missing.
REPORT_BROKEN = 3
ALL_CASES = "123456789uczmi"


def sh(cmd, **kw):
    return subprocess.run(cmd, check=True, **kw)


def build(cli):
    global CLI
    os.makedirs(BUILD, exist_ok=True)
    sh(["cc", "-shared", "-fPIC", "-O2", "-o", NOFSYNC, os.path.join(HERE, "nofsync.c")])
    sh(["cc", "-O2", "-o", RUSAGE, os.path.join(HERE, "rusage.c")])
    if cli:
        CLI = os.path.abspath(cli)
        return
    sh(["cmake", "-S", REPO, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release", "-DTARNWICK_TESTS=OFF"],
       stdout=subprocess.DEVNULL)
    # Two jobs: the machine has two cores and is shared.
    sh(["cmake", "--build", BUILD, "--target", "tarnwick-cli", "--parallel", "2"], stdout=subprocess.DEVNULL)


def tree(name, *gen_args):
    """The generated tree `name` under bench/work, made again when its arguments changed."""
    path = os.path.join(WORK, name)
    manifest = path + ".manifest.json"
    cmd = [sys.executable, os.path.join(HERE, "gen_poser_tree.py"), path] + [str(a) for a in gen_args]
    stamp = path + ".cmd"
    if not (os.path.exists(manifest) and os.path.exists(stamp) and open(stamp).read() == " ".join(cmd[2:])
            and "builtin" in open(manifest).read()):  # a manifest from before the report cases counts less
        if os.path.exists(path):
            remove_tree(path)
        sh(cmd)
        # Written back now, so that the write-back does not run during the timed runs.
        sh(["sync"])
        with open(stamp, "w") as f:
            f.write(" ".join(cmd[2:]))
    with open(manifest) as f:
        info = json.load(f)
    info["path"] = path
    info["mb"] = info["poser_bytes"] / 1e6
    info["disk_mb"] = info["disk_bytes"] / 1e6
    return info


class Sample:
    def __init__(self, wall, cpu, rss_kb):
        self.wall, self.cpu, self.rss_kb = wall, cpu, rss_kb


def measure(cmd, cwd=WORK, env=None, stdout=subprocess.DEVNULL, status=0):
    """Runs `cmd` once: wall seconds, CPU seconds of it and its children, peak RSS. The
    command must end with exit status `status`."""
    figures = os.path.join(WORK, "rusage.out")
    p = subprocess.run([RUSAGE, figures] + cmd, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=stdout)
    if p.returncode != status:
        raise RuntimeError("%s failed with %d" % (" ".join(cmd), p.returncode))
    with open(figures) as f:
        wall, cpu, rss_kb = f.read().split()
    return Sample(float(wall), float(cpu), int(rss_kb))


class Series:
    def __init__(self, samples):
        self.samples = samples
        self.wall = statistics.median(s.wall for s in samples)
        self.cpu = statistics.median(s.cpu for s in samples)
        self.rss_mb = max(s.rss_kb for s in samples) / 1024


def paired(runs, prog, floor, min_seconds=0.0):
    """One warm-up of each, then `runs` timed runs of each (more when a run is so short that
    they would take less than `min_seconds`), taken in turn so that a change in the
    machine's load touches both alike."""
    warm = prog().wall
    floor()
    runs = max(runs, min(60, int(min_seconds / max(warm, 1e-3))))
    samples = ([], [])
    for _ in range(runs):
        samples[0].append(prog())
        samples[1].append(floor())
    return Series(samples[0]), Series(samples[1])


def run_folder_dir():
    d = os.path.join(WORK, "run")
    os.makedirs(d, exist_ok=True)
    return d


def corrected_files(run_dir):
    with open(os.path.join(run_dir, "__result_of_run.txt"), "rb") as f:
        return f.read().count(b" being corrected: old version is on")


def cli_cmd(root, target):
    return [CLI, "--root", root, "--yes", target]


def grep_count(out_path):
    """The sum of the counts that grep -c or rg -c wrote, one "FILE:N" or "N" a line."""
    with open(out_path) as f:
        return sum(int(line.rsplit(":", 1)[1]) if ":" in line else int(line) for line in f if line.strip())


def check_case(t, runs):
    """Case 1 on tree `t`: the folder run against grep -r -c."""
    run_dir = run_folder_dir()
    grep_out = os.path.join(WORK, "grep.out")
    env = dict(os.environ, LC_ALL="C")

    def prog():
        return measure(cli_cmd(t["path"], t["path"]), cwd=run_dir)

    def floor():
        # Not to /dev/null: GNU grep stops at the first match when its output is discarded.
        with open(grep_out, "w") as out:
            return measure(CHECK_FLOOR + [t["path"]], env=env, stdout=out)

    p, f = paired(runs, prog, floor, min_seconds=4.0)
    if corrected_files(run_dir) != 0:
        raise RuntimeError("the check-only run changed files in %s" % t["path"])
    if grep_count(grep_out) != t["references"]:
        raise RuntimeError("grep found %d reference lines, the generator wrote %d" % (grep_count(grep_out),
                                                                                       t["references"]))
    return {"prog": p, "floor": f, "mb": t["mb"], "files": t["poser_files"]}


DELETED_STAMP = os.path.join(WORK, "last-delete")


def remove_tree(path):
    if os.path.exists(path):
        shutil.rmtree(path)
        with open(DELETED_STAMP, "w"):
            pass


def wait_after_deletes(seconds=370):
    if os.path.exists(DELETED_STAMP):
        left = seconds - (time.time() - os.path.getmtime(DELETED_STAMP))
        if left > 0:
            print("waiting %.0f s until this benchmark's last deletion is six minutes old" % left, file=sys.stderr)
            time.sleep(left)


# Case 2's copies, and case 8's.
REPAIR_COPIES = os.path.join(WORK, "repair")
COMPRESSED_REPAIR_COPIES = os.path.join(WORK, "repair-compressed")
UNDO_COPIES = os.path.join(WORK, "undo")


def repair_case(t, runs, copies=REPAIR_COPIES, options=(), check=None):
    """Case 2 (and 8): the files holding a prefix-notation reference rewritten, against
    cp -r plus sync. `options` go before --root; `check(tree_copy)` looks at a repaired copy."""
    run_dir = run_folder_dir()
    remove_tree(copies)
    os.makedirs(copies)
    rounds = runs + 1  # the first is the warm-up
    # Every run gets a fresh copy of the pristine tree and every floor a new target, all
    # made before any is timed, and nothing is deleted until the end of the benchmark: ext4
    # without a journal skips the inodes of files deleted in the last minute (six, while the
    # inode table block is dirty) when it allocates new ones, reading the inode table for
    # each, and that scan would be charged to whoever creates files next.
    for kind in ("flush", "no-flush"):
        for k in range(rounds):
            sh(["cp", "-a", t["path"], os.path.join(copies, "%s-%d" % (kind, k))])
    sh(["sync"])
    wait_after_deletes()
    no_flush_env = dict(os.environ, LD_PRELOAD=NOFSYNC)

    def prog(kind, k, env=None):
        sh(["sync"])
        tree_copy = os.path.join(copies, "%s-%d" % (kind, k))
        s = measure([CLI] + list(options) + cli_cmd(tree_copy, tree_copy)[1:], cwd=run_dir, env=env)
        if corrected_files(run_dir) != t["repair_files"]:
            raise RuntimeError("expected %d repaired files, the log says %d" % (t["repair_files"],
                                                                                 corrected_files(run_dir)))
        if check and k == 0 and kind == "flush":
            check(tree_copy)
        return s

    def floor(k):
        sh(["sync"])
        return measure(["sh", "-c", 'cp -r "$0" "$1" && sync', t["path"], os.path.join(copies, "floor-%d" % k)])

    samples = {"prog": [], "no_fsync": [], "floor": []}
    # Interleaved, so that a change in the machine's load touches all three alike.
    for k in range(rounds):
        taken = {"prog": prog("flush", k), "no_fsync": prog("no-flush", k, no_flush_env), "floor": floor(k)}
        if k > 0:
            for name, s in taken.items():
                samples[name].append(s)
    result = {name: Series(s) for name, s in samples.items()}
    result.update(mb=t["mb"], files=t["poser_files"], repaired=t["repair_files"], disk_mb=t["disk_mb"])
    if shutil.which("strace"):
        tree_copy = os.path.join(copies, "strace")
        sh(["cp", "-a", t["path"], tree_copy])
        sh(["sync"])
        trace = os.path.join(WORK, "strace.txt")
        sh(["strace", "-f", "-c", "-w", "-e", "trace=fsync,fdatasync", "-o", trace, CLI] + list(options) +
           cli_cmd(tree_copy, tree_copy)[1:],
           cwd=run_dir, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        with open(trace) as fh:
            for line in fh:
                m = re.match(r"\s*[\d.]+\s+([\d.]+)\s+\d+\s+(\d+)\s+(?:\d+\s+)?(fsync|fdatasync)\s*$", line)
                if m:
                    result["strace_fsync_s"] = result.get("strace_fsync_s", 0) + float(m.group(1))
                    result["strace_fsync_calls"] = result.get("strace_fsync_calls", 0) + int(m.group(2))
    return result


def scene_case(t, runs):
    """Case 4: a single-file run on one large scene, against grep -c on it."""
    run_dir = run_folder_dir()
    scene = os.path.join(t["path"], t["scene"])
    grep_out = os.path.join(WORK, "grep.out")
    env = dict(os.environ, LC_ALL="C")

    def floor():
        with open(grep_out, "w") as out:
            return measure(["grep", "-c", OBJ_LINE, scene], env=env, stdout=out)

    p, f = paired(runs, lambda: measure(cli_cmd(t["path"], scene), cwd=run_dir), floor)
    if corrected_files(run_dir) != 0:  # "no alterations"
        raise RuntimeError("the single-file run changed %s" % scene)
    if grep_count(grep_out) != t["references"]:
        raise RuntimeError("grep count differs from the generator's")
    return {"prog": p, "floor": f, "mb": t["mb"], "files": 1}


def report_cmd(t, target=None, as_json=True):
    return [CLI, "--report", "--root", t["path"]] + (["--json"] if as_json else []) + [target or t["path"]]


def report_status(t):
    return REPORT_BROKEN if t.get("moved", 0) + t.get("broken", 0) else 0


def check_report_json(path, t):
    """The report's counts against what the generator wrote into tree `t`."""
    with open(path) as f:
        doc = json.load(f)
    refs, files = doc["references"], doc["files"]
    # Image files named by a tree shaped like real documents: found, but where the documents
    # came without them (a broken library).
    images = t.get("images", 0)
    images_missing = t.get("images_missing", 0)
    good = t["references"] - t["broken"] - t["moved"] + images - images_missing
    want = {"read": (files["read"], t["poser_files"]),
            "compressed": (files["compressed"], t["poser_files"] if t["args"].get("compress") else 0),
            "unreadable": (len(files["unreadable"]), 0),
            "total": (refs["total"], t["references"] + t["builtin"] + images),
            "builtin": (refs["builtin"], t["builtin"]),
            "ok": (refs["ok"], good),
            "moved": (refs["moved"], t["moved"]),
            "missing": (refs["missing"], t["broken"] + images_missing)}
    wrong = ["%s %d, the generator wrote %d" % (k, got, wanted) for k, (got, wanted) in want.items() if got != wanted]
    # Each moved mesh has exactly one namesake under the root: the relocated file.
    for p in doc["problems"]:
        if p["status"] == "moved" and not (len(p["candidates"]) == 1 and "Relocated" in p["candidates"][0]):
            wrong.append("%s: candidates %s" % (p["target"], p["candidates"]))
            break
    if wrong:
        raise RuntimeError("the report of %s: %s" % (t["path"], "; ".join(wrong)))


def check_count(out_path, t, tool):
    if grep_count(out_path) != t["references"]:
        raise RuntimeError("%s found %d reference lines, the generator wrote %d" % (tool, grep_count(out_path),
                                                                                   t["references"]))


def report_case(t, runs, as_json=True):
    """Case 5: the report over a library (as JSON, or as text), against rg -uu -c over the same
    tree. The text's counts are those of a JSON report made after it."""
    report_out = os.path.join(WORK, "report.json" if as_json else "report.txt")
    rg_out = os.path.join(WORK, "rg.out")

    def prog():
        with open(report_out, "w") as out:
            return measure(report_cmd(t, as_json=as_json), stdout=out, status=report_status(t))

    def floor():
        with open(rg_out, "w") as out:
            return measure(["rg", "-uu", "-c", "-i", REPORT_PATTERN, t["path"]], stdout=out)

    p, f = paired(runs, prog, floor, min_seconds=4.0)
    if not as_json:
        report_out = os.path.join(WORK, "report.json")
        with open(report_out, "w") as out:
            measure(report_cmd(t), stdout=out, status=report_status(t))
    check_report_json(report_out, t)
    check_count(rg_out, t, "rg")
    return {"prog": p, "floor": f, "mb": t["mb"], "files": t["poser_files"]}


def drop_caches():
    """True when the page cache could be emptied (root only)."""
    subprocess.run(["sync"])
    try:
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False


def shaped_report_case(trees, runs, warm=True):
    """Case 9: the report over each of `trees` (name: tree) against rg, warm (unless `warm` is
    false) and, where the page cache can be emptied, cold."""
    return {name: sparse_report_case(t, runs, warm) for name, t in trees.items()}


def sparse_report_case(t, runs, warm=True):
    """The report over one library against rg, warm and, where the page cache can be
    emptied, cold (the cache emptied before every run of either)."""
    results = {"warm": report_case(t, runs)} if warm else {}
    if drop_caches():
        def cold(run):
            def timed():
                drop_caches()
                return run()
            return timed

        report_out = os.path.join(WORK, "report.json")

        def prog():
            with open(report_out, "w") as out:
                return measure(report_cmd(t), stdout=out, status=report_status(t))

        def floor():
            return measure(["rg", "-uu", "-c", "-i", REPORT_PATTERN, t["path"]])

        p, f = paired(max(3, runs // 2), cold(prog), cold(floor))
        results["cold"] = {"prog": p, "floor": f, "mb": t["mb"], "files": t["poser_files"]}
    return results


def compressed_scene_case(t, runs):
    """Case 6: the report on one compressed scene, against gzip -dc piped into rg -c."""
    scene = os.path.join(t["path"], t["scene"])
    report_out = os.path.join(WORK, "report.json")
    rg_out = os.path.join(WORK, "rg.out")

    def prog():
        with open(report_out, "w") as out:
            return measure(report_cmd(t, scene), stdout=out, status=report_status(t))

    def floor():
        with open(rg_out, "w") as out:
            return measure(["sh", "-c", 'gzip -dc "$0" | rg -c -i "$1"', scene, REPORT_PATTERN], stdout=out)

    p, f = paired(runs, prog, floor)
    check_report_json(report_out, t)
    check_count(rg_out, t, "gzip -dc | rg")
    return {"prog": p, "floor": f, "mb": t["mb"], "files": 1, "disk_mb": t["disk_mb"]}


def moved_report_case(moved, plain, runs):
    """Case 7: the report over a library with moved meshes, against the report over the
    same-sized library without (case 5's program), in the same pairs."""
    moved_out = os.path.join(WORK, "report-moved.json")
    plain_out = os.path.join(WORK, "report.json")

    def prog():
        with open(moved_out, "w") as out:
            return measure(report_cmd(moved), stdout=out, status=report_status(moved))

    def floor():
        with open(plain_out, "w") as out:
            return measure(report_cmd(plain), stdout=out, status=report_status(plain))

    p, f = paired(runs, prog, floor, min_seconds=4.0)
    check_report_json(moved_out, moved)
    check_report_json(plain_out, plain)
    return {"prog": p, "floor": f, "mb": moved["mb"], "files": moved["poser_files"], "moved": moved["moved"],
            "references": moved["references"]}


def repaired_pairs(tree_copy):
    """Each repaired file of `tree_copy` with its old version: in the run folders, or (from a
    tarnwick-cli older than the run folders) beside it."""
    runs = os.path.join(tree_copy, "tarnwick-runs")
    if os.path.isdir(runs):
        for run in os.listdir(runs):
            for folder, _, names in os.walk(os.path.join(runs, run)):
                for name in names:
                    if name != "manifest.json":
                        backup = os.path.join(folder, name)
                        yield os.path.join(tree_copy, os.path.relpath(backup, os.path.join(runs, run))), backup
        return
    for folder, _, names in os.walk(os.path.join(tree_copy, "Runtime", "Libraries")):
        for name in names:
            stem, ext = os.path.splitext(name)
            if stem.endswith("_zz00"):
                yield os.path.join(folder, stem[:-len("_zz00")] + ext), os.path.join(folder, name)


def check_compressed_repair(t):
    """After case 8's run on `tree_copy`: each file that needed a repair has its old bytes
    kept, and is itself still compressed with no prefix-notation pointer."""
    def check(tree_copy):
        repaired = 0
        for path, backup in repaired_pairs(tree_copy):
            repaired += 1
            with open(path, "rb") as f:
                data = f.read()
            if data[:2] != b"\x1f\x8b" or b" Runtime:Geometries:" in gzip.decompress(data):
                raise RuntimeError("%s was not written back compressed with every pointer repaired" % path)
            with open(backup, "rb") as f:
                if b" Runtime:Geometries:" not in gzip.decompress(f.read()):
                    raise RuntimeError("the old version %s does not hold the old text" % backup)
        if repaired != t["repair_files"]:
            raise RuntimeError("%d old versions, the generator made %d files to repair" % (repaired, t["repair_files"]))
    return check


def compressed_repair_case(t, runs):
    """Case 8: the extended repair of compressed files, a tenth of them rewritten."""
    return repair_case(t, runs, COMPRESSED_REPAIR_COPIES, ["--modern"], check_compressed_repair(t))


def undo_case(t, runs):
    """Case u: --undo of an extended run that changed every file of the tree, against cp -r
    plus sync of the tree."""
    run_dir = run_folder_dir()
    remove_tree(UNDO_COPIES)
    remove_tree(MOVE_COPIES)
    os.makedirs(UNDO_COPIES)
    rounds = runs + 1
    for k in range(rounds):
        tree_copy = os.path.join(UNDO_COPIES, "undo-%d" % k)
        sh(["cp", "-a", t["path"], tree_copy])
        sh([CLI, "--modern", "--root", tree_copy, "--yes", tree_copy], cwd=run_dir, stdout=subprocess.DEVNULL)
    sh(["sync"])

    def floor(k):
        sh(["sync"])
        return measure(["sh", "-c", 'cp -r "$0" "$1" && sync', t["path"], os.path.join(UNDO_COPIES, "floor-%d" % k)])

    result = rounds_of(rounds, prog=lambda k: measured_undo(os.path.join(UNDO_COPIES, "undo-%d" % k), t["repair_files"]),
                       floor=floor)
    result.update(mb=t["mb"], files=t["poser_files"], restored=t["repair_files"])
    return result


def measured_undo(root, files):
    """--undo of the last run below `root`, which must give back `files` files."""
    out_path = os.path.join(WORK, "undo.out")
    sh(["sync"])
    with open(out_path, "w") as out:
        s = measure([CLI, "--undo", "--root", root], stdout=out)
    with open(out_path) as f:
        last = f.read().splitlines()[-1]
    if last != "%d files restored, 0 left alone" % files:
        raise RuntimeError("the undo said: %s" % last)
    return s


def rounds_of(rounds, **takers):
    """Each taker (prog, floor, ...) called with k in turn for each round k, each on its own copy;
    the first round warms up."""
    samples = {name: [] for name in takers}
    for k in range(rounds):
        taken = {name: take(k) for name, take in takers.items()}
        if k > 0:
            for name, s in taken.items():
                samples[name].append(s)
    return {name: Series(s) for name, s in samples.items()}


def machine():
    def out(cmd):
        try:
            return subprocess.run(cmd, capture_output=True, text=True).stdout.strip()
        except OSError:
            return "?"

    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    mem_kb = next(int(l.split()[1]) for l in open("/proc/meminfo") if l.startswith("MemTotal"))
    fs = out(["findmnt", "-no", "SOURCE,FSTYPE,OPTIONS", "-T", WORK])
    dev = fs.split()[0] if fs else ""
    disk = out(["lsblk", "-dno", "NAME,SIZE,ROTA,MODEL", dev]) if dev.startswith("/dev/") else ""
    compiler = out(["c++", "--version"]).splitlines()
    return [
        ("CPU", "%s, %d logical cores" % (cpu, os.cpu_count())),
        ("Memory", "%.1f GiB" % (mem_kb / 1024 / 1024)),
        ("Kernel", "%s %s" % (platform.system(), platform.release())),
        ("Disk / file system", "%s%s" % (fs, " (%s; ROTA=1 means rotational)" % disk if disk else "")),
        ("Compiler", compiler[0] if compiler else "?"),
    ]


# --- Collect a scene into a zip (case c), and report on a product zip (case z) ---------------
# A scene of many figures, each with its mesh, two textures and a morph file, about 1 GB in all,
# generated here; the scene names each figure's mesh and textures and loads its .cr2, whose own
# references are followed in turn. Case c collects it into one zip against `zip -r -q` of the
# same files; case z reports on that zip against `unzip -p ZIP | rg -c -i '\.ob[jz]'`.
COLLECT_CASES = "cz"
COLLECT_TARGETS = {"c": 1.0, "z": 1.0}


def collect_scene(mb):
    """The scene's library under bench/work: made again when its size changed. Meshes are text
    as Poser writes it (compressed by deflate about threefold), textures random bytes as JPEG
    data is (stored)."""
    path = os.path.join(WORK, "collect-%d" % mb)
    figures = max(2, mb // 9)
    stamp = path + ".cmd"
    if os.path.exists(stamp) and open(stamp).read() == str(figures):
        return {"path": path, "figures": figures, "scene": os.path.join(path, "Runtime/Libraries/Scenes/bench/crowd.pz3")}
    if os.path.exists(path):
        remove_tree(path)
    import random
    rnd = random.Random(7)
    blocks = ["".join("v %.6f %.6f %.6f\n" % (rnd.uniform(-1, 1), rnd.uniform(-1, 1), rnd.uniform(-1, 1))
                      for _ in range(28000)).encode() for _ in range(8)]
    scene = ["{", "version", "\t{", "\tnumber 4.01", "\t}"]
    for k in range(figures):
        name = "fig%03d" % k
        for rel, data in ((f"Runtime/Geometries/bench/{name}/{name}.obj", b"".join(blocks[(k + j) % 8] for j in range(5))),
                          (f"Runtime/Textures/bench/{name}/skin.jpg", rnd.randbytes(2 << 20)),
                          (f"Runtime/Textures/bench/{name}/bump.jpg", rnd.randbytes(2 << 20)),
                          (f"Runtime/Libraries/Character/bench/{name}.pmd", rnd.randbytes(64 << 10)),
                          (f"Runtime/Libraries/Character/bench/{name}.cr2",
                           ("{\r\nfigureResFile :Runtime:Geometries:bench:%s:%s.obj\r\n"
                            "morphBinaryFile :Runtime:Libraries:Character:bench:%s.pmd\r\n"
                            "textureMap \"bench:%s:skin.jpg\"\r\n}\r\n" % (name, name, name, name)).encode())):
            os.makedirs(os.path.dirname(os.path.join(path, rel)), exist_ok=True)
            with open(os.path.join(path, rel), "wb") as f:
                f.write(data)
        scene += ["figureResFile :Runtime:Geometries:bench:%s:%s.obj" % (name, name),
                  "readScript \":Runtime:Libraries:Character:bench:%s.cr2\"" % name,
                  "\ttextureMap \"bench:%s:skin.jpg\"" % name, "\tbumpMap :Runtime:Textures:bench:%s:bump.jpg" % name]
    scene_path = os.path.join(path, "Runtime/Libraries/Scenes/bench/crowd.pz3")
    os.makedirs(os.path.dirname(scene_path), exist_ok=True)
    with open(scene_path, "w", newline="\r\n") as f:
        f.write("\n".join(scene + ["}"]) + "\n")
    sh(["sync"])
    with open(stamp, "w") as f:
        f.write(str(figures))
    return {"path": path, "figures": figures, "scene": scene_path}


def tree_mb(path):
    return sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(path) for f in fs) / 1e6


def collect_case(t, runs):
    """Case c: the scene collected into one zip, against zip -r -q of the same files."""
    out, floor_out = os.path.join(WORK, "collected.zip"), os.path.join(WORK, "zipped.zip")

    def prog():
        if os.path.exists(out):
            os.remove(out)
        return measure([CLI, "--collect", out, "--root", t["path"], t["scene"]])

    def floor():
        if os.path.exists(floor_out):
            os.remove(floor_out)
        return measure(["zip", "-r", "-q", floor_out, "Runtime"], cwd=t["path"])

    p, f = paired(runs, prog, floor)
    import zipfile
    with zipfile.ZipFile(out) as z:
        names = z.namelist()
        listing = z.read("collect.txt").decode()
    # Per figure: mesh, two textures, morph file, .cr2; then the scene and collect.txt.
    if len(names) != 5 * t["figures"] + 2 or " 0 references missing" not in listing.splitlines()[0]:
        raise RuntimeError("the collected zip holds %d entries, not %d: %s" % (
            len(names), 5 * t["figures"] + 2, listing.splitlines()[0]))
    return {"prog": p, "floor": f, "mb": tree_mb(t["path"]), "files": len(names) - 1, "zip": out}


def zip_report_case(zip_path, figures, runs):
    """Case z: the report on the collected zip as a product, against unzip -p | rg -c -i."""
    report_out, rg_out = os.path.join(WORK, "zip-report.json"), os.path.join(WORK, "zip-rg.out")

    def prog():
        with open(report_out, "w") as o:
            return measure([CLI, "--report", "--json", zip_path], stdout=o)

    def floor():
        with open(rg_out, "w") as o:
            return measure(["sh", "-c", "unzip -p \"$0\" | rg -c -i '%s'" % REPORT_PATTERN, zip_path], stdout=o)

    p, f = paired(runs, prog, floor)
    with open(report_out) as fh:
        doc = json.load(fh)
    if doc["files"]["read"] != figures + 1 or doc["problems"] or doc["product"]["package"]:
        raise RuntimeError("the report of the zip: %d documents read, problems %s" % (doc["files"]["read"], doc["problems"]))
    return {"prog": p, "floor": f, "mb": os.path.getsize(zip_path) / 1e6, "files": doc["files"]["read"]}


def collect_rows(results, line):
    """The table rows of cases c and z, by rows()'s `line`."""
    for case, what, floor_name in (("c", "collect, %d files into one zip", "zip -r -q"),
                                   ("z", "report on a product zip, %d documents", "unzip -p \\| rg -c -i")):
        if case in results:
            r = results[case]
            ratio = r["prog"].wall / r["floor"].wall
            line(case + (" collect" if case == "c" else " zip report"), what % r["files"], r, r["prog"], floor_name,
                 r["floor"], "target ≤ %.1f× %s, peak < %d MB %s" % (
                     COLLECT_TARGETS[case], verdict(ratio <= COLLECT_TARGETS[case]), REPORT_MEMORY_TARGET_MB,
                     verdict(r["prog"].rss_mb < REPORT_MEMORY_TARGET_MB)))


def collect_cases(cases, runs, scene_mb):
    """Cases c and z, as asked for."""
    results = {}
    if not cases & set(COLLECT_CASES):
        return results
    t = collect_scene(scene_mb)
    print("case c: collect a scene into a zip", file=sys.stderr)
    results["c"] = collect_case(t, runs)
    if "z" in cases:
        print("case z: report on a product zip", file=sys.stderr)
        results["z"] = zip_report_case(results["c"]["zip"], t["figures"], runs)
    if "c" not in cases:
        del results["c"]
    return results
# --- end of cases c and z ----------------------------------------------------------------------


# --- Move a folder with every reference following (case m) -----------------------------------
# 2,000 textures in one folder, and 5,000 material documents (each about 3 KB, as Poser's .mt5
# files are) naming two of them each, one in colon notation and one quoted from the textures
# folder; generated here. Each round moves the folder of a fresh copy, and the floor reports on
# another fresh copy and renames its folder with mv.
MOVE_TARGET = 1.5
MOVE_COPIES = os.path.join(WORK, "move")


def move_library(textures, documents):
    path = os.path.join(WORK, "move-%d-%d" % (textures, documents))
    stamp = path + ".cmd"
    if os.path.exists(stamp) and open(stamp).read() == "2":
        return {"path": path, "textures": textures, "documents": documents}
    if os.path.exists(path):
        remove_tree(path)
    import random
    rnd = random.Random(11)
    tex = os.path.join(path, "Runtime/Textures/bench")
    os.makedirs(tex)
    for k in range(textures):
        with open(os.path.join(tex, "tex%04d.jpg" % k), "wb") as f:
            f.write(rnd.randbytes(16 << 10))
    mats = os.path.join(path, "Runtime/Libraries/Materials/bench")
    os.makedirs(mats)
    filler = "".join("\t\tnode \"PoserSurface\" \"PoserSurface_%d\"\n\t\t\t{\n\t\t\tinput \"Diffuse_Color\"\n"
                     "\t\t\t\t{\n\t\t\t\tvalue 0.8 0.8 0.8\n\t\t\t\t}\n\t\t\t}\n" % k for k in range(20))
    for k in range(documents):
        a, b = k % textures, (k * 7 + 3) % textures
        text = ("{\nversion\n\t{\n\tnumber 6\n\t}\nmat skin%d\n\t{\n\ttextureMap :Runtime:Textures:bench:tex%04d.jpg\n"
                "\tbumpMap \"bench:tex%04d.jpg\"\n\tshaderTree\n\t\t{\n%s\t\t}\n\t}\n}\n" % (k, a, b, filler))
        with open(os.path.join(mats, "mat%05d.mt5" % k), "w", newline="\r\n") as f:
            f.write(text)
    sh(["sync"])
    with open(stamp, "w") as f:
        f.write("2")
    return {"path": path, "textures": textures, "documents": documents}


def move_case(t, runs):
    """Case m: --move of the textures folder, against the report of the same library plus mv."""
    remove_tree(MOVE_COPIES)
    os.makedirs(MOVE_COPIES)
    rounds = runs + 1
    for k in range(rounds):
        for side in ("move", "no-flush", "floor"):
            sh(["cp", "-a", t["path"], os.path.join(MOVE_COPIES, "%s-%d" % (side, k))])
    # The move creates a file for each document, which ext4 makes slowly while inodes freed in the
    # last minutes are about: as case 2, it waits until this benchmark's last deletion is old.
    sh(["sync"])
    wait_after_deletes()
    out_path = os.path.join(WORK, "move.out")
    want = "moved %d files from %%s to %%s; %d references rewritten in %d documents" % (
        t["textures"], 2 * t["documents"], t["documents"])

    def prog(k, side="move", env=None):
        root = os.path.join(MOVE_COPIES, "%s-%d" % (side, k))
        src, dst = os.path.join(root, "Runtime/Textures/bench"), os.path.join(root, "Runtime/Textures/moved")
        sh(["sync"])
        with open(out_path, "w") as out:
            s = measure([CLI, "--move", "--root", root, src, dst], env=env, stdout=out)
        with open(out_path) as f:
            last = f.read().splitlines()[-1]
        if last != want % (src, dst):
            raise RuntimeError("the move said: %s" % last)
        with open(os.path.join(root, "Runtime/Libraries/Materials/bench/mat00001.mt5"), "rb") as f:
            if b"textureMap :Runtime:Textures:moved:tex0001.jpg\r\n" not in f.read():
                raise RuntimeError("the move did not rewrite mat00001.mt5")
        return s

    def floor(k):
        root = os.path.join(MOVE_COPIES, "floor-%d" % k)
        sh(["sync"])
        return measure(["sh", "-c", '"$0" --report --root "$1" "$1" >/dev/null && mv "$1/Runtime/Textures/bench" "$1/Runtime/Textures/moved"',
                        CLI, root])

    # What writing the documents alone costs: cp -r of them plus one sync, as case 2's floor.
    def documents_copy(k):
        sh(["sync"])
        return measure(["sh", "-c", 'cp -r "$0" "$1" && sync', os.path.join(t["path"], "Runtime/Libraries/Materials"),
                        os.path.join(MOVE_COPIES, "documents-%d" % k)])

    no_flush_env = dict(os.environ, LD_PRELOAD=NOFSYNC)
    result = rounds_of(rounds, prog=prog, no_fsync=lambda k: prog(k, "no-flush", no_flush_env), floor=floor,
                       documents_copy=documents_copy)
    result.update(mb=tree_mb(t["path"]), files=t["documents"], textures=t["textures"])
    return result


def move_rows(results, line):
    if "m" in results:
        r = results["m"]
        ratio = r["prog"].wall / r["floor"].wall
        line("m move", "%d textures used by %d documents" % (r["textures"], r["files"]), r, r["prog"],
             "report + mv", r["floor"], "target ≤ %.1f× %s" % (MOVE_TARGET, verdict(ratio <= MOVE_TARGET)))
        line("m move", "the same", r, r["prog"], "cp -r + sync of the documents", r["documents_copy"],
             "no target: the writing of the documents alone")
# --- end of case m ---------------------------------------------------------------------------

# --- Install a product zip and take it back (case i) ------------------------------------------
# A product as stores sell it: 2,000 items of ten files each (a mesh as Poser writes it, three
# textures and a thumbnail, a morph file, a figure, two poses and a material), deflated but for
# the images, which are stored as JPEG and PNG data are; 20,000 files, about 1 GB unpacked.
INSTALL_TARGET = 1.2
INSTALL_COPIES = os.path.join(WORK, "install")


def product_zip(files):
    """The product zip under bench/work, made again when its size changed."""
    import random
    import zipfile
    path = os.path.join(WORK, "product-%d.zip" % files)
    stamp = path + ".cmd"
    items = files // 10
    info = {"path": path, "files": items * 10}
    if os.path.exists(stamp) and open(stamp).read() == str(items):
        info["mb"] = float(open(stamp + ".mb").read())
        return info
    rnd = random.Random(11)
    meshes = ["".join("v %.6f %.6f %.6f\n" % (rnd.uniform(-1, 1), rnd.uniform(-1, 1), rnd.uniform(-1, 1))
                      for _ in range(4400)).encode() for _ in range(8)]
    noise = [rnd.randbytes(100 << 10) for _ in range(16)]
    total = 0
    with zipfile.ZipFile(path + ".part", "w") as z:
        for k in range(items):
            item = "item%04d" % k
            doc = ("{\r\nfigureResFile :Runtime:Geometries:product:%s.obj\r\n"
                   "morphBinaryFile :Runtime:Libraries:Character:product:%s.pmd\r\n"
                   "textureMap :Runtime:Textures:product:%s:skin.jpg\r\n}\r\n" % (item, item, item)).encode()
            for rel, data in ((f"Runtime/Geometries/product/{item}.obj", meshes[k % 8] + item.encode()),
                              (f"Runtime/Textures/product/{item}/skin.jpg", item.encode() + noise[k % 16]),
                              (f"Runtime/Textures/product/{item}/bump.jpg", item.encode() + noise[(k + 1) % 16]),
                              (f"Runtime/Textures/product/{item}/gloss.jpg", item.encode() + noise[(k + 2) % 16]),
                              (f"Runtime/Libraries/Character/product/{item}.png", item.encode() + noise[(k + 3) % 16][:10 << 10]),
                              (f"Runtime/Libraries/Character/product/{item}.pmd", item.encode() + noise[(k + 4) % 16][:30 << 10]),
                              (f"Runtime/Libraries/Character/product/{item}.cr2", doc * 20),
                              (f"Runtime/Libraries/Pose/product/{item}-a.pz2", doc),
                              (f"Runtime/Libraries/Pose/product/{item}-b.pz2", doc),
                              (f"Runtime/Libraries/Materials/product/{item}.mt5", doc * 2)):
                entry = zipfile.ZipInfo(rel, date_time=(2025, 1, 1, 0, 0, 0))
                stored = rel.endswith((".jpg", ".png"))
                entry.compress_type = zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED
                z.writestr(entry, data)
                total += len(data)
    os.replace(path + ".part", path)
    sh(["sync"])
    with open(stamp + ".mb", "w") as f:
        f.write(str(total / 1e6))
    with open(stamp, "w") as f:
        f.write(str(items))
    info["mb"] = total / 1e6
    return info


def install_case(t, runs):
    """Case i: the product installed into a fresh empty content folder, against unzip -q -o into
    another and sync; then each install taken back (--undo) against rm -rf of an unzipped copy
    and sync. Every copy is made before the runs and the first round of each is a warm-up."""
    remove_tree(INSTALL_COPIES)
    os.makedirs(INSTALL_COPIES)
    rounds = runs + 1
    for k in range(rounds):
        os.makedirs(os.path.join(INSTALL_COPIES, "installed-%d" % k))
    sh(["sync"])
    # Creating files near many deleted ones is slow on ext4 for some minutes (see repair_case).
    wait_after_deletes()
    out_path = os.path.join(WORK, "install.out")
    said = "installed %d files from %s into " % (t["files"], os.path.basename(t["path"]))

    def install(k):
        sh(["sync"])
        root = os.path.join(INSTALL_COPIES, "installed-%d" % k)
        with open(out_path, "w") as out:
            s = measure([CLI, "--install", "--root", root, t["path"]], stdout=out)
        with open(out_path) as f:
            text = f.read()
        if said + root + ": %d new, 0 replaced" % t["files"] not in text or "nothing to report" not in text:
            raise RuntimeError("the install said: %s" % text[:400])
        return s

    def unzip(k):
        sh(["sync"])
        return measure(["sh", "-c", 'unzip -q -o "$0" -d "$1" && sync', t["path"],
                        os.path.join(INSTALL_COPIES, "unzipped-%d" % k)])

    def uninstall(k):
        return measured_undo(os.path.join(INSTALL_COPIES, "installed-%d" % k), t["files"])

    def remove(k):
        sh(["sync"])
        return measure(["sh", "-c", 'rm -rf "$0" && sync', os.path.join(INSTALL_COPIES, "unzipped-%d" % k)])

    results = {}
    for case, prog, floor in (("install", install, unzip), ("uninstall", uninstall, remove)):
        results[case] = rounds_of(rounds, prog=prog, floor=floor)
        results[case].update(mb=t["mb"], files=t["files"])
    return results


def install_rows(results, line):
    """The table rows of case i, by rows()'s `line`."""
    if "i" not in results:
        return
    for case, floor_name in (("install", "unzip -q -o + sync"), ("uninstall", "rm -rf + sync")):
        r = results["i"][case]
        ratio = r["prog"].wall / r["floor"].wall
        note = "target ≤ %.1f× %s" % (INSTALL_TARGET, verdict(ratio <= INSTALL_TARGET))
        if case == "install":
            note += ", peak < %d MB %s" % (REPORT_MEMORY_TARGET_MB, verdict(r["prog"].rss_mb < REPORT_MEMORY_TARGET_MB))
        line("i " + case, "%d files" % r["files"], r, r["prog"], floor_name, r["floor"], note)
# --- end of case i -------------------------------------------------------------------------------


def verdict(met):
    return "met" if met else "**missed**"


def ratio_note(case, r, memory_mb=None):
    """The target of `case` and whether result `r` meets it, peak memory included."""
    ratio = r["prog"].wall / r["floor"].wall
    note = "target ≤ %.1f× %s" % (TARGETS[case], verdict(ratio <= TARGETS[case]))
    if memory_mb:
        note += ", peak < %d MB %s" % (memory_mb, verdict(r["prog"].rss_mb < memory_mb))
    return note


def rows(results):
    out = []

    def line(case, what, r, s, floor_name, floor, note=""):
        out.append("| %s | %s | %.1f | %.3f | %.3f | %.1f | %s %.3f | **%.2f×** | %s |" % (
            case, what, r["mb"], s.wall, s.cpu, s.rss_mb, floor_name, floor.wall, s.wall / floor.wall, note))

    def repair_lines(case, what, r, note):
        share = 1 - r["no_fsync"].wall / r["prog"].wall
        line(case, what, r, r["prog"], "cp -r + sync", r["floor"], "%s; fsync share %.0f%%" % (note, 100 * share))
        line(case + ", fsync a no-op", what, r, r["no_fsync"], "cp -r + sync", r["floor"],
             "benchmark only (LD_PRELOAD)")

    if "1" in results:
        for name, r in results["1"].items():
            line("1 check" + (", " + name if name else ""), "%d files" % r["files"] + SHAPE_NOTES.get(name, ""), r,
                 r["prog"], "grep -r -c -i -E", r["floor"], ratio_note("1", r))
    if "2" in results:
        r = results["2"]
        repair_lines("2 repair", "%d files" % r["files"], r, ratio_note("2", r))
    if "3" in results:
        per_mb = [r["prog"].wall / r["mb"] for r in results["3"]]
        spread = max(per_mb) / min(per_mb) - 1
        # The floor's own spread shows how much of it the machine and the trees make.
        floor_per_mb = [r["floor"].wall / r["mb"] for r in results["3"]]
        floor_spread = max(floor_per_mb) / min(floor_per_mb) - 1
        for r, ms in zip(results["3"], per_mb):
            line("3 scaling", "%d files" % r["files"], r, r["prog"], "grep -r -c -i -E", r["floor"],
                 "%.2f ms/MB (floor %.2f)" % (1000 * ms, 1000 * r["floor"].wall / r["mb"]))
        out.append("| 3 scaling | spread of ms/MB | | | | | | **%.0f%%** | target ≤ %.0f%% %s; the floor's %.0f%% |" % (
            100 * spread, 100 * TARGETS["3"], verdict(spread <= TARGETS["3"]), 100 * floor_spread))
    if "4" in results:
        r = results["4"]
        line("4 scene", "one .pz3", r, r["prog"], "grep -c", r["floor"], ratio_note("4", r, MEMORY_TARGET_MB))
    if "5" in results:
        for name, r in results["5"].items():
            line("5 report" + (", " + name if name else ""), "%d files" % r["files"] + SHAPE_NOTES.get(name, ""), r,
                 r["prog"], "rg -uu -c -i", r["floor"], ratio_note("5", r, REPORT_MEMORY_TARGET_MB))
    if "6" in results:
        r = results["6"]
        line("6 report, compressed scene", "one .pzz, %.1f MB gzip" % r["disk_mb"], r, r["prog"],
             "gzip -dc \\| rg -c -i", r["floor"], ratio_note("6", r, REPORT_MEMORY_TARGET_MB))
    if "7" in results:
        r = results["7"]
        line("7 report, 10% moved", "%d files, %d of %d references moved" % (r["files"], r["moved"], r["references"]),
             r, r["prog"], "case 5's report", r["floor"], ratio_note("7", r, REPORT_MEMORY_TARGET_MB))
    if "8" in results:
        r = results["8"]
        beside = "no target of its own; case 2: %.2f× (target ≤ %.1f×)" % (
            results["2"]["prog"].wall / results["2"]["floor"].wall, TARGETS["2"]) if "2" in results else \
            "no target of its own; run with case 2 for the plain repair beside it"
        repair_lines("8 repair, compressed", "%d files (%.1f MB gzip), %d repaired" % (
            r["files"], r["disk_mb"], r["repaired"]), r, beside)
    if "u" in results:
        r = results["u"]
        line("u undo", "%d files restored" % r["restored"], r, r["prog"], "cp -r + sync", r["floor"],
             "no target of its own")
    if "9" in results:
        for name, by_cache in results["9"].items():
            for cache, r in sorted(by_cache.items(), reverse=True):
                line("9 report, %s, %s" % (name, cache), "%d files" % r["files"] + SHAPE_NOTES.get(name, ""), r,
                     r["prog"], "rg -uu -c -i", r["floor"], ratio_note("9", r, REPORT_MEMORY_TARGET_MB))
    collect_rows(results, line)
    move_rows(results, line)

    install_rows(results, line)
    return out


def fsync_lines(results):
    out = []
    for case in ("2", "8", "m"):
        if case not in results:
            continue
        r = results[case]
        out.append("Case %s without the flush (fsync, fdatasync and syncfs made no-ops by LD_PRELOAD=build/bench/libnofsync.so, "
                   "this run only): median %.3f s against %.3f s with it, so the flush takes %.0f%% of the run." % (
                       case, r["no_fsync"].wall, r["prog"].wall, 100 * (1 - r["no_fsync"].wall / r["prog"].wall)))
        if "strace_fsync_s" in r:
            out.append("Case %s, strace -c -w: %d fsync calls, %.3f s inside them (one run, under strace)." % (
                case, r["strace_fsync_calls"], r["strace_fsync_s"]))
    return out


def report(results, args, header):
    table = ["| case | input | MB | wall s | CPU s | peak MB | floor wall s | ratio | notes |",
             "|---|---|---:|---:|---:|---:|---:|---:|---|"] + rows(results)
    return header + [""] + table + [""] + fsync_lines(results)


def write_results(text_lines, args):
    title = "# Benchmark results\n\nWritten by `python3 bench/run.py --write-results`; newest first.\n"
    old = ""
    if os.path.exists(RESULTS):
        with open(RESULTS) as f:
            content = f.read()
        k = content.find("\n## ")
        old = content[k + 1:] if k >= 0 else ""
    with open(RESULTS, "w") as f:
        f.write(title + "\n" + "\n".join(text_lines) + "\n\n" + old)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--quick", action="store_true", help="smaller trees (1/5 the size) and 3 runs per figure")
    ap.add_argument("--runs", type=int, help="timed runs per figure (default 5, quick 3)")
    ap.add_argument("--cases", default=ALL_CASES,
                    help="which cases to run, e.g. 14 (default %s)" % ALL_CASES)
    ap.add_argument("--write-results", action="store_true", help="record the figures in bench/results.md")
    ap.add_argument("--label", default="", help="a few words on what was measured, for the results file")
    ap.add_argument("--cli", help="measure this tarnwick-cli instead of building one (to compare versions)")
    args = ap.parse_args()
    runs = args.runs or (3 if args.quick else 5)
    div = 5 if args.quick else 1
    sizes = [1000 // div, 5000 // div, 20000 // div]
    scene_mb = 1024 // 8 if args.quick else 1024
    cases = set(args.cases)

    os.makedirs(WORK, exist_ok=True)
    load_before = os.getloadavg()[0]
    build(args.cli)
    # Every tree first: a tree made again deletes the old one, and case 2 and 8 wait until
    # the last deletion is old (see repair_case).
    lib_sizes = set()
    if "1" in cases:
        lib_sizes.add(sizes[1])
    if "3" in cases:
        lib_sizes.update(sizes)
    if cases & set("57"):
        lib_sizes.add(sizes[2])
    lib = {n: tree("lib-%d" % n, "--files", n) for n in sorted(lib_sizes)}
    if cases & set("2u"):
        prefix_tree = tree("prefix-%d" % sizes[1], "--files", sizes[1], "--prefix-per-file")
    if "4" in cases:
        scene_tree = tree("scene-%d" % scene_mb, "--scene-mb", scene_mb)
    if "6" in cases:
        pzz_tree = tree("scene-pzz-%d" % scene_mb, "--scene-mb", scene_mb, "--compress")
    if "7" in cases:
        moved_tree = tree("moved-%d" % sizes[2], "--files", sizes[2], "--moved", 0.1)
    if "9" in cases:
        sparse_tree = tree("sparse-%d" % sizes[1], "--files", sizes[1], "--sparse", "--avg-kb", 54)
    if cases & set("159"):
        shaped = {"real-shaped": tree("real-shape-%d" % sizes[0], "--files", sizes[0], "--real-shape",
                                      "--avg-kb", REAL_SHAPE_AVG_KB),
                  "short lines": tree("short-lines-%d" % sizes[1], "--files", sizes[1], "--short-lines",
                                      "--avg-kb", 54),
                  "broken library": tree("broken-%d" % sizes[0], "--files", sizes[0], "--broken-library",
                                         "--avg-kb", REAL_SHAPE_AVG_KB)}
        for name, t in shaped.items():
            SHAPE_NOTES[name] = ", lines of %.1f bytes" % t["line_bytes"]
        SHAPE_NOTES["broken library, text"] = SHAPE_NOTES["broken library"]
    if "8" in cases:
        crz_tree = tree("compressed-%d" % sizes[1], "--files", sizes[1], "--compress", "--repair-share", 0.1)

    results = {}
    if cases & set("13"):
        print("case 1/3: check only", file=sys.stderr)
        # Short runs: twice as many at least, so that the medians are steady.
        checked_sizes = set(sizes) if "3" in cases else {sizes[1]}
        checked = {n: check_case(lib[n], 2 * runs) for n in sorted(checked_sizes)}
        if "1" in cases:
            results["1"] = {"": checked[sizes[1]], "real-shaped": check_case(shaped["real-shaped"], 2 * runs)}
        if "3" in cases:
            results["3"] = [checked[n] for n in sizes]
    if "2" in cases:
        print("case 2: repair", file=sys.stderr)
        results["2"] = repair_case(prefix_tree, runs)
    if "4" in cases:
        print("case 4: one scene", file=sys.stderr)
        results["4"] = scene_case(scene_tree, runs)
    if "5" in cases:
        print("case 5: report", file=sys.stderr)
        results["5"] = {"": report_case(lib[sizes[2]], 2 * runs)}
        for name, t in shaped.items():
            results["5"][name] = report_case(t, 2 * runs)
        # Where nearly everything is missing, the text is measured too: it lists as much.
        results["5"]["broken library, text"] = report_case(shaped["broken library"], 2 * runs, as_json=False)
    if "6" in cases:
        print("case 6: report on one compressed scene", file=sys.stderr)
        results["6"] = compressed_scene_case(pzz_tree, runs)
    if "7" in cases:
        print("case 7: report with moved meshes", file=sys.stderr)
        results["7"] = moved_report_case(moved_tree, lib[sizes[2]], 2 * runs)
    if "8" in cases:
        print("case 8: repair of compressed files", file=sys.stderr)
        results["8"] = compressed_repair_case(crz_tree, runs)

    if "u" in cases:
        print("case u: undo of an extended run", file=sys.stderr)
        results["u"] = undo_case(prefix_tree, runs)
    if "9" in cases:
        print("case 9: report on a sparse library", file=sys.stderr)
        results["9"] = {"sparse": sparse_report_case(sparse_tree, 2 * runs)}
        # Warm, the shaped trees were measured by case 5 when it ran.
        results["9"].update(shaped_report_case(shaped, 2 * runs, warm="5" not in cases))
    results.update(collect_cases(cases, runs, scene_mb))
    if "m" in cases:
        print("case m: move a folder with every reference following", file=sys.stderr)
        results["m"] = move_case(move_library(2000 // div, 5000 // div), runs)

    if "i" in cases:
        print("case i: install a product zip and take it back", file=sys.stderr)
        results["i"] = install_case(product_zip(20000 // div), runs)

    load = "load average %.2f before, %.2f after (other work on the machine slows every figure)" % (
        load_before, os.getloadavg()[0])
    commit = subprocess.run(["git", "-C", REPO, "describe", "--always", "--dirty"], capture_output=True,
                            text=True).stdout.strip()
    header = ["## %s%s" % (datetime.datetime.now().strftime("%Y-%m-%d %H:%M"),
                           " — " + args.label if args.label else ""),
              "",
              "`python3 bench/run.py%s%s%s` at %s; median of %d runs after one warm-up (cases 1, 3, 5 and 7: at "
              "least %d, more for short runs), files in the page cache." % (
                  " --quick" if args.quick else "", " --cases " + args.cases if args.cases != ALL_CASES else "",
                  " --cli " + args.cli if args.cli else "", commit, runs, 2 * runs),
              ""] + ["- %s: %s" % kv for kv in machine() + [("Load", load)]]
    text = report(results, args, header)
    print("\n".join(text))
    if args.write_results:
        write_results(text, args)
    # Deleted last: see repair_case.
    remove_tree(REPAIR_COPIES)
    remove_tree(COMPRESSED_REPAIR_COPIES)
    remove_tree(UNDO_COPIES)
    remove_tree(INSTALL_COPIES)

if __name__ == "__main__":
    main()
