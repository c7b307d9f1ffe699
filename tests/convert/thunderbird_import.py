#!/usr/bin/python3
"""Shows what Thunderbird itself reads of a Local Folders tree written by a
conversion (mbox files named after their folders, sub-folders in NAME.sbd/).

Usage: thunderbird_import.py [--timeout SECONDS] [--tag NAME]... TREE_DIR

The tree is copied into the Local Folders of a throwaway profile, the way a
user copies it there while the client is closed; Thunderbird is then started
headless with Marionette, made to parse every folder, and asked for each
folder's path of names, its message count and, per message, the subject, the
read/replied/flagged/forwarded state and the keywords. Each --tag NAME is
made a tag first, as the client's new-tag dialog makes one (a name it already
knows keeps its tag), and its key is reported under "tags". One JSON object
goes to stdout. Exit 3 means Thunderbird could not be started or talked to,
so a test can skip instead of failing."""
import argparse
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

THUNDERBIRD = "/usr/bin/thunderbird"
STARTUP_SECONDS = 90
QUIT_SECONDS = 15
COULD_NOT_RUN = 3

# Runs in Thunderbird's chrome context. Folders are walked through subFolders
# rather than descendants so that every folder's path of names comes for free.
# A folder whose summary is missing is parsed in the background:
# getDatabaseWithReparse then throws NS_ERROR_NOT_INITIALIZED and reports the
# end to the listener, so it is asked again until it hands out the database.
# Asked while the parse is still running it throws "summary out of date"
# instead. The timer only guards against a listener that is never called.
COLLECT = r"""
const resolve = arguments[arguments.length - 1];
const tagNames = arguments[0];
const { MailServices } = ChromeUtils.importESModule(
  "resource:///modules/MailServices.sys.mjs");
const { setTimeout, clearTimeout } = ChromeUtils.importESModule(
  "resource://gre/modules/Timer.sys.mjs");
const F = Ci.nsMsgMessageFlags;
const SUMMARY_OUT_OF_DATE = 0x80550005;

function parsedDatabase(folder) {
  const local = folder.QueryInterface(Ci.nsIMsgLocalMailFolder);
  return new Promise((done, failed) => {
    let timer = null;
    const attempt = () => {
      clearTimeout(timer);
      try {
        done(local.getDatabaseWithReparse(listener, null));
      } catch (e) {
        if (e.result != Cr.NS_ERROR_NOT_INITIALIZED && e.result != SUMMARY_OUT_OF_DATE) {
          failed(e);
          return;
        }
        timer = setTimeout(attempt, 1000);
      }
    };
    const listener = {
      QueryInterface: ChromeUtils.generateQI(["nsIUrlListener"]),
      OnStartRunningUrl() {},
      OnStopRunningUrl() { setTimeout(attempt, 0); },
    };
    attempt();
  });
}

async function collect(folder, path, out) {
  const entry = { path, file: folder.filePath.path };
  try {
    const db = await parsedDatabase(folder);
    entry.count = folder.getTotalMessages(false);
    entry.messages = [];
    for (const hdr of db.enumerateMessages()) {
      const flags = hdr.flags;
      // The summary keeps a leading "Re: " as a flag, not in the subject.
      const subject = (flags & F.HasRe ? "Re: " : "") + hdr.mime2DecodedSubject;
      entry.messages.push({
        subject,
        read: !!(flags & F.Read),
        replied: !!(flags & F.Replied),
        flagged: !!(flags & F.Marked),
        forwarded: !!(flags & F.Forwarded),
        keywords: hdr.getStringProperty("keywords"),
        flags,
        message_id: hdr.messageId,
      });
    }
  } catch (e) {
    entry.error = String(e);
  }
  out.push(entry);
  const children = [...folder.subFolders].sort((a, b) => a.name < b.name ? -1 : a.name > b.name ? 1 : 0);
  for (const child of children) {
    await collect(child, path.concat([child.name]), out);
  }
}

(async () => {
  const tags = {};
  for (const name of tagNames) {
    if (!MailServices.tags.getKeyForTag(name)) {
      MailServices.tags.addTag(name, "", "");
    }
    tags[name] = MailServices.tags.getKeyForTag(name);
  }
  const server = MailServices.accounts.localFoldersServer;
  const out = [];
  for (const child of server.rootFolder.subFolders) {
    await collect(child, [child.name], out);
  }
  return { root: server.localPath.path, folders: out, tags };
})().then(resolve, e => resolve({ failure: String(e) + "\n" + (e.stack || "") }));
"""


class Unavailable(Exception):
    """Thunderbird could not be started or talked to."""


