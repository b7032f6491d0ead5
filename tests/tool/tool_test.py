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


def run(*arguments, timeout=60):
    """Runs stagehand.exe; returns (exit code, stdout, stderr)."""
    done = subprocess.run([WINE, os.path.join(BIN, "stagehand.exe"), *arguments], capture_output=True,
                          text=True, timeout=timeout)
    return done.returncode, done.stdout.replace("\r", ""), done.stderr.replace("\r", "")


def table(text):
    """The rows of a table, header left out, each split at blanks."""
    return [line.split() for line in text.strip().splitlines()[1:]]


class Helper:
    """window_helper.exe with visible windows, until closed."""

    def __init__(self, *titles):
        self.process = subprocess.Popen([WINE, os.path.join(BIN, "window_helper.exe"), *titles],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.windows = []
        for line in self.process.stdout:
            line = line.strip()
            if line == "ready":
                break
            self.windows.append(int(line.split()[1]))
        assert len(self.windows) == len(titles), "the helper did not start"

    def visible_titles(self):
        code, out, err = run("windows", "window_helper.exe", "--json")
        assert code == 0, err
        return sorted(w["title"] for w in json.loads(out))

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=20)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def monitors():
    code, out, err = run("monitors")
    check(code == 0, err)
    rows = table(out)
    code, out, err = run("monitors", "--json")
    check(code == 0, err)
    listed = json.loads(out)
    check([m["adapter"] for m in listed] == ["\\\\.\\DISPLAY1", "\\\\.\\DISPLAY2"], listed)
    check([m["primary"] for m in listed] == [True, False], listed)
    for row, m in zip(rows, listed):
        r = m["monitor"]
        check(row[0] == m["adapter"], (row, m))
        check(row[1] == f'{r["left"]},{r["top"]},{r["right"]},{r["bottom"]}', (row, m))
        check(row[3] == ("yes" if m["primary"] else "no"), (row, m))


def processes():
    helper = Helper("counted", "twice")
    try:
        code, out, err = run("processes", "--json")
        check(code == 0, err)
        listed = json.loads(out)
        names = [p["executable"] for p in listed]
        check("stagehand.exe" in names, "the tool lists itself")
        helpers = [p for p in listed if p["executable"] == "window_helper.exe"]
        check(len(helpers) == 1 and helpers[0]["windows"] == 2, helpers)
        code, out, err = run("processes")
        check(code == 0, err)
        rows = {int(r[0]): r for r in table(out)}
        pid = helpers[0]["pid"]
        check(rows[pid][1:] == ["2", "window_helper.exe"], rows.get(pid))
    finally:
        helper.close()


def windows():
    helper = Helper("first-title", "second-title")
    try:
        code, out, err = run("windows", "WINDOW_HELPER.EXE", "--json")
        check(code == 0, err)
        listed = json.loads(out)
        check(sorted(w["handle"] for w in listed) == sorted(helper.windows), (listed, helper.windows))
        check(sorted(w["title"] for w in listed) == ["first-title", "second-title"], listed)
        check(all(w["state"] == "normal" and w["showState"] == 1 for w in listed), listed)
        code, out, err = run("windows", "window_helper.exe")
        check(code == 0, err)
        rows = table(out)
        check(sorted(int(r[0], 16) for r in rows) == sorted(helper.windows), rows)
        check(sorted(r[2] for r in rows) == ["first-title", "second-title"], rows)
        code, out, err = run("windows", "no-such-program.exe")
        check(code == 2 and "no process named no-such-program.exe" in err, (code, err))
    finally:
        helper.close()


def demo():
    helper = Helper("bystander")
    try:
        demo = subprocess.Popen([WINE, os.path.join(BIN, "stagehand.exe"), "demo", "--seconds", "4"],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        tiles = []
        for line in demo.stdout:
            if line.startswith("tile "):
                tiles.append([int(v) for v in line.split()[5].split(",")])
            if len(tiles) == 6:
                break
        time.sleep(1)
        check(helper.visible_titles() == [], "the helper's window is hidden while the demo runs")
        rest, err = demo.communicate(timeout=60)
        check(demo.returncode == 0, err)
        check("created 6 render windows" in rest and "hid 1 programs (1 windows)" in rest, rest)
        check("ended by time is up" in rest, rest)
        check("116 " not in err, err)  # the demo spares itself without a failed lookup
        check(helper.visible_titles() == ["bystander"], "visible again after the demo")
        # 2 rows and 3 columns tile the 1920 x 1080 work area of the primary monitor exactly.
        check(sorted(tiles) == sorted([[x, y, x + 640, y + 540] for x in (0, 640, 1280) for y in (0, 540)]), tiles)
    finally:
        helper.close()


def demo_escape():
    demo = subprocess.Popen([WINE, os.path.join(BIN, "stagehand.exe"), "demo", "--seconds", "60", "--grid", "1x2",
                             "--adapter", "\\\\.\\display2"], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True)
    window, tiles = None, []
    for line in demo.stdout:
        if line.startswith("tile "):
            tiles.append([int(v) for v in line.split()[5].split(",")])
            window = line.split()[3]
        if len(tiles) == 2:
            break
    check(window is not None, "the demo reported its windows")
    # One row of two over the second monitor's work area, 1920,0 to 3200,1024.
    check(tiles == [[1920, 0, 2560, 1024], [2560, 0, 3200, 1024]], tiles)
    started = time.time()
    subprocess.run([WINE, os.path.join(BIN, "window_helper.exe"), "--post-escape", window], check=True, timeout=30)
    rest, err = demo.communicate(timeout=30)
    check(demo.returncode == 0, err)
    check("ended by Escape" in rest, rest)
    check(time.time() - started < 30, "Escape ended it early")


def demo_screenshot():
    path = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"stagehand-shot-{os.getpid()}.bmp")
    try:
        code, out, err = run("demo", "--seconds", "1", "--grid", "1x1", "--screenshot", path)
        check(code == 0, err)
        with open(path, "rb") as f:
            data = f.read()
        check(data[:2] == b"BM", "a BMP file")
        width = int.from_bytes(data[18:22], "little")
        height = int.from_bytes(data[22:26], "little")
        check((width, height) == (1920, 1080), (width, height))
        # One tile covers the monitor: every pixel has the first tile's colour or the label's white.
        offset = int.from_bytes(data[10:14], "little")
        corner = data[offset:offset + 3]
        check(corner == bytes([50, 60, 200]), corner)  # blue, green, red of the first tile
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
            (["monitors", "extra"], "unexpected argument 'extra'"),
            (["dance"], "unknown command 'dance'"),
            ([], "usage: stagehand COMMAND"),
        ]
        for arguments, message in cases:
            code, out, err = run(*arguments)
            check(code == 2, (arguments, code, err))
            check(message in err, (arguments, err))
            check("tile" not in out, (arguments, out))
        check(helper.visible_titles() == ["untouched"], "bad input changes nothing on the desktop")
        for arguments in (["--help"], ["demo", "--help"], ["windows", "--help"]):
            code, out, err = run(*arguments)
            check(code == 0 and "usage: stagehand" in out, (arguments, code, out))
    finally:
        helper.close()


SCENARIOS = {f.__name__: f for f in (monitors, processes, windows, demo, demo_escape, demo_screenshot, bad_input)}

if __name__ == "__main__":
    SCENARIOS[sys.argv[3]]()
    print(f"{sys.argv[3]}: passed")
