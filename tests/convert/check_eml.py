#!/usr/bin/env python3
"""Parses every .eml file below the given paths with the standard email package
(policy default) and fails on any defect, in any part, in any header."""
import email
import email.policy
import pathlib
import sys


def defects_of(message):
    found = []
    for part in message.walk():
        found += [str(d) for d in part.defects]
        for name, value in part.items():
            found += ["%s: %s" % (name, d) for d in getattr(value, "defects", ())]
        if part.get_content_maintype() != "multipart" and part.get_content_type() != "message/rfc822":
            try:
                part.get_content()
            except Exception as error:  # a body that cannot be decoded is a defect too
                found.append("content of %s: %s" % (part.get_content_type(), error))
    return found


def main(paths):
    files = []
    for path in map(pathlib.Path, paths):
        files += sorted(path.rglob("*.eml")) if path.is_dir() else [path]
    failures = 0
    for file in files:
        with open(file, "rb") as handle:
            message = email.message_from_binary_file(handle, policy=email.policy.default)
        problems = defects_of(message)
        if problems:
            failures += 1
            print("%s: %s" % (file, "; ".join(problems)))
    print("%d files, %d with defects" % (len(files), failures))
    return 1 if failures or not files else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
