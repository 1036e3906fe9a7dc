#!/usr/bin/python3
"""A user's day with the real QV Link in the demo LAN, driven like a user drives it: the
mouse (xdotool) clicks where the accessibility tree (AT-SPI) says a control or a row is,
and the tree, the files and the recorder tell what happened. Run by user-day.sh inside the
demo's session (its own D-Bus bus, HOME and runtime folder) on an X display with a window
manager; everything it needs comes in environment variables (see user-day.sh).

One day per language: start, the three NAS listed (MiniDLNA not), a NAS clicked and its
shares listed, a share mapped (the letter remembered, a file written through the GVfs FUSE
view lands in smbd's folder), Browse and Configure (the recorder's exact argv), the desktop
shortcut (name, URL, icon), Refresh (a new search), the About box, close. The German day
also opens the NAS that refuses guests: the credentials typed into the program's dialog (its
password to be remembered) list its shares, and one is mapped with them. A screenshot at each
step goes to OUT/<language>/NN-step.png.
"""
import os
import re
import signal
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

ENV = os.environ
OUT = ENV["E2E_OUT"]
QVLINK = ENV["E2E_QVLINK"]
RECORD = ENV["QV_RECORD"]
BIN = ENV["E2E_BIN"]
NAS_ADDR = ENV["E2E_NAS_ADDR"]
NAS_DIR = ENV["E2E_NAS_DIR"]
NAS_PAGE = ENV["E2E_NAS_PAGE"]
NAS_NAMES = ENV["E2E_NAS_NAMES"].split(":")
NAS_NAME = NAS_NAMES[0]
NAS_ICON = ENV["E2E_NAS_ICON"]
OTHER_NAME = ENV["E2E_OTHER_NAME"]
LOCKED_NAME = ENV["E2E_LOCKED_NAME"]
LOCKED_ADDR = ENV["E2E_LOCKED_ADDR"]
LOCKED_DIR = ENV["E2E_LOCKED_DIR"]
LOCKED_USER = ENV["E2E_LOCKED_USER"]
LOCKED_PASSWORD = ENV["E2E_LOCKED_PASSWORD"]
SEARCH_LOGS = ENV["E2E_DEVICE_LOGS"].split(":")
HOME = ENV["HOME"]
STARTED = time.monotonic()


class Failure(Exception):
    pass


def log(text):
    print("[%6.1f s] %s" % (time.monotonic() - STARTED, text), flush=True)


def wait_for(what, seconds, probe):
    """probe() until it gives something true; a Failure naming what after seconds."""
    deadline = time.monotonic() + seconds
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure("waited %g s for %s" % (seconds, what))
        time.sleep(0.1)


def run(*argv):
    subprocess.run(argv, check=True, timeout=20, stdout=subprocess.DEVNULL)


def geometry(window):
    """x, y, width and height of an X window."""
    shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], capture_output=True, text=True,
                           timeout=20).stdout
    values = dict(line.split("=", 1) for line in shell.split())
    return tuple(int(values.get(k, -1)) for k in ("X", "Y", "WIDTH", "HEIGHT"))


# --- the accessibility tree -------------------------------------------------------------

def walk(node, limit=None):
    """Every node below node (itself first), at most 3000."""
    limit = limit if limit is not None else [3000]
    if node is None or limit[0] <= 0:
        return
    limit[0] -= 1
    yield node
    try:
        count = node.get_child_count()
    except GLib.Error:
        return
    for i in range(count):
        yield from walk(node.get_child_at_index(i), limit)


def dump(root):
    """The tree below root, for the log of a failed step."""
    try:
        for node in walk(root):
            states = node.get_state_set()
            print("  %s %r%s%s" % (node.get_role_name(), node.get_name(),
                                   "" if states.contains(Atspi.StateType.SHOWING) else " (hidden)",
                                   "" if states.contains(Atspi.StateType.ENABLED) else " (disabled)"))
    except GLib.Error as error:
        print("  (the tree changed: %s)" % error)


