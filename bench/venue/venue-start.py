#!/usr/bin/env python3
"""Venue start-up from outside, under a private Xvfb.

  venue-start.py BUILD_DIR [--runs N]

1. From the command `zarndemo --detect stage.avi --waves waves.txt` to the
   first frame on screen: the show window's picture area turns from black to
   the clip (median and spread of N runs).
2. From `kill -9` of the program to the show playing again, under a small
   supervisor that does what the user unit asks of the service manager
   (Restart=on-failure, RestartSec=1): it starts the unit's ExecStart line
   again when the program dies of a signal or fails.

Needs xvfb, xdotool, x11-utils and imagemagick. Polls every 20 ms, so each
figure is good to about 20 ms plus one screenshot (~30 ms).
"""

import argparse
import os
import signal
import statistics
import subprocess
import sys
import threading
import time


def start_x():
    for n in range(90, 99):
        if not os.path.exists(f"/tmp/.X11-unix/X{n}"):
            xvfb = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                    return f":{n}", xvfb
                time.sleep(0.05)
    sys.exit("no display")


def show_window(env, pid):
    """The 1024 x 768 window of the program, or None."""
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid), "--name", ""],
                         env=env, capture_output=True, text=True).stdout.split()
    for wid in out:
        geo = subprocess.run(["xdotool", "getwindowgeometry", wid], env=env, capture_output=True,
                             text=True).stdout
        if "1024x768" in geo:
            return wid
    return None


def picture_shows(env):
    """The clip's grey picture fills its place (640 x 480 in the middle of the
    show): neither the black of a show window before its first frame nor the
    light grey of the launcher that stood there before it."""
    out = subprocess.run(["import", "-window", "root", "-crop", "640x480+192+144", "-colorspace",
                          "gray", "-format", "%[fx:mean]", "info:"], env=env, capture_output=True,
                         text=True).stdout
    try:
        return 0.01 < float(out) < 0.5
    except ValueError:
        return False


def wait_first_frame(env, pid_of, t0, timeout=30):
    while time.monotonic() - t0 < timeout:
        pid = pid_of()
        if pid and show_window(env, pid) and picture_shows(env):
            return time.monotonic() - t0
        time.sleep(0.02)
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--runs", type=int, default=5)
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    samples = f"{build}/share/zarndemo/samples"
    command = [f"{build}/bin/zarndemo", "--detect", f"{samples}/stage.avi", "--waves",
               f"{samples}/waves/waves.txt"]
    display, xvfb = start_x()
    env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy", QT_QPA_PLATFORM="xcb")
    env.pop("WAYLAND_DISPLAY", None)
    try:
        starts = []
        for _ in range(args.runs):
            t0 = time.monotonic()
            p = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            t = wait_first_frame(env, lambda: p.pid, t0)
            p.send_signal(signal.SIGTERM)
            p.wait()
            if t is None:
                sys.exit("the show never appeared")
            starts.append(t)
        print(f"command to first frame: median {statistics.median(starts)*1000:.0f} ms, "
              f"min {min(starts)*1000:.0f}, max {max(starts)*1000:.0f} ({args.runs} runs)")

        # The supervisor: the unit's Restart=on-failure and RestartSec=1.
        state = {"proc": None, "stop": False}

        def supervise():
            while not state["stop"]:
                state["proc"] = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                                                 stderr=subprocess.DEVNULL)
                rc = state["proc"].wait()
                if state["stop"] or rc == 0:
                    return
                time.sleep(1.0)

        sup = threading.Thread(target=supervise)
        sup.start()
        while state["proc"] is None:
            time.sleep(0.01)
        if wait_first_frame(env, lambda: state["proc"].pid, time.monotonic()) is None:
            sys.exit("the supervised show never appeared")
        backs = []
        for _ in range(args.runs):
            time.sleep(1.0)
            old = state["proc"]
            t0 = time.monotonic()
            old.kill()
            t = wait_first_frame(env, lambda: state["proc"].pid if state["proc"] is not old else None, t0)
            if t is None:
                sys.exit("the show did not come back")
            backs.append(t)
        state["stop"] = True
        state["proc"].send_signal(signal.SIGTERM)
        sup.join()
        print(f"kill -9 to the show playing again (RestartSec=1): median "
              f"{statistics.median(backs)*1000:.0f} ms, min {min(backs)*1000:.0f}, "
              f"max {max(backs)*1000:.0f} ({args.runs} runs)")
    finally:
        xvfb.terminate()


if __name__ == "__main__":
    main()
