#!/usr/bin/env python3
"""The alignment tone as the operator hears it: the real program on a private PulseAudio server
with a null sink, recorded from the sink's monitor. A good link sounds steady at 1200 Hz; a
badly aligned one (85 % of the words, 84 %) turns the automatic test into one by hand and is
pulsed at 1072 Hz. A termination cancels the test, and the tone stops. Prints how long after the trace's "tone off" the recording fell silent.
Skips (77) where pulseaudio or parec are missing."""
import array, os, shutil, signal, subprocess, sys, tempfile, threading, time

RATE, WINDOW = 48000, 2400  # 50 ms windows


def skip(why):
    print(f"SKIP: {why}")
    sys.exit(77)


def main(program):
    for tool in ("pulseaudio", "parec"):
        if not shutil.which(tool):
            skip(f"{tool} is not installed (Debian pulseaudio, pulseaudio-utils)")
    tmp = tempfile.mkdtemp(prefix="qm-tone-")
    os.chmod(tmp, 0o700)
    socket = os.path.join(tmp, "native")
    env = dict(os.environ, HOME=tmp, XDG_RUNTIME_DIR=tmp, XDG_CONFIG_HOME=tmp,
               PULSE_SERVER="unix:" + socket, QT_QPA_PLATFORM="offscreen", QUILLMERE_TRACE="1")
    os.makedirs(os.path.join(tmp, "Talvenmark"))
    server = subprocess.Popen(
        ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
         "-L", "module-null-sink sink_name=q rate=48000",
         "-L", f"module-native-protocol-unix socket={socket} auth-anonymous=1"],
        env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 20
        while subprocess.run(["pactl", "info"], env=env, capture_output=True).returncode != 0:
            if time.monotonic() > deadline or server.poll() is not None:
                skip("the private PulseAudio server did not start")
            time.sleep(0.05)
        failed = 0
        for link, tone in (("100", "tone 1200"), ("85", "tone 1072 pulsed")):
            with open(os.path.join(tmp, "Talvenmark", "Quillmere.conf"), "w") as f:
                f.write(f"[Alignment]\nTone=1\n[Ports]\nCOM1=sim:power=on,link={link}\n")
            print(f"link={link}:", end=" ")
            failed |= run(program, env, tone)
        return failed
    finally:
        server.terminate()
        server.wait()
        shutil.rmtree(tmp, ignore_errors=True)


def run(program, env, tone):
    hz, pulsed = int(tone.split()[1]), tone.endswith("pulsed")
    rec = subprocess.Popen(["parec", "-d", "q.monitor", "--raw", "--format=s16le", "--rate=48000",
                            "--channels=1", "--latency-msec=10"], env=env, stdout=subprocess.PIPE)
    windows = []  # (time read, rms, frequency)

    def listen():
        pending = b""
        while chunk := rec.stdout.read1(4096):
            pending += chunk
            while len(pending) >= 2 * WINDOW:
                a = array.array("h", pending[:2 * WINDOW])
                pending = pending[2 * WINDOW:]
                rms = (sum(x * x for x in a) / WINDOW) ** 0.5
                crossings = sum((a[i - 1] < 0) != (a[i] < 0) for i in range(1, WINDOW))
                windows.append((time.monotonic(), rms, crossings * RATE / WINDOW / 2))

    listener = threading.Thread(target=listen, daemon=True)
    listener.start()
    # The program starts once the recording runs: the tone's onset is then measurable.
    deadline = time.monotonic() + 20
    while not windows and time.monotonic() < deadline:
        time.sleep(0.01)
    prog = subprocess.Popen([program], env=env, stderr=subprocess.PIPE, text=True)
    trace, off_at = [], None
    for line in prog.stderr:  # the program's own deadline ends it if the tone never comes
        trace.append(line.strip())
        if line.strip() == "trace: " + tone:
            on_at = time.monotonic()  # a pulse starts with the tone
            break
    ok = trace[-1:] == ["trace: " + tone]
    # A second of sound (four pulses) recorded, then the user closes the program.
    heard_from = len(windows)
    while ok and len(windows) < heard_from + 20 and rec.poll() is None:
        time.sleep(0.01)
    prog.send_signal(signal.SIGTERM)
    for line in prog.stderr:
        trace.append(line.strip())
        if line.startswith("trace: tone off"):
            off_at = time.monotonic()
    prog.wait(timeout=20)
    # Half a second of what follows.
    seen = len(windows)
    while len(windows) < seen + 10 and rec.poll() is None:
        time.sleep(0.01)
    rec.terminate()
    listener.join(timeout=5)

    heard = windows[heard_from:heard_from + 20]
    loud = [w for w in heard if w[1] > 1000]
    silent = [w for w in heard if w[1] < 100]
    failures = []
    if not ok:
        failures.append(f"no '{tone}' in the trace: " + " | ".join(trace[-8:]))
    if not loud or bool(silent) != pulsed:
        failures.append(f"{len(loud)} loud and {len(silent)} silent windows of {len(heard)}")
    elif not all(abs(w[2] - hz) < 40 for w in loud if w[1] > 6500):  # windows wholly in tone
        failures.append(f"pitch off {hz} Hz: " + str([round(w[2]) for w in loud]))
    if off_at is None:
        failures.append("no 'tone off' in the trace at the end")
    else:
        after = [w for w in windows if w[0] > off_at]
        first_quiet = next((w[0] for w in after if w[1] < 100), None)
        if first_quiet is None or any(w[1] > 100 for w in after if w[0] > first_quiet):
            failures.append("the tone did not stop for good after the test ended")
        else:
            first_loud = next((w[0] for w in windows if w[0] > on_at and w[1] > 1000), on_at)
            print(f"heard {1000 * (first_loud - on_at):.0f} ms after the tone's trace line, "
                  f"silent {1000 * (first_quiet - off_at):.0f} ms after 'tone off' "
                  f"(recording windows of {1000 * WINDOW // RATE} ms)")
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
