#!/usr/bin/python3
"""The shipped app in another language, end to end.

  app_e2e_language.py LANG APP SIM CATALOGUE SCREENSHOT_DIR LOCALE_DIR

Runs the app as app_e2e.py does, under LANG (de_DE.UTF-8, ar_EG.UTF-8,
ja_JP.UTF-8). Under German it goes through a whole run and checks a few
exact German texts on the agreement, the panel and the summary. Under
Arabic it checks that the window is laid out right to left and takes a
picture of the panel after a scan; under Japanese a picture of the
agreement. The texts it looks for come from the app's own catalogues
(LOCALE_DIR), read with Python's gettext.

On a small screen (ORVO_SCREEN=1024x600), in any language, it goes through
a whole run with the quit question on the way and the failed track's
buttons at the end, and checks at each step that no label or button
reaches past the window or the screen; the pictures are of the screen.
"""
import gettext
import os
import pathlib
import shutil
import sys
import tempfile
import time

LANG, APP, SIM, CATALOGUE, SHOTS, LOCALES = sys.argv[1:7]
sys.argv = [sys.argv[0], APP, SIM, CATALOGUE, SHOTS]
import app_e2e as e2e  # noqa: E402  (reads the arguments above)
from app_e2e import App, log  # noqa: E402

language = LANG.split(".")[0]
catalogue = gettext.translation("orvo-wav-downloader", LOCALES, [language, language.split("_")[0]])
_ = catalogue.gettext
shots = SHOTS if os.environ.get("ORVO_SCREENSHOTS") else tempfile.mkdtemp(prefix="orvo-e2e-shots-")


def screenshot(app, name, window=None):
    pathlib.Path(shots).mkdir(parents=True, exist_ok=True)
    e2e.subprocess.run(["import", "-window", window or app.wid, f"{shots}/{name}.png"],
                       check=True)


def sign_in(app):
    app.wait_node("the agreement", "push button", _("Accept & Continue"), timeout=20)
    app.key("Return")
    app.wait_node("the sign-in banner", "label", _("Sign in to your Orvo account"), timeout=20)
    time.sleep(1.5)
    app.type_credentials()
    scan = app.wait_node("the control panel", "push button",
                         _("Scan recent ({count})").replace("{count}", "20"), timeout=60)
    app.press(scan)
    app.wait_node("the scanned workspaces", "list item", "Demos", timeout=60)
    # The scan is over when its button reads as before.
    app.wait_node("the scan's end", "push button", scan.name, timeout=60)


def german(app, music):
    # The agreement, in German.
    app.wait_node("the German agreement", "push button", "Zustimmen und fortfahren", timeout=20)
    assert app.node("label", "Bitte lesen Sie Folgendes, bevor Sie beginnen."), app.labels()
    sign_in(app)
    app.wait_node("the German scan result", "label", starts="4 Arbeitsbereiche gefunden (",
                  timeout=10)
    for name in ("Demos", "Sketches"):
        app.click(app.wait_node(f"the {name} row", "list item", name))
    app.wait_node("the German queue badge", "label", "5 ausstehend", timeout=10)
    app.press(app.node("push button", "Wählen …"))
    app.type_folder("Wählen Sie, wo Ihre heruntergeladenen Arbeitsbereiche gespeichert werden",
                    music)
    app.press(app.wait_node("the German download button", "push button", "Auswahl herunterladen"))
    app.wait_node("the run's end, in German", "label", "Fertig", timeout=150)
    time.sleep(0.5)
    labels = app.labels()
    for line in ("Gespeichert: Ember", "NICHT AUTOMATISCH HERUNTERLADBAR (1)",
                 "4 Dateien heruntergeladen · 1 konnte nicht abgeschlossen werden "
                 "(siehe Aktivitätsprotokoll)."):
        assert line in labels, f"{line!r} not shown; labels: {labels}"
    saved = sorted(p.name for p in music.rglob("*.wav"))
    assert len(saved) == 4, saved
    screenshot(app, "control-panel-de")


def arabic(app, music):
    sign_in(app)
    # Right to left: the logo and title, first in the header, sit at the right.
    x, _y, w, _h = app.window.queryComponent().getExtents(e2e.pyatspi.WINDOW_COORDS)
    title = app.node("label", _("Orvo WAV Downloader"))
    tx, _ty, tw, _th = title.queryComponent().getExtents(e2e.pyatspi.WINDOW_COORDS)
    assert tx > x + w / 2, f"the title is at {tx} of {w}: not laid out right to left"
    screenshot(app, "control-panel-ar")


