# SPDX-License-Identifier: GPL-3.0-or-later
"""The window as a screen reader meets it, read from the AT-SPI bus.

  window_on_bus.py BUILD_DIR WORK_DIR tree|keys LANGUAGE...

tree: a set of two simulated calculators, one of which goes silent; the
boxes before it, the rows with the silent row and its Stop, the Name... box,
the history window and the question at the end are read from the bus (names,
roles, states, descriptions, and the name changes the rows announce); then
the device chooser of a program with no calculator configured. What a
screen reader would say of the rows with the silent row is printed.

keys: the same set driven with key presses only (xdotool), each key chosen
from what has the focus on the bus, from the connect box to the question
about another set, the silent row stopped with Space on its Stop.

Run by bus_session.sh, on a display and a session bus of its own.
"""
import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

BUILD, WORK, MODE = sys.argv[1], sys.argv[2], sys.argv[3]
LANGUAGES = sys.argv[4:] or ["en"]
SIM = os.path.join(BUILD, "sim", "zentrix-calc-sim")
APP = os.path.join(BUILD, "app", "zentrix-update")

# The words each check looks for, as the catalogues say them.
WORDS = {
    "en": {
        "rows": "Zentrix OS Update - calculators",
        "history": "Zentrix OS Update - history",
        "calculator": "Calculator ",
        "silent": "not answering for",
        "stop": "Stop",
        "name": "Name...",
        "history_button": "History...",
        "history_key": "h",
        "updated": "updated",
        "failed": "failed",
        "ok": "OK",
        "cancel": "Cancel",
        "close": "Close",
        "name_box": "Name this calculator",
        "name_line": "Name",
        "tag_line": "Asset tag",
        "counts": ": 1 updated, 0 already current",   # "2 calculators in 12 s: 1 updated, ..."
        "runs": "Update runs, newest first",
        "result_filter": "Result:",
        "headings": ["Started", "Result"],
        "chooser": "Choose the calculators",
        "chooser_list": "What could be the calculator",
        "path": "Or type the port's path:",
        "remember": "Remember these calculators",
    },
    "de": {
        "rows": "Zentrix OS Update - Rechner",
        "history": "Zentrix OS Update - Verlauf",
        "calculator": "Rechner ",
        "silent": "antwortet seit",
        "stop": "Anhalten",
        "name": "Benennen...",
        "history_button": "Verlauf...",
        "history_key": "v",
        "updated": "aktualisiert",
        "failed": "fehlgeschlagen",
        "ok": "OK",
        "cancel": "Abbrechen",
        "close": "Schließen",
        "name_box": "Rechner benennen",
        "name_line": "Name",
        "tag_line": "Inventarnummer",
        "counts": ": 1 aktualisiert, 0 bereits aktuell",
        "runs": "Aktualisierungen, die neuesten zuerst",
        "result_filter": "Ergebnis:",
        "headings": ["Beginn", "Ergebnis"],
        "chooser": "Rechner auswählen",
        "chooser_list": "Was der Rechner sein könnte",
        "path": "Oder den Pfad des Anschlusses eingeben:",
        "remember": "Diese Rechner merken",
    },
}

failures = []


def check(condition, what):
    if condition:
        print("  ok:", what)
    else:
        print("  FAILED:", what)
        failures.append(what)
    return condition


# --- reading the bus --------------------------------------------------------

def pump(seconds=0.0):
    """Lets the bus deliver its events for about `seconds`."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while True:
        while context.iteration(False):
            pass
        if time.monotonic() >= end:
            return
        time.sleep(0.02)


def has(acc, state):
    try:
        return acc.getState().contains(state)
    except Exception:
        return False


def walk(acc):
    """Every object under `acc` (itself first), depth first."""
    try:
        yield acc
        for i in range(acc.childCount):
            child = acc.getChildAtIndex(i)
            if child is not None:
                yield from walk(child)
    except Exception:
        return


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def find_all(root, role=None, name=None, contains=None, showing=True):
    found = []
    for acc in walk(root):
        try:
            if role is not None and acc.getRole() != role:
                continue
            if name is not None and acc.name != name:
                continue
            if contains is not None and contains not in acc.name:
                continue
            if showing and not has(acc, pyatspi.STATE_SHOWING):
                continue
            found.append(acc)
        except Exception:
            continue
    return found


def wait_for(what, seconds, probe):
    """probe() until it gives something, pumping the bus meanwhile."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        pump(0.1)
        try:
            got = probe()
        except Exception:
            got = None
        if got:
            return got
    check(False, "in time: " + what)
    return None


