#!/usr/bin/env python3
"""Checks that the engine's folders depend on each other one way only.

Each folder below engine/ is a library; its CMakeLists.txt names the libraries it uses
(target_link_libraries ... tarnwick_<folder>). A source file may include the headers of its
own folder and of the folders its library uses, directly or through them; and the libraries'
uses must form no cycle. Prints each fault and exits 1 when there is any."""
import os
import re
import sys

top = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "engine")
folders = sorted(d for d in os.listdir(top) if os.path.isfile(os.path.join(top, d, "CMakeLists.txt")))
uses = {}
for d in folders:
    text = open(os.path.join(top, d, "CMakeLists.txt"), encoding="utf-8").read()
    links = re.findall(r"target_link_libraries\(tarnwick_%s\s+PUBLIC([^)]*)\)" % d, text)
    uses[d] = {m for line in links for m in re.findall(r"tarnwick_(\w+)", line) if m in folders}

faults = []


def reach(d, path):
    if d in path:
        faults.append("the libraries use each other in a cycle: " + " -> ".join(path + [d]))
        return set()
    found = set()
    for u in uses[d]:
        found |= {u} | reach(u, path + [d])
    return found


allowed = {d: reach(d, []) | {d} for d in folders}
include = re.compile(r'^\s*#\s*include\s+"engine/(\w+)/', re.M)
for d in folders:
    for name in sorted(os.listdir(os.path.join(top, d))):
        if not name.endswith((".h", ".cpp")) or name.endswith("_test.cpp"):
            continue
        text = open(os.path.join(top, d, name), encoding="utf-8").read()
        for used in include.findall(text):
            if used not in allowed[d]:
                faults.append("engine/%s/%s includes a header of engine/%s, which %s does not use" % (d, name, used, d))
for f in sorted(set(faults)):
    print(f)
sys.exit(1 if faults else 0)
