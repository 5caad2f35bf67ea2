#!/usr/bin/env python3
"""Drives `pelorant setup` and `pelorant lookup -i` in a detached tmux pane as a
user would: clicks on what the screen shows, typed text, Enter, Escape. Every
wait is bounded and prints the pane's last screen when it fails."""
import os
import signal
import subprocess
import sys
import tempfile
import time

PELORANT = os.path.abspath(sys.argv[1])
WAIT_S = 20
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what, file=sys.stderr)


def pelorant(*args):
    return subprocess.run([PELORANT, *args], capture_output=True, text=True, timeout=120,
                          stdin=subprocess.DEVNULL).stdout


class Pane:
    """A command in a tmux pane and server of its own, 120 x 40, its status in a file;
    late: the terminal answers the program's first questions late, as under load."""

    def __init__(self, work, command, late=False):
        self.socket = "pelorant-tui-%d-%d" % (os.getpid(), time.monotonic_ns())
        self.exit = os.path.join(work, self.socket)
        self.tmux("new-session", "-d", "-s", "t", "-x", "120", "-y", "40",
                  "env TERM=xterm-256color %s; echo EXIT=$? > %s; sleep 60" % (command, self.exit))
        if late:
            os.kill(server := int(self.tmux("display", "-p", "#{pid}")), signal.SIGSTOP)
            time.sleep(1.5)
            os.kill(server, signal.SIGCONT)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], capture_output=True, timeout=WAIT_S)

    def tmux(self, *args):
        return subprocess.run(["tmux", "-L", self.socket, *args], check=True, capture_output=True,
                              text=True, timeout=WAIT_S).stdout

    def poll(self, what, found):
        deadline = time.monotonic() + WAIT_S
        while time.monotonic() < deadline:
            if at := found():
                return at
            time.sleep(0.1)
        raise AssertionError("%s:\n%s" % (what, self.tmux("capture-pane", "-p", "-t", "t")))

    def wait_for(self, text):
        """(column, row) where the screen shows text."""
        return self.poll("the screen never showed %r" % text, lambda: next(
            ((line.find(text), row) for row, line in enumerate(self.tmux("capture-pane", "-p", "-t", "t").splitlines())
             if text in line), None))

    def click(self, text):
        col, row = self.wait_for(text)
        # SGR mouse reports, 1-based: press and release of the left button.
        for final in "Mm":
            self.tmux("send-keys", "-t", "t", "-l", "\x1b[<0;%d;%d%s" % (col + 2, row + 1, final))

    def keys(self, *keys):
        self.tmux("send-keys", "-t", "t", *keys)

    def answer(self, prompt, text):
        self.wait_for(prompt)
        self.keys("-l", text)
        self.keys("Enter")

    def ends(self, status, what):
        ended = self.poll("the program did not end",
                          lambda: os.path.exists(self.exit) and open(self.exit).read().strip())
        check(ended == "EXIT=%d" % status, "%s should end with status %d, not %s" % (what, status, ended))


def setup_edits_a_set_as_the_options_command_does(work):
    for name, close, status in (("Mine", None, 0), ("Gone", " Cancel ", 1), ("Escaped", "Escape", 1)):
        with Pane(work, "%s setup" % PELORANT) as pane:
            pane.click("Add...")
            pane.answer("New Option Name :", name)
            pane.wait_for("Current option:               " + name)
            if close:  # as its help says, Escape is Cancel
                pane.keys(close) if close == "Escape" else pane.click(close)
                pane.ends(status, "setup closed with " + close)
                check(name not in pelorant("options", "list"), "a cancelled dialog stored " + name)
                continue
            pane.click("Basic Settings")
            # The arrangement is only open to change while output goes to a new window.
            for text in ("Do not arrange", "Show in the original window", "Show both the original"):
                pane.click(text)
            pane.wait_for("[×] Show both the original")
            pane.click("Details")
            pane.click("Double the height")
            pane.wait_for("[×] Double the height")
            pane.click("  OK  ")
            pane.ends(status, "setup closed with OK")
    # Each value a click chose, none of them the new set's default.
    mine = pelorant("options", "show", "Mine").splitlines()
    for line in ("OutputDestType=0", "WindowAlign=0", "DualPrint=True", "DualPrintExpandShape=True"):
        check(line in mine, "the set made in the dialog lacks %s:\n%s" % (line, mine))


def setup_adds_a_server_and_lists_its_pairs(work):
    # The product's own way from the panel to the stored servers, which the
    # dialogs suite replaces: the pairs a real server lists are stored.
    server = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__), "..", "http", "fault_server.py"),
                               "ok"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    url = "http://127.0.0.1:" + server.stdout.readline().strip()
    try:
        with Pane(work, "%s setup" % PELORANT) as pane:
            pane.click("Translation Engines")
            pane.click("Add Server...")
            for prompt, answer in (("Server Name :", "team"), ("URL :", url), ("API (", ""), ("Key File", "")):
                pane.answer(prompt, answer)
            pane.wait_for(url)
            pane.click("  OK  ")
            pane.ends(0, "setup closed with OK after adding a server")
    finally:
        server.kill()
        server.wait()
    check("Http:team:eng-spa" in pelorant("engines", "list"), "the added server's pair is listed")


def lookup_searches_the_given_word_by_itself(work):
    fake = os.path.join(work, "fake.txt")
    with open(fake, "w") as f:
        f.write("implementation\tFakeMT\npair\ten-ja\ten\tja\t9\tEnglish - Japanese\tFake MT\tFake\n"
                "dictionary\tcat\tneko (animal)\n")
    lookup = "env PELORANT_FAKE_ENGINE=%s %s lookup -i --mode FakeMT:en-ja ' cat'" % (fake, PELORANT)
    # Escape in the word box, where the search leaves the cursor, closes it as Close does.
    for close in (lambda pane: pane.click(" Close "), lambda pane: pane.keys("Escape")):
        with Pane(work, lookup, late=True) as pane:
            pane.wait_for("English - Japanese  [Fake]")
            pane.wait_for("neko (animal)")
            close(pane)
            pane.ends(0, "lookup -i")


def main():
    with tempfile.TemporaryDirectory() as work:
        os.environ.update(PELORANT_REGISTRY=os.path.join(work, "registry"), XDG_CONFIG_HOME=os.path.join(work, "config"))
        os.environ.pop("PELORANT_ANSWER", None)
        os.makedirs(os.environ["PELORANT_REGISTRY"])
        not_tty = subprocess.run([PELORANT, "setup"], capture_output=True, text=True, stdin=subprocess.DEVNULL)
        check(not_tty.returncode == 2 and "terminal" in not_tty.stderr, "setup without a terminal fails clearly")
        for test in (setup_edits_a_set_as_the_options_command_does, setup_adds_a_server_and_lists_its_pairs,
                     lookup_searches_the_given_word_by_itself):
            try:
                test(work)
            except AssertionError as e:
                check(False, "%s: %s" % (test.__name__, e))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