def window(app, names, seconds=20):
    """The showing top-level window (dialog or box) named one of `names`."""
    names = [names] if isinstance(names, str) else names

    def probe():
        for i in range(app.childCount):
            top = app.getChildAtIndex(i)
            if top is not None and top.name in names and has(top, pyatspi.STATE_SHOWING):
                return top
        return None
    return wait_for("a window named " + " or ".join(names), seconds, probe)


def top_windows(app):
    tops = []
    for i in range(app.childCount):
        top = app.getChildAtIndex(i)
        if top is not None and has(top, pyatspi.STATE_SHOWING):
            tops.append(top)
    return tops


def focused(app):
    """The control with the keyboard focus, in the active window."""
    tops = top_windows(app)
    for top in [t for t in tops if has(t, pyatspi.STATE_ACTIVE)] + tops:
        for acc in walk(top):
            if acc is not top and has(acc, pyatspi.STATE_FOCUSED) and acc.getRole() != pyatspi.ROLE_PANEL:
                return acc
    return None


def press(acc):
    action = acc.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click"):
            action.doAction(i)
            return
    action.doAction(0)


def labelled_by(acc):
    """The text of the label that names `acc` (a relation on the bus)."""
    for relation in acc.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY and relation.getNTargets() > 0:
            return relation.getTarget(0).name
    return None


def said(acc):
    """What a screen reader says of `acc`: its name, role, description, and
    the states that matter."""
    words = [acc.name or "", acc.getRoleName()]
    if acc.description:
        words.append(acc.description)
    for state, word in ((pyatspi.STATE_FOCUSED, "focused"), (pyatspi.STATE_CHECKED, "checked")):
        if has(acc, state):
            words.append(word)
    if not has(acc, pyatspi.STATE_ENABLED) and acc.getRole() == pyatspi.ROLE_PUSH_BUTTON:
        words.append("unavailable")
    try:
        value = acc.queryValue()
        if acc.getRole() == pyatspi.ROLE_PROGRESS_BAR and value.maximumValue > value.minimumValue:
            words.append("%d%%" % round(100 * (value.currentValue - value.minimumValue) /
                                        (value.maximumValue - value.minimumValue)))
    except Exception:
        pass
    return " | ".join(w for w in words if w)


# --- the set ---------------------------------------------------------------

class Set:
    """Two simulated calculators, the second silent in mid-image, and the
    program updating them both at once in the window."""

    def __init__(self, language, devices=True):
        self.folder = os.path.join(WORK, "set-" + language + "-" + MODE + ("" if devices else "-chooser"))
        os.makedirs(self.folder)
        self.images = images = os.path.join(self.folder, "images")
        subprocess.run([SIM, "--write-demo-images", images], check=True, stdout=subprocess.DEVNULL)
        past = time.time() - 60   # finished: no wait for files still being written
        for name in os.listdir(images):
            os.utime(os.path.join(images, name), (past, past))
        self.sims = []
        env = dict(os.environ, ZENTRIX_UI="gui", ZENTRIX_LANG=language,
                   XDG_CONFIG_HOME=os.path.join(self.folder, "config"),
                   XDG_STATE_HOME=os.path.join(self.folder, "state"))
        env.pop("ZENTRIX_DEVICES", None)
        if devices:
            paths = [self.calculator([]), self.calculator(["--fault", "silent:40"])]
            env["ZENTRIX_DEVICES"] = ";".join(paths)
        self.log = open(os.path.join(self.folder, "program.log"), "w")
        self.program = subprocess.Popen([APP, "--all", images], env=env, stdout=self.log, stderr=self.log)
        self.app = wait_for("the program on the bus", 30, lambda: application(self.program.pid))
        if self.app is None:
            self.log.flush()
            with open(self.log.name) as said_so_far:
                print(said_so_far.read())
            raise SystemExit("the program did not join the accessibility bus")

    def calculator(self, options):
        out = os.path.join(self.folder, "sim-%d.out" % len(self.sims))
        expect = ["--expect-stub", os.path.join(self.images, "UpdateExe.bin"),
                  "--expect-os", os.path.join(self.images, "UpdateCode.bin")]
        sim = subprocess.Popen([SIM, "--verdict"] + expect + options, stdout=open(out, "w"), stderr=subprocess.DEVNULL)
        self.sims.append((sim, out))
        end = time.monotonic() + 10
        while time.monotonic() < end:
            with open(out) as lines:
                first = lines.readline().strip()
            if first:
                return first
            time.sleep(0.05)
        raise RuntimeError("the simulated calculator did not start")

    def verdicts(self):
        texts = []
        for sim, out in self.sims:
            if sim.poll() is None:
                sim.terminate()
            sim.wait(timeout=10)
            with open(out) as lines:
                texts.append(lines.read())
        return texts

    def end(self):
        try:
            return self.program.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.program.kill()
            self.program.wait()
            check(False, "the program ends by itself")
            return None
        finally:
            self.log.close()


