#!/usr/bin/env python3
"""What a stranger's files can cost: makes each hostile input under bench/work/hostile (a zip
entry 32,000 folders deep, a manifest nested 100,000 deep, a compressed document of 20 million
identical references, alone and inside a product zip, a log with a line of 200 MB, a folder
tree 1,900 deep), runs tarnwick-cli on it and prints, for each, its exit status, the first
line it wrote, and the wall and CPU seconds and peak memory it took (bench/rusage.c).

    python3 bench/hostile.py [--cli PATH] [--write-results --label TEXT]

Without --cli, tarnwick-cli is built in Release into build/bench, as bench/run.py builds it.
--write-results adds the table at the top of bench/results.md."""
import argparse
import datetime
import gzip
import os
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run as bench  # noqa: E402  the build, the machine's description and results.md

WORK = os.path.join(bench.WORK, "hostile")
STAMP = "20261207-101010"


def deep_zip(path, depth):
    """One entry `depth` folders deep, its name a 'a/' for each: a download of a few hundred KB."""
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("Runtime/Libraries/Character/a.cr2", "figureResFile :Runtime:Geometries:a.obj\n")
        z.writestr("Runtime/" + "a/" * depth + "x.cr2", "figureResFile :Runtime:Geometries:a.obj\n")


def nested_manifest(root, depth):
    """A run folder whose manifest holds an array nested `depth` deep."""
    folder = os.path.join(root, "tarnwick-runs", STAMP)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "manifest.json"), "w") as f:
        f.write('{"program":"tarnwick","format":1,"started":"%s","x":%s%s,"files":[]}' % (
            STAMP, "[" * depth, "]" * depth))
    return folder


