#!/usr/bin/env python3
"""Generates a synthetic Poser installation for the benchmark, the same bytes for the same
arguments and seed.

    gen_poser_tree.py OUT --files 5000                 # a library where nothing needs repair
    gen_poser_tree.py OUT --files 5000 --prefix-per-file   # every file: one prefix reference
    gen_poser_tree.py OUT --files 2000 --broken 0.05 --prefix 0.1
    gen_poser_tree.py OUT --scene-mb 1024              # one large .pz3 scene
    gen_poser_tree.py OUT --files 20000 --moved 0.1    # a tenth of the meshes moved elsewhere
    gen_poser_tree.py OUT --files 5000 --compress --repair-share 0.1
                                                       # .crz/.ppz/...; a tenth need a repair
    gen_poser_tree.py OUT --files 1000 --real-shape    # lines and references shaped like real files
    gen_poser_tree.py OUT --files 5000 --short-lines   # figures of 12.5-byte lines, 1 or 2 references

OUT becomes the Poser root:
    OUT/Runtime/Geometries/<product>/<mesh>.obj          tiny OBJ files
    OUT/Runtime/Libraries/Character/<product>/*.cr2      figures
    OUT/Runtime/Libraries/Props/<product>/*.pp2          props
    OUT/Runtime/Libraries/Hair/<product>/*.hr2           hair
    OUT/Runtime/Libraries/Scenes/<product>/*.pz3         scenes
Poser files are made of many short lines (channels, keys, morph deltas) with CR LF line
ends and a few geometry references each, in the forms
    figureResFile :Runtime:Geometries:<product>:<mesh>.obj
    objFileGeom 0 0 :Runtime:Geometries:<product>:<mesh>.obj
A reference in prefix notation drops the leading colon; a broken one names a mesh that
does not exist. A moved one names <product>:<product>_<mesh>.obj, which exists only as
    OUT/Runtime/Geometries/Relocated/<product>/<product>_<mesh>.obj
so that the file of that name is found elsewhere under the root, and nowhere else.
With --compress every Poser file is written gzip-compressed at level 9, as Poser saves
them, under the compressed extension (.crz .ppz .hrz .pzz).
With --real-shape (or --short-lines) the files take the shape of real documents instead: each
file's mean line length is drawn from a distribution (or fixed), and reference lines come at
a given density, most of them naming no file (NO_MAP, GetStringRes); see ShapedPool.
A summary of what was made is written to OUT.manifest.json: files, bytes (as read, and on
the disk), reference lines by form, and the image lines that name no file (NO_MAP,
GetStringRes), which a reader of every file reference counts as well.
"""

import argparse
import json
import os
import random
import shutil
import sys
import zlib

CRLF = b"\r\n"
# Compressed extension of each kind, as Poser names its gzip files.
COMPRESSED_EXT = {"cr2": "crz", "pp2": "ppz", "hr2": "hrz", "pz3": "pzz"}
# Image keywords whose value in the blocks below is a built-in (NO_MAP, GetStringRes), no file.
BUILTIN_IMAGE_WORDS = (b"textureMap", b"bumpMap", b"reflectionMap", b"transparencyMap")

# kind: (extension, library folder, share of files, mean size in KB)
KINDS = [
    ("pp2", "Props", 0.45, 24),
    ("cr2", "Character", 0.30, 80),
    ("hr2", "Hair", 0.20, 40),
    ("pz3", "Scenes", 0.05, 160),
]
# --sparse: figures and props alone, of one size, with one or two references each.
SPARSE_KINDS = [
    ("pp2", "Props", 0.5, 54),
    ("cr2", "Character", 0.5, 54),
]


def lines(*parts):
    return CRLF.join(p.encode("ascii") for p in parts) + CRLF


