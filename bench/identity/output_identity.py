#!/usr/bin/python3
"""Guards what users and scripts see: `tolvane-cli scan --json` and the tree that
`tolvane-cli convert` writes, on the demo mailbox, on a 1 000-message mkpst mailbox
and on every real sample present, must stay exactly as recorded.

Each output is normalised only where it differs from run to run by design (the
input's own path, the process's temporary directory, the dated output folder,
the random MIME boundaries and the manifest's hashes of them) and reduced to a SHA-256 digest; the digests are
kept in expected-digests.txt beside this script.

    output_identity.py --bin BUILD/bin --demo BUILD/demo/demo.pst [--samples DIR]
        compare with the recorded digests (exit 0 equal, 1 different)
    ... --update       record the current digests
    ... --dump DIR     also write every normalised output below DIR, so two
                       builds' outputs can be compared with diff -r
"""
import argparse
import hashlib
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
DIGESTS = os.path.join(HERE, "expected-digests.txt")
ENV_FIXED = {"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "TZ": "UTC"}

DATED_FOLDER = re.compile(r"^Vorsk-Recovery-\d+-\d+-\d+ \d+-\d+(-\d+)?$")


def run(cmd, env, ok_statuses=(0,)):
    proc = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode not in ok_statuses:
        raise RuntimeError("%s exited %d: %s" % (" ".join(cmd), proc.returncode,
                                                  proc.stderr.decode(errors="replace")[-2000:]))
    return proc


def temp_roots(tmpdir):
    """The scan's private directory, as the outputs spell it: per user, and a
    per-process directory below it where there is one."""
    user_root = os.path.join(tmpdir, "tolvane-%d" % os.getuid())
    return re.compile(re.escape(user_root.encode()) + rb"(/[0-9]+-[A-Za-z0-9]+)?")


def normalise_scan(raw, pst, roots):
    text = raw.replace(pst.encode(), b"<input>")
    return roots.sub(b"<tmp>", text)


def converted_tree(dest):
    """(relative path, normalised bytes) for every file and directory written."""
    entries = []
    tops = os.listdir(dest)
    for top in tops:
        if not DATED_FOLDER.match(top):
            raise RuntimeError("unexpected entry in the destination: %r" % top)
    if len(tops) != 1:
        raise RuntimeError("expected one output folder, found %d" % len(tops))
    root = os.path.join(dest, tops[0])
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames.sort()
        rel = os.path.relpath(dirpath, root)
        entries.append((rel + "/", b""))
        for name in sorted(filenames):
            with open(os.path.join(dirpath, name), "rb") as f:
                data = f.read()
            entries.append((os.path.join(rel, name), data))
    return entries


def digest_tree(entries):
    h = hashlib.sha256()
    for rel, data in entries:
        h.update(rel.encode("utf-8", "surrogateescape") + b"\0")
        h.update(hashlib.sha256(data).digest())
    return h.hexdigest()


def outputs_of(label, pst, args, work):
    env = dict(os.environ)
    env.update(ENV_FIXED)
    tmpdir = os.path.join(work, "tmp")
    os.makedirs(tmpdir, exist_ok=True)
    env["TMPDIR"] = tmpdir
    cli = os.path.join(args.bin, "tolvane-cli")
    roots = temp_roots(tmpdir)

    # A damaged sample may scan with skipped items (exit 4); its output is still recorded.
    scan = run([cli, "scan", "--json", pst], env, ok_statuses=(0, 4))
    scan_out = normalise_scan(scan.stdout, pst, roots)

    dest = os.path.join(work, "convert-" + label)
    os.makedirs(dest)
    convert = run([cli, "convert", pst, dest], env, ok_statuses=(0, 4))
    summary = normalise_scan(convert.stdout, pst, roots)
    summary = re.sub(rb"Vorsk-Recovery-\d+-\d+-\d+ \d+-\d+(-\d+)?", b"<output>",
                     summary.replace(dest.encode(), b"<dest>"))
    tree = converted_tree(dest)

    if args.dump:
        base = os.path.join(args.dump, label)
        os.makedirs(base, exist_ok=True)
        with open(os.path.join(base, "scan.json"), "wb") as f:
            f.write(scan_out)
        with open(os.path.join(base, "convert-summary.txt"), "wb") as f:
            f.write(summary + b"\nstatus %d\n" % convert.returncode)
        for rel, data in tree:
            path = os.path.join(base, "tree", rel)
            if rel.endswith("/"):
                os.makedirs(path, exist_ok=True)
            else:
                with open(path, "wb") as f:
                    f.write(data)

    return {
        label + " scan": hashlib.sha256(scan_out + b"\nstatus %d" % scan.returncode).hexdigest(),
        label + " convert": digest_tree(tree),
        label + " convert-summary": hashlib.sha256(
            summary + b"\nstatus %d" % convert.returncode).hexdigest(),
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--demo", required=True)
    parser.add_argument("--samples")
    parser.add_argument("--update", action="store_true")
    parser.add_argument("--dump")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="tolvane-identity-") as work:
        generated = os.path.join(work, "mkpst-1000.pst")
        run([os.path.join(args.bin, "mkpst"), "--messages", "1000", "--contacts", "20",
             "--appointments", "20", "--seed", "11", generated], os.environ)

        inputs = [("demo", os.path.abspath(args.demo)), ("mkpst-1000", generated)]
        missing_samples = False
        if args.samples and os.path.isdir(args.samples):
            for name in sorted(os.listdir(args.samples)):
                if name.endswith(".pst"):
                    inputs.append(("sample " + name, os.path.abspath(os.path.join(args.samples, name))))
        else:
            missing_samples = True

        actual = {}
        for label, pst in inputs:
            actual.update(outputs_of(label.replace(" ", "-"), pst, args, work))

    if args.update:
        with open(DIGESTS, "w") as f:
            for key in sorted(actual):
                f.write("%s  %s\n" % (actual[key], key))
        print("recorded %d digests in %s" % (len(actual), DIGESTS))
        return 0

    expected = {}
    with open(DIGESTS) as f:
        for line in f:
            digest, key = line.rstrip("\n").split("  ", 1)
            expected[key] = digest

    different = [k for k in sorted(actual) if expected.get(k) != actual[k]]
    for key in different:
        print("DIFFERENT: %s" % key)
    unchecked = [k for k in sorted(expected) if k not in actual]
    if unchecked and not missing_samples:
        for key in unchecked:
            print("NOT PRODUCED: %s" % key)
        different += unchecked
    if missing_samples:
        print("real samples not found (%s): only the generated mailboxes were compared" % args.samples)
    print("%d outputs compared, %d different" % (len(actual), len(different)))
    return 1 if different else 0


if __name__ == "__main__":
    sys.exit(main())