def boxes_until_rows(app, words, answer):
    """Answers every box before the rows (`answer(box, ok_button)`) until the
    rows' window shows; each box's text is read first."""
    seen = []
    end = time.monotonic() + 40
    while time.monotonic() < end:
        pump(0.1)
        tops = top_windows(app)
        rows = [t for t in tops if t.name == words["rows"]]
        boxes = [t for t in tops if t.getRole() == pyatspi.ROLE_ALERT]
        if boxes:
            box = boxes[-1]
            texts = [l.name for l in find_all(box, role=pyatspi.ROLE_LABEL) if l.name]
            ok = find_all(box, role=pyatspi.ROLE_PUSH_BUTTON, name=words["ok"])
            if not texts or not ok:
                continue
            seen.append((box.name, texts[0]))
            answer(box, ok[0])
            wait_for("the box to close", 10, lambda: box not in top_windows(app) or not has(box, pyatspi.STATE_SHOWING))
            continue
        if rows:
            return rows[0], seen
    check(False, "the rows' window after the boxes")
    return None, seen


def silent_row(rows, words):
    """The label that reads a silent row whole, once there is one."""
    for label in find_all(rows, role=pyatspi.ROLE_LABEL, contains=words["calculator"]):
        if words["silent"] in label.name:
            return label
    return None


# --- tree ------------------------------------------------------------------