class BlockPool:
    """Pre-made channel blocks, so that files of any total size are assembled quickly."""

    def __init__(self, rng, count=384):
        self.blocks = [self._block(rng, k) for k in range(count)]
        self.builtin = [self._builtin_lines(b) for b in self.blocks]
        self.builtin_written = 0  # built-in image lines in all the blocks handed out

    @staticmethod
    def _builtin_lines(block):
        return sum(1 for line in block.split(CRLF) if line.strip().split(b" ")[0] in BUILTIN_IMAGE_WORDS)

    @staticmethod
    def _keys(rng, indent):
        t = "\t" * indent
        out = [t + "keys", t + "\t{", t + "\tstatic  0"]
        for frame in range(rng.choice((1, 1, 1, 2, 4))):
            out.append(t + "\tk  %d  %s" % (frame * 30, rng.choice(("0", "1", "0.5", "-12.25"))))
        out.append(t + "\t}")
        return out

    def _block(self, rng, k):
        kind = rng.random()
        if kind < 0.45:
            return self._morph(rng, k)
        if kind < 0.8:
            return self._rotation(rng)
        return self._material(rng, k)

    def _morph(self, rng, k):
        name = "PBM%s_%03d" % (rng.choice(("Head", "Body", "Face", "Arm", "Leg")), k)
        out = ["\t\ttargetGeom %s" % name, "\t\t\t{", "\t\t\tname %s" % name,
               "\t\t\tinitValue 0", "\t\t\thidden 0", "\t\t\tforceLimits 1",
               "\t\t\tmin 0", "\t\t\tmax 1", "\t\t\ttrackingScale 0.02"]
        out += self._keys(rng, 3)
        deltas = rng.choice((0, 0, 12, 40, 120, 300))
        out += ["\t\t\tinterpStyleLocked 0", "\t\t\tindexes %d" % deltas,
                "\t\t\tnumbDeltas %d" % (deltas * 7), "\t\t\tdeltas", "\t\t\t\t{"]
        for _ in range(deltas):
            out.append("\t\t\t\td %d %.5f %.5f %.5f" % (rng.randrange(20000), rng.uniform(-0.01, 0.01),
                                                         rng.uniform(-0.01, 0.01), rng.uniform(-0.01, 0.01)))
        out += ["\t\t\t\t}", "\t\t\tblendType 0", "\t\t\t}"]
        return lines(*out)

    def _rotation(self, rng):
        axis = rng.choice("xyz")
        out = ["\t\trotate%s %sRot" % (axis.upper(), axis), "\t\t\t{",
               "\t\t\tname GetStringRes(1028,%d)" % rng.randrange(1, 9),
               "\t\t\tinitValue 0", "\t\t\thidden 0", "\t\t\tforceLimits 0",
               "\t\t\tmin -100000", "\t\t\tmax 100000", "\t\t\ttrackingScale 1"]
        out += self._keys(rng, 3)
        out += ["\t\t\tinterpStyleLocked 0"]
        if rng.random() < 0.5:
            out += ["\t\t\tjointAx %s" % rng.choice(("1 0 0", "0 1 0", "0 0 1")),
                    "\t\t\tcenter %.6f %.6f %.6f" % (rng.uniform(-1, 1), rng.uniform(0, 2), rng.uniform(-1, 1))]
        out += ["\t\t\t}"]
        return lines(*out)

    def _material(self, rng, k):
        out = ["\tmaterial Mat%03d" % k, "\t\t{",
               "\t\tKdColor %.6f %.6f %.6f 1" % (rng.random(), rng.random(), rng.random()),
               "\t\tKaColor 0 0 0 1", "\t\tKsColor 0.1 0.1 0.1 1", "\t\tTextureColor 1 1 1 1",
               "\t\tNsExponent 30", "\t\ttMin 0", "\t\ttMax 0", "\t\ttExpo 0.6",
               "\t\tbumpStrength 1", "\t\tksIgnoreTexture 0", "\t\treflectThruLights 1",
               "\t\treflectThruKd 0",
               '\t\ttextureMap "GetStringRes(1024,%d)"' % rng.randrange(2, 40),
               "\t\tbumpMap NO_MAP", "\t\treflectionMap NO_MAP", "\t\ttransparencyMap NO_MAP",
               "\t\tReflectionColor 1 1 1 1", "\t\treflectionStrength 1", "\t\t}"]
        return lines(*out)

    def fill(self, rng, size, out):
        """Appends random blocks to `out` until about `size` bytes were added."""
        added = 0
        while added < size:
            k = rng.randrange(len(self.blocks))
            b = self.blocks[k]
            if added + len(b) - size > size - added:
                break  # this block would overshoot by more than the gap it fills
            out.append(b)
            added += len(b)
            self.builtin_written += self.builtin[k]
        return added


