#!/usr/bin/python3
# tests/desktop/e2e.py PROGRAM ARTIFACTS: mimoza-gtk as a person uses it: lines typed with
# xdotool, the window read back through the accessibility bus (AT-SPI). Run by
# scripts/test-desktop inside an Xvfb display and a session bus (dbus-run-session), which start
# the accessibility bus on demand. Prints PASS, FAIL and SKIP lines and "desktop: N passed, N
# failed"; exits 1 when anything failed, and 75 (before any result) when the first window could
# not start at all, which scripts/test-desktop takes for a loaded machine and runs once more.
# Keeps a screenshot in ARTIFACTS.
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

PROGRAM, ARTIFACTS = sys.argv[1], sys.argv[2]
WORK = tempfile.mkdtemp(prefix="mimoza-desktop-")
# Roles a person acts on: each must have a name a screen reader can say.
CONTROL_ROLES = {"push button", "toggle button", "text", "entry", "check box", "radio button",
                 "combo box", "list box", "menu item", "spin button", "slider"}
results = {"passed": 0, "failed": 0}
STARTUP_FAILED = 75


class StartupFailure(Exception):
    """The first window never came up: no test of it could run."""


def record(name, ok, detail=""):
    results["passed" if ok else "failed"] += 1
    print(("PASS " if ok else "FAIL ") + name + ("" if ok or not detail else ": " + detail),
          flush=True)


def skip(name, why):
    print("SKIP %s: %s" % (name, why), flush=True)


def wait(predicate, timeout=10.0):
    """The first true value of predicate within timeout seconds, else None."""
    end = time.monotonic() + timeout
    while True:
        try:
            value = predicate()
        except Exception:  # the tree changes under us while the window redraws
            value = None
        if value or time.monotonic() > end:
            return value
        time.sleep(0.05)


def find(node, role, name=None):
    if node is None:
        return None
    if node.getRoleName() == role and (name is None or node.name == name):
        return node
    for i in range(node.childCount):
        found = find(node.getChildAtIndex(i), role, name)
        if found is not None:
            return found
    return None


def walk(node):
    if node is None:
        return
    yield node
    for i in range(node.childCount):
        yield from walk(node.getChildAtIndex(i))


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True)


def cp932(text):
    return text.encode("cp932")


