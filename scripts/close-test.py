#!/usr/bin/python3
"""Closes fundwatch's main window in the middle of each kind of load and
checks that the program ends within a second, without a crash, and leaves no
half-written workbook behind. Run by scripts/close-test under xvfb-run.

  close-test.py BIN_DIR [--runs N]

Each run starts a fresh program (its own settings folder) against the sample
service, started with a latency so that every load takes a while; the run
waits until the service has seen the load's requests, waits a random moment
more, and sends the window the close request a window manager sends
(WM_DELETE_WINDOW). Clicks go through the XTEST extension.
"""
import argparse, os, random, shutil, statistics, subprocess, sys, tempfile, threading, time, zipfile

from Xlib import X, Xatom, display, protocol
from Xlib.ext import xtest

MAIN_WIDTH = 1390       # the main window's fixed client size
SECTOR_WIDTH = 1340     # the sector window's
CLOSE_LIMIT = 1.0       # seconds from the close request to the end of the process

# Centres of the controls, in the main window's client coordinates.
FIVE_STAR = (768, 596)
SECTORS = (684, 596)
EXPORT = (768, 644)
BOARD_MONTH_GAIN = (772, 680)
LOAD_ALL_YES = "[加载数据]\r\n是否全部加载=真\r\n".encode("gbk")


class Service:
    """fundwatch-sample-service with --log: the requests it has seen, in order."""

    def __init__(self, bin_dir, funds, latency_ms):
        self.proc = subprocess.Popen(
            [os.path.join(bin_dir, "fundwatch-sample-service"), "--port", "0", "--funds", str(funds),
             "--latency-ms", str(latency_ms), "--log"],
            stdout=subprocess.PIPE, text=True, errors="replace")
        first = self.proc.stdout.readline().split()
        if len(first) < 3 or not first[2].startswith("http://"):
            raise SystemExit("close-test: the sample service did not start")
        self.url = first[2]
        self.lines = []
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            with self.cond:
                self.lines.append(line.rstrip("\n"))
                self.cond.notify_all()

    def mark(self):
        with self.cond:
            return len(self.lines)

    def wait_for(self, since, needle, count=1, timeout=15.0):
        """True once `count` requests containing `needle` arrived after `since`."""
        end = time.monotonic() + timeout
        with self.cond:
            while True:
                if sum(needle in line for line in self.lines[since:]) >= count:
                    return True
                left = end - time.monotonic()
                if left <= 0:
                    return False
                self.cond.wait(left)

    def wait_quiet(self, since, quiet, timeout=60.0):
        """True once requests arrived after `since` and then none for `quiet` seconds."""
        end = time.monotonic() + timeout
        with self.cond:
            while time.monotonic() < end:
                seen = len(self.lines)
                if seen > since and not self.cond.wait(quiet):
                    return True
                if seen == since:
                    self.cond.wait(0.05)
            return False

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


class Screen:
    def __init__(self):
        self.d = display.Display()
        self.root = self.d.screen().root
        self.pid_atom = self.d.intern_atom("_NET_WM_PID")
        self.protocols = self.d.intern_atom("WM_PROTOCOLS")
        self.delete = self.d.intern_atom("WM_DELETE_WINDOW")

    def toplevel(self, pid, width, timeout=15.0):
        """The mapped top-level window of process `pid` that is `width` wide."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            for w in self.root.query_tree().children:
                try:
                    prop = w.get_full_property(self.pid_atom, Xatom.CARDINAL)
                    if not prop or prop.value[0] != pid:
                        continue
                    if w.get_attributes().map_state != X.IsViewable or w.get_geometry().width != width:
                        continue
                    return w
                except Exception:
                    continue
            time.sleep(0.05)
        return None

    def click(self, window, x, y):
        origin = window.translate_coords(self.root, 0, 0)
        # translate_coords gives the root's origin in the window: negate it.
        sx, sy = x - origin.x, y - origin.y
        xtest.fake_input(self.d, X.MotionNotify, x=sx, y=sy)
        xtest.fake_input(self.d, X.ButtonPress, 1)
        xtest.fake_input(self.d, X.ButtonRelease, 1)
        self.d.sync()

    def close(self, window):
        event = protocol.event.ClientMessage(window=window, client_type=self.protocols,
                                             data=(32, [self.delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event, event_mask=X.NoEventMask)
        self.d.sync()


def fund_row(k):
    """Centre of the fund grid's row k (1-based), client coordinates."""
    return (150, 41 + 24 * (k - 1))