def tree(language):
    words = WORDS[language]
    print("[%s] the set's windows on the bus" % language)
    names_changed = []

    def heard(event):
        try:
            names_changed.append((event.source.name, event.source.getRoleName()))
        except Exception:
            pass
    pyatspi.Registry.registerEventListener(heard, "object:property-change:accessible-name")
    s = Set(language)
    app = s.app
    check(app is not None and app.name == "zentrix-update", "the application is named on the bus")

    def click_ok(box, ok):
        check(has(ok, pyatspi.STATE_FOCUSABLE), "box %r: OK is focusable" % box.name)
        press(ok)
    rows, seen = boxes_until_rows(app, words, click_ok)
    check(len(seen) >= 1, "the boxes before the rows are read: %s" % seen)
    if rows is None:
        s.end()
        return
    check(rows.getRole() == pyatspi.ROLE_DIALOG, "the rows' window is a dialog")
    give_focus(words["rows"])
    label = wait_for("a silent row", 40, lambda: silent_row(rows, words))
    if label is None:
        s.end()
        return
    pump(0.5)
    print("  what a screen reader says of the rows' window with one silent row:")
    for acc in walk(rows):
        if has(acc, pyatspi.STATE_SHOWING) and acc.getRole() in (
                pyatspi.ROLE_LABEL, pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_PROGRESS_BAR, pyatspi.ROLE_DIALOG):
            print("    " + said(acc))
    check(label.name.startswith(words["calculator"]), "the silent row reads as one text: %r" % label.name)
    check(label.description != "", "the silent row's path is its description: %r" % label.description)
    updated = [l for l in find_all(rows, role=pyatspi.ROLE_LABEL, contains=words["calculator"])
               if l.name.endswith(": " + words["updated"])]
    check(len(updated) == 1, "the other row reads as updated")
    stops = find_all(rows, role=pyatspi.ROLE_PUSH_BUTTON, name=words["stop"])
    check(len(stops) == 1, "one Stop shows, named %r" % words["stop"])
    if stops:
        stop = stops[0]
        check(words["silent"] in stop.description, "Stop is read with its row: %r" % stop.description)
        check(has(stop, pyatspi.STATE_FOCUSABLE) and has(stop, pyatspi.STATE_ENABLED), "Stop is focusable and enabled")
        check(has(stop, pyatspi.STATE_FOCUSED), "the focus is on Stop, where the user must act")
    bars = find_all(rows, role=pyatspi.ROLE_PROGRESS_BAR)
    check(bars and all(b.name.startswith(words["calculator"]) for b in bars), "the bars are named by their row")
    check(any(n == label.name for n, _ in names_changed), "the row's going silent was announced")
    # The bar of the silent row went on for many steps before it fell
    # silent; its row was renamed at its phases and its news only.
    silent_news = [n for n, role in names_changed if n.startswith(label.name.split(":")[0] + ":")]
    check(len(silent_news) <= 6, "the silent row said its phases and news, not every percent: %s" % silent_news)

    # Name... of the silent row: its box, read and cancelled.
    name_buttons = find_all(rows, role=pyatspi.ROLE_PUSH_BUTTON, name=words["name"])
    check(len(name_buttons) == 2, "each row has its Name...")
    silent_name = [b for b in name_buttons if words["silent"] in b.description]
    if check(len(silent_name) == 1, "the silent row's Name... is read with its row"):
        press(silent_name[0])
        box = window(app, words["name_box"])
        if box is not None:
            lines = find_all(box, role=pyatspi.ROLE_TEXT)
            check([l.name for l in lines] == [words["name_line"], words["tag_line"]],
                  "the Name box's lines are named: %s" % [l.name for l in lines])
            check(lines and lines[0].description.endswith(":"), "the line is read with its question: %r"
                  % (lines[0].description if lines else ""))
            check(lines and has(lines[0], pyatspi.STATE_FOCUSED), "the focus is in the line")
            check(any(l.name == (lines[0].description if lines else None)
                      for l in find_all(box, role=pyatspi.ROLE_LABEL)), "the question is a label of the box")
            buttons = [b.name for b in find_all(box, role=pyatspi.ROLE_PUSH_BUTTON)]
            check(words["ok"] in buttons and words["cancel"] in buttons, "the box has OK and Cancel: %s" % buttons)
            for b in find_all(box, role=pyatspi.ROLE_PUSH_BUTTON, name=words["cancel"]):
                press(b)
            wait_for("the Name box to close", 10, lambda: not has(box, pyatspi.STATE_SHOWING))

    # The history window.
    history_button = find_all(rows, role=pyatspi.ROLE_PUSH_BUTTON, name=words["history_button"])
    if check(len(history_button) == 1, "History... is named"):
        press(history_button[0])
        history = window(app, words["history"])
        if history is not None:
            tables = find_all(history, role=pyatspi.ROLE_TABLE)
            if check(len(tables) == 1 and tables[0].name == words["runs"], "the runs' table is named"):
                table = tables[0].queryTable()
                headings = [table.getColumnDescription(c) or (table.getColumnHeader(c).name
                                                             if table.getColumnHeader(c) else "")
                            for c in range(table.nColumns)]
                check(all(h in headings for h in words["headings"]), "the table's headings are read: %s" % headings)
                check(table.nRows == 1, "the one finished run is a row of the table")
                if table.nRows == 1:
                    cells = [table.getAccessibleAt(0, c).name for c in range(table.nColumns)]
                    check(words["updated"] in cells, "its cells are read: %s" % cells)
            combos = find_all(history, role=pyatspi.ROLE_COMBO_BOX)
            check(len(combos) == 1 and labelled_by(combos[0]) == words["result_filter"],
                  "the result filter is labelled: %s" % [labelled_by(c) for c in combos])
            texts = [t for t in find_all(history, role=pyatspi.ROLE_TEXT) if t.name]
            check(len(texts) >= 2, "the text filter and the run's details are named: %s" % [t.name for t in texts])
            close = find_all(history, role=pyatspi.ROLE_PUSH_BUTTON, name=words["close"])
            if check(len(close) == 1, "the history has its Close"):
                press(close[0])
            wait_for("the history to close", 10, lambda: not has(history, pyatspi.STATE_SHOWING))
            give_focus(words["rows"])   # as a window manager does when a window closes

    # Stop the silent row: the set ends, its end is said and asked below the rows.
    stops = find_all(rows, role=pyatspi.ROLE_PUSH_BUTTON, name=words["stop"])
    if stops:
        del names_changed[:]
        press(stops[0])
        heading = wait_for("the counts in the heading", 20,
                           lambda: find_all(rows, role=pyatspi.ROLE_LABEL, contains=words["counts"]))
        check(heading is not None, "the heading says the counts")
        pump(0.5)
        check(any(words["counts"] in n for n, _ in names_changed), "the end of the set was announced")
        check(any(n.startswith(words["calculator"]) and words["failed"] in n for n, _ in names_changed),
              "the stopped row's failure was announced")
        ok = find_all(rows, role=pyatspi.ROLE_PUSH_BUTTON, name=words["ok"])
        if check(len(ok) == 1 and has(ok[0], pyatspi.STATE_FOCUSED), "the question's OK has the focus"):
            check(ok[0].description != "", "OK is read with the question: %r" % ok[0].description)
            print("    " + said(ok[0]))
        check(not find_all(rows, role=pyatspi.ROLE_PUSH_BUTTON, name=words["stop"]), "no Stop shows any more")
        cancel = find_all(rows, role=pyatspi.ROLE_PUSH_BUTTON, name=words["cancel"])
        if cancel:
            press(cancel[0])
    pyatspi.Registry.deregisterEventListener(heard, "object:property-change:accessible-name")
    s.end()
    verdicts = s.verdicts()
    check("intact" in verdicts[0], "the first calculator was updated: %r" % verdicts[0].strip())
    check("Terminate04" in verdicts[1], "the stopped one was told to end: %r" % verdicts[1].strip())

    # The chooser of a program with no calculator configured.
    print("[%s] the device chooser on the bus" % language)
    c = Set(language, devices=False)
    chooser = window(c.app, words["chooser"])
    if chooser is not None:
        check(chooser.getRole() == pyatspi.ROLE_DIALOG, "the chooser is a dialog")
        lists = find_all(chooser, role=pyatspi.ROLE_LIST)
        if check(len(lists) == 1 and lists[0].name == words["chooser_list"], "its list is named"):
            check(lists[0].description != "", "the list is read with what to do: %r" % lists[0].description)
            for item in find_all(lists[0], role=pyatspi.ROLE_LIST_ITEM):
                check("\n" not in item.name and item.description, "an entry reads as one line: %r" % item.name)
        paths = find_all(chooser, role=pyatspi.ROLE_TEXT)
        check(len(paths) == 1 and paths[0].name == words["path"], "the path's line is named")
        boxes = find_all(chooser, role=pyatspi.ROLE_CHECK_BOX)
        check(len(boxes) == 1 and boxes[0].name == words["remember"] and not has(boxes[0], pyatspi.STATE_CHECKED),
              "Remember is an unticked check box")
        ok = find_all(chooser, role=pyatspi.ROLE_PUSH_BUTTON, name=words["ok"])
        check(len(ok) == 1 and not has(ok[0], pyatspi.STATE_ENABLED), "OK is unavailable until a calculator is chosen")
        give_focus(words["chooser"])
        focus = focused(c.app)
        check(focus is not None and focus.getRole() in (pyatspi.ROLE_LIST, pyatspi.ROLE_TEXT, pyatspi.ROLE_LIST_ITEM),
              "the focus is where a calculator is chosen: %s" % (said(focus) if focus else None))
        for b in find_all(chooser, role=pyatspi.ROLE_PUSH_BUTTON, name=words["cancel"]):
            press(b)
    c.program.terminate()
    c.end()