# The shape of real documents, measured on 59 public Poser documents (18 MB; see README.md):
# their lines average 20 bytes (line ends included), 16 to 31 file by file, and about one line
# in 1,200 bytes starts with a reference keyword, most of them naming no file.
REAL_LINE_BYTES_LEAST = 16
REAL_LINE_BYTES_MOST = 31
REAL_LINE_BYTES_ABOVE_LEAST = 5.4  # mean of the exponential draw above the least
REAL_BYTES_PER_REFERENCE = 1200
# --short-lines: figures made of keyframed channels, whose lines are the shortest.
SHORT_LINE_BYTES = 12.4
CHANNELS = [("rotateX", "xrot"), ("rotateY", "yrot"), ("rotateZ", "zrot"), ("translateX", "xtran"),
            ("translateY", "ytran"), ("translateZ", "ztran"), ("scale", "scale"), ("taper", "taper"),
            ("twistY", "twisty"), ("valueParm", "PBMCC_%02d"), ("targetGeom", "PBM%s_%02d")]
NAMED_PARTS = ("Head", "Body", "Face", "Arm", "Leg", "Brow", "Lip")
IMAGE_BUILTINS = ("\t\ttextureMap NO_MAP", "\t\tbumpMap NO_MAP", "\t\treflectionMap NO_MAP",
                  "\t\ttransparencyMap NO_MAP", '\t\ttextureMap "GetStringRes(1024,%d)"')
TEXTURES_PER_PRODUCT = 3
# Reference lines of a shaped file, as the bounds of a draw from 0 to 1: below the first a
# channel name from the string table, below the second an image keyword naming no file, above
# both an image.
REAL_REFERENCE_SHARES = (0.40, 0.88)
# --broken-library: documents copied without their meshes and textures, as measured on real
# public documents (1,003 files, 296 MB, 247,350 references, 10,421 of them missing, the rest
# built-in): hardly a name line, nearly every image keyword a built-in, and each product's
# documents naming a dozen images of its own, none of which exists.
BROKEN_REFERENCE_SHARES = (0.05, 0.97)
BROKEN_TEXTURES_PER_PRODUCT = 12


