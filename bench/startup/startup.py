#!/usr/bin/python3
"""Start-up of the shipped app: time from launch to its window on screen, and
the resident memory after start, with a 100,000-clip library.json in place
against none. Run under a display, X11 or Wayland:

  scripts/with-display bench/startup/startup.py build/src/orvo-wav-downloader
  scripts/with-wayland bench/startup/startup.py build/src/orvo-wav-downloader

On Wayland the window counts as on screen when the app hands the compositor
its first picture (the first buffer attached, as WAYLAND_DEBUG shows it).
"""
import json
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

APP = sys.argv[1]
ROUNDS = 5
WAYLAND = bool(os.environ.get("WAYLAND_DISPLAY")) and not os.environ.get("DISPLAY")


def library(path, workspaces=2000, clips=50):
    path.parent.mkdir(parents=True, exist_ok=True)
    document = {"workspaces": [
        {"id": f"w{w:05d}", "name": f"Workspace {w}",
         "clips": [{"id": f"w{w:05d}-c{c:03d}", "title": f"Track {c} of workspace {w}",
                    "liked": c % 3 == 0} for c in range(clips)]}
        for w in range(workspaces)], "scannedAt": 818000000.0, "scope": "full"}
    path.write_text(json.dumps(document))


def resident_kib(pid):
    for line in pathlib.Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def launch(home):
    env = dict(os.environ, HOME=str(home), XDG_CONFIG_HOME=str(home / "config"),
               XDG_DATA_HOME=str(home / "data"), XDG_CACHE_HOME=str(home / "cache"),
               ORVO_WEB_ORIGIN="http://127.0.0.1:9", ORVO_API_ORIGIN="http://127.0.0.1:9",
               ORVO_UPDATE_ORIGIN="http://127.0.0.1:9")
    if WAYLAND:
        env["WAYLAND_DEBUG"] = "client"
    start = time.monotonic()
    app = subprocess.Popen([APP], env=env, text=True, errors="replace",
                           stderr=subprocess.PIPE if WAYLAND else subprocess.DEVNULL)
    if WAYLAND:
        for line in app.stderr:
            if ".attach(wl_buffer@" in line:
                break
        # The rest is read and dropped, so the app never waits on a full pipe.
        threading.Thread(target=app.stderr.read, daemon=True).start()
    else:
        while subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                              "^Orvo WAV Downloader$"], capture_output=True).returncode != 0:
            time.sleep(0.005)
    shown = time.monotonic() - start
    time.sleep(3)
    rss = resident_kib(app.pid)
    app.terminate()
    app.wait(timeout=10)
    return shown * 1000, rss / 1024


def measure(with_library):
    times, memory = [], []
    for _ in range(ROUNDS):
        home = pathlib.Path(tempfile.mkdtemp(prefix="orvo-startup-"))
        settings = home / "config/OrvoWavDownloader/settings.ini"
        settings.parent.mkdir(parents=True)
        settings.write_text("[Settings]\nagreedToTermsV1=true\n")
        if with_library:
            library(home / "data/OrvoWavDownloader/library.json")
        ms, mib = launch(home)
        times.append(ms)
        memory.append(mib)
        shutil.rmtree(home, ignore_errors=True)
    return statistics.median(times), statistics.median(memory)


empty_ms, empty_mib = measure(False)
full_ms, full_mib = measure(True)
session = "Wayland" if WAYLAND else "X11"
print(f"{session:7} window on screen, no library:    {empty_ms:7.0f} ms, app resident {empty_mib:6.1f} MiB")
print(f"{session:7} window on screen, 100,000 clips: {full_ms:7.0f} ms, app resident {full_mib:6.1f} MiB")
print(f"ratio with library / without: {full_ms / empty_ms:.2f}   (target: window under 1000 ms)")
