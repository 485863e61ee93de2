#!/usr/bin/python3
"""The real program's dialogs as a screen reader finds them: AT-SPI on a private session bus,
the program under Xvfb with a private settings folder. Each dialog's controls, in template order,
are held against a table of role and name. Exit code 77: a tool is missing, the test is skipped.

    accessibility_test.py QUILLMERE_BINARY

QM_XVFB_DISPLAY picks the X display (":71"); without it Xvfb takes the first free one."""
import importlib.util
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
LIMIT = 20.0  # seconds for each window or state to show

# Template name, role, name as read. A name of None changes while the program runs: not compared.
MAIN = [
    ("", "label", "Serieller Port:"),
    ("IDC_COM_PORT", "combo box", "Serieller Port:"),
    ("", "label", "Baudrate:"),
    ("IDC_BAUDRATE", "combo box", "Baudrate:"),
    ("", "label", "Empfindlichkeit:"),
    ("IDC_SENSITIVITY", "combo box", "Empfindlichkeit:"),
    ("", "label", "DFÜ-Verbindung:"),
    ("IDC_RAS_LINK_NAME", "text", "DFÜ-Verbindung:"),
    ("", "label", "Ausführen nach\n aufgebauter\n Verbindung:"),
    ("IDC_RUN_PROGRAM", "text", "Ausführen nach\n aufgebauter\n Verbindung:"),
    ("IDC_BROWSE", "push button", "..."),
    ("IDC_RUN_INVISIBLE", "check box", "unsichtbar ausführen"),
    ("IDC_SAVE", "push button", "Speichern"),
    ("IDC_CONFIGURE", "push button", "Konfigurieren"),
    ("IDC_TEST", "push button", "Testen"),
    ("IDC_CONNECT", "push button", "Verbinden"),
    ("", "label", "Link-Qualität:"),
    ("IDC_LINK_QUALITY", "progress bar", "Link-Qualität:"),
    ("IDC_STATUS", "label", None),
]
DIAL = [
    ("", "label", "Verbindung:"),
    ("IDC_DIAL_ENTRY", "label", "Optolink & Co"),
    ("IDC_DIAL_STATUS", "label", None),
    ("IDCANCEL", "push button", "Abbrechen"),
]
ABOUT = [
    ("", "image", ""),
    ("", "label", "Quillmere Version 1.0"),
    ("", "label", "Copyright © 2026 Talvenmark"),
    ("IDOK", "push button", "OK"),
]
PORTS = [row for n in range(1, 5)
         for row in (("", "label", f"COM{n}:"), (f"IDC_PORT_COM{n}", "combo box", f"COM{n}:"),
                     (f"IDC_PORT_MISSING{n}", "label", None))]
PORTS += [("IDOK", "push button", "OK"), ("IDCANCEL", "push button", "Abbrechen")]
PHONE = [
    ("IDC_PHONE_QR", "image", None),  # named after the address it carries: checked on its own
    ("", "label", "Adresse:"),
    ("IDC_PHONE_ADDRESS", "combo box", "Adresse:"),
    ("IDC_PHONE_STATE", "label", None),
    ("", "label", "Mit der Kamera des Telefons\nscannen. Das Telefon muss\nim selben Netz sein."),
    ("IDC_PHONE_URL", "label", None),
    ("IDCANCEL", "push button", "Schließen"),
]


def skip_reason():
    if not importlib.util.find_spec("pyatspi"):
        return "pyatspi is not installed (python3-pyatspi)"
    if not os.path.exists("/usr/share/dbus-1/services/org.a11y.Bus.service"):
        return "the accessibility bus is not installed (at-spi2-core)"
    for tool in ("Xvfb", "dbus-run-session", "xdotool"):
        if not shutil.which(tool):
            return tool + " is not installed"
    return None