# AT-SPI renamed some roles (at-spi2-core 2.56 of Debian 13 calls a push button "button");
# the names asked for here are the older ones, as Debian 12 gives them.
ROLE_NAMES = {"push button": Atspi.role_get_name(Atspi.Role.PUSH_BUTTON)}


def app_of(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except GLib.Error:
            continue
    return None


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def enabled(node):
    return node.get_state_set().contains(Atspi.StateType.ENABLED)


def checked(node):
    return node.get_state_set().contains(Atspi.StateType.CHECKED)


def safe(probe):
    """A probe that counts a vanishing node (the tree changes under it) as not yet."""
    def guarded():
        try:
            return probe()
        except GLib.Error:
            return None
    return guarded


class Program:
    """One run of the real program."""

    def __init__(self, language, extra_env):
        self.language = language
        self.shots = os.path.join(OUT, language)
        os.makedirs(self.shots, exist_ok=True)
        self.step = 0
        env = dict(ENV)
        env.update(extra_env)
        env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        self.output = open(os.path.join(OUT, "qvlink-%s.log" % language), "w")
        self.process = subprocess.Popen([QVLINK], env=env, stdout=self.output, stderr=subprocess.STDOUT)
        try:
            self.app = wait_for("the program on the accessibility bus", 20, safe(lambda: app_of(self.process.pid)))
        except Failure:
            self.stop()
            raise
        # Every question goes to the program: a cached state may lag behind the window.
        self.app.set_cache_mask(Atspi.Cache.NONE)

    def find(self, role, name=None, root=None, contains=False):
        """The first showing node of role (and name) below root (default: the program)."""
        role = ROLE_NAMES.get(role, role)
        for node in walk(root or self.app):
            if node.get_role_name() != role:
                continue
            text = node.get_name() or ""
            if name is not None and (name not in text if contains else text != name):
                continue
            if showing(node):
                return node
        return None

    def need(self, what, seconds, role, name=None, root=None, contains=False):
        return wait_for(what, seconds, safe(lambda: self.find(role, name, root, contains)))

    def window(self):
        return wait_for("the main window", 20, safe(lambda: self.find("dialog", "QV Link")
                                                    or self.find("frame", "QV Link")))

    def rows(self, table):
        """The texts of a list's rows: [[column 0, column 1], ...]."""
        cells = [c for c in walk(table) if c is not table and c.get_role_name() in ("table cell", "tree item")]
        texts = [c.get_name() or "" for c in cells]
        return [texts[i:i + 2] for i in range(0, len(texts) - 1, 2)]

    def list_named(self, name):
        for role in ("tree table", "table", "tree", "list"):
            node = self.find(role, name)
            if node is not None:
                return node
        return None

    def click(self, node, button=1):
        """A mouse click in the middle of node. The place is taken relative to node's window,
        whose place on the screen the X server tells: the program may not know where the
        window manager put it."""
        top = node
        while top is not None and top.get_role_name() not in ("dialog", "frame", "window"):
            top = top.get_parent()
        if top is None:
            raise Failure("%s %r is in no window" % (node.get_role_name(), node.get_name()))
        # Both places as the program sees them: an error in where it thinks its window is
        # cancels out.
        rect = node.get_extents(Atspi.CoordType.SCREEN)
        frame = top.get_extents(Atspi.CoordType.SCREEN)
        if rect.width <= 0 or rect.height <= 0:
            raise Failure("%s %r has no place on the screen" % (node.get_role_name(), node.get_name()))
        title = top.get_name()

        def windows():
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.process.pid), "--name",
                                    "^%s$" % re.escape(title)], capture_output=True, text=True,
                                   timeout=20).stdout.split()
            found = [w for w in found if geometry(w)[2:] == (frame.width, frame.height)]
            return found if len(found) == 1 else None
        found = wait_for("one X window titled %r of %dx%d" % (title, frame.width, frame.height), 5, windows)
        x, y = rect.x - frame.x + rect.width // 2, rect.y - frame.y + rect.height // 2
        log("click %s %r at %d,%d of %r" % (node.get_role_name(), node.get_name(), x, y, title))
        run("xdotool", "mousemove", "--window", found[0], "--sync", str(x), str(y), "click", str(button))

    def click_button(self, name, seconds=20):
        button = wait_for("button %r enabled" % name, seconds,
                          safe(lambda: (b := self.find("push button", name)) is not None and enabled(b) and b))
        self.click(button)

    def click_row(self, table_name, text):
        table = self.list_named(table_name)
        cell = wait_for("row %r in %r" % (text, table_name), 20, safe(lambda: next(
            (c for c in walk(table) if c.get_name() == text and c.get_role_name() in ("table cell", "tree item")),
            None)))
        self.click(cell)

    def shot(self, name):
        self.step += 1
        path = os.path.join(self.shots, "%02d-%s.png" % (self.step, name))
        time.sleep(0.3)  # the last change painted
        run("import", "-window", "root", path)
        log("%s: %s" % (self.language, path))

    def close(self, close_name):
        self.click_button(close_name)
        try:
            status = self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end after its close button")
        if status != 0:
            raise Failure("the program ended with status %d" % status)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.output.close()