def japanese(app, music):
    app.wait_node("the agreement", "push button", _("Accept & Continue"), timeout=20)
    assert app.node("label", _("Please review the following before you begin."))
    time.sleep(0.5)
    screenshot(app, "agreement-ja")


def fits(app, window, where):
    """Every label and button of window lies across within it, and it within the screen."""
    wx, wy, ww, wh = window.queryComponent().getExtents(e2e.pyatspi.DESKTOP_COORDS)
    assert wx >= 0 and wx + ww <= e2e.SCREEN[0] and wh <= e2e.SCREEN[1], \
        f"{where}: the window ({ww}x{wh} at {wx},{wy}) does not fit the screen"
    nodes = []
    e2e.pyatspi.findAllDescendants(window, lambda n: e2e.role_of(n) in ("label", "push button")
                                   and n.name and nodes.append(n) and False)
    cut = []
    for node in nodes:
        x, _y, w, h = node.queryComponent().getExtents(e2e.pyatspi.DESKTOP_COORDS)
        if w > 0 and h > 0 and (x < wx or x + w > wx + ww):
            cut.append(f"{node.getRoleName()} {e2e.spoken(node.name)!r} at {x}..{x + w}")
    assert not cut, f"{where}: cut off at the window's edges ({wx}..{wx + ww}): {cut}"
    e2e.log(f"{where}: {len(nodes)} labels and buttons, none cut off")


def small_screen(app, music):
    lang = language.split("_")[0]
    sign_in(app)
    for name in ("Demos", "Sketches"):
        app.click(app.wait_node(f"the {name} row", "list item", name))
    app.press(app.node("push button", _("Choose…")))
    app.type_folder(_("Choose where your downloaded workspaces will be saved"), music)
    download = app.wait_node("the download button", "push button", _("Download selected"))
    e2e.wait_for("the download button to be scrolled into view",
                 lambda: app.on_screen(download), 5)
    fits(app, app.window, "the panel before the run")
    screenshot(app, f"window-1024x600-{lang}", "root")

    # Quitting mid-run asks first; keeping on is the default answer.
    app.press(download)
    time.sleep(1)
    app.key("ctrl+q")
    question = e2e.wait_for("the quit question", lambda: app.anywhere(
        "label", _("Stop the download and quit?")), 10)
    dialog = question
    while dialog.getRoleName() not in ("dialog", "alert", "frame"):
        dialog = dialog.parent
    assert app.node("label", _("Keep Downloading"), root=dialog), "no button to keep on"
    time.sleep(0.5)
    fits(app, dialog, "the quit question")
    screenshot(app, f"quit-question-{lang}", "root")
    e2e.xdotool("key", "Return")
    e2e.wait_for("the question to go", lambda: not app.anywhere(
        "label", _("Stop the download and quit?")), 10)
    assert app.process.poll() is None, "the app quit although keeping on was the default"

    app.wait_node("the run's end", "label", _("Complete"), timeout=150)
    retry = app.wait_node("the retry button", "push button", _("Retry Failed Tracks"))
    time.sleep(0.5)
    fits(app, app.window, "the panel after the run")
    e2e.wait_for("the failures' buttons to be scrolled into view",
                 lambda: app.on_screen(retry), 5)
    screenshot(app, f"control-panel-1024x600-{lang}", "root")


def main():
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="orvo-e2e-"))
    sim, origins = e2e.start_sim(scratch / "sim")
    try:
        env = e2e.app_environment(scratch, origins)
        for variable in ("LANGUAGE", "LC_ALL", "LC_MESSAGES"):
            env.pop(variable, None)
        env["LANG"] = LANG
        music = scratch / "home/Musik"
        music.mkdir(parents=True)
        e2e.TITLE = _("Orvo WAV Downloader")
        app = App(env)
        if e2e.SMALL:
            small_screen(app, music)
        else:
            {"de": german, "ar": arabic, "ja": japanese}[language.split("_")[0]](app, music)
        app.quit_with_keyboard()
    finally:
        sim.terminate()
        sim.wait(timeout=10)
        shutil.rmtree(scratch, ignore_errors=True)
    if not os.environ.get("ORVO_SCREENSHOTS"):
        shutil.rmtree(shots, ignore_errors=True)
    log(f"passed under {LANG}")


if __name__ == "__main__":
    main()
