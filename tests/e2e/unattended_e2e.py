#!/usr/bin/python3
"""`--download-new`, the shipped executable against the stand-in, as a timer
or a script runs it: no display variables, its own session bus (run under
dbus-run-session), a fake notification server on that bus.

  unattended_e2e.py APP SIM

Covers a first run through the private compositor (the stand-in signs the
page in as it opens, and the sign-in is kept in the profile), a second run
after the catalogue grew that fetches exactly the new track, a run with
nothing new, a lost sign-in (exit 2 and a notification), two runs at once
(exit 4, on one bus and with none) and a `--download-new` handed to an open
window.
"""
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

APP, SIM = sys.argv[1:3]
HERE = pathlib.Path(__file__).resolve().parent
START = time.monotonic()


def log(message):
    print(f"[unattended {time.monotonic() - START:6.1f}s] {message}", flush=True)


def clip(number, workspace, liked=True, **extra):
    return {"id": f"c{number}", "title": f"Track {number}", "status": "complete",
            "is_liked": liked, "project": {"id": workspace, "name": workspace.title()},
            **extra}


class Sim:
    """The stand-in with a catalogue, keeping its sessions in state."""

    def __init__(self, scratch, state, clips, *extra):
        self.catalogue = scratch / "catalogue.json"
        self.catalogue.write_text(json.dumps({"clips": clips}))
        self.process = subprocess.Popen(
            [SIM, "--state-dir", str(state), "--catalogue", str(self.catalogue),
             "--convert-delay", "0.2", "--wav-seconds", "1", *extra],
            stdout=subprocess.PIPE, text=True)
        self.origins = json.loads(self.process.stdout.readline())

    def request(self, method, path):
        request = urllib.request.Request(self.origins["api"] + path, method=method)
        with urllib.request.urlopen(request, timeout=10) as answer:
            return json.loads(answer.read() or b"{}")

    def counters(self):
        return self.request("GET", "/_sim/counters")

    def requests(self):
        """Every request the app sent to Orvo (web site and API), by route."""
        return sum(self.counters()["routes"].values())

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


def environment(scratch, sim):
    env = {key: value for key, value in os.environ.items()
           if key not in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "GDK_BACKEND")}
    home = scratch / "home"
    env.update({
        "HOME": str(home),
        "XDG_CONFIG_HOME": str(home / ".config"),
        "XDG_DATA_HOME": str(home / ".local/share"),
        "XDG_CACHE_HOME": str(home / ".cache"),
        "ORVO_WEB_ORIGIN": sim.origins["web"],
        "ORVO_API_ORIGIN": sim.origins["api"],
        "ORVO_UPDATE_ORIGIN": sim.origins["update"],
        "GSETTINGS_BACKEND": "memory",
        "NO_AT_BRIDGE": "1",
        "LANGUAGE": "en", "LC_ALL": "C.UTF-8",
    })
    if subprocess.run(["unshare", "--user", "true"], capture_output=True).returncode:
        env["WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS"] = "1"
    return env


def download_new(env, *args, timeout=120):
    started = time.monotonic()
    done = subprocess.run([APP, "--download-new", *args], env=env, capture_output=True,
                          text=True, timeout=timeout)
    log(f"--download-new {' '.join(args)} -> {done.returncode} in "
        f"{time.monotonic() - started:.1f} s:\n{done.stdout}{done.stderr}")
    return done


def wavs(folder):
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*.wav"))


def notifications(path):
    if not path.exists():
        return []
    return [json.loads(line) for line in path.read_text().splitlines()]


def expect(condition, what):
    if not condition:
        raise AssertionError(what)
    log(f"ok: {what}")


