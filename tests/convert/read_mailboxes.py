#!/usr/bin/python3
"""Reads a conversion's mail back with Python's mailbox module and prints, as
JSON, the SHA-256 of every message: the .eml files below an eml output, the
messages of every mbox file below an mbox output (mboxrd quoting taken away
again, one ">" from each ">...From " line, and the state lines put before the
message's own header), the messages of every folder of a Maildir tree, with
their flags."""
import hashlib
import json
import mailbox
import os
import re
import sys

QUOTED_FROM = re.compile(rb"^>(>*From )", re.MULTILINE)
STATE_LINES = re.compile(rb"\A(?:Status: [RO]*\r\n)?(?:X-Status: [AFT]*\r\n)?")


def digest(data):
    return hashlib.sha256(data).hexdigest()


def eml(root):
    found = []
    for directory, _, files in os.walk(root):
        for name in files:
            if name.endswith(".eml"):
                with open(os.path.join(directory, name), "rb") as handle:
                    found.append(digest(handle.read()))
    return {"messages": sorted(found)}


def mbox(root):
    found = []
    files = 0
    for directory, _, names in os.walk(root):
        for name in names:
            if not name.endswith(".mbox"):
                continue
            files += 1
            box = mailbox.mbox(os.path.join(directory, name), create=False)
            for key in box.keys():
                found.append(digest(STATE_LINES.sub(b"", QUOTED_FROM.sub(rb"\1", box.get_bytes(key)))))
    return {"files": files, "messages": sorted(found)}


def maildir(root):
    top = mailbox.Maildir(os.path.join(root, "Maildir"), factory=None, create=False)
    found = []
    folders = [""] + sorted(top.list_folders())
    for name in folders:
        box = top if name == "" else top.get_folder(name)
        for key in box.keys():
            message = box.get_message(key)
            found.append([digest(box.get_bytes(key)), message.get_flags(), message.get_subdir()])
    found.sort()
    return {"folders": folders, "messages": [m[0] for m in found], "flags": [m[1] for m in found]}


def main(kind, root):
    reader = {"eml": eml, "mbox": mbox, "maildir": maildir}[kind]
    json.dump(reader(root), sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