class ShapedPool:
    """Blocks for files shaped like real documents: channels of keyframes (short lines),
    channels with one key (middling) and morph targets (long delta lines). Each file asks for
    a mean line length; every block is picked to pull the file's mean towards it. Between
    blocks come reference lines at a chosen density: channel names from the string table
    (name GetStringRes), image keywords that name no file (NO_MAP, GetStringRes) and a few
    that name an image file."""

    def __init__(self, rng, count=256, shares=REAL_REFERENCE_SHARES):
        self.names_below, self.builtin_below = shares
        self.short = [self._channel(rng, k, rng.randint(8, 40)) for k in range(count)]
        self.short += [self._channel(rng, k, 0) for k in range(count)]
        self.long = [self._morph(rng, k) for k in range(count)]
        self.builtin_written = 0  # image keywords naming no file
        self.images_written = 0  # image keywords naming a file
        self.names_written = 0  # channel names from the string table (no file: a name)
        self.line_bytes = 0.0
        self.bytes_per_reference = 0
        self.textures = []
        self.lines = self.bytes = 0
        self.to_next_reference = 0.0

    @staticmethod
    def _block(out):
        data = lines(*out)
        return data, len(out)

    def _channel(self, rng, k, frames):
        kind, name = CHANNELS[rng.randrange(len(CHANNELS))]
        if "%s" in name:
            name = name % (rng.choice(NAMED_PARTS), k % 100)
        elif "%" in name:
            name = name % (k % 100)
        out = ["\t\t%s %s" % (kind, name), "\t\t\t{", "\t\t\tname %s" % name, "\t\t\tinitValue 0",
               "\t\t\thidden 0", "\t\t\tenabled 1", "\t\t\tforceLimits %d" % rng.randint(0, 1),
               "\t\t\tmin -100000", "\t\t\tmax 100000", "\t\t\ttrackingScale 0.004", "\t\t\tkeys",
               "\t\t\t\t{", "\t\t\t\tstatic  0", "\t\t\t\tk  0  0"]
        # Keyframes: a key and its interpolation, the shortest lines of a Poser file.
        for frame in range(1, frames + 1):
            out += ["\t\t\tk %d %s" % (frame, rng.choice(("0", "1", "0.5", "-2.25"))), "\t\t\tsl 1", "\t\t\tspl"]
        out += ["\t\t\t\t}", "\t\t\tinterpStyleLocked 0", "\t\t\t}"]
        return self._block(out)

    def _morph(self, rng, k):
        name = "PBM%s_%03d" % (rng.choice(NAMED_PARTS), k)
        deltas = rng.randint(20, 60)
        out = ["\t\ttargetGeom %s" % name, "\t\t\t{", "\t\t\tname %s" % name, "\t\t\tinitValue 0",
               "\t\t\thidden 0", "\t\t\tforceLimits 1", "\t\t\tmin 0", "\t\t\tmax 1",
               "\t\t\ttrackingScale 0.02", "\t\t\tindexes %d" % deltas, "\t\t\tnumbDeltas 18000",
               "\t\t\tdeltas", "\t\t\t\t{"]
        for _ in range(deltas):
            out.append("\t\t\t\td %d %.6f %.6f %.6f" % (rng.randrange(20000), rng.uniform(-0.01, 0.01),
                                                             rng.uniform(-0.01, 0.01), rng.uniform(-0.01, 0.01)))
        out += ["\t\t\t\t}", "\t\t\tblendType 0", "\t\t\t}"]
        return self._block(out)

    def start_file(self, line_bytes, bytes_per_reference, textures, rng):
        """The next file's mean line length, its bytes per reference line (0: none but the
        meshes') and the image files it may name."""
        self.line_bytes, self.bytes_per_reference, self.textures = line_bytes, bytes_per_reference, textures
        self.lines = self.bytes = 0
        self.to_next_reference = rng.uniform(0, bytes_per_reference)

    def _reference_line(self, rng):
        r = rng.random()
        if r < self.names_below:
            self.names_written += 1
            return "\t\t\tname GetStringRes(%d,%d)" % (rng.choice((1024, 1028)), rng.randrange(1, 200))
        if r < self.builtin_below or not self.textures:
            self.builtin_written += 1
            line = rng.choice(IMAGE_BUILTINS)
            return line % rng.randrange(2, 40) if "%" in line else line
        self.images_written += 1
        return '\t\ttextureMap "%s"' % rng.choice(self.textures)

    def _add(self, out, data, count):
        out.append(data)
        self.bytes += len(data)
        self.lines += count
        return len(data)

    def fill(self, rng, size, out):
        """Appends blocks and reference lines to `out` until about `size` bytes were added."""
        added = 0
        while added < size:
            if self.bytes_per_reference and self.to_next_reference <= 0:
                added += self._add(out, lines(self._reference_line(rng)), 1)
                self.to_next_reference += rng.uniform(0.5, 1.5) * self.bytes_per_reference
                continue
            blocks = self.long if self.bytes < self.line_bytes * self.lines else self.short
            data, count = blocks[rng.randrange(len(blocks))]
            size_added = self._add(out, data, count)
            added += size_added
            self.to_next_reference -= size_added
        return added


def real_line_bytes(rng):
    """A file's mean line length, drawn as the real documents spread: most near the least."""
    return min(REAL_LINE_BYTES_MOST, REAL_LINE_BYTES_LEAST + rng.expovariate(1 / REAL_LINE_BYTES_ABOVE_LEAST))


def texture_paths(root, product, count=TEXTURES_PER_PRODUCT, make=True):
    """The Poser paths of `count` image files of `product`, made small unless `make` is false."""
    folder = os.path.join(root, "Runtime", "Textures", product)
    if make:
        os.makedirs(folder, exist_ok=True)
    paths = []
    for t in range(count):
        if make:
            write(os.path.join(folder, "tex%d.jpg" % t), b"\xff\xd8\xff\xd9")
        paths.append(":Runtime:Textures:%s:tex%d.jpg" % (product, t))
    return paths