# --- what the program did outside its window ----------------------------------------------

def records():
    """The recorder's records: each a list of the program name and its arguments."""
    try:
        data = open(RECORD, "rb").read()
    except FileNotFoundError:
        return []
    fields = data.split(b"\0")[:-1]
    out = []
    while fields:
        count = int(fields[0])
        out.append([f.decode() for f in fields[1:2 + count]])
        fields = fields[2 + count:]
    return out


def fetches():
    """How often each of the maker's devices has had its description fetched so far."""
    counts = []
    for path in SEARCH_LOGS:
        with open(path) as f:
            counts.append(sum(1 for line in f if " get " in line))
    return counts


def connections():
    try:
        with open(os.path.join(ENV["XDG_CONFIG_HOME"], "qvlink", "connections")) as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def fuse_view(address, share):
    """GVfs's FUSE folder of smb://address/share (its name also carries user and domain when
    the mount used them), or None."""
    root = os.path.join(ENV["XDG_RUNTIME_DIR"], "gvfs")
    for name in os.listdir(root) if os.path.isdir(root) else []:
        keys = set(name.partition(":")[2].split(","))
        if name.startswith("smb-share:") and {"server=" + address, "share=" + share} <= keys:
            return os.path.join(root, name)
    return None


def check_mount(address, share, served, letter, language):
    """The letter is remembered, and the share is mounted: the listing through GVfs's FUSE view
    matches the server's folder, and a file written through it lands there."""
    line = "%s \\\\%s\\%s" % (letter, address, share)
    if line not in connections():
        raise Failure("connections %r lack %r" % (connections(), line))
    fuse = wait_for("the FUSE view of %s/%s" % (address, share), 10, lambda: fuse_view(address, share))
    if sorted(os.listdir(fuse)) != sorted(os.listdir(served)):
        raise Failure("FUSE view %r, server folder %r" % (sorted(os.listdir(fuse)), sorted(os.listdir(served))))
    text = "written through the mapped drive (%s)\n" % language
    name = "from-qvlink-%s.txt" % language
    with open(os.path.join(fuse, name), "w") as f:
        f.write(text)
    landed = os.path.join(served, name)
    wait_for("%s on the server" % landed, 10, lambda: os.path.exists(landed) and open(landed).read() == text)


def check_shortcut():
    path = os.path.join(HOME, "Desktop", "%s (%s).desktop" % (NAS_NAME, NAS_ADDR))
    entry = wait_for("the shortcut %s" % path, 10, lambda: os.path.exists(path) and open(path).read())
    lines = entry.splitlines()
    for want in ("[Desktop Entry]", "Type=Link", "Name=%s (%s)" % (NAS_NAME, NAS_ADDR), "URL=smb://%s/" % NAS_ADDR,
                 "Icon=%s" % NAS_ICON):
        if want not in lines:
            raise Failure("shortcut lacks %r:\n%s" % (want, entry))
    icon = os.path.join(ENV["XDG_DATA_HOME"], "icons", "hicolor", "48x48", "apps", NAS_ICON + ".png")
    if not os.path.isfile(icon):
        raise Failure("the shortcut's icon %s is missing" % icon)
    if os.stat(path).st_mode & 0o777 != 0o755:
        raise Failure("shortcut mode %o" % (os.stat(path).st_mode & 0o777))