def start_xvfb():
    """Xvfb and its display; the display it took is known once it listens."""
    read, write = os.pipe()
    wanted = os.environ.get("QM_XVFB_DISPLAY")
    # -noreset: the accessibility bus's launcher leaves the display first, and a server resetting
    # then would turn the program away.
    args = ["Xvfb"] + ([wanted] if wanted else []) + [
        "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"]
    xvfb = subprocess.Popen(args, pass_fds=[write], stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as f:
        ready = select.select([f], [], [], LIMIT)[0]
        number = f.readline().strip() if ready else ""  # empty: Xvfb ended or hangs
    if not number:
        xvfb.kill()
        xvfb.wait()
        sys.exit("Xvfb did not start")
    return xvfb, ":" + number


def outer(binary):
    reason = skip_reason()
    if reason:
        print("SKIP:", reason)
        return SKIP
    xvfb, display = start_xvfb()
    try:
        env = dict(os.environ, DISPLAY=display)
        return subprocess.call(["dbus-run-session", "--", sys.executable, __file__, "--inner",
                                binary], env=env)
    finally:
        xvfb.terminate()
        xvfb.wait()


class Failed(Exception):
    pass


def inner(binary):
    import pyatspi
    from gi.repository import GLib

    def wait_for(what, find):
        deadline = time.monotonic() + LIMIT
        while True:
            try:
                found = find()
            except GLib.Error:  # an object that went away while it was asked
                found = None
            if found:
                return found
            if time.monotonic() > deadline:
                raise Failed(f"{what}: not within {LIMIT:.0f} s")
            time.sleep(0.05)

    def key(*keys):
        subprocess.run(["xdotool", "key", "--clearmodifiers", *keys], check=True)

    def spoken(obj):
        # The label a screen reader names the control by, or the control's own name.
        for relation in obj.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                return relation.getTarget(0).name
        return obj.name

    def application():
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == program.pid:
                app.clear_cache()
                return app
        return None

    def window(title, state=pyatspi.STATE_SHOWING):
        app = application()
        for w in app or []:
            if w is not None and w.name == title and w.getState().contains(state):
                return w
        return None

    def active(title):
        # The window that has the keyboard: keys sent now reach it.
        return wait_for(title + " active", lambda: window(title, pyatspi.STATE_ACTIVE))

    def focus(title):
        # Without a window manager nobody gives the keyboard back to the main dialog when the
        # dialog in front of it closes.
        subprocess.run(["xdotool", "search", "--sync", "--all", "--pid", str(program.pid),
                        "--name", f"^{title}$", "windowfocus", "--sync"], check=True,
                       timeout=LIMIT)
        return active(title)

    def closed(title):
        return lambda: program.poll() is None and window(title) is None

    def check(title, table):
        w = active(title)
        if w.getRoleName() != "dialog":
            raise Failed(f"{title}: role {w.getRoleName()}")
        got = [(row[0], c.getRoleName(), spoken(c) if row[2] is not None else None)
               for c, row in zip(w, table)]
        want = [(row[0], row[1], row[2]) for row in table]
        if w.childCount != len(table) or got != want:
            lines = [f"  {g} / want {t}" for g, t in zip(got, want) if g != t]
            raise Failed(f"{title}: {w.childCount} controls, {len(table)} in the table\n" +
                         "\n".join(lines))
        print(f"{title}: {len(table)} controls named as their labels say")
        return w

    def focused(w):
        return next((spoken(c) for c in w
                     if c.getState().contains(pyatspi.STATE_FOCUSED)), None)

    def press(w, name):
        button = next(c for c in w if c.getRoleName() == "push button" and c.name == name)
        button.queryAction().doAction(0)

    box = tempfile.mkdtemp(prefix="qm-a11y-")
    config = os.path.join(box, "config", "Talvenmark")
    os.makedirs(config)
    os.makedirs(os.path.join(box, "lock"))
    os.mkdir(os.path.join(box, "run"), 0o700)
    # COM1 names no device: the start-up probe fails and the dialog waits in manual mode. Every
    # COM port is mapped, so that none defaults to a device of this machine.
    with open(os.path.join(config, "Quillmere.conf"), "w") as f:
        f.write("[Settings]\nRAS%20Link%20Name=Optolink & Co\n[Ports]\n"
                f"COM1={box}/no-port\nCOM2=sim:power=on\nCOM3=sim:power=on\nCOM4=sim:power=on\n"
                "[Dialup]\nService=sim:entries=Optolink & Co,delay=60000\n")
    env = dict(os.environ, HOME=box, XDG_CONFIG_HOME=os.path.join(box, "config"),
               XDG_RUNTIME_DIR=os.path.join(box, "run"),
               QUILLMERE_LOCK_DIR=os.path.join(box, "lock"), QUILLMERE_TRACE="1",
               QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    if "ASAN_OPTIONS" in env:
        # Qt's xcb plugin reads the keymap through libxkbcommon-x11, which hands strndup a string
        # without its final zero: the strict check reports that library, not the program.
        env["ASAN_OPTIONS"] += ":strict_string_checks=0"
    trace = open(os.path.join(box, "trace.txt"), "w+")
    program = subprocess.Popen([binary], env=env, stderr=trace)
    try:
        main = check("Quillmere", MAIN)
        bar = next(c for c in main if c.getRoleName() == "progress bar").queryValue()
        if (bar.minimumValue, bar.maximumValue, bar.currentValue) != (0, 256, 0):
            raise Failed(f"progress bar: {bar.minimumValue}..{bar.maximumValue}, "
                         f"{bar.currentValue}")

        # A full Tab cycle: every enabled tab stop in template order, then the first again.
        stops = [spoken(c) for c in main if c.getState().contains(pyatspi.STATE_FOCUSABLE) and
                 c.getState().contains(pyatspi.STATE_ENABLED)]
        wait_for("focus on the first control", lambda: focused(main) == stops[0])
        for stop in stops[1:] + stops[:1]:
            key("Tab")
            wait_for("Tab to " + stop, lambda: focused(main) == stop)
        print("Tab:", " → ".join(stops + stops[:1]).replace("\n", ""))

        press(main, "Verbinden")
        dial = check("DFÜ-Verbindung herstellen", DIAL)
        press(dial, "Abbrechen")
        wait_for("the dial dialog closed", closed("DFÜ-Verbindung herstellen"))

        focus("Quillmere")
        key("shift+F10", "o")  # the window menu, "Inf&o über Quillmere..."
        check("Info über Quillmere", ABOUT)
        key("Return")
        wait_for("the About box closed by Enter", closed("Info über Quillmere"))

        focus("Quillmere")
        key("shift+F10", "a")  # "&Anschlüsse..."
        check("Anschlüsse", PORTS)
        key("Escape")
        wait_for("the ports dialog closed by Escape", closed("Anschlüsse"))

        focus("Quillmere")
        key("shift+F10", "t")  # "Auf dem &Telefon anzeigen..."
        phone = check("Auf dem Telefon anzeigen", PHONE)
        qr, url = phone[0].name, phone[5].name
        if not url.startswith("http://") or qr != "QR-Code der Adresse " + url:
            raise Failed(f"QR code named {qr!r} for the address {url!r}")
        key("Escape")
        wait_for("the phone dialog closed by Escape", closed("Auf dem Telefon anzeigen"))
        return 0
    except (Failed, subprocess.SubprocessError) as e:
        trace.seek(0)
        print("FAILED:", e, "\n--- the program's trace, its end\n" + trace.read()[-3000:])
        return 1
    finally:
        program.terminate()
        try:
            program.wait(timeout=LIMIT)
        except subprocess.TimeoutExpired:
            print("the program did not end on SIGTERM")
            program.kill()
            program.wait()
        shutil.rmtree(box, ignore_errors=True)


if __name__ == "__main__":
    if sys.argv[1] == "--inner":
        sys.exit(inner(sys.argv[2]))
    sys.exit(outer(sys.argv[1]))