class Window:
    """One mimoza-gtk process on a data directory, found in the accessibility tree by its pid."""

    def __init__(self, data, *options):
        self.data = data
        env = dict(os.environ, XDG_STATE_HOME=os.path.join(WORK, "state"))
        self.process = subprocess.Popen([PROGRAM, "--dir", data, *options], env=env)

    def app(self):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        return None

    def frame(self):
        return find(self.app(), "frame")

    def transcript(self):
        return text_of(find(self.app(), "text", "会話"))

    def entry(self):
        return text_of(find(self.app(), "text", "入力"))

    def focus(self):
        # The main window by its title: the check's window and menus are the process's too.
        def search():
            ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^ミモザ$"],
                                 capture_output=True, text=True).stdout.split()
            return [i for i in ids if subprocess.run(
                ["xdotool", "getwindowpid", i], capture_output=True,
                text=True).stdout.strip() == str(self.process.pid)]
        window = (wait(search, 5) or [None])[0]
        if window is None:
            raise RuntimeError("no window of pid %d on the display" % self.process.pid)
        xdotool("windowfocus", "--sync", window)
        return window

    def click(self, node):
        """A click in the middle of node (GTK gives its place in the window)."""
        x, y, width, height = node.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
        xdotool("mousemove", "--window", self.focus(), str(x + width // 2), str(y + height // 2),
                "click", "1")

    def type_line(self, line):
        """Types line into the input and makes sure it arrived whole: xdotool types a character
        the keyboard map lacks by remapping a spare key, and under load the window can read a key
        with the next character's map. A garbled line is cleared and typed again, slower."""
        entry = find(self.app(), "text", "入力")
        for delay in (15, 60, 150):
            self.click(entry)
            xdotool("key", "ctrl+a", "BackSpace")
            xdotool("type", "--delay", str(delay), line)
            if wait(lambda: self.entry() == line, 2):
                return
        raise RuntimeError("could not type %r: the input shows %r" % (line, self.entry()))

    def send(self, line, ctrl=False):
        """Types line and Enter (Ctrl+Enter), and waits for the turn's response row."""
        before = self.transcript()
        self.type_line(line)
        xdotool("key", "ctrl+Return" if ctrl else "Return")
        return wait(lambda: (lambda now: now if now != before and not now.endswith(
            line + ("  (Ctrl)" if ctrl else "") + "\n") else None)(self.transcript()))

    def close(self):
        self.focus()
        xdotool("key", "ctrl+q")
        try:
            return self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return None


def dictionary(data):
    try:
        with open(os.path.join(data, "Dictionary.txt"), "rb") as f:
            return f.read()
    except OSError:
        return b""


def teach_and_read_back():
    data = os.path.join(WORK, "data")
    chat = Window(data, "--seed", "4242")
    title = wait(lambda: chat.frame().name, 30)
    if title is None:
        code = chat.process.poll()
        if code is None:
            chat.process.kill()
        raise StartupFailure("no window within 30 s (exit %r)" % code)
    record("the window opens on a fresh data directory, titled from <SMES0>", title == "ミモザ",
           repr(title))
    unnamed = sorted({node.getRoleName() for node in walk(chat.app())
                      if node.getRoleName() in CONTROL_ROLES and not node.name})
    record("every control has an accessible name", not unnamed, ", ".join(unnamed))

    shown = chat.send("ねこねこ")
    record("a line it does not know is offered for learning", shown and shown.endswith(
        "> ねこねこ\n覚えていい？\n"), repr(shown))
    # Esc during the dialogue drops it: nothing is appended, the transcript says so.
    stored = dictionary(data)
    chat.focus()
    xdotool("key", "Escape")
    after = wait(lambda: (lambda now: now if now.endswith("（学習をやめました）\n") else None)(
        chat.transcript()), 5)
    record("Esc drops a pending dialogue and appends nothing",
           after is not None and dictionary(data) == stored, repr(after))
    chat.send("ねこねこ")

    shown = chat.send("うん")
    record("consent asks for the answer", shown and shown.endswith("何て言えばいい？\n"),
           repr(shown))
    shown = chat.send("にゃーん")
    stored = cp932("<KEY>ねこねこ</KEY>\r\n<ANS>にゃーん</ANS>") in dictionary(data)
    record("the answer is stored and confirmed", stored and shown.endswith(
        "> にゃーん\nOK 学習した\n"), repr(shown))
    forget_and_restore(chat, data)
    shown = chat.send("ねこねこ")
    record("the line again gets the answer taught, read back through AT-SPI",
           shown and shown.endswith("> ねこねこ\nにゃーん\n"), repr(shown))

    chat.focus()
    xdotool("key", "Up")
    recalled = wait(lambda: chat.entry() == "ねこねこ", 5)
    xdotool("key", "Up", "Up", "Down", "Down", "Down")
    draft = wait(lambda: chat.entry() == "", 5)
    with open(os.path.join(WORK, "state", "mimoza", "history"), encoding="utf-8") as f:
        lines = f.read().splitlines()
    record("Up and Down walk the history file", recalled and draft and lines == [
        "ねこねこ", "うん", "にゃーん", "ねこねこ"], repr(lines))

    xdotool("key", "F3")
    why = wait(lambda: text_of(find(chat.app(), "text", "なぜ: 前のターンの記録")), 5)
    record("F3 shows why in the side panel", why and "ねこねこ" in why, repr(why))

    check_dictionary(chat)

    os.makedirs(ARTIFACTS, exist_ok=True)
    shot = os.path.join(ARTIFACTS, "mimoza-gtk.png")
    subprocess.run(["import", "-window", chat.focus(), shot], check=False)
    print("screenshot: " + shot, flush=True)

    shown = chat.send("ねこねこ", ctrl=True)
    record("Ctrl+Enter offers to add an answer", shown and shown.endswith(
        "> ねこねこ  (Ctrl)\n情報を新たに加える？\n"), repr(shown))
    shown = chat.send("いいえ")
    record("a refusal clears the response to a faint mark", shown and shown.endswith(
        "> いいえ\n·\n"), repr(shown))

    again = subprocess.run([PROGRAM, "--dir", data], timeout=20)
    apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == chat.app().name]
    record("a second start on the same directory hands over to the running window",
           again.returncode == 0 and len(apps) == 1, "exit %d, %d windows" % (again.returncode,
                                                                             len(apps)))
    other = Window(os.path.join(WORK, "other"))
    record("a start on another directory opens a window of its own",
           wait(lambda: other.frame().name == "ミモザ", 15) and chat.process.poll() is None)
    record("the other window closes with exit code 0", other.close() == 0)

    record("Ctrl+Q closes the window with exit code 0", chat.close() == 0)


def backups(data):
    try:
        return sorted(os.listdir(os.path.join(data, "backups")))
    except OSError:
        return []


def other_window(chat, title):
    """The visible window of the process, other than the main one, titled title."""
    def search():
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid",
                              str(chat.process.pid)], capture_output=True, text=True).stdout.split()
        return [i for i in ids if subprocess.run(["xdotool", "getwindowname", i],
                                                 capture_output=True, text=True).stdout.strip()
                == title]
    return (wait(search, 10) or [None])[-1]