# --- the day --------------------------------------------------------------------------------

def map_share(program, t, shares, address, share, served, language):
    """Map Drive on share: the success message names the letter, which then shows beside the
    share, and the share is mounted."""
    program.click_row(t["shares"], share)
    program.click_button(t["map"])
    box = program.need("the success message", 30, "label", t["mapped"], contains=True)
    letter = box.get_name().split(t["mapped"], 1)[1].strip()[:2]
    if len(letter) != 2 or not letter[0].isalpha() or letter[1] != ":":
        raise Failure("message %r names no letter" % box.get_name())
    program.shot("mapped-" + share)
    program.click_button(t["ok"])
    wait_for("the message closed", 10, safe(lambda: program.find("label", t["mapped"], contains=True) is None))
    wait_for("%s beside %s" % (letter, share), 10, safe(lambda: [share, letter] in program.rows(shares)))
    check_mount(address, share, served, letter, language)
    program.shot("share-mapped")


def locked_nas(program, t, language):
    """The NAS that refuses guests: the credentials dialog takes the printed user and password,
    then its shares are listed and one is mapped with them."""
    program.click_row(t["devices"], LOCKED_NAME)
    dialog = program.need("the credentials dialog", 20, "dialog", t["connect"])
    user = program.need("the user name field", 5, "text", None, root=dialog)
    program.click(user)
    run("xdotool", "key", "--clearmodifiers", "ctrl+a")
    run("xdotool", "type", "--delay", "20", LOCKED_USER)
    program.click(program.need("the password field", 5, "password text", None, root=dialog))
    run("xdotool", "type", "--delay", "20", LOCKED_PASSWORD)
    wait_for("the user name typed", 5, safe(lambda: Atspi.Text.get_text(user, 0, -1) == LOCKED_USER))
    # Ticked by the user, so that the next login finds the password in the keyring.
    remember = program.need("the box %r" % t["remember"], 5, "check box", t["remember"], root=dialog)
    if checked(remember) or not enabled(remember):
        raise Failure("the box %r opened ticked or disabled" % t["remember"])
    program.click(remember)
    wait_for("the box %r ticked" % t["remember"], 5, safe(lambda: checked(remember)))
    program.shot("password")
    program.click(program.need("the dialog's OK", 5, "push button", t["ok"], root=dialog))
    shares = program.list_named(t["shares"])
    wait_for("the shares of %s" % LOCKED_NAME, 20, safe(lambda: sorted(program.rows(shares)) == [
        ["documents", ""], ["photos", ""]]))
    program.shot("locked-shares")
    map_share(program, t, shares, LOCKED_ADDR, "photos", os.path.join(LOCKED_DIR, "photos"), language)