def run_once(kind, service, screen, bin_dir, rng):
    """One run: start, load, close. Returns (outcome, seconds to close)."""
    home = tempfile.mkdtemp(prefix="fw-close-")
    try:
        if kind == "five-star":
            with open(os.path.join(home, "配置.ini"), "wb") as f:
                f.write(LOAD_ALL_YES)
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_DATA_HOME=os.path.join(home, ".local/share"))
        app = subprocess.Popen([os.path.join(bin_dir, "fundwatch"), "--data-dir", home, "--service", service.url],
                               env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        try:
            main = screen.toplevel(app.pid, MAIN_WIDTH)
            if main is None:
                return "no window", 0.0
            time.sleep(0.3)  # the start-up sequence
            mark = service.mark()
            if kind == "board":
                screen.click(main, *BOARD_MONTH_GAIN)
                started = service.wait_for(mark, "FundGuideapi")
                time.sleep(rng.uniform(0, 0.15))
            elif kind == "five-star":
                screen.click(main, *FIVE_STAR)
                started = service.wait_for(mark, "FundGuideapi", count=rng.randint(1, 6))
                time.sleep(rng.uniform(0, 0.15))
            elif kind == "sector":
                screen.click(main, *SECTORS)
                sectors = screen.toplevel(app.pid, SECTOR_WIDTH)
                started = sectors is not None and service.wait_for(mark, "GetZTJJList")
                if started:
                    time.sleep(0.4)  # the tiles
                    mark = service.mark()
                    k = rng.randint(0, 11)
                    screen.click(sectors, 10 + 110 * k + 52, 38)
                    started = service.wait_for(mark, "&tp=BK")
                    time.sleep(rng.uniform(0, 0.15))
            elif kind == "details":
                screen.click(main, *BOARD_MONTH_GAIN)
                started = service.wait_for(mark, "FundGuideapi")
                if started:
                    time.sleep(0.6)  # the rows
                    mark = service.mark()
                    screen.click(main, *fund_row(rng.randint(1, 12)))
                    started = service.wait_for(mark, "FundArchivesDatas")
                    time.sleep(rng.uniform(0, 0.2))
            elif kind == "export":
                screen.click(main, *EXPORT)
                started = service.wait_for(mark, "FundGuideapi")
                if rng.random() < 0.5:
                    time.sleep(rng.uniform(0, 3.0))  # while the pages and profiles load
                else:
                    # The last profile page has been answered: the workbook is being written.
                    started = started and service.wait_quiet(mark, 0.03)
                    time.sleep(rng.uniform(0, 0.03))
            if not started:
                return "load never started", 0.0
            if app.poll() is not None:
                return "ended before the close", 0.0
            t0 = time.monotonic()
            screen.close(main)
            try:
                code = app.wait(timeout=5)
            except subprocess.TimeoutExpired:
                return "hung", 5.0
            took = time.monotonic() - t0
            if code != 0:
                err = app.stderr.read().decode(errors="replace").strip().splitlines()
                return f"exit {code} {err[-1] if err else ''}", took
            if took > CLOSE_LIMIT:
                return "slow", took
            left = [n for n in os.listdir(home) if n not in ("配置.ini", ".local", ".config")]
            for name in left:
                if not name.endswith(".xlsx") or name.startswith("."):
                    return f"left {name}", took
                try:
                    with zipfile.ZipFile(os.path.join(home, name)) as z:
                        if z.testzip() is not None:
                            return f"broken {name}", took
                except zipfile.BadZipFile:
                    return f"broken {name}", took
            return "ok", took
        finally:
            if app.poll() is None:
                app.kill()
                app.wait()
    finally:
        shutil.rmtree(home, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("bin_dir")
    ap.add_argument("--runs", type=int, default=20, help="runs of each kind")
    ap.add_argument("--seed", type=int, default=None)
    ap.add_argument("--kinds", default="", help="comma-separated loads to run (default: all)")
    a = ap.parse_args()
    seed = a.seed if a.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    screen = Screen()
    # (kind, funds in the market, latency of every answer in ms)
    kinds = [("board", 3000, 200), ("five-star", 3000, 150), ("sector", 3000, 200), ("details", 3000, 150),
             ("export", 1500, 2)]
    if a.kinds:
        kinds = [k for k in kinds if k[0] in a.kinds.split(",")]
    print(f"close-test: {a.runs} closes of each kind, seed {seed}")
    print(f"{'load':<10} {'closes':>6} {'ok':>4} {'median s':>9} {'max s':>7}  failures")
    failed = 0
    for kind, funds, latency in kinds:
        service = Service(a.bin_dir, funds, latency)
        try:
            outcomes, times = [], []
            for _ in range(a.runs):
                outcome, took = run_once(kind, service, screen, a.bin_dir, rng)
                outcomes.append(outcome)
                if outcome == "ok":
                    times.append(took)
        finally:
            service.stop()
        bad = [o for o in outcomes if o != "ok"]
        failed += len(bad)
        median = statistics.median(times) if times else 0.0
        worst = max(times) if times else 0.0
        summary = ", ".join(sorted({f"{bad.count(o)}x {o}" for o in bad}))
        print(f"{kind:<10} {len(outcomes):>6} {len(outcomes) - len(bad):>4} {median:>9.3f} {worst:>7.3f}  {summary}",
              flush=True)
    print("close-test: " + ("passed" if failed == 0 else f"{failed} failed runs"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
