#!/usr/bin/env python3
"""Prints, as JSON, how the standard email package (policy default) reads the
named headers of one .eml file: every occurrence's text, the addresses of
address headers as [display name, address], and the defects of each."""
import email
import email.policy
import json
import sys


def main(path, names):
    with open(path, "rb") as handle:
        message = email.message_from_binary_file(handle, policy=email.policy.default)
    result = {}
    for name in names:
        occurrences = []
        for value in message.get_all(name) or []:
            entry = {"text": str(value), "defects": [str(d) for d in getattr(value, "defects", ())]}
            if hasattr(value, "addresses"):
                entry["addresses"] = [[a.display_name, a.addr_spec] for a in value.addresses]
            occurrences.append(entry)
        result[name] = occurrences
    json.dump(result, sys.stdout, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