def day(language, extra_env, t, share, remembered):
    """t: the texts of this language; share: the folder to map; remembered: rows of the share
    list expected before mapping (letters of the earlier day)."""
    program = Program(language, extra_env)
    try:
        program.window()
        program.shot("start")

        devices = wait_for("the device list", 20, safe(lambda: program.list_named(t["devices"])))
        wait_for("the three NAS listed and the search ended", 40, safe(lambda: sorted(
            r[0] for r in program.rows(devices)) == sorted(NAS_NAMES) and enabled(program.find("push button",
                                                                                              t["refresh"]))))
        listed = program.rows(devices)
        if any(OTHER_NAME in r[0] for r in listed):
            raise Failure("the other maker's media server is listed: %r" % listed)
        if [NAS_NAME, NAS_ADDR] not in listed:
            raise Failure("%s at %s not in %r" % (NAS_NAME, NAS_ADDR, listed))
        program.shot("devices")

        program.click_row(t["devices"], NAS_NAME)
        shares = program.list_named(t["shares"])
        wait_for("the shares of %s" % NAS_NAME, 20, safe(lambda: sorted(program.rows(shares)) == remembered))
        program.shot("shares")

        map_share(program, t, shares, NAS_ADDR, share, os.path.join(NAS_DIR, share), language)

        before = len(records())
        program.click_row(t["shares"], share)
        program.click_button(t["browse"])
        wait_for("xdg-open started", 10, lambda: len(records()) > before)
        want = [os.path.join(BIN, "xdg-open"), "smb://%s/%s" % (NAS_ADDR, share)]
        if records()[before:] != [want]:
            raise Failure("Browse started %r, expected %r" % (records()[before:], want))
        program.shot("browsed")

        before = len(records())
        program.click_button(t["configure"])
        wait_for("the browser started", 10, lambda: len(records()) > before)
        want = [os.path.join(BIN, "browser"), NAS_PAGE]
        if records()[before:] != [want]:
            raise Failure("Configure started %r, expected %r" % (records()[before:], want))
        program.shot("configured")

        program.click_button(t["shortcut"])
        check_shortcut()
        program.shot("shortcut")

        # The window is cleared before a search reaches out, so once every device has been
        # fetched again, three rows and Refresh enabled mean the new search has ended.
        before = fetches()
        program.click_button(t["refresh"])
        wait_for("every device fetched by a new search", 20,
                 lambda: all(now > then for now, then in zip(fetches(), before)))
        wait_for("the three NAS listed again and the search ended", 40, safe(lambda: sorted(
            r[0] for r in program.rows(devices)) == sorted(NAS_NAMES) and enabled(program.find("push button",
                                                                                              t["refresh"]))))
        program.shot("refreshed")

        if language == "de":
            locked_nas(program, t, language)

        program.click_button(t["about"])
        about = program.need("the About box", 10, "dialog", t["about"])
        program.need("the version", 5, "label", "1.00.01", root=about)
        program.shot("about")
        program.click(program.need("the About box's OK", 5, "push button", t["ok"], root=about))
        wait_for("the About box closed", 10, safe(lambda: program.find("dialog", t["about"]) is None))

        program.close(t["close"])
        run("import", "-window", "root", os.path.join(program.shots, "%02d-closed.png" % (program.step + 1)))
        log("%s: closed" % language)
    except Failure:
        run("import", "-window", "root", os.path.join(program.shots, "failed.png"))
        dump(program.app)
        raise
    finally:
        program.stop()


ENGLISH = {"devices": "Network Storage Found", "shares": "Drive Mapping",
           "refresh": "Refresh", "configure": "Configure", "map": "Map Drive", "browse": "Browse",
           "shortcut": "Create Desktop Shortcut", "about": "About QV Link", "ok": "OK", "close": "Close",
           "mapped": "Successfully mapped drive to", "connect": "Connect to Server",
           "remember": "Remember password"}
GERMAN = {"devices": "Netzwerkspeicher", "shares": "Netzlaufwerke",
          "refresh": "Aktualisieren", "configure": "Konfigurieren", "map": "Zuordnen", "browse": "Durchsuchen",
          "shortcut": "Desktopverknüpfung erstellen", "about": "Über QV Link", "ok": "OK", "close": "Schließen",
          "mapped": "Das Laufwerk wurde erfolgreich als", "connect": "Verbindung mit Server herstellen",
          "remember": "Kennwort speichern"}


def main():
    launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        Atspi.init()
        english = {"LANG": "C.UTF-8", "LANGUAGE": "", "LC_ALL": ""}
        day("en", english, ENGLISH, "public", [["media", ""], ["public", ""]])
        letter = connections()[0].split(" ")[0]
        # An Austrian desktop: German texts, and the German block of the About picture.
        german = {"LANG": "de_AT.UTF-8", "LANGUAGE": "", "LC_ALL": ""}
        day("de", german, GERMAN, "media", [["media", ""], ["public", letter]])
        if len(connections()) != 3:
            raise Failure("connections after both days: %r" % connections())
    except Failure as failure:
        log("FAIL: %s" % failure)
        return 1
    finally:
        launcher.terminate()
        launcher.wait(timeout=5)
    log("PASS: a day in English and in German")
    return 0


if __name__ == "__main__":
    sys.exit(main())