# --- keys ------------------------------------------------------------------

def shoot(name):
    """The whole screen as a PNG in ZENTRIX_BUS_SHOTS, when it is set."""
    folder = os.environ.get("ZENTRIX_BUS_SHOTS")
    if folder:
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["import", "-window", "root", os.path.join(folder, name + ".png")], check=False)


def whole_on_screen(top, what):
    """Every control shown in `top` lies inside it, and it inside the screen."""
    screen = xdotool("getdisplaygeometry").split()
    width, height = (int(screen[0]), int(screen[1])) if len(screen) == 2 else (0, 0)
    frame = top.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    check(frame.x >= 0 and frame.y >= 0 and frame.x + frame.width <= width and frame.y + frame.height <= height,
          "%s lies whole on the screen (%dx%d at %d,%d on %dx%d)" % (what, frame.width, frame.height, frame.x,
                                                                   frame.y, width, height))
    cut = []
    for acc in walk(top):
        if acc is top or not has(acc, pyatspi.STATE_SHOWING) or acc.getRole() not in (
                pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_LABEL, pyatspi.ROLE_PROGRESS_BAR):
            continue
        e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        if e.x < frame.x or e.y < frame.y or e.x + e.width > frame.x + frame.width or \
                e.y + e.height > frame.y + frame.height:
            cut.append(acc.name)
    check(not cut, "%s cuts none of its controls: %s" % (what, cut))