def prefs(mail_dir):
    values = {
        # The one account: Local Folders, a "none" server on the copied tree.
        "mail.accountmanager.accounts": "account1",
        "mail.accountmanager.localfoldersserver": "server1",
        "mail.account.account1.server": "server1",
        "mail.account.lastKey": 1,
        "mail.server.server1.type": "none",
        "mail.server.server1.hostname": "Local Folders",
        "mail.server.server1.name": "Local Folders",
        "mail.server.server1.userName": "nobody",
        "mail.server.server1.directory": mail_dir,
        # Stated rather than left to the default, since the tree is mbox.
        "mail.server.server1.storeContractID": "@mozilla.org/msgstore/berkeleystore;1",
        # Let the system pick the port; it is read back from
        # MarionetteActivePort, so parallel runs cannot clash.
        "marionette.port": 0,
        # Nothing to show, nothing to fetch.
        "offline.startup_state": 3,
        "offline.autoDetect": False,
        "mail.shell.checkDefaultClient": False,
        "mail.shell.checkDefaultMail": False,
        "mail.rights.version": 1,
        "mail.provider.enabled": False,
        "mailnews.start_page.enabled": False,
        "mailnews.start_page_override.mstone": "ignore",
        "mailnews.auto_config.fetchFromISP.enabled": False,
        "mailnews.auto_config.fetchFromExchange.enabled": False,
        "mailnews.auto_config.guess.enabled": False,
        # The global search indexer would read every message again.
        "mailnews.database.global.indexer.enabled": False,
        "app.update.auto": False,
        "app.update.disabledForTesting": True,
        "extensions.update.enabled": False,
        "extensions.getAddons.cache.enabled": False,
        "datareporting.policy.dataSubmissionEnabled": False,
        "datareporting.healthreport.uploadEnabled": False,
        "toolkit.telemetry.enabled": False,
        "toolkit.telemetry.reportingpolicy.firstRun": False,
        "browser.safebrowsing.malware.enabled": False,
        "browser.safebrowsing.phishing.enabled": False,
        "network.captive-portal-service.enabled": False,
        "network.connectivity-service.enabled": False,
        "calendar.timezone.local": "UTC",
    }
    return "".join("user_pref(%s, %s);\n" % (json.dumps(name), json.dumps(value))
                   for name, value in values.items())


class Marionette:
    def __init__(self, port, deadline):
        self.deadline = deadline
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=self.remaining())
        self.pending = b""
        self.last_id = 0
        hello = self.receive()
        if not isinstance(hello, dict) or "marionetteProtocol" not in hello:
            raise Unavailable("unexpected Marionette greeting: %r" % (hello,))

    def remaining(self):
        left = self.deadline - time.monotonic()
        if left <= 0:
            raise Unavailable("timed out talking to Thunderbird")
        return left

    def fill(self):
        self.sock.settimeout(self.remaining())
        try:
            data = self.sock.recv(1 << 16)
        except socket.timeout:
            raise Unavailable("timed out talking to Thunderbird") from None
        except OSError as error:
            raise Unavailable("Marionette connection failed: %s" % error) from None
        if not data:
            raise Unavailable("Thunderbird closed the Marionette connection")
        self.pending += data

    def receive(self):
        while b":" not in self.pending:
            self.fill()
        length, rest = self.pending.split(b":", 1)
        try:
            length = int(length)
        except ValueError:
            raise Unavailable("garbled Marionette packet") from None
        self.pending = rest
        while len(self.pending) < length:
            self.fill()
        packet, self.pending = self.pending[:length], self.pending[length:]
        try:
            return json.loads(packet)
        except ValueError:
            raise Unavailable("garbled Marionette packet") from None

    def command(self, name, params=None):
        self.last_id += 1
        data = json.dumps([0, self.last_id, name, params or {}]).encode()
        self.sock.settimeout(self.remaining())
        try:
            self.sock.sendall(b"%d:%s" % (len(data), data))
        except OSError as error:
            raise Unavailable("Marionette connection failed: %s" % error) from None
        while True:
            reply = self.receive()
            if isinstance(reply, list) and len(reply) == 4 and reply[0] == 1 \
                    and reply[1] == self.last_id:
                if reply[2]:
                    error = reply[2]
                    raise Unavailable("%s failed: %s" % (
                        name, error.get("message", error) if isinstance(error, dict) else error))
                return reply[3]

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


