#!/usr/bin/python3
"""Checks that the sources keep the shape the build's libraries promise.

Every folder of the product is one layer; a layer may include only the layers
it names below (and itself). A header that reaches upwards, or sideways into
a sibling, is how a cycle between libraries starts, long before the linker
notices, so this runs with the tests. It also holds every product file to at
most MAX_LINES lines: a file that long has more than one job.

    source_layout.py ROOT         check the tree at ROOT
    source_layout.py --self-test  show that a bad include and a long file fail
"""

import os
import re
import sys
import tempfile

# Folder (relative to the root) -> the folders its files may include besides
# their own. The longest folder that holds a file decides its layer.
LAYERS = {
    "base": [],
    "model": ["base"],
    "scan": ["model", "base"],
    "convert/read": ["model", "scan", "base"],
    "convert/compose": ["model", "base"],
    # The output names folders through the scan's folder tables (FolderPaths,
    # StoreFolders) and their limits.
    "convert/output": ["model", "scan", "base"],
    "convert": ["convert/read", "convert/compose", "convert/output", "model", "scan", "base"],
    "frontend": ["convert", "convert/read", "convert/compose", "convert/output", "model", "scan", "base"],
    "view": ["frontend", "model", "scan", "base"],
    "app/cli": ["frontend", "convert", "convert/read", "convert/compose", "convert/output", "model", "scan", "base"],
    "app": ["view", "frontend", "convert", "convert/read", "convert/compose", "convert/output", "model", "scan",
            "base"],
    "pstwriter": [],
    "tools/mkpst": ["pstwriter"],
    "bench": ["scan", "base"],
    "fuzz": ["app/cli", "frontend", "convert", "convert/read", "convert/compose", "convert/output", "model", "scan",
             "base", "pstwriter"],
}
# Generated headers live in the build folder under these names.
GENERATED = {"app/TolvaneVersion.h": "app"}
MAX_LINES = 700
SOURCE_SUFFIXES = (".cpp", ".h")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def layer_of(path):
    """The layer a root-relative path belongs to, or None outside the product."""
    best = None
    for folder in LAYERS:
        if (path == folder or path.startswith(folder + "/")) and (best is None or len(folder) > len(best)):
            best = folder
    return best


def check(root):
    problems = []
    for folder in sorted(LAYERS):
        top = os.path.join(root, folder)
        if not os.path.isdir(top):
            problems.append(f"{folder}/: the layer's folder is missing")
            continue
        for directory, _, names in os.walk(top):
            for name in sorted(names):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                full = os.path.join(directory, name)
                path = os.path.relpath(full, root).replace(os.sep, "/")
                own = layer_of(path)
                if own != folder:
                    continue  # a deeper layer's file, checked with that layer
                with open(full, encoding="utf-8", errors="replace") as source:
                    lines = source.read().splitlines()
                if len(lines) > MAX_LINES:
                    problems.append(f"{path}: {len(lines)} lines, more than {MAX_LINES}")
                allowed = set(LAYERS[own]) | {own}
                for number, line in enumerate(lines, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    included = match.group(1)
                    if "/" not in included:
                        continue  # a header beside it or a library's own
                    target = GENERATED.get(included) or layer_of(included)
                    if target is None:
                        problems.append(f"{path}:{number}: includes {included}, which belongs to no layer")
                    elif target not in allowed:
                        problems.append(f"{path}:{number}: {own} may not include {included} ({target})")
    return problems


def self_test():
    """A tree with one upward include and one long file must fail, and
    nothing else in it may."""
    with tempfile.TemporaryDirectory() as root:
        for folder in LAYERS:
            os.makedirs(os.path.join(root, folder), exist_ok=True)
        with open(os.path.join(root, "scan", "Walk.cpp"), "w") as f:
            f.write('#include "base/Fd.h"\n#include "convert/MailContent.h"\n')
        with open(os.path.join(root, "model", "Long.h"), "w") as f:
            f.write("\n" * (MAX_LINES + 1))
        with open(os.path.join(root, "app", "Window.cpp"), "w") as f:
            f.write('#include "view/Tree.h"\n#include "app/TolvaneVersion.h"\n#include <QString>\n')
        problems = check(root)
    expected = ["model/Long.h: 701 lines, more than 700",
                "scan/Walk.cpp:2: scan may not include convert/MailContent.h (convert)"]
    if problems != expected:
        print("self-test failed; found:\n  " + "\n  ".join(problems))
        return 1
    return 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    if len(argv) != 2:
        print(__doc__)
        return 2
    problems = check(argv[1])
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
