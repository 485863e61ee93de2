#!/usr/bin/python3
"""The readout on a phone: from a cycle on the program's side (its trace line for the quality
bar) to the value shown in headless Chromium on loopback, median and p95 over a number of
cycles; first with the browser alone, then with seven more streams read alongside it (eight,
the most the program takes). The real program under Xvfb on a swept simulated link, as
tests/e2e/phone_readout_test.py drives it.

    phone_latency.py QUILLMERE_BINARY [cycles]    (default 200)"""
import os
import shutil
import statistics
import sys
import tempfile
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import phone_readout_test as t  # noqa: E402


def measure(program, driver, cycles):
    driver.execute_script("window.changes = []")
    start = len(program.since())
    t.wait_for(f"{cycles} cycles", lambda: len(program.cycles(start)) >= cycles,
               limit=cycles * 2)
    return t.delays(program, driver, start)


def drain(stream):
    """A browser that reads everything, until the program or the bench ends the stream."""
    try:
        while stream.recv(65536):
            pass
    except OSError:
        pass


def row(what, values):
    print(f"{what:<28} {statistics.median(values):8.1f} {t.p95(values):8.1f} "
          f"{max(values):8.1f} {len(values):7d}")


def main(binary, cycles):
    reason = t.skip_reason()
    if reason:
        print("SKIP:", reason)
        return 0
    box = tempfile.mkdtemp(prefix="qm-phone-bench-")
    for sub in ("config/Talvenmark", "lock", "state"):
        os.makedirs(os.path.join(box, sub))
    os.mkdir(os.path.join(box, "run"), 0o700)
    with open(os.path.join(box, "config", "Talvenmark", "Quillmere.conf"), "w") as f:
        f.write("[Ports]\nCOM1=sim:power=on,link=sweep\nCOM2=sim:power=on\n"
                "COM3=sim:power=on\nCOM4=sim:power=on\n")
    xvfb, display = t.start_xvfb()
    os.environ["DISPLAY"] = display
    program = t.Program(binary, box, display)
    driver, streams = None, []
    try:
        t.wait_for("cycles", lambda: len(program.cycles()) >= 3)
        t.focus(program, "Quillmere")
        t.xdotool("key", "--clearmodifiers", "shift+F10", "t")
        m = t.wait_for("the address", lambda: program.find(
            r"^Ausrichtanzeige im Netz: (http://[^:]+:(\d+)(/.*/))$"))
        port, path = int(m.group(2)), m.group(3)
        driver = t.browser(box)
        driver.get(f"http://127.0.0.1:{port}{path}")
        t.wait_for("the page", lambda: driver.find_element("id", "value").text.endswith("%"))
        driver.execute_script(t.WATCH)
        print(f"Cycle end to the value in the browser, ms, {cycles} cycles each\n")
        print(f"{'':<28} {'median':>8} {'p95':>8} {'max':>8} {'changes':>7}")
        row("one browser", measure(program, driver, cycles))
        for _ in range(7):
            s, _status = t.open_stream(port, path)
            streams.append(s)
            threading.Thread(target=drain, args=(s,), daemon=True).start()
        t.wait_for("8 clients", lambda: program.find('IDC_PHONE_STATE "8 Telefone'))
        row("browser + 7 streams", measure(program, driver, cycles))
        return 0
    finally:
        for s in streams:
            s.close()
        if driver:
            driver.quit()
        program.process.terminate()
        program.process.wait()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(box, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 200))