def repeated_document(path, line, count):
    """A gzip document of `count` copies of `line`, compressed as Poser compresses, in pieces."""
    piece = (line * 100000).encode()
    with open(path, "wb") as raw, gzip.GzipFile(fileobj=raw, mode="wb", compresslevel=9, mtime=0) as out:
        for _ in range(count // 100000):
            out.write(piece)


def long_line_log(path, mb):
    with open(path, "wb") as f:
        f.write(b"file /tmp/x.cr2 being corrected: old version is on\r\n     /tmp/x_zz00.cr2\r\n")
        block = b"a" * (1 << 20)
        f.write(b"file /tmp/")
        for _ in range(mb):
            f.write(block)
        f.write(b".cr2 being corrected: old version is on\r\n")


def deep_tree(root, depth):
    """Folders `depth` deep below `root`, made a step at a time: the path is too long to make at once."""
    here = os.getcwd()
    os.makedirs(root, exist_ok=True)
    os.chdir(root)
    try:
        for _ in range(depth):
            os.makedirs("d", exist_ok=True)
            os.chdir("d")
        with open("deep.cr2", "w") as f:
            f.write("figureResFile :Runtime:Geometries:gone.obj\n")
    finally:
        os.chdir(here)


def make_inputs():
    # rm, not shutil.rmtree, which recurses once per folder and stops at the deep tree's 1,900 levels.
    subprocess.run(["rm", "-rf", "--", WORK], check=True)
    lib = os.path.join(WORK, "lib")
    os.makedirs(os.path.join(lib, "Runtime", "Geometries"))
    open(os.path.join(lib, "Runtime", "Geometries", "a.obj"), "w").close()
    docs = os.path.join(lib, "Runtime", "Libraries", "Props")
    os.makedirs(docs)
    deep_zip(os.path.join(WORK, "deep.zip"), 32000)
    nested_manifest(os.path.join(WORK, "nested"), 100000)
    # 20 million references to a texture nobody has, and 2 million in prefix notation to a mesh
    # that exists, which a repair rewrites every one of.
    missing = os.path.join(docs, "missing.ppz")
    repeated_document(missing, "textureMap :Runtime:Textures:gone.jpg\n", 20000000)
    rewrite = os.path.join(WORK, "rewrite", "Runtime")
    os.makedirs(os.path.join(rewrite, "Libraries", "Props"))
    os.makedirs(os.path.join(rewrite, "Geometries"))
    open(os.path.join(rewrite, "Geometries", "a.obj"), "w").close()
    repeated_document(os.path.join(rewrite, "Libraries", "Props", "rewritten.ppz"),
                      "objFileGeom 0 0 Runtime:Geometries:a.obj\n", 2000000)
    with zipfile.ZipFile(os.path.join(WORK, "product.zip"), "w", zipfile.ZIP_STORED) as z:
        z.write(missing, "Runtime/Libraries/Props/missing.ppz")
    long_line_log(os.path.join(WORK, "long-line.txt"), 200)
    deep_tree(os.path.join(WORK, "deep-tree"), 1900)
    return {"deep zip": os.path.getsize(os.path.join(WORK, "deep.zip")),
            "missing": os.path.getsize(missing)}


def first_line(path):
    with open(path, "rb") as f:
        text = f.read(4000).decode("utf-8", "replace")
    return text.strip().split("\n")[0][:110] if text.strip() else ""


def case(name, bound, args, status, cwd=WORK):
    out = os.path.join(WORK, "out.txt")
    with open(out, "wb") as f:
        p = subprocess.run([bench.RUSAGE, os.path.join(WORK, "rusage.out"), bench.CLI] + args, cwd=cwd,
                           stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.STDOUT)
    with open(os.path.join(WORK, "rusage.out")) as f:
        wall, cpu, rss_kb = f.read().split()
    said = first_line(out)
    ok = p.returncode == status
    print("%-40s exit %d%s  %7.2f s  %7.1f MB  %s" % (name, p.returncode, "" if ok else " (expected %d)" % status,
                                                     float(wall), int(rss_kb) / 1024, said), file=sys.stderr)
    return "| %s | %s | `tarnwick-cli %s` | %d | %.2f | %.2f | %.1f | %s |" % (
        name, bound, " ".join(a.replace(WORK, "W") for a in args), p.returncode, float(wall), float(cpu),
        int(rss_kb) / 1024, said.replace(WORK, "W").replace("|", "\\|"))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--cli", help="the tarnwick-cli to measure (default: built in Release into build/bench)")
    ap.add_argument("--write-results", action="store_true")
    ap.add_argument("--label", default="")
    args = ap.parse_args()
    bench.build(args.cli)
    print("making the inputs under %s" % WORK, file=sys.stderr)
    sizes = make_inputs()
    lib, props = os.path.join(WORK, "lib"), os.path.join(WORK, "lib", "Runtime", "Libraries", "Props")
    rows = [
        case("zip entry 32,000 folders deep (%d KB)" % (sizes["deep zip"] // 1024), "path unpacked ≤ 260 characters",
             ["--report", os.path.join(WORK, "deep.zip")], 3),
        case("folder tree 1,900 deep on the disk", "none: a walk of its own stack",
             ["--report", "--root", WORK, os.path.join(WORK, "deep-tree")], 3),
        case("manifest nested 100,000 deep", "nesting ≤ 16",
             ["--undo", os.path.join(WORK, "nested", "tarnwick-runs", STAMP)], 2),
        case("20 million references (%.1f MB .ppz)" % (sizes["missing"] / 1e6), "100 uses kept per target",
             ["--report", "--root", lib, props], 3),
        case("the same, --json", "100 uses kept per target", ["--report", "--json", "--root", lib, props], 3),
        case("the same, --auto --dry-run", "one line per distinct reference",
             ["--auto", "--dry-run", "--root", lib, props], 3),
        case("the same in a product zip", "inflated ≤ 100 × stored, 8 MiB at least",
             ["--report", os.path.join(WORK, "product.zip")], 3),
        case("2 million references rewritten, --auto --dry-run", "diff written as it is made",
             ["--auto", "--dry-run", "--root", os.path.join(WORK, "rewrite"), os.path.join(WORK, "rewrite")], 3),
        case("2 million references rewritten, --auto", "one rewrite per distinct reference",
             ["--auto", "--yes", "--root", os.path.join(WORK, "rewrite"), os.path.join(WORK, "rewrite")], 0),
        # The log's one record of ordinary length names a file outside the roots: left alone, and said.
        case("a 200 MB line in a run log", "lines ≤ 128 KiB", ["--undo-log", os.path.join(WORK, "long-line.txt"),
                                                               "--root", WORK], 3),
    ]
    commit = subprocess.run(["git", "-C", bench.REPO, "describe", "--always", "--dirty"], capture_output=True,
                            text=True).stdout.strip()
    text = ["## %s — hostile inputs%s" % (datetime.datetime.now().strftime("%Y-%m-%d %H:%M"),
                                          ": " + args.label if args.label else ""),
            "",
            "`python3 bench/hostile.py%s` at %s: one run of each, the inputs made by the script (W is %s)." % (
                " --cli " + args.cli if args.cli else "", commit, os.path.relpath(WORK, bench.REPO)),
            ""] + ["- %s: %s" % kv for kv in bench.machine()] + [
            "",
            "| input | bound | command | exit | wall s | CPU s | peak MB | first line it wrote |",
            "|---|---|---|---:|---:|---:|---:|---|"] + rows + [""]
    print("\n".join(text))
    if args.write_results:
        bench.write_results(text, args)


if __name__ == "__main__":
    main()