def click_in(window, node):
    """A click in the middle of node, which stands in window (GTK gives its place there)."""
    x, y, width, height = node.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
    xdotool("mousemove", "--window", window, str(x + width // 2), str(y + height // 2),
            "click", "1")


def answer_yes(chat, label):
    """Says yes in the message dialog whose yes button is labelled label, by its key (Alt+Y)."""
    button = wait(lambda: [node for node in walk(chat.app()) if node.getRoleName() ==
                           "push button" and node.name.startswith(label)], 10)
    window = other_window(chat, "")
    if button is None or window is None:
        raise RuntimeError("no dialog with the button %r" % label)
    xdotool("windowfocus", "--sync", window)
    xdotool("key", "alt+y")


def forget_and_restore(chat, data):
    """F4 on the pair just learned, yes; then the menu's restore puts the backup back."""
    pair = cp932("<KEY>ねこねこ</KEY>\r\n<ANS>にゃーん</ANS>")
    chat.focus()
    xdotool("key", "F4")
    asked = wait(lambda: find(chat.app(), "label", "この項目を辞書から忘れますか？"), 10)
    answer_yes(chat, "忘れる")
    gone = wait(lambda: pair not in dictionary(data) and backups(data), 10)
    told = wait(lambda: "忘れました" in chat.transcript(), 5)
    record("F4 then yes removes the learned pair and keeps a backup",
           asked is not None and gone and told,
           "asked %r, backups %r, transcript ends %r" % (asked is not None, backups(data),
                                                         chat.transcript()[-120:]))

    chat.focus()
    xdotool("key", "F10")
    wait(lambda: find(chat.app(), "menu item", "バックアップから戻す"), 5)
    xdotool("key", "Down", "Down", "Return")
    listing = wait(lambda: find(chat.app(), "frame", "バックアップから戻す"), 10)
    rows = [node for node in walk(find(listing, "list", "バックアップ"))
            if node.getRoleName() == "list item"] if listing else []
    if rows:
        click_in(other_window(chat, "バックアップから戻す"), rows[0])
        answer_yes(chat, "戻す")
    back = wait(lambda: pair in dictionary(data), 10)
    record("Restore a backup brings the forgotten pair back", len(rows) == 1 and back,
           "%d backups listed" % len(rows))


def check_dictionary(chat):
    """The menu by keyboard (F10, its first item): the checker's rows in a window of their own."""
    chat.focus()
    xdotool("key", "F10")
    wait(lambda: find(chat.app(), "menu item", "辞書を検査") or find(chat.app(), "push button",
                                                                  "辞書を検査"), 5)
    xdotool("key", "Return")
    report = wait(lambda: find(chat.app(), "frame", "辞書の検査"), 10)
    rows = [node.name for node in walk(find(report, "list", "診断"))
            if node.getRoleName() == "list item"] if report else []
    # The fresh dictionary lacks <SMES4>, whose default is written when first needed.
    record("Check dictionary lists severity, place and message", any(
        row.startswith("注記 Dictionary.txt ") and "<SMES4>" in row for row in rows), repr(rows))
    if report:
        xdotool("key", "Escape")
    record("Esc closes the check's window",
           wait(lambda: find(chat.app(), "frame", "辞書の検査") is None, 5))


def unreadable_dictionary():
    data = os.path.join(WORK, "unreadable")
    os.makedirs(os.path.join(data, "Dictionary.txt"))
    broken = Window(data)
    alert = wait(lambda: find(broken.app(), "label", "ミモザを始められません"), 15)
    if alert:
        broken.focus()
        xdotool("key", "Return")
    try:
        code = broken.process.wait(10)
    except subprocess.TimeoutExpired:
        broken.process.kill()
        code = None
    record("an unreadable Dictionary.txt is a message dialog and exit code 1",
           alert is not None and code == 1, "exit %r" % code)


def main():
    started = time.monotonic()
    try:
        for scenario in (teach_and_read_back, unreadable_dictionary):
            try:
                scenario()
            except StartupFailure as error:
                print("desktop: the window did not start: %s" % error, flush=True)
                return STARTUP_FAILED
            except Exception as error:  # a step that cannot go on fails, and the rest still run
                record(scenario.__name__ + " ran to its end", False, repr(error))
    finally:
        shutil.rmtree(WORK, ignore_errors=True)
    print("desktop end to end: %.1f s" % (time.monotonic() - started))
    print("desktop: %d passed, %d failed" % (results["passed"], results["failed"]))
    return 1 if results["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