class References:
    """Decides the form of each reference and counts what was written."""

    def __init__(self, rng, broken, prefix, moved=0.0):
        self.rng, self.broken, self.prefix, self.moved = rng, broken, prefix, moved
        self.count = self.broken_count = self.prefix_count = self.moved_count = 0
        self.moved_meshes = set()  # (product, mesh) whose file lies under Relocated

    def line(self, keyword, product, mesh, force_prefix=False, force_colon=False):
        rng = self.rng
        self.count += 1
        poser_path = mesh_path(product, mesh)
        # No draw for a form that is not asked for: the same arguments give the same bytes.
        if self.broken and rng.random() < self.broken:
            self.broken_count += 1
            poser_path = poser_path[:-4] + "_missing.obj"
        elif self.moved and rng.random() < self.moved:
            self.moved_count += 1
            self.moved_meshes.add((product, mesh))
            poser_path = mesh_path(product, moved_mesh_name(product, mesh))
        colon = ":"
        if force_prefix or (not force_colon and self.prefix and rng.random() < self.prefix):
            self.prefix_count += 1
            colon = ""
        return lines("%s %s%s" % (keyword, colon, poser_path))


def mesh_path(product, mesh):
    return "Runtime:Geometries:%s:%s.obj" % (product, mesh)


def moved_mesh_name(product, mesh):
    # The product in the name keeps it unique under the root: one namesake, the moved file.
    return "%s_%s" % (product, mesh)


