#!/usr/bin/python3
"""Figures of `--download-new` against the stand-in: the time from launch to
the first request to Orvo with a display and through the private
compositor, the peak resident memory of the whole process tree (program,
web and network processes, and the compositor) for an unattended run
against the open window doing the same run, and the wall time and request
count of a run that finds nothing new. Run it under a display and a bus:

  scripts/with-display bench/unattended/unattended.py build/src/orvo-wav-downloader \\
      build/tools/orvo-sim/orvo-sim
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

APP, SIM = sys.argv[1:3]
ROUNDS = 3


def family_mib(pid):
    """The resident memory of the process and every process under it."""
    children = {}
    for entry in pathlib.Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                fields = (entry / "stat").read_text().rsplit(")", 1)[1].split()
                children.setdefault(int(fields[1]), []).append(int(entry.name))
            except OSError:
                pass
    total, todo = 0, [pid]
    while todo:
        process = todo.pop()
        todo += children.get(process, [])
        try:
            for line in pathlib.Path(f"/proc/{process}/status").read_text().splitlines():
                if line.startswith("VmRSS:"):
                    total += int(line.split()[1])
        except OSError:
            pass
    return total / 1024


class Sim:
    def __init__(self, scratch, clips, *extra):
        (scratch / "catalogue.json").write_text(json.dumps({"clips": clips}))
        self.process = subprocess.Popen(
            [SIM, "--verbose", "--state-dir", str(scratch / "state"), "--catalogue",
             str(scratch / "catalogue.json"), "--convert-delay", "0.2", "--wav-seconds", "1",
             *extra], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.origins = json.loads(self.process.stdout.readline())
        self.first_request = None
        threading.Thread(target=self.read_log, daemon=True).start()

    def read_log(self):
        for _ in self.process.stderr:
            if self.first_request is None:
                self.first_request = time.monotonic()

    def requests(self):
        import urllib.request
        with urllib.request.urlopen(self.origins["api"] + "/_sim/counters") as answer:
            return sum(json.load(answer)["routes"].values())

    def stop(self):
        self.process.terminate()
        self.process.wait()


def clips(count):
    return [{"id": f"c{n}", "title": f"Track {n}", "status": "complete", "is_liked": True,
             "project": {"id": "w", "name": "Demos"}} for n in range(count, 0, -1)]


def environment(scratch, sim, display):
    env = dict(os.environ, HOME=str(scratch), XDG_CONFIG_HOME=str(scratch / "config"),
               XDG_DATA_HOME=str(scratch / "data"), XDG_CACHE_HOME=str(scratch / "cache"),
               ORVO_WEB_ORIGIN=sim.origins["web"], ORVO_API_ORIGIN=sim.origins["api"],
               ORVO_UPDATE_ORIGIN=sim.origins["update"], NO_AT_BRIDGE="1")
    if not display:
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            env.pop(name, None)
    return env


def run(command, env, sim):
    """Wall seconds, seconds to the first request, peak MiB of the tree."""
    sim.first_request = None
    started = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    peak = 0
    while process.poll() is None:
        peak = max(peak, family_mib(process.pid))
        time.sleep(0.05)
    assert process.returncode == 0, f"{command} exited {process.returncode}"
    first = sim.first_request - started if sim.first_request else float("nan")
    return time.monotonic() - started, first, peak


def main():
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="orvo-bench-unattended-"))
    (scratch / "state").mkdir()
    (scratch / "Music").mkdir()
    (scratch / "config/OrvoWavDownloader").mkdir(parents=True)
    (scratch / "config/OrvoWavDownloader/settings.ini").write_text(
        f"[Settings]\ndestFolder={scratch / 'Music'}\n")
    count = 20
    sim = Sim(scratch, clips(count), "--sign-in-on-load", "someone@example.com")
    try:
        # Signs the profile in and saves the first tracks.
        run([APP, "--download-new"], environment(scratch, sim, False), sim)
        sim.stop()
        firsts = {True: [], False: []}
        peaks = {True: [], False: []}
        for _ in range(ROUNDS):
            for display in (True, False):
                count += 10  # ten new tracks each run
                sim = Sim(scratch, clips(count))
                _, first, peak = run([APP, "--download-new"],
                                     environment(scratch, sim, display), sim)
                firsts[display].append(first)
                peaks[display].append(peak)
                sim.stop()
        # The same ten new tracks, fetched by the open window.
        window_peaks = []
        for _ in range(ROUNDS):
            count += 10
            sim = Sim(scratch, clips(count))
            env = environment(scratch, sim, True)
            window = subprocess.Popen([APP], env=env, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            time.sleep(4)
            handed = subprocess.Popen([APP, "--download-new"], env=env,
                                      stdout=subprocess.DEVNULL)
            peak = 0
            while handed.poll() is None:
                peak = max(peak, family_mib(window.pid))
                time.sleep(0.05)
            window_peaks.append(peak)
            window.terminate()
            window.wait()
            sim.stop()
        # Nothing new.
        sim = Sim(scratch, clips(count))
        walls, requests = [], []
        for _ in range(ROUNDS):
            before = sim.requests()
            wall, _, _ = run([APP, "--download-new"], environment(scratch, sim, False), sim)
            walls.append(wall)
            requests.append(sim.requests() - before)
        sim.stop()
        median = statistics.median
        print(f"first request to Orvo, with a display:        {median(firsts[True]):.2f} s")
        print(f"first request to Orvo, private compositor:    {median(firsts[False]):.2f} s")
        print(f"peak memory, unattended run with a display:   {median(peaks[True]):.0f} MiB")
        print(f"peak memory, unattended run, private display: {median(peaks[False]):.0f} MiB")
        print(f"peak memory, the open window doing the run:   {median(window_peaks):.0f} MiB")
        print(f"nothing new: {median(walls):.2f} s wall, {median(requests):.0f} requests")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


main()
