#!/usr/bin/python3
"""The readout on a phone, as a phone's browser sees it: the real program under Xvfb on a swept
simulated link, "Auf dem Telefon anzeigen..." chosen from its window menu, headless Chromium on
127.0.0.1. The QR code on the screen decodes to the address the program printed; the page
follows the cycles within 200 ms (nine in ten at least); only the token's two paths answer; a
ninth client is refused; clients that stop reading do not slow the cycles; closing the dialog
closes the port.
Prints the cycle-to-browser delays (median, p95) and the cycle times. Exit code 77: a tool is
missing, the test is skipped.

    phone_readout_test.py QUILLMERE_BINARY"""
import http.client
import os
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

from accessibility_test import start_xvfb  # a display of its own, once it listens

SKIP = 77
LIMIT = 20.0  # seconds for each window or state to show
FOLLOW_MS = 200


def behind(delays):
    """Too few cycles seen, or more than one in ten later than FOLLOW_MS: a busy machine may
    hold the browser back once, a page that lags does it every cycle."""
    return len(delays) < 10 or sorted(delays)[len(delays) * 9 // 10 - 1] > FOLLOW_MS


def skip_reason():
    try:
        import selenium  # noqa: F401
    except ImportError:
        return "selenium is not installed (python3-selenium)"
    for tool in ("Xvfb", "xdotool", "chromium", "chromedriver"):
        if not shutil.which(tool):
            return tool + " is not installed (Debian xvfb, xdotool, chromium, chromium-driver)"
    return None


class Failed(Exception):
    pass


def wait_for(what, find, limit=LIMIT):
    deadline = time.monotonic() + limit
    while not (found := find()):
        if time.monotonic() > deadline:
            raise Failed(f"{what}: not within {limit:.0f} s")
        time.sleep(0.02)
    return found


class Program:
    """The program under Xvfb; its standard error read line by line, each with its arrival."""

    def __init__(self, binary, box, display):
        env = dict(os.environ, HOME=box, XDG_CONFIG_HOME=os.path.join(box, "config"),
                   XDG_STATE_HOME=os.path.join(box, "state"),
                   XDG_RUNTIME_DIR=os.path.join(box, "run"), DISPLAY=display,
                   QUILLMERE_LOCK_DIR=os.path.join(box, "lock"), QUILLMERE_TRACE="1",
                   QT_QPA_PLATFORM="xcb")
        self.lines, self.lock = [], threading.Lock()
        self.process = subprocess.Popen([binary], env=env, stderr=subprocess.PIPE, text=True)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stderr:
            with self.lock:
                self.lines.append((time.time() * 1000, line.rstrip("\n")))

    def since(self, start=0):
        with self.lock:
            return self.lines[start:]

    def find(self, pattern, start=0):
        for _, line in self.since(start):
            if m := re.search(pattern, line):
                return m
        return None

    def cycles(self, start=0):
        """(arrival ms, percent) of every cycle the dialog showed."""
        found = []
        for at, line in self.since(start):
            if m := re.fullmatch(r"trace: pos IDC_LINK_QUALITY (\d+)", line):
                found.append((at, int(m.group(1)) * 100 // 256))
        return found


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, timeout=LIMIT)


def focus(program, title):
    xdotool("search", "--sync", "--all", "--pid", str(program.process.pid), "--name",
            f"^{title}$", "windowfocus", "--sync")


def get(port, path, method="GET"):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=LIMIT)
    c.request(method, path)
    r = c.getresponse()
    body = r.read()
    c.close()
    return r.status, body, r.getheader("Cache-Control")


def open_stream(port, path, read=True):
    """An event stream; a reader that never reads leaves its socket's buffer to fill."""
    s = socket.create_connection(("127.0.0.1", port), timeout=LIMIT)
    if not read:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.sendall(f"GET {path}events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode())
    status = None
    if read:
        head = b""
        while b"\r\n" not in head:
            head += s.recv(256)
        status = int(head.split()[1])
    return s, status


def browser(box):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=412,860",
                f"--user-data-dir={box}/chromium", "--no-first-run", "--disable-extensions"):
        options.add_argument(arg)
    # The driver is ours alone: started on a free port, ended with the test.
    return webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)