def exited(proc):
    """Whether the process has ended, without reaping it: while it is an
    unreaped zombie its id stays reserved as the process group's id, so the
    group can still be killed safely afterwards."""
    try:
        return os.waitid(os.P_PID, proc.pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is not None
    except ChildProcessError:
        return True


def log_tail(path):
    try:
        with open(path, "rb") as handle:
            lines = handle.read().decode("utf-8", "replace").splitlines()
    except OSError:
        return ""
    return "\n".join(lines[-20:])


def connect(proc, profile, log, deadline):
    port_file = os.path.join(profile, "MarionetteActivePort")
    started = time.monotonic()
    while True:
        if exited(proc):
            raise Unavailable("Thunderbird exited during startup:\n" + log_tail(log))
        if time.monotonic() > deadline:
            raise Unavailable("Marionette did not answer within %.0f s:\n%s"
                              % (time.monotonic() - started, log_tail(log)))
        port = None
        try:
            with open(port_file) as handle:
                port = int(handle.read().strip())
        except (OSError, ValueError):
            pass
        if port:
            try:
                return Marionette(port, deadline)
            except (OSError, Unavailable):
                pass
        time.sleep(0.25)


def stop(proc, client):
    # Quitting properly first lets Thunderbird close its files; without a
    # Marionette connection there is nobody to ask, so it is killed at once.
    if client is not None:
        if not exited(proc):
            try:
                client.deadline = time.monotonic() + QUIT_SECONDS
                client.command("Marionette:Quit", {"flags": ["eForceQuit"]})
            except Unavailable:
                pass
        client.close()
        end = time.monotonic() + QUIT_SECONDS
        while not exited(proc) and time.monotonic() < end:
            time.sleep(0.1)
    # Content processes share the group; sweep whatever is left of it.
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
    proc.wait()


def readable(name):
    """A file name as valid text for the JSON: a name that is not UTF-8 keeps
    its odd bytes as \\xNN escapes."""
    return os.fsencode(name).decode("utf-8", "backslashreplace")


def in_tree(tree, relative):
    return os.path.lexists(os.path.join(tree, relative)) or \
        os.path.isdir(os.path.join(tree, relative + ".sbd"))


def report(tree, collected):
    root = collected["root"]
    folders = []
    used = set()
    for entry in collected["folders"]:
        relative = os.path.relpath(entry.pop("file"), root)
        used.add(relative)
        folder = {"path": entry["path"], "file": relative, "in_tree": in_tree(tree, relative)}
        if "error" in entry:
            folder["error"] = entry["error"]
        else:
            folder["count"] = entry["count"]
            folder["messages"] = entry["messages"]
        folders.append(folder)
    folders.sort(key=lambda folder: folder["path"])
    # Files of the tree that Thunderbird did not take as a folder's mbox.
    unused = []
    for directory, _, names in os.walk(tree):
        for name in names:
            relative = readable(os.path.relpath(os.path.join(directory, name), tree))
            if relative not in used:
                unused.append(relative)
    return {"folders": folders, "not_folders": sorted(unused), "tags": collected.get("tags", {})}


def run(tree, timeout, executable, tags=()):
    deadline = time.monotonic() + timeout
    scratch = tempfile.mkdtemp(prefix="tb-import-")
    proc = None
    client = None
    try:
        profile = os.path.join(scratch, "profile")
        home = os.path.join(scratch, "home")
        mail_dir = os.path.join(profile, "Mail", "Local Folders")
        temp = os.path.join(scratch, "tmp")
        os.makedirs(home)
        os.makedirs(temp)
        shutil.copytree(tree, mail_dir, symlinks=True)
        with open(os.path.join(profile, "user.js"), "w", encoding="utf-8") as handle:
            handle.write(prefs(mail_dir))

        env = dict(os.environ)
        env.update({
            # Thunderbird keeps scratch files below TMPDIR and HOME; both
            # go away with the run.
            "HOME": home,
            "TMPDIR": temp,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "MOZ_HEADLESS": "1",
            "MOZ_CRASHREPORTER_DISABLE": "1",
        })
        log = os.path.join(scratch, "thunderbird.log")
        try:
            with open(log, "wb") as out:
                proc = subprocess.Popen(
                    [executable, "--headless", "--marionette", "-remote-allow-system-access",
                     "--no-remote", "-profile", profile],
                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                    env=env, cwd=scratch, start_new_session=True)
        except OSError as error:
            raise Unavailable("cannot start %s: %s" % (executable, error)) from None

        client = connect(proc, profile, log,
                         min(deadline, time.monotonic() + STARTUP_SECONDS))
        client.deadline = deadline
        client.command("WebDriver:NewSession", {})
        client.command("Marionette:SetContext", {"value": "chrome"})
        budget = int(max(1.0, deadline - time.monotonic() - 1) * 1000)
        client.command("WebDriver:SetTimeouts", {"script": budget})
        result = client.command("WebDriver:ExecuteAsyncScript", {"script": COLLECT, "args": [list(tags)]})
        collected = result.get("value") if isinstance(result, dict) else None
        if not isinstance(collected, dict) or "failure" in collected:
            raise Unavailable("reading the folders failed: %s" % (
                collected.get("failure") if isinstance(collected, dict) else result))
        return report(tree, collected)
    finally:
        if proc is not None:
            stop(proc, client)
        shutil.rmtree(scratch, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tree", help="directory holding the mbox files and .sbd directories")
    parser.add_argument("--timeout", type=float, default=180,
                        help="limit for the whole run in seconds (default 180)")
    parser.add_argument("--tag", action="append", default=[], metavar="NAME",
                        help="make a tag of this name first and report its key")
    parser.add_argument("--thunderbird", default=THUNDERBIRD, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if not os.path.isdir(args.tree):
        parser.error("%s is not a directory" % args.tree)

    # A test runner's SIGTERM has to clean up like any other failure.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(COULD_NOT_RUN))
    try:
        result = run(os.path.abspath(args.tree), args.timeout, args.thunderbird, args.tag)
    except Unavailable as error:
        print("thunderbird_import: %s" % error, file=sys.stderr)
        return COULD_NOT_RUN
    # UTF-8 whatever the locale says, so that folder names stay readable.
    sys.stdout.buffer.write(json.dumps(result, ensure_ascii=False, indent=1).encode("utf-8") + b"\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
