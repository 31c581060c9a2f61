"""Shared pieces of the start-up and sign-in benchmarks (Python 3 standard library only).

A console runs in a sandbox: its own program folder (links to the staged Languages/ and Images/,
a copy of bldinfo.ini, a fresh info.ini) and its own config, documents, runtime and desktop
folders, so a run never touches the user's settings and two runs never see each other.
The developer log is switched on (info.ini [LOG] LOGLEVEL=1) and mirrored to stderr
(HV_LOG_STDERR=1), where a reader thread notes the monotonic time each line arrives.
"""

import datetime
import os
import re
import select
import shutil
import signal
import statistics
import subprocess
import tempfile
import threading
import time

LOG_LINE = re.compile(r"^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) \[(\d+)\] (.*)$")


def median(values):
    return statistics.median(values) if values else float("nan")


def read_vmrss_kib(pid):
    """Resident set size of a process in KiB, from /proc/<pid>/status (None when gone)."""
    try:
        with open(f"/proc/{pid}/status", encoding="ascii", errors="replace") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        return None
    return None


def read_rss_split_kib(pid):
    """(RssAnon, RssFile) of a process in KiB: heap and stacks against mapped files and libraries."""
    out = {}
    try:
        with open(f"/proc/{pid}/status", encoding="ascii", errors="replace") as f:
            for line in f:
                key = line.split(":")[0]
                if key in ("RssAnon", "RssFile"):
                    out[key] = int(line.split()[1])
    except OSError:
        pass
    return out.get("RssAnon"), out.get("RssFile")


def read_rss_by_mapping_kib(pid):
    """Resident KiB per mapped file ("[heap]", "[anon]" for the rest), from /proc/<pid>/smaps."""
    sizes = {}
    current = "[anon]"
    try:
        with open(f"/proc/{pid}/smaps", encoding="utf-8", errors="replace") as f:
            for line in f:
                parts = line.split()
                if not parts:
                    continue
                if not parts[0].endswith(":"):
                    current = parts[5] if len(parts) > 5 else "[anon]"
                elif parts[0] == "Rss:":
                    sizes[current] = sizes.get(current, 0) + int(parts[1])
    except OSError:
        pass
    return sizes


def log_stamp_to_epoch(stamp):
    """The log's local wall-clock stamp 'yyyy-MM-dd hh:mm:ss.zzz' as epoch seconds."""
    dt = datetime.datetime.strptime(stamp, "%Y-%m-%d %H:%M:%S.%f")
    return dt.timestamp()


class Display:
    """A display for the GUI programs: the caller's DISPLAY, else a private Xvfb, else offscreen."""

    def __init__(self, force_offscreen=False):
        self.proc = None
        self.env = {}
        self.kind = ""
        if force_offscreen:
            self._offscreen()
        elif os.environ.get("DISPLAY"):
            self.kind = f"X display {os.environ['DISPLAY']} (from the environment)"
            self.env = {"QT_QPA_PLATFORM": "xcb"}
        elif shutil.which("Xvfb"):
            self._start_xvfb()
        else:
            self._offscreen()

    def _offscreen(self):
        self.kind = "QT_QPA_PLATFORM=offscreen"
        self.env = {"QT_QPA_PLATFORM": "offscreen"}

    def _start_xvfb(self):
        # -displayfd lets the server pick a free display number and tell us which.
        rfd, wfd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(wfd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(wfd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(wfd)
        number = b""
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and not number.endswith(b"\n"):
            ready, _, _ = select.select([rfd], [], [], 0.2)
            if ready:
                chunk = os.read(rfd, 64)
                if not chunk:
                    break
                number += chunk
        os.close(rfd)
        if not number.strip():
            self.close()
            self._offscreen()
            self.kind += " (Xvfb did not start)"
            return
        display = ":" + number.decode().strip()
        self.kind = f"Xvfb {display}"
        self.env = {"DISPLAY": display, "QT_QPA_PLATFORM": "xcb"}

    def close(self):
        if self.proc:
            stop(self.proc)
            self.proc = None


def stop(proc, timeout=5):
    """Ends a process we started: SIGTERM, then SIGKILL."""
    if proc.poll() is not None:
        return
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


class ConsoleSandbox:
    def __init__(self, stage, display_env, ini_extra=""):
        self.stage = os.path.abspath(stage)
        self.root = tempfile.mkdtemp(prefix="hv-bench-")
        prog = os.path.join(self.root, "program")
        os.makedirs(prog)
        for name in ("Languages", "Images"):
            os.symlink(os.path.join(self.stage, name), os.path.join(prog, name))
        shutil.copy(os.path.join(self.stage, "bldinfo.ini"), os.path.join(prog, "bldinfo.ini"))
        with open(os.path.join(prog, "info.ini"), "w", encoding="utf-8") as f:
            f.write("[General]\nautoUpdate=0\n" + ini_extra + "[LOG]\nLOGLEVEL=1\n")
        self.env = dict(os.environ)
        self.env.update(display_env)
        self.env["HV_PROGRAM_DIR"] = prog
        for name in ("HV_CONFIG_DIR", "HV_DOCUMENTS_DIR", "HV_RUNTIME_DIR", "HV_DESKTOP_DIR"):
            path = os.path.join(self.root, name[3:].lower())
            os.makedirs(path, mode=0o700)
            self.env[name] = path
        self.env["HV_LOG_STDERR"] = "1"

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)


class LineWatcher:
    """Reads a process's stream line by line on a thread and notes when each line arrived."""

    def __init__(self, stream):
        self.lines = []  # (monotonic seconds, text)
        self._cond = threading.Condition()
        self._thread = threading.Thread(target=self._run, args=(stream,), daemon=True)
        self._thread.start()

    def _run(self, stream):
        for raw in iter(stream.readline, b""):
            now = time.monotonic()
            with self._cond:
                self.lines.append((now, raw.decode("utf-8", "replace").rstrip("\n")))
                self._cond.notify_all()
        with self._cond:
            self._cond.notify_all()

    def wait_for(self, predicate, timeout, start=0):
        """Index of the first line from `start` whose text satisfies predicate, or None."""
        deadline = time.monotonic() + timeout
        i = start
        with self._cond:
            while True:
                while i < len(self.lines):
                    if predicate(self.lines[i][1]):
                        return i
                    i += 1
                left = deadline - time.monotonic()
                if left <= 0 or not self._thread.is_alive():
                    return None
                self._cond.wait(min(left, 0.2))

    def log_entries(self):
        """The developer-log lines as (arrival monotonic, log epoch seconds, text)."""
        out = []
        with self._cond:
            for arrived, text in self.lines:
                m = LOG_LINE.match(text)
                if m:
                    out.append((arrived, log_stamp_to_epoch(m.group(1)), m.group(3)))
        return out


def start_console(sandbox, args=()):
    """Starts HVAgent; returns (process, watcher of its stderr, monotonic start, wall start)."""
    exe = os.path.join(sandbox.stage, "HVAgent")
    # Taken just before the fork/exec, so the process start is inside the measured time.
    t_mono = time.monotonic()
    t_wall = time.time()
    proc = subprocess.Popen([exe, *args], env=sandbox.env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return proc, LineWatcher(proc.stderr), t_mono, t_wall


def fmt_ms(seconds):
    return f"{seconds * 1000:8.1f} ms"