# Every cycle's new value, as the page shows it, with the browser's time of the change.
WATCH = """
window.changes = [];
new MutationObserver(() => changes.push([Date.now(), document.getElementById('value').textContent]))
  .observe(document.getElementById('value'), {childList: true, characterData: true, subtree: true});
"""


def delays(program, driver, start):
    """Per cycle that changed the value: ms from the cycle on the program's side to the page."""
    shown = driver.execute_script("return changes")
    result = []
    for at, percent in program.cycles(start):
        later = [t for t, text in shown if text == f"{percent} %" and t >= at - 50]
        if later:
            result.append(later[0] - at)
    return result


def p95(values):
    return sorted(values)[max(0, int(len(values) * 0.95) - 1)]


def run(binary, box, display):
    program = Program(binary, box, display)
    driver, streams = None, []
    try:
        # The sweep starts at 30 %: the automatic test turns into one by hand and goes on.
        wait_for("cycles", lambda: len(program.cycles()) >= 3)
        focus(program, "Quillmere")
        xdotool("key", "--clearmodifiers", "shift+F10", "t")  # "Auf dem &Telefon anzeigen..."
        m = wait_for("the address on standard error",
                     lambda: program.find(r"^Ausrichtanzeige im Netz: (http://[^:]+:(\d+)(/.*/))$"))
        url, port, path = m.group(1), int(m.group(2)), m.group(3)
        token = path.strip("/")
        if len(token) < 22 or not re.fullmatch(r"[A-Za-z0-9_-]+", token):
            raise Failed(f"token {token!r}: fewer than 22 URL-safe characters")
        if not program.find(r'^trace: text IDC_PHONE_URL "' + re.escape(url) + '"$'):
            raise Failed("the dialog does not show " + url)

        if shutil.which("zbarimg") and shutil.which("import"):
            shot = os.path.join(box, "dialog.png")
            wait_for("a screenshot", lambda: subprocess.run(
                ["import", "-display", display, "-window", "root", shot],
                capture_output=True).returncode == 0)
            decoded = subprocess.run(["zbarimg", "--quiet", "--raw", shot],
                                     capture_output=True, text=True).stdout.split()
            if decoded != [url]:
                raise Failed(f"the QR code on the screen reads {decoded}, not {url}")
            print("QR code read from the screen:", decoded[0])
        else:
            print("QR code not read back: zbarimg or import (zbar-tools, imagemagick) missing")

        # Only the token's page and stream answer; everything else learns nothing.
        for method, asked, status in [
                ("GET", "/", 404), ("GET", "/events", 404), ("GET", "/" + token, 404),
                ("GET", "/" + token[:-1] + "/", 404), ("GET", path + "x", 404),
                ("GET", path + "../", 404), ("POST", path, 404), ("GET", path, 200)]:
            got, body, cache = get(port, asked, method)
            if got != status or cache != "no-store" or (status == 404 and body):
                raise Failed(f"{method} {asked}: {got}, Cache-Control {cache}, {len(body)} bytes")
        print("paths: only", path, "and its stream answer; the rest 404 with nothing")

        driver = browser(box)
        driver.get(f"http://127.0.0.1:{port}{path}")
        wait_for("the quality on the page", lambda: re.fullmatch(
            r"\d+ %", driver.find_element("id", "value").text))
        driver.execute_script(WATCH)
        start = len(program.since())
        wait_for("20 cycles", lambda: len(program.cycles(start)) >= 20, limit=60)
        alone = delays(program, driver, start)
        if behind(alone):
            raise Failed(f"page behind the cycles: {sorted(alone)} ms")
        print(f"cycle to page, one client: median {statistics.median(alone):.0f} ms, "
              f"p95 {p95(alone):.0f} ms, {len(alone)} cycles")
        wait_for("1 Telefon verbunden", lambda: program.find('IDC_PHONE_STATE "1 Telefon'))

        # Seven more: six that read, one that has stopped reading; the ninth is refused.
        before = [b - a for (a, _), (b, _) in zip(program.cycles(start), program.cycles(start)[1:])]
        streams = [open_stream(port, path) for _ in range(6)] + [open_stream(port, path, False)]
        if any(status != 200 for _, status in streams[:6]):
            raise Failed("a stream within the eight refused")
        wait_for("8 Telefone verbunden", lambda: program.find('IDC_PHONE_STATE "8 Telefone'))
        ninth, status = open_stream(port, path)
        ninth.close()
        if status != 503:
            raise Failed(f"the ninth client got {status}")
        print("ninth client refused (503)")
        driver.execute_script("window.changes = []")  # before the mark: no cycle loses its change
        start = len(program.since())
        wait_for("20 more cycles", lambda: len(program.cycles(start)) >= 20, limit=60)
        crowded = delays(program, driver, start)
        during = [b - a for (a, _), (b, _) in zip(program.cycles(start), program.cycles(start)[1:])]
        if behind(crowded):
            raise Failed(f"page behind the cycles with eight clients: {sorted(crowded)} ms")
        # The sim's cycle takes its time on the line; a cycle held up by a socket would show.
        if statistics.median(during) > statistics.median(before) * 1.1 + 5:
            raise Failed(f"cycles slowed: {statistics.median(before):.0f} ms alone, "
                         f"{statistics.median(during):.0f} ms with a stalled client")
        print(f"eight clients, one stalled: cycle to page median "
              f"{statistics.median(crowded):.0f} ms, p95 {p95(crowded):.0f} ms; cycle "
              f"{statistics.median(before):.0f} ms alone, {statistics.median(during):.0f} ms now")

        # The stalled client's place is given back: its stream is dropped once it has taken
        # nothing for five seconds and its socket has made no progress for ten.
        wait_for("the stalled client dropped",
                 lambda: program.find('IDC_PHONE_STATE "7 Telefone', start), limit=40)
        print("stalled client dropped")

        # Closing the dialog closes the port and drops every client.
        focus(program, "Auf dem Telefon anzeigen")
        xdotool("key", "--clearmodifiers", "Escape")

        def refused():
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                return False
            except ConnectionRefusedError:
                return True
        wait_for("the port closed", refused)
        for s, _ in streams[:6]:
            s.settimeout(LIMIT)
            while s.recv(4096):
                pass
        wait_for("the page telling of the drop",
                 lambda: "unterbrochen" in driver.find_element("id", "link").text)
        print("dialog closed: port", port, "refused, every stream ended")
        return 0
    except Failed as e:
        print("FAILED:", e, "\n--- the program's standard error, its end")
        print("\n".join(line for _, line in program.since()[-40:]))
        return 1
    finally:
        for s, _ in streams:
            s.close()
        if driver:
            driver.quit()
        program.process.terminate()
        try:
            program.process.wait(timeout=LIMIT)
        except subprocess.TimeoutExpired:
            print("the program did not end on SIGTERM")
            program.process.kill()
            program.process.wait()


def main(binary):
    reason = skip_reason()
    if reason:
        print("SKIP:", reason)
        return SKIP
    box = tempfile.mkdtemp(prefix="qm-phone-")
    for sub in ("config/Talvenmark", "lock", "state"):
        os.makedirs(os.path.join(box, sub))
    os.mkdir(os.path.join(box, "run"), 0o700)
    with open(os.path.join(box, "config", "Talvenmark", "Quillmere.conf"), "w") as f:
        f.write("[Ports]\nCOM1=sim:power=on,link=sweep\nCOM2=sim:power=on\n"
                "COM3=sim:power=on\nCOM4=sim:power=on\n")
    xvfb, display = start_xvfb()
    os.environ["DISPLAY"] = display  # for xdotool and import
    try:
        return run(binary, box, display)
    finally:
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(box, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
