#!/usr/bin/python3
"""Prints, as JSON, how address books read the .vcf files below a directory:
{"vobject": [one object per card: file, FN, the N components, UID, KIND,
MEMBERs], "khard": {"cards": [[UID, name] of each card khard lists], "stderr": its complaints}}.
khard is asked only with --khard; when it is not installed, "khard" is null."""
import json
import os
import shutil
import subprocess
import sys
import tempfile

import vobject


def value(card, name):
    item = getattr(card, name, None)
    return None if item is None else item.value


def read_vobject(root):
    cards = []
    for folder, _, names in sorted(os.walk(root)):
        for name in sorted(n for n in names if n.endswith(".vcf")):
            path = os.path.join(folder, name)
            with open(path, encoding="utf-8") as handle:
                card = vobject.readOne(handle.read())
            n = value(card, "n")
            cards.append({
                "file": name,
                "fn": value(card, "fn"),
                "n": None if n is None else [n.family, n.given, n.additional, n.prefix, n.suffix],
                "uid": value(card, "uid"),
                "kind": value(card, "kind"),
                "members": [m.value for m in card.contents.get("member", [])],
            })
    return cards


def read_khard(root):
    if shutil.which("khard") is None:
        return None
    books = {}
    for folder, _, names in os.walk(root):
        if any(n.endswith(".vcf") for n in names):
            books["book%d" % len(books)] = folder
    with tempfile.TemporaryDirectory() as home:
        config = os.path.join(home, "khard.conf")
        with open(config, "w", encoding="utf-8") as handle:
            handle.write("[addressbooks]\n")
            for name, folder in sorted(books.items()):
                handle.write("[[%s]]\npath = %s\n" % (name, folder))
            handle.write("[general]\ndefault_action = list\n")
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home, XDG_CACHE_HOME=home)
        proc = subprocess.run(["khard", "-c", config, "list", "--parsable", "--display", "formatted_name"],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, check=False)
    listed = [line.split("\t") for line in proc.stdout.decode().splitlines() if line.strip()]
    return {"cards": sorted([row[0], row[1] if len(row) > 1 else ""] for row in listed),
            "stderr": proc.stderr.decode(), "status": proc.returncode}


def main(args):
    root = args[-1]
    result = {"vobject": read_vobject(root), "khard": read_khard(root) if "--khard" in args else None}
    json.dump(result, sys.stdout, indent=1, sort_keys=True)


if __name__ == "__main__":
    main(sys.argv[1:])
