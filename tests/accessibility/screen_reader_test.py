#!/usr/bin/python3
"""What a screen reader gets from Tessera over AT-SPI, driven by real keys.

Starts the app on a small folder with Qt's AT-SPI bridge on, reads its accessibility tree with
pyatspi as Orca does, presses keys with xdotool and checks the focus events that a screen
reader would speak. Runs under dbus-run-session and xvfb-run (see run_screen_reader_test.sh).

    screen_reader_test.py TESSERA-BINARY
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import pyatspi
    from gi.repository import GLib
except ImportError as missing:  # the project's scripts install python3-pyatspi
    print(f"SKIP: pyatspi cannot be imported ({missing})")
    sys.exit(77)

TIMEOUT = 20.0
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def pump(seconds):
    """Lets AT-SPI events arrive for `seconds`."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.01)


def wait_for(condition, seconds=TIMEOUT):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        pump(0.05)
        try:
            result = condition()
        except Exception:  # objects come and go while the app starts
            result = None
        if result:
            return result
    return None


def find_app():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Tessera":
            return app
    return None


def descendants(accessible, depth=0, limit=40):
    """Every object below `accessible` (menus left out: Orca reads them as they open)."""
    if depth > limit:
        return
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is None or child.getRole() == pyatspi.ROLE_MENU_BAR:
            continue
        yield child
        yield from descendants(child, depth + 1, limit)


def find(root, role, name=None):
    for accessible in descendants(root):
        if accessible.getRole() == role and (name is None or accessible.name == name):
            return accessible
    return None


class FocusLog:
    """What a screen reader speaks: the objects that got the focus (role, name, description),
    and the new descriptions of objects (role, name, the text the event carries)."""

    def __init__(self):
        self.events = []
        self.descriptions = []
        pyatspi.Registry.registerEventListener(self.focused, "object:state-changed:focused")
        pyatspi.Registry.registerEventListener(
            self.described, "object:property-change:accessible-description")

    def focused(self, event):
        if event.detail1 != 1:
            return
        try:
            source = event.source
            self.events.append((source.getRoleName(), source.name, source.description))
        except Exception:
            pass

    def described(self, event):
        try:
            self.descriptions.append((event.source.getRoleName(), event.source.name,
                                      event.any_data))
        except Exception:
            pass

    def clear(self):
        pump(0.3)
        self.events.clear()
        self.descriptions.clear()

    def wait(self, matches):
        return wait_for(lambda: next((e for e in self.events if matches(e)), None))

    def last(self):
        return self.events[-1] if self.events else None


def press(window_id, *keys):
    """Presses keys as a keyboard does (XTEST), into `window_id` given the input focus: events
    sent to a window instead can arrive out of order on a busy machine, and an Alt whose key
    came late opens the menu bar."""
    subprocess.run(["xdotool", "windowfocus", "--sync", window_id], check=True)
    for key in keys:
        subprocess.run(["xdotool", "key", "--clearmodifiers", key], check=True)
        pump(0.15)


def press_chord(window_id, modifier, key):
    """Holds `modifier` while `key` is pressed, as a person does. Sent as one chord, the four
    events reach a busy app in one batch, and Qt's menu bar can take the Alt's release for an
    Alt pressed alone and open its keyboard navigation."""
    subprocess.run(["xdotool", "windowfocus", "--sync", window_id], check=True)
    subprocess.run(["xdotool", "keydown", modifier], check=True)
    pump(0.15)
    subprocess.run(["xdotool", "key", key], check=True)
    pump(0.15)
    subprocess.run(["xdotool", "keyup", modifier], check=True)
    pump(0.15)


def make_folder(root):
    os.makedirs(os.path.join(root, "music", "live"))
    with open(os.path.join(root, "video.bin"), "wb") as out:
        out.write(b"v" * 200_000)
    with open(os.path.join(root, "music", "song.bin"), "wb") as out:
        out.write(b"s" * 60_000)
    with open(os.path.join(root, "music", "live", "set.bin"), "wb") as out:
        out.write(b"l" * 30_000)
    with open(os.path.join(root, "notes.txt"), "wb") as out:
        out.write(b"n" * 4_000)