def start_weston(scratch):
    runtime = scratch / "runtime"
    runtime.mkdir(mode=0o700)
    (runtime / "weston.ini").write_text("[input-method]\npath=\n")
    weston = subprocess.Popen(
        ["weston", "--backend=headless-backend.so", "--shell=kiosk-shell.so",
         "--socket=wayland-test", f"--config={runtime / 'weston.ini'}"],
        env={**os.environ, "XDG_RUNTIME_DIR": str(runtime)},
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    socket = runtime / "wayland-test"
    for _ in range(100):
        if socket.exists():
            return weston, runtime
        time.sleep(0.1)
    raise AssertionError("weston did not start")


def main():
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="orvo-unattended-"))
    state = scratch / "sim-state"
    state.mkdir()
    music = scratch / "Music"
    music.mkdir()
    noted = scratch / "notifications.jsonl"
    server = subprocess.Popen(["/usr/bin/python3", str(HERE / "fake_notifications.py"),
                               str(noted)], stdout=subprocess.PIPE, text=True)
    sim = None
    try:
        assert server.stdout.readline().strip() == "ready", "no notification server"
        clips = [clip(1, "demos"), clip(2, "demos"), clip(3, "live"),
                 clip(4, "live", liked=False)]

        # First run: no display, no library, no earlier run; the stand-in
        # signs the page in as it opens, and the profile keeps the sign-in.
        sim = Sim(scratch, state, clips, "--sign-in-on-load", "someone@example.com")
        env = environment(scratch, sim)
        settings = scratch / "home/.config/OrvoWavDownloader/settings.ini"
        settings.parent.mkdir(parents=True)
        settings.write_text(f"[Settings]\ndestFolder={music}\n")
        first = download_new(env)
        expect(first.returncode == 0, "the first run with no display ends 0")
        expect(wavs(music) == ["Demos/Track 1.wav", "Demos/Track 2.wav", "Live/Track 3.wav"],
               "it saved the liked tracks of every workspace")
        expect("Complete: Downloaded 3 files." in first.stdout, "it said what it did")
        expect([n["summary"] for n in notifications(noted)] ==
               ["3 new tracks saved in Orvo Library"], "and told the desktop")
        expect(notifications(noted)[0]["desktop_entry"] == "io.github.orvowav.OrvoWavDownloader",
               "under the app's own desktop entry")
        sim.stop()

        # The catalogue grew; the stand-in restarts with the sessions kept and
        # no automatic sign-in: the profile's own sign-in is used.
        sim = Sim(scratch, state, [clip(5, "demos"), *clips])
        env = environment(scratch, sim)
        second = download_new(env)
        expect(second.returncode == 0, "the second run ends 0")
        fetched = {c for c, counts in sim.counters()["clips"].items() if counts.get("wav")}
        expect(fetched == {"c5"}, "the second run fetched exactly the new track")
        expect("Demos/Track 5.wav" in wavs(music), "and saved it")

        # Nothing new: the figures the README gives.
        before = sim.requests()
        started = time.monotonic()
        third = download_new(env)
        seconds = time.monotonic() - started
        expect(third.returncode == 0 and "Downloaded 0 files · 4 already saved." in third.stdout,
               "a run with nothing new ends 0 and saves nothing")
        log(f"FIGURE nothing new: {seconds:.2f} s wall, {sim.requests() - before} requests")
        expect(len(notifications(noted)) == 2, "and leaves the desktop alone")

        # Two runs at once: a slow new track keeps the first one going.
        sim.stop()
        sim = Sim(scratch, state, [clip(6, "demos", convert_delay=6), clip(5, "demos"), *clips])
        env = environment(scratch, sim)
        first_of_two = subprocess.Popen([APP, "--download-new"], env=env,
                                        stdout=subprocess.PIPE, text=True)
        for _ in range(300):
            if sim.counters()["clips"].get("c6", {}).get("convert_wav"):
                break
            time.sleep(0.1)
        on_bus = download_new(env, timeout=30)
        expect(on_bus.returncode == 4, "a second run on the same bus ends 4")
        no_bus = download_new({**env, "DBUS_SESSION_BUS_ADDRESS": "unix:path=/nonexistent"},
                              timeout=30)
        expect(no_bus.returncode == 4, "a second run with no bus to meet the first ends 4")
        expect(first_of_two.wait(timeout=60) == 0, "the first of the two ends 0")

        # --download-new beside an open window: the window does it.
        sim.stop()
        sim = Sim(scratch, state, [clip(7, "live"), clip(6, "demos"), clip(5, "demos"), *clips])
        env = environment(scratch, sim)
        weston, runtime = start_weston(scratch)
        window = subprocess.Popen([APP], env={**env, "XDG_RUNTIME_DIR": str(runtime),
                                              "WAYLAND_DISPLAY": "wayland-test",
                                              "GDK_BACKEND": "wayland"})
        try:
            time.sleep(3)
            beside = download_new(env)
            expect(beside.returncode == 0 and "Complete: Downloaded 1 file" in beside.stdout,
                   "a run beside the window ends 0 and prints the outcome")
            expect(window.poll() is None, "the window is still open")
            expect(sim.counters()["clips"]["c7"]["wav"] == 1, "the window fetched the new track")
        finally:
            window.terminate()
            window.wait(timeout=20)
            weston.terminate()
            weston.wait(timeout=10)

        # The sign-in is gone: exit 2, and a notification that opens the app.
        sim.request("DELETE", "/_sim/sessions")
        gone = download_new(env)
        expect(gone.returncode == 2, "a run whose sign-in is gone ends 2")
        expect(notifications(noted)[-1]["summary"] ==
               "Sign in to Orvo to keep your library up to date", "and says so on the desktop")

        # A wrong command line, and a destination that is gone.
        expect(download_new(env, "--destination").returncode == 64, "a wrong command line is 64")
        expect(download_new(env, "--destination", str(scratch / "gone")).returncode == 3,
               "a destination that is not there is 3")
        print("unattended: 1 passed, 0 failed")
    finally:
        if sim:
            sim.stop()
        server.terminate()
        shutil.rmtree(scratch, ignore_errors=True)


main()