def poser_file(rng, pool, refs, ext, size, product, meshes, one_prefix, sparse=False):
    """The bytes of one Poser file of about `size` bytes naming some of `meshes`."""
    out = [lines("{", "", "version", "\t{", "\tnumber 6", "\t}")]
    # Which reference of the file, if any, must be in prefix notation.
    wanted = {"pp2": 1, "hr2": 2, "cr2": 2 if sparse else 3, "pz3": 6}[ext]
    forced = rng.randrange(wanted) if one_prefix else -1
    written = 0

    def ref(keyword, mesh):
        nonlocal written
        is_forced = written == forced
        written += 1
        return refs.line(keyword, product, mesh, force_prefix=is_forced, force_colon=one_prefix)

    if ext in ("cr2", "pz3"):
        for f in range(1 if ext == "cr2" else 3):
            out.append(ref("figureResFile", meshes[f % len(meshes)]))
    actors = wanted - (1 if ext == "cr2" else 3 if ext == "pz3" else 0)
    body_size = max(0, size - 400)
    parts = max(1, actors)
    for a in range(parts):
        kind = "actor" if ext in ("cr2", "hr2") else "prop"
        out.append(lines("%s %s_%d:1" % (kind, product.lower(), a), "\t{", "\tname %s_%d" % (product, a),
                         "\ton", "\tbend 1", "\tdynamicsLock 1", "\thidden 0", "\taddToMenu 1",
                         "\tcastsShadow 1", "\tincludeInDepthCue 1", "\tstorageOffset 0 0.3487 0"))
        if a < actors:
            out.append(b"\t" + ref("objFileGeom 0 0", meshes[a % len(meshes)]))
        out.append(lines("\tchannels", "\t\t{"))
        pool.fill(rng, body_size // parts, out)
        out.append(lines("\t\t}", "\t}"))
    out.append(lines("doc", "\t{", "\tbeginCamera CAMERA_1", "\t}", "}"))
    return b"".join(out)


def pick_size(rng, mean_kb, scale):
    # Skewed like real libraries: most files small, a few several times the mean.
    return int(rng.lognormvariate(0, 0.6) / 1.197 * mean_kb * 1024 * scale)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def gzip_level9():
    # A gzip stream (header without name or time, so the bytes depend on the text alone).
    return zlib.compressobj(9, zlib.DEFLATED, 31)


def compressed(data):
    z = gzip_level9()
    return z.compress(data) + z.flush()


def poser_name(name, ext, compress):
    return "%s.%s" % (name, COMPRESSED_EXT[ext] if compress else ext)


def make_geometries(root, product, meshes):
    folder = os.path.join(root, "Runtime", "Geometries", product)
    os.makedirs(folder, exist_ok=True)
    for m in meshes:
        write(os.path.join(folder, m + ".obj"), b"# synthetic mesh\r\nv 0 0 0\r\n")


def make_moved_geometries(root, moved_meshes):
    for product, mesh in sorted(moved_meshes):
        make_geometries(root, os.path.join("Relocated", product), [moved_mesh_name(product, mesh)])


def make_library(args, rng, pool, refs, summary):
    kinds = SPARSE_KINDS if args.sparse else KINDS
    scale = args.avg_kb / sum(share * kb for _, _, share, kb in kinds)
    plan = []
    for ext, folder, share, kb in kinds:
        plan += [(ext, folder, kb)] * int(round(args.files * share))
    while len(plan) > args.files:
        plan.pop()
    while len(plan) < args.files:
        plan.append(kinds[0][:2] + (kinds[0][3],))
    rng.shuffle(plan)
    by_kind = {}
    for ext, folder, kb in plan:
        by_kind.setdefault((ext, folder), []).append(kb)
    product_no = 0
    for (ext, folder), sizes in sorted(by_kind.items()):
        left = len(sizes)
        while left > 0:
            count = min(left, rng.randint(8, 60))
            left -= count
            product_no += 1
            product = "Product%04d" % product_no
            meshes = ["%s_mesh%d" % (ext, m) for m in range(rng.randint(1, 4))]
            if args.broken_library:
                textures = texture_paths(args.out, product, BROKEN_TEXTURES_PER_PRODUCT, make=False)
            else:
                make_geometries(args.out, product, meshes)
                textures = texture_paths(args.out, product) if args.real_shape else []
            lib = os.path.join(args.out, "Runtime", "Libraries", folder, product)
            os.makedirs(lib, exist_ok=True)
            for k in range(count):
                needs_repair = args.prefix_per_file or (args.repair_share > 0 and rng.random() < args.repair_share)
                if args.real_shape:
                    pool.start_file(real_line_bytes(rng), REAL_BYTES_PER_REFERENCE, textures, rng)
                elif args.short_lines:
                    pool.start_file(SHORT_LINE_BYTES, 0, textures, rng)
                data = poser_file(rng, pool, refs, ext, pick_size(rng, sizes[k], scale), product, meshes,
                                  needs_repair, args.sparse)
                count_lines(data, summary)
                summary["poser_bytes"] += len(data)
                if args.compress:
                    data = compressed(data)
                write(os.path.join(lib, poser_name("%s %03d" % (product, k), ext, args.compress)), data)
                summary["poser_files"] += 1
                summary["disk_bytes"] += len(data)
                summary["repair_files"] += 1 if needs_repair else 0


def count_lines(data, summary):
    """Adds the file's lines to the summary, and its mean line length to the spread of them."""
    n = data.count(b"\n")
    summary["lines"] += n
    if n:
        mean = len(data) / n
        summary["line_bytes_least"] = min(summary.get("line_bytes_least", mean), mean)
        summary["line_bytes_most"] = max(summary.get("line_bytes_most", mean), mean)


def make_scene(args, rng, pool, refs, summary):
    products = ["Scene%03d" % p for p in range(40)]
    for p in products:
        make_geometries(args.out, p, ["mesh0", "mesh1"])
    folder = os.path.join(args.out, "Runtime", "Libraries", "Scenes")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, poser_name("large scene", "pz3", args.compress))
    target = args.scene_mb * 1024 * 1024
    chunk_target = 1024 * 1024
    written = 0
    z = gzip_level9() if args.compress else None
    with open(path, "wb") as f:
        def put(data):
            f.write(z.compress(data) if z else data)
            return len(data)

        written += put(lines("{", "", "version", "\t{", "\tnumber 6", "\t}"))
        n = 0
        while written < target:
            p = products[rng.randrange(len(products))]
            out = [lines("figure", "\t{"), refs.line("\tfigureResFile", p, "mesh0"),
                   lines("\t}", "prop %s_%d:1" % (p.lower(), n), "\t{", "\tstorageOffset 0 0 0"),
                   refs.line("\tobjFileGeom 0 0", p, "mesh1"),
                   lines("\tchannels", "\t\t{")]
            pool.fill(rng, min(chunk_target, target - written), out)
            out.append(lines("\t\t}", "\t}"))
            written += put(b"".join(out))
            n += 1
        written += put(lines("doc", "\t{", "\tbeginCamera CAMERA_1", "\t}", "}"))
        if z:
            f.write(z.flush())
    summary["poser_files"] = 1
    summary["poser_bytes"] = written
    summary["disk_bytes"] = os.path.getsize(path)
    summary["scene"] = os.path.relpath(path, args.out)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("out", help="folder to create (replaced if it exists); it becomes the Poser root")
    ap.add_argument("--files", type=int, default=5000, help="number of Poser files (default 5000)")
    ap.add_argument("--avg-kb", type=float, default=50, help="average Poser file size in KB (default 50)")
    ap.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    ap.add_argument("--broken", type=float, default=0.0, help="fraction of references to missing meshes")
    ap.add_argument("--prefix", type=float, default=0.0, help="fraction of references in prefix notation")
    ap.add_argument("--prefix-per-file", action="store_true",
                    help="exactly one reference of every file in prefix notation, the others in colon notation")
    ap.add_argument("--scene-mb", type=int, default=0, help="make one .pz3 scene of this many MB instead of a library")
    ap.add_argument("--moved", type=float, default=0.0,
                    help="fraction of the references (of those not broken) whose mesh lies in another folder")
    ap.add_argument("--compress", action="store_true",
                    help="write the Poser files gzip-compressed (level 9) as .crz .ppz .hrz .pzz")
    ap.add_argument("--sparse", action="store_true",
                    help="figures and props alone, with one or two references each (a sparse library)")
    ap.add_argument("--repair-share", type=float, default=0.0,
                    help="fraction of the files that hold one prefix-notation reference, the others none")
    ap.add_argument("--real-shape", action="store_true",
                    help="files shaped like real documents: mean line length drawn per file from 16 to 31 bytes "
                         "(20 over all), one reference line per 1,200 bytes, most of them naming no file")
    ap.add_argument("--short-lines", action="store_true",
                    help="figures and props of keyframed channels, lines of %.1f bytes, one or two references each"
                         % SHORT_LINE_BYTES)
    ap.add_argument("--broken-library", action="store_true",
                    help="--real-shape documents copied without their meshes and textures: no mesh or image "
                         "file exists, and nearly every reference line names no file")
    args = ap.parse_args()
    args.sparse = args.sparse or args.short_lines
    args.real_shape = args.real_shape or args.broken_library

    if os.path.exists(args.out):
        shutil.rmtree(args.out)
    os.makedirs(args.out)
    rng = random.Random(args.seed)
    shaped = args.real_shape or args.short_lines
    pool_rng = random.Random(args.seed * 7919 + 1)
    if args.broken_library:
        pool = ShapedPool(pool_rng, shares=BROKEN_REFERENCE_SHARES)
    else:
        pool = (ShapedPool if shaped else BlockPool)(pool_rng)
    refs = References(rng, args.broken, args.prefix, args.moved)
    summary = {"args": {k: v for k, v in vars(args).items() if k != "out"}, "poser_files": 0, "poser_bytes": 0,
               "disk_bytes": 0, "repair_files": 0, "lines": 0}
    if args.scene_mb:
        make_scene(args, rng, pool, refs, summary)
    else:
        make_library(args, rng, pool, refs, summary)
    make_moved_geometries(args.out, refs.moved_meshes)
    summary.update(references=refs.count, broken=refs.broken_count, prefix=refs.prefix_count,
                   moved=refs.moved_count, builtin=pool.builtin_written)
    if shaped:
        # Image files named (found, so "ok"), and channel names from the string table: lines
        # that start with a keyword of the reference table but name no file, which the
        # report does not count.
        summary.update(images=pool.images_written, names=pool.names_written)
        if args.broken_library:
            # Nothing a document names exists: every mesh reference and image is missing.
            summary.update(broken=refs.count, images_missing=pool.images_written)
        keyword_lines = refs.count + pool.builtin_written + pool.images_written + pool.names_written
        summary["bytes_per_reference_line"] = round(summary["poser_bytes"] / max(1, keyword_lines))
    if summary["lines"]:
        summary["line_bytes"] = round(summary["poser_bytes"] / summary["lines"], 2)
    with open(args.out.rstrip("/") + ".manifest.json", "w") as f:
        json.dump(summary, f, indent=1)
    print("%s: %d Poser files, %.1f MB (%.1f MB on disk), %d references (%d broken, %d moved, %d prefix)" % (
        args.out, summary["poser_files"], summary["poser_bytes"] / 1e6, summary["disk_bytes"] / 1e6, refs.count,
        refs.broken_count, refs.moved_count, refs.prefix_count), file=sys.stderr)
    if shaped:
        print("%s: lines of %.1f bytes (%.1f to %.1f file by file), a reference line per %d bytes" % (
            args.out, summary["line_bytes"], summary["line_bytes_least"], summary["line_bytes_most"],
            summary["bytes_per_reference_line"]), file=sys.stderr)


if __name__ == "__main__":
    main()
