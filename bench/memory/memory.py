#!/usr/bin/python3
"""Resident memory of the shipped app and of its WebKit processes, beside a
bare WebKitWebView (bench/memory/BarePage.cpp, WebKit's defaults) showing the
same page in the same run.

The app starts against the stand-in service, which signs the page in as it
opens; the benchmark scans, measures, then downloads 100 tracks and measures
again. Run it under a display, X11 or Wayland, with GTK's and WebKit's
default renderers (the display wrappers' test settings are cleared):

  scripts/with-wayland bench/memory/memory.py build/src/orvo-wav-downloader \
      build/tools/orvo-sim/orvo-sim build/bench/memory/bare-page
  scripts/with-display bench/memory/memory.py ...   (the same on X11)

Targets: all of the app's processes under 450 MiB after sign-in, and no
more than 20 MiB more after the 100-track run.
"""
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

APP, SIM, BARE = sys.argv[1:4]
SETTLE = 12  # seconds: WebKit looks at its memory every 5 s once told to
KINDS = (("WebKitWebProces", "web process"), ("WebKitNetworkP", "network process"))


def wait_for(what, condition, timeout=90.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            found = condition()
        except Exception:  # the accessibility tree changes under us
            found = None
        if found:
            return found
        time.sleep(0.2)
    raise SystemExit(f"timed out waiting for {what}")


def resident_mib(pid):
    for line in pathlib.Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1]) / 1024
    return 0.0


def family(pid):
    """The process and every process under it, by kind."""
    children = {}
    for entry in pathlib.Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                fields = (entry / "stat").read_text().rsplit(")", 1)[1].split()
                children.setdefault(int(fields[1]), []).append(int(entry.name))
            except OSError:
                pass
    sizes = {"program": resident_mib(pid), "web process": 0.0, "network process": 0.0}
    todo = list(children.get(pid, []))
    while todo:
        child = todo.pop()
        todo += children.get(child, [])
        try:
            name = pathlib.Path(f"/proc/{child}/comm").read_text().strip()
            size = resident_mib(child)
        except OSError:
            continue
        for prefix, kind in KINDS:
            if name.startswith(prefix):
                sizes[kind] += size
    sizes["all"] = sum(sizes.values())
    return sizes


def environment(home, origins):
    env = dict(os.environ, HOME=str(home), XDG_CONFIG_HOME=str(home / "config"),
               XDG_DATA_HOME=str(home / "data"), XDG_CACHE_HOME=str(home / "cache"),
               ORVO_WEB_ORIGIN=origins["web"], ORVO_API_ORIGIN=origins["api"],
               ORVO_UPDATE_ORIGIN=origins["update"])
    for name in ("GSK_RENDERER", "WEBKIT_DISABLE_DMABUF_RENDERER", "NO_AT_BRIDGE"):
        env.pop(name, None)
    return env


def on_bus(process):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        node = desktop.getChildAtIndex(i)
        if node is not None and node.name in ("orvo-wav-downloader", "Orvo WAV Downloader"):
            return node
    if process.poll() is not None:
        raise SystemExit(f"the app exited with {process.returncode}")
    return None


def node(root, role, name=None, starts=None):
    def matches(n):
        text = (n.name or "").translate({0x200e: None, 0x2068: None, 0x2069: None})
        return n.getRoleName() == role and (text == name if name else text.startswith(starts))
    return pyatspi.findDescendant(root, matches)


def measure_app(home, origins):
    music = home / "music"
    music.mkdir(parents=True)
    settings = home / "config/OrvoWavDownloader/settings.ini"
    settings.parent.mkdir(parents=True)
    settings.write_text(f"[Settings]\nagreedToTermsV1=true\ndestFolder={music}\n")
    app = subprocess.Popen([APP], env=environment(home, origins), stderr=subprocess.DEVNULL)
    try:
        root = wait_for("the app", lambda: on_bus(app))
        wait_for("the control panel", lambda: node(root, "push button", "Scan recent (20)")) \
            .queryAction().doAction(0)
        wait_for("the scan", lambda: node(root, "label", starts="2 workspaces found"))
        time.sleep(SETTLE)
        signed_in = family(app.pid)
        if not node(root, "list item", "Alpha").queryAction().nActions:
            return signed_in, None  # a build whose rows cannot be ticked from outside
        for name in ("Alpha", "Beta"):
            node(root, "list item", name).queryAction().doAction(0)
        wait_for("the ticks", lambda: node(root, "label", "100 queued"), 10)
        node(root, "push button", "Download selected").queryAction().doAction(0)
        wait_for("the run's end", lambda: node(root, "label", "Complete"), 600)
        time.sleep(SETTLE)
        after_run = family(app.pid)
        saved = len(list(music.rglob("*.wav")))
        assert saved == 100, f"{saved} files saved, not 100"
    finally:
        app.terminate()
        app.wait(timeout=20)
    return signed_in, after_run


def measure_bare(home, origins):
    page = subprocess.Popen([BARE, origins["web"] + "/"], env=environment(home, origins),
                            stderr=subprocess.DEVNULL)
    try:
        time.sleep(SETTLE + 5)
        return family(page.pid)
    finally:
        page.terminate()
        page.wait(timeout=20)


def catalogue(path):
    """Two workspaces of 50 liked, finished tracks each."""
    clips = [{"id": f"c{i:03d}", "title": f"Track {i}", "status": "complete", "is_liked": True,
              "project": {"id": "alpha" if i < 50 else "beta",
                          "name": "Alpha" if i < 50 else "Beta"}} for i in range(100)]
    path.write_text(json.dumps({"clips": clips}))


def main():
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="orvo-memory-"))
    catalogue(scratch / "catalogue.json")
    sim = subprocess.Popen([SIM, "--catalogue", str(scratch / "catalogue.json"),
                            "--sign-in-on-load", "bench@example.com", "--convert-delay", "0",
                            "--wav-seconds", "1"], stdout=subprocess.PIPE, text=True)
    try:
        origins = json.loads(sim.stdout.readline())
        bare = measure_bare(scratch / "bare", origins)
        signed_in, after_run = measure_app(scratch / "app", origins)
    finally:
        sim.terminate()
        sim.wait(timeout=10)
        shutil.rmtree(scratch, ignore_errors=True)
    session = "Wayland" if os.environ.get("WAYLAND_DISPLAY") else "X11"
    print(f"resident memory, MiB ({session}; bare page = WebKitWebView on WebKit's defaults)")
    print(f"{'':18}{'bare page':>10}{'app signed in':>15}{'after 100 tracks':>18}")
    for kind in ("program", "web process", "network process", "all"):
        run = f"{after_run[kind]:18.0f}" if after_run else f"{'-':>18}"
        print(f"{kind:18}{bare[kind]:10.0f}{signed_in[kind]:15.0f}{run}")
    growth = f"{after_run['all'] - signed_in['all']:+.0f} MiB" if after_run else "-"
    print(f"app / bare page: {signed_in['all'] / bare['all']:.2f}   growth over the run: {growth}"
          f"   (targets: under 450 MiB, at most +20 MiB)")


main()
