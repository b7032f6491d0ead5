#!/usr/bin/env python3
"""Runs stagehand.exe under Wine against the real Wine desktop, one scenario per call.

    tool_test.py WINE64 BIN_DIR SCENARIO

CTest starts it inside the display and Wine prefix of scripts/test.
"""
import json
import os
import subprocess
import sys
import time

WINE, BIN = sys.argv[1], sys.argv[2]


def start(program, *arguments, **options):
    return subprocess.Popen([WINE, os.path.join(BIN, program), *arguments], stdout=subprocess.PIPE, text=True,
                            **options)


def run(*arguments):
    """Runs stagehand.exe; returns (exit code, stdout, stderr)."""
    done = subprocess.run([WINE, os.path.join(BIN, "stagehand.exe"), *arguments], capture_output=True, text=True,
                          timeout=60)
    return done.returncode, done.stdout.replace("\r", ""), done.stderr.replace("\r", "")


def listed(*arguments):
    code, out, err = run(*arguments, "--json")
    check(code == 0, err)
    return json.loads(out)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


class Helper:
    """window_helper.exe with visible windows, until closed."""

    def __init__(self, *titles):
        self.process = start("window_helper.exe", *titles, stdin=subprocess.PIPE)
        self.windows = []
        for line in self.process.stdout:
            if line.strip() == "ready":
                break
            self.windows.append(int(line.split()[1]))
        check(len(self.windows) == len(titles), "the helper did not start")

    def visible_titles(self):
        return sorted(w["title"] for w in listed("windows", "window_helper.exe"))

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=20)


def tiles(demo, count):
    """The rectangles of the demo's first `count` "tile" lines, and the last window handle."""
    found, window = [], None
    for line in demo.stdout:
        if line.startswith("tile "):
            found.append([int(v) for v in line.split()[5].split(",")])
            window = line.split()[3]
        if len(found) == count:
            return found, window
    raise AssertionError(f"the demo reported {found}")


def listings():
    helper = Helper("first-title", "second-title")
    try:
        monitors = listed("monitors")
        check([(m["adapter"], m["primary"]) for m in monitors] ==
              [("\\\\.\\DISPLAY1", True), ("\\\\.\\DISPLAY2", False)], monitors)
        check(monitors[1]["monitor"] == {"left": 1920, "top": 0, "right": 3200, "bottom": 1024}, monitors)
        processes = listed("processes")
        check("stagehand.exe" in [p["executable"] for p in processes], "the tool lists itself")
        helpers = [p for p in processes if p["executable"] == "window_helper.exe"]
        check(len(helpers) == 1 and helpers[0]["windows"] == 2, helpers)
        windows = listed("windows", "WINDOW_HELPER.EXE")
        check(sorted(w["handle"] for w in windows) == sorted(helper.windows), (windows, helper.windows))
        check(sorted(w["title"] for w in windows) == ["first-title", "second-title"], windows)
        check(all(w["state"] == "normal" and w["showState"] == 1 for w in windows), windows)
    finally:
        helper.close()


def demo():
    helper = Helper("bystander")
    try:
        demo = start("stagehand.exe", "demo", "--seconds", "4", stderr=subprocess.PIPE)
        found, _ = tiles(demo, 6)
        time.sleep(1)
        check(helper.visible_titles() == [], "the helper's window is hidden while the demo runs")
        rest, err = demo.communicate(timeout=60)
        check(demo.returncode == 0, err)
        check("created 6 render windows" in rest and "hid 1 programs (1 windows)" in rest, rest)
        check("ended by time is up" in rest and "116 " not in err, (rest, err))
        check(helper.visible_titles() == ["bystander"], "visible again after the demo")
        # 2 rows and 3 columns tile the 1920 x 1080 work area of the primary monitor exactly.
        check(sorted(found) == sorted([[x, y, x + 640, y + 540] for x in (0, 640, 1280) for y in (0, 540)]), found)
    finally:
        helper.close()


def demo_escape():
    demo = start("stagehand.exe", "demo", "--seconds", "60", "--grid", "1x2", "--adapter", "\\\\.\\display2",
                 stderr=subprocess.PIPE)
    found, window = tiles(demo, 2)
    # One row of two over the second monitor's work area, 1920,0 to 3200,1024.
    check(found == [[1920, 0, 2560, 1024], [2560, 0, 3200, 1024]], found)
    started = time.time()
    subprocess.run([WINE, os.path.join(BIN, "window_helper.exe"), "--post-escape", window], check=True, timeout=30)
    rest, err = demo.communicate(timeout=30)
    check(demo.returncode == 0 and "ended by Escape" in rest, (rest, err))
    check(time.time() - started < 30, "Escape ended it early")


def demo_screenshot():
    path = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"stagehand-shot-{os.getpid()}.bmp")
    try:
        code, out, err = run("demo", "--seconds", "1", "--grid", "1x1", "--screenshot", path)
        check(code == 0, err)
        with open(path, "rb") as f:
            data = f.read()
        check(data[:2] == b"BM", "a BMP file")
        size = int.from_bytes(data[18:22], "little"), int.from_bytes(data[22:26], "little")
        check(size == (1920, 1080), size)
        # One tile covers the monitor: its first pixel has the first tile's colour.
        offset = int.from_bytes(data[10:14], "little")
        check(data[offset:offset + 3] == bytes([50, 60, 200]), data[offset:offset + 3])  # blue, green, red
        code, out, err = run("demo", "--seconds", "1", "--grid", "1x1", "--screenshot", "/nonexistent/dir/x.bmp")
        check(code == 1 and "the screenshot could not be saved" in err, (code, err))
        check("the desktop is restored" in out, out)
    finally:
        if os.path.exists(path):
            os.remove(path)


def bad_input():
    helper = Helper("untouched")
    try:
        cases = [
            (["demo", "--adapter", "\\\\.\\DISPLAY9"], "unknown adapter id '\\\\.\\DISPLAY9'; the adapter ids are: "
                                                        "\\\\.\\DISPLAY1, \\\\.\\DISPLAY2"),
            (["demo", "--grid", "2by3"], "--grid takes ROWSxCOLUMNS"),
            (["demo", "--grid", "0x3"], "the number of rows must be from 1 to 16"),
            (["demo", "--grid", "2x"], "the number of columns must be a number"),
            (["demo", "--seconds"], "--seconds needs a value"),
            (["demo", "--colour", "red"], "unknown option '--colour'"),
            (["demo", "--adapter", ""], "--adapter needs an adapter id"),
            (["windows"], "windows needs a pid or an executable name"),
            (["windows", "99999999999"], "the pid '99999999999' is out of range"),
            (["windows", "no-such-program.exe"], "no process named no-such-program.exe"),
            (["monitors", "extra"], "unexpected argument 'extra'"),
            (["dance"], "unknown command 'dance'"),
            ([], "usage: stagehand COMMAND"),
        ]
        for arguments, message in cases:
            code, out, err = run(*arguments)
            check(code == 2 and message in err and "tile" not in out, (arguments, code, out, err))
        check(helper.visible_titles() == ["untouched"], "bad input changes nothing on the desktop")
        for arguments in (["--help"], ["demo", "--help"], ["windows", "--help"]):
            code, out, err = run(*arguments)
            check(code == 0 and "usage: stagehand" in out, (arguments, code, out))
    finally:
        helper.close()


SCENARIOS = {f.__name__: f for f in (listings, demo, demo_escape, demo_screenshot, bad_input)}

if __name__ == "__main__":
    SCENARIOS[sys.argv[3]]()
    print(f"{sys.argv[3]}: passed")