def main():
    tessera = sys.argv[1]
    work = tempfile.mkdtemp(prefix="tessera-a11y-")
    app_process = None
    try:
        folder = os.path.join(work, "holiday")
        make_folder(folder)
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   XDG_CONFIG_HOME=os.path.join(work, "config"),
                   XDG_DATA_HOME=os.path.join(work, "data"), HOME=work,
                   XDG_RUNTIME_DIR=os.path.join(work, "run"))
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        log = FocusLog()
        app_process = subprocess.Popen([tessera, folder], env=env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        app = wait_for(find_app)
        check(app is not None, "the app is on the accessibility bus")
        if app is None:
            return
        chart = wait_for(lambda: (lambda c: c if c is not None and c.childCount >= 3 else None)(
            find(app, pyatspi.ROLE_CHART)))
        check(chart is not None, "the graph is a chart with the folder's entries as children")
        if chart is None:
            return
        check(chart.name == "Disk usage graph", f"the chart is named ({chart.name!r})")
        names = [chart.getChildAtIndex(i).name for i in range(chart.childCount)]
        check(names[:3] == ["video.bin", "music", "notes.txt"],
              f"the entries are named, largest first ({names})")
        music = chart.getChildAtIndex(1)
        check(music.getRole() == pyatspi.ROLE_LIST_ITEM, "an entry is a list item")
        check(music.description == "90 KB, 31 % of holiday, 2 files, 2 of 3",
              f"an entry says its size, share of its folder and place ({music.description!r})")
        check(music.childCount == 2 and music.getChildAtIndex(0).name == "song.bin",
              "a folder's entries are its children")

        window_id = subprocess.run(["xdotool", "search", "--sync", "--name", "^holiday$"],
                                   capture_output=True, text=True, check=True).stdout.split()[0]
        subprocess.run(["xdotool", "windowfocus", "--sync", window_id], check=True)

        # The arrow keys move the focus through the entries: each is announced. The graph has
        # the keys from the start.
        check(wait_for(lambda: chart.getState().contains(pyatspi.STATE_FOCUSED)) is not None,
              "the graph has the keyboard when the window opens")
        log.clear()
        press(window_id, "Down")
        heard = log.wait(lambda e: e[1] == "video.bin")
        check(heard is not None and heard[0] == "list item",
              f"Down: the first entry gets the focus ({log.events})")
        log.clear()
        press(window_id, "Right")
        heard = log.wait(lambda e: e[1] in ("music", "notes.txt"))
        check(heard is not None, f"Right: the next entry gets the focus ({log.events})")
        # To music, then into it: Return zooms and the chart names the shown folder.
        for _ in range(4):
            if log.last() is not None and log.last()[1] == "music":
                break
            before = len(log.events)
            press(window_id, "Right")
            wait_for(lambda: len(log.events) > before, 5)
        check(log.last() is not None and log.last()[1] == "music", "music is reached")
        log.clear()
        press(window_id, "Return")
        heard = log.wait(lambda e: e[0] == "chart" and e[2].startswith("music"))
        check(heard is not None, f"Return: the zoom announces the shown folder ({log.events})")
        check(wait_for(lambda: chart.childCount == 2) is not None,
              "the chart's children are the shown folder's entries")
        # Back on the chart it is on already, a screen reader hears the new folder as the
        # chart's new description (a second focus event on it would be heard as nothing).
        log.clear()
        press_chord(window_id, "alt", "Left")
        heard = wait_for(lambda: next((d for d in log.descriptions if d[0] == "chart"
                                       and isinstance(d[2], str)
                                       and d[2].startswith("holiday")), None))
        check(heard is not None,
              f"Alt+Left: the way back is announced ({log.events} {log.descriptions})")

        # Tab goes round the window and out of the graph.
        log.clear()
        seen = []
        for _ in range(8):
            before = len(log.events)
            press(window_id, "Tab")
            wait_for(lambda: len(log.events) > before, 5)
            if log.last() is not None:
                seen.append(log.last()[:2])
        check(("text", "Search") in seen, f"Tab reaches the named search field ({seen})")
        around = seen[seen.index(("chart", "Disk usage graph")):] if (
            "chart", "Disk usage graph") in seen else []
        check(len(around) >= 3 and around[1] != around[0],
              f"Tab leaves the graph and comes back ({seen})")
        pairs = list(zip(seen, seen[1:]))
        check((("push button", "holiday"), ("text", "Search")) in pairs,
              f"the path comes before the search field ({seen})")

        # Ctrl+L from the search field shows the outline, and the focus stays in the field.
        press(window_id, "ctrl+f")
        log.clear()
        press(window_id, "ctrl+l")
        pump(0.5)
        check(not any(e[0] in ("table cell", "tree item") for e in log.events),
              f"Ctrl+L leaves the focus in the search field ({log.events})")
        press(window_id, "ctrl+l")

        # View > Show Outline and Full Screen read as check boxes.
        toggles = {}
        stack = [app]
        while stack:  # the menus included, which descendants() leaves out
            item = stack.pop()
            if item is None:
                continue
            if item.name in ("Show Outline", "Full Screen"):
                toggles[item.name] = (item.getRoleName(),
                                      item.getState().contains(pyatspi.STATE_CHECKED))
            stack.extend(item.getChildAtIndex(i) for i in range(item.childCount))
        check(toggles.get("Show Outline") == ("check box", False)
              and toggles.get("Full Screen") == ("check box", False),
              f"Show Outline and Full Screen read as check boxes, not checked ({toggles})")

        # The search: the field's name, Down to the results, the outline named.
        field = find(app, pyatspi.ROLE_TEXT, "Search")
        check(field is not None, "the search field is named")
        clear = field is not None and any(
            field.getChildAtIndex(i).name == "Clear Search" for i in range(field.childCount))
        check(clear, "the search field's clear button is named")
        press(window_id, "ctrl+f")
        subprocess.run(["xdotool", "type", "song"], check=True)
        outline = wait_for(lambda: find(app, pyatspi.ROLE_TREE, "Outline"))
        check(outline is not None, "the outline is a tree named Outline")
        count = wait_for(lambda: next((d for d in log.descriptions if d[1] == "Search"
                                       and isinstance(d[2], str)
                                       and d[2].startswith("1 result")), None))
        check(count is not None,
              f"the number of results is said in the search field ({log.descriptions})")
        log.clear()
        press(window_id, "Down")
        heard = log.wait(lambda e: e[0] in ("table cell", "tree item"))
        check(heard is not None, f"Down in the field moves to the results ({log.events})")
        if heard is not None:
            check(heard[2].startswith("Folder, level") or heard[2].startswith("File, level"),
                  f"a row says what it is and its depth ({heard})")

        # Opening a row is heard: the results' root is open, Left closes it, Right opens it.
        expansions = []
        pyatspi.Registry.registerEventListener(
            lambda e: expansions.append((e.source.name, e.detail1)),
            "object:state-changed:expanded")
        press(window_id, "Home", "Left")
        check(wait_for(lambda: any(on == 0 for _, on in expansions)) is not None,
              f"Left on an open row: its closing is heard ({expansions})")
        press(window_id, "Right")
        check(wait_for(lambda: any(on == 1 for _, on in expansions)) is not None,
              f"Right on a closed row: its opening is heard ({expansions})")

        # The search ended, the outline is hidden again and not showing.
        press(window_id, "ctrl+f", "BackSpace")
        pump(0.5)
        gone = wait_for(lambda: outline is not None and not outline.getState().contains(
            pyatspi.STATE_SHOWING))
        check(gone is not None, "a hidden outline is not showing")

        # Favourites rows say their usage.
        press(window_id, "ctrl+shift+f")
        favourites = wait_for(lambda: next(
            (a for a in descendants(app) if a.getRole() == pyatspi.ROLE_LIST
             and a.name == "Favourites" and a.childCount > 0), None))
        check(favourites is not None, "the favourites list is named")
        if favourites is not None:
            rows = [favourites.getChildAtIndex(i) for i in range(favourites.childCount)]
            described = [r for r in rows if " used" in r.description or "bytes" in r.description
                         or "B," in r.description]
            check(len(described) > 0,
                  f"favourites rows describe their usage ({[(r.name, r.description) for r in rows]})")
    finally:
        if app_process is not None:
            app_process.terminate()
            try:
                app_process.wait(10)
            except subprocess.TimeoutExpired:
                app_process.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
    if failures:
        print(f"{len(failures)} checks failed:")
        for what in failures:
            print(f"  {what}")
        sys.exit(1)
    print("all checks passed")