def xdotool(*args):
    return subprocess.run(["xdotool"] + list(args), check=False, capture_output=True, text=True).stdout


def give_focus(title):
    """Without a window manager nothing gives a new window the keyboard: the
    test does what a window manager would."""
    for wid in xdotool("search", "--onlyvisible", "--name", "^%s$" % title).split():
        xdotool("windowfocus", "--sync", wid)


def key(name, what):
    print("    key %s (%s)" % (name, what))
    xdotool("key", "--clearmodifiers", name)
    pump(0.2)


def keys(language):
    words = WORDS[language]
    print("[%s] a whole set with the keyboard alone" % language)
    s = Set(language)
    app = s.app

    def enter_on_ok(box, ok):
        give_focus(box.name)
        # Tab until OK has the focus, as a user listening to the focus does.
        for _ in range(6):
            pump(0.2)
            now = focused(app)
            if now is not None and now.name == words["ok"]:
                key("Return", "on " + said(now))
                return
            key("Tab", "focus on " + (said(now) if now else "nothing"))
        check(False, "Tab reaches OK in box %r" % box.name)
    rows, seen = boxes_until_rows(app, words, enter_on_ok)
    check(len(seen) >= 1, "every box before the rows was answered with keys: %s" % seen)
    if rows is None:
        s.end()
        return
    give_focus(words["rows"])
    stop = wait_for("the focus on a silent row's Stop", 40, lambda: (
        lambda f: f if f is not None and f.name == words["stop"] else None)(focused(app)))
    if stop is not None:
        check(words["silent"] in stop.description, "the focused Stop is read with its silent row")
        whole_on_screen(rows, "the rows' window")
        shoot("rows-silent-%s-scale%s" % (language, os.environ.get("QT_SCALE_FACTOR", "1")))
        key("space", "on " + said(stop))
    # Tab reaches every button in order, never a hidden one, then Escape
    # answers the question about another set with Cancel.
    ok = wait_for("the question's OK with the focus", 20, lambda: (
        lambda f: f if f is not None and f.name == words["ok"] else None)(focused(app)))
    if ok is not None:
        print("    " + said(ok))
        order = []
        for _ in range(8):
            key("Tab", "")
            now = focused(app)
            if now is None:
                break
            check(has(now, pyatspi.STATE_SHOWING), "Tab lands on a shown control: %s" % said(now))
            order.append(now.name)
            if now.name == words["ok"]:
                break
        print("    Tab order: %s" % order)
        check(words["history_button"] in order and words["cancel"] in order, "Tab reaches History... and Cancel")
        # History's mnemonic opens it; Escape closes it, and the rows' window
        # has its focus where it was.
        before = focused(app)
        key("alt+" + words["history_key"], "History's mnemonic")
        history = window(app, words["history"], 10)
        if history is not None:
            give_focus(words["history"])
            key("Escape", "closes the history")
            wait_for("the history to close", 10, lambda: not has(history, pyatspi.STATE_SHOWING))
            give_focus(words["rows"])   # as a window manager does when a window closes
            pump(0.3)
            after = focused(app)
            check(after is not None and before is not None and after.name == before.name,
                  "the focus is back where it was: %s" % (said(after) if after else None))
        key("Escape", "the window's own cancel")
    code = s.end()
    check(code == 18, "the program ended as after any set, with status 18 (got %s)" % code)
    verdicts = s.verdicts()
    check("intact" in verdicts[0], "the first calculator was updated: %r" % verdicts[0].strip())
    check("Terminate04" in verdicts[1], "the silent one was told to end: %r"
          % verdicts[1].strip())


for lang in LANGUAGES:
    (tree if MODE == "tree" else keys)(lang)
print("%d checks failed" % len(failures) if failures else "all checks passed")
sys.exit(1 if failures else 0)
