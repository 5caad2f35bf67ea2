#!/usr/bin/env python3
"""Drives `pelorant setup` and `pelorant lookup -i` in a detached tmux pane as a
user would: mouse clicks on what the screen shows, typed text, Enter. Every
wait is bounded; the pane's last screen is printed when a wait fails."""
import os
import subprocess
import sys
import tempfile
import time

PELORANT = os.path.abspath(sys.argv[1])
WAIT_S = 20
failures = []


class Pane:
    def __init__(self, work, command):
        if os.path.exists(os.path.join(work, "exit")):
            os.remove(os.path.join(work, "exit"))
        self.socket = "pelorant-tui-%d" % os.getpid()
        self.tmux("new-session", "-d", "-s", "t", "-x", "120", "-y", "40",
                  "env TERM=xterm-256color %s; echo EXIT=$? > %s/exit; sleep 60" % (command, work))
        self.work = work

    def tmux(self, *args):
        return subprocess.run(["tmux", "-L", self.socket] + list(args), check=True, capture_output=True,
                              text=True, timeout=WAIT_S).stdout

    def screen(self):
        return self.tmux("capture-pane", "-p", "-t", "t").splitlines()

    def find(self, text):
        for row, line in enumerate(self.screen()):
            col = line.find(text)
            if col >= 0:
                return col, row
        return None

    def wait_for(self, text):
        deadline = time.monotonic() + WAIT_S
        while time.monotonic() < deadline:
            at = self.find(text)
            if at:
                return at
            time.sleep(0.1)
        raise AssertionError("the screen never showed %r:\n%s" % (text, "\n".join(self.screen())))

    def click(self, text):
        col, row = self.wait_for(text)
        # SGR mouse reports, 1-based: press and release of the left button.
        for final in ("M", "m"):
            self.tmux("send-keys", "-t", "t", "-l", "\x1b[<0;%d;%d%s" % (col + 2, row + 1, final))

    def type(self, text):
        self.tmux("send-keys", "-t", "t", "-l", text)

    def key(self, name):
        self.tmux("send-keys", "-t", "t", name)

    def exit_status(self):
        path = os.path.join(self.work, "exit")
        deadline = time.monotonic() + WAIT_S
        while time.monotonic() < deadline:
            if os.path.exists(path) and open(path).read().strip():
                return open(path).read().strip()
            time.sleep(0.1)
        raise AssertionError("the program did not end:\n" + "\n".join(self.screen()))

    def close(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], capture_output=True, timeout=WAIT_S)


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what, file=sys.stderr)


def pelorant(*args):
    return subprocess.run([PELORANT] + list(args), capture_output=True, text=True, timeout=120,
                          stdin=subprocess.DEVNULL)


def setup_edits_a_set_as_the_options_command_does(work):
    pane = Pane(work, "%s setup" % PELORANT)
    try:
        pane.click("Add...")
        pane.wait_for("New Option Name :")
        pane.type("Mine")
        pane.key("Enter")
        pane.wait_for("Current option:               Mine")
        pane.click("Basic Settings")
        # The arrangement is only open to change while output goes to a new window.
        pane.click("Do not arrange")
        pane.click("Show in the original window")
        pane.click("Show both the original")
        pane.wait_for("[×] Show both the original")
        pane.click("Details")
        pane.click("Double the height")
        pane.wait_for("[×] Double the height")
        pane.click("  OK  ")
        check(pane.exit_status() == "EXIT=0", "setup closed with OK should end with status 0")
    finally:
        pane.close()
    check(pelorant("options", "add", "Ref").returncode == 0, "options add Ref")
    check(pelorant("options", "set", "Ref", "OutputDestType=0", "WindowAlign=0", "DualPrint=True",
                   "DualPrintExpandShape=True").returncode == 0, "options set Ref")
    mine = pelorant("options", "show", "Mine").stdout.splitlines()
    ref = pelorant("options", "show", "Ref").stdout.splitlines()
    check(len(mine) > 10, "options show Mine lists the set")
    check([l for l in mine if not l.startswith("Name=")] == [l for l in ref if not l.startswith("Name=")],
          "the set made in the dialog equals the one made by options set:\n%s\n%s" % (mine, ref))

    # Cancel forgets every edit.
    pane = Pane(work, "%s setup" % PELORANT)
    try:
        pane.click("Add...")
        pane.wait_for("New Option Name :")
        pane.type("Gone")
        pane.key("Enter")
        pane.wait_for("Current option:               Gone")
        pane.click(" Cancel ")
        status = pane.exit_status()
        check(status == "EXIT=1", "setup closed with Cancel should end with status 1, not " + status)
    finally:
        pane.close()
    check("Gone" not in pelorant("options", "list").stdout, "a cancelled dialog stored a set")


def setup_adds_a_server_and_lists_its_pairs(work):
    # The product's own way from the panel to the stored servers, which the
    # dialogs suite replaces: a real server answers, and the pairs it lists
    # are in the engine list the dialog shows and in the one it stores.
    server = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__), "..", "http", "fault_server.py"),
                               "ok"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    url = "http://127.0.0.1:" + server.stdout.readline().strip()
    pane = Pane(work, "%s setup" % PELORANT)
    try:
        pane.click("Translation Engines")
        pane.click("Add Server...")
        for prompt, answer in (("Server Name :", "team"), ("URL :", url), ("API (", ""), ("Key File", "")):
            pane.wait_for(prompt)
            pane.type(answer)
            pane.key("Enter")
        pane.wait_for(url)
        pane.click("  OK  ")
        check(pane.exit_status() == "EXIT=0", "setup closed with OK after adding a server should end with status 0")
    finally:
        pane.close()
        server.kill()
        server.wait()
    listed = pelorant("engines", "list").stdout
    check("Http:team:eng-spa" in listed, "the added server's pair is listed:\n" + listed)


def lookup_searches_the_given_word_by_itself(work):
    fake = os.path.join(work, "fake.txt")
    with open(fake, "w") as f:
        f.write("implementation\tFakeMT\n"
                "pair\ten-ja\ten\tja\t9\tEnglish - Japanese\tFake MT\tFake\n"
                "dictionary\tcat\tneko (animal)\n")
    os.environ["PELORANT_FAKE_ENGINE"] = fake
    pane = Pane(work, "env PELORANT_FAKE_ENGINE=%s %s lookup -i --mode FakeMT:en-ja ' cat'" % (fake, PELORANT))
    try:
        pane.wait_for("English - Japanese  [Fake]")
        pane.wait_for("neko (animal)")
        pane.click(" Close ")
        status = pane.exit_status()
        check(status == "EXIT=0", "lookup -i should end with status 0, not " + status)
    finally:
        pane.close()


def main():
    with tempfile.TemporaryDirectory() as work:
        os.environ["PELORANT_REGISTRY"] = os.path.join(work, "registry")
        os.environ["XDG_CONFIG_HOME"] = os.path.join(work, "config")
        os.environ.pop("PELORANT_ANSWER", None)
        os.makedirs(os.environ["PELORANT_REGISTRY"])
        not_tty = pelorant("setup")
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
