"""End-to-end harness: runs the real program on a private X server and
drives it with real key and pointer events.

Needs Xvfb, xauth and xdotool on PATH and the python3-xlib module; a test
that cannot find them exits with SKIP (77), which CTest reports as skipped.

    with Session(binary, out_dir) as s:
        win = s.start()                  # waits for the "Stelvano" window
        s.screenshot("start")            # <out_dir>/start.png
        s.key(win, "ctrl+q")
        s.wait_exit()
"""
import argparse
import os
import secrets
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

SKIP = 77
TITLE = "Stelvano"

try:
    from Xlib import X, display as xdisplay, error as xerror
except ImportError:  # pragma: no cover - reported as a skip
    X = None


def require_tools():
    """Exits with SKIP when something the harness needs is missing."""
    missing = [t for t in ("Xvfb", "xauth", "xdotool") if shutil.which(t) is None]
    if X is None:
        missing.append("python3-xlib")
    if missing:
        print("e2e: skipped, missing: " + ", ".join(missing))
        sys.exit(SKIP)


# What the X11 platform plugin and the system libraries under it keep until
# exit (the session bus connection, font and keyboard tables) is not the
# program's; the leak checker of a sanitizer build passes over it.
LSAN_SUPPRESSIONS = "\n".join([
    "leak:libqxcb.so", "leak:libQt5XcbQpa.so", "leak:libxcb", "leak:libX11", "leak:libfontconfig",
    "leak:libdbus-1", "leak:libglib-2.0", "leak:libxkbcommon",
]) + "\n"


def arguments(*required):
    """The script's options: --binary and --out, and the named ones."""
    parser = argparse.ArgumentParser()
    for name in ("--binary", "--out") + required:
        parser.add_argument(name, required=True)
    return parser.parse_args()


def make_project(maker, folder, seconds, *options):
    """Runs make_test_project: the song, its wave-info file and its project
    in `folder`; returns the facts it prints ("project", "wav", "awi", ...)."""
    out = subprocess.run([maker, folder, str(seconds)] + list(options), check=True, capture_output=True,
                         text=True).stdout
    return dict(line.split("=", 1) for line in out.splitlines() if "=" in line)


class Checks:
    """Collects failed checks, printing each as it fails."""

    def __init__(self):
        self.failures = []

    def __call__(self, ok, what):
        if not ok:
            self.failures.append(what)
            print("FAILED: " + what)
        return ok


class Session:
    """A private X server, private folders and at most one program run."""

    def __init__(self, binary, out_dir, width=1280, height=800):
        require_tools()
        self.binary = binary
        self.out_dir = out_dir
        os.makedirs(out_dir, exist_ok=True)
        self.size = (width, height)
        self.root = tempfile.mkdtemp(prefix="stelvano-e2e-")
        for sub in ("run", "data", "tmp", "home", "cwd"):
            os.makedirs(self.path(sub))
        os.chmod(self.path("run"), 0o700)
        with open(self.path("lsan.supp"), "w") as f:
            f.write(LSAN_SUPPRESSIONS)
        self.xvfb = None
        self.program = None
        self.log_file = None
        self.display = None

    def path(self, name):
        return os.path.join(self.root, name)

    # The X server.

    def __enter__(self):
        auth = self.path("xauthority")
        cookie = secrets.token_hex(16)
        for number in range(99, 400):
            if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists("/tmp/.X11-unix/X%d" % number):
                continue
            name = ":%d" % number
            subprocess.run(["xauth", "-q", "-f", auth, "add", name, ".", cookie], check=True)
            self.xvfb = subprocess.Popen(
                ["Xvfb", name, "-screen", "0", "%dx%dx24" % self.size, "-nolisten", "tcp", "-auth", auth],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if self.wait_server(number):
                self.display_name = name
                break
            self.xvfb.kill()
            self.xvfb.wait()
            self.xvfb = None
        if not self.xvfb:
            raise RuntimeError("no X server could be started")
        os.environ["XAUTHORITY"] = auth
        self.env = dict(os.environ)
        self.env.update({
            "DISPLAY": self.display_name,
            "XAUTHORITY": auth,
            "QT_QPA_PLATFORM": "xcb",
            "XDG_RUNTIME_DIR": self.path("run"),
            "XDG_DATA_HOME": self.path("data"),
            "TMPDIR": self.path("tmp"),
            "HOME": self.path("home"),
            "STELVANO_AUDIO_NULL": "1",
            "STELVANO_AUDIO_ALSA": "0",
            "LSAN_OPTIONS": "suppressions=%s:print_suppressions=0" % self.path("lsan.supp"),
        })
        self.display = xdisplay.Display(self.display_name)
        return self

    def wait_server(self, number, timeout=30):
        """True once the server listens; false when it ended (the display was taken)."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.xvfb.poll() is not None:
                return False
            # Tests start servers side by side: the display is ours only
            # when its lock file names our server (another test's server
            # may have taken the number between our check and our start).
            if os.path.exists("/tmp/.X11-unix/X%d" % number) and self.owns_lock(number):
                return True
            time.sleep(0.05)
        return False

    def owns_lock(self, number):
        try:
            with open("/tmp/.X%d-lock" % number) as f:
                return int(f.read().strip() or 0) == self.xvfb.pid
        except (OSError, ValueError):
            return False

    def __exit__(self, *exc):
        if self.program and self.program.poll() is None:
            self.program.kill()
            self.program.wait(10)
        if self.display:
            self.display.close()
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait(10)
        if self.log_file:
            self.log_file.close()
        shutil.rmtree(self.root, ignore_errors=True)
        return False

    # The program.

    def start(self, args=(), timeout=90):
        """Starts the program and returns its main window's X id."""
        self.log_path = os.path.join(self.out_dir, "program.log")
        self.log_file = open(self.log_path, "w")
        self.program = subprocess.Popen([self.binary] + list(args), env=self.env, cwd=self.path("cwd"),
                                         stdout=self.log_file, stderr=subprocess.STDOUT)
        return self.wait_window(TITLE, timeout)

    def log(self):
        self.log_file.flush()
        with open(self.log_path) as f:
            return f.read()

    def wait_exit(self, timeout=60):
        """The program's exit status, or None when it still runs."""
        try:
            return self.program.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def ini_path(self):
        return os.path.join(self.path("data"), "Tanvek", "Stelvano", "Stelvano.ini")

    # Windows.

    def windows(self, title):
        """X ids of the mapped top-level windows with that title, oldest first.
        Menus and tooltips (override-redirect windows) are not among them: a
        menu still closing may carry the program's title too."""
        found = []
        for w in self.display.screen().root.query_tree().children:
            try:
                attributes = w.get_attributes()
                if attributes.map_state != X.IsViewable or attributes.override_redirect:
                    continue
                name = w.get_full_property(self.display.intern_atom("_NET_WM_NAME"),
                                           self.display.intern_atom("UTF8_STRING"))
                text = name.value.decode("utf-8") if name else (w.get_wm_name() or "")
            except xerror.XError:
                continue
            if text == title:
                found.append(w.id)
        return found

    def wait_window(self, title, timeout, count=1):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.program and self.program.poll() is not None:
                raise RuntimeError("the program ended early (%s):\n%s" % (self.program.returncode, self.log()))
            found = self.windows(title)
            if len(found) >= count:
                time.sleep(0.5)  # let the first paint finish
                return found[-1]
            time.sleep(0.1)
        raise RuntimeError("no window titled %r after %d s:\n%s" % (title, timeout, self.log()))

    def geometry(self, window):
        """(x, y, width, height) of a top-level window on the screen."""
        w = self.display.create_resource_object("window", window)
        g = w.get_geometry()
        origin = w.translate_coords(self.display.screen().root, 0, 0)
        return (-origin.x, -origin.y, g.width, g.height)

    # Input: real key and pointer events through the XTEST extension.

    def focus(self, window, tries=5):
        """Gives `window` the keyboard focus; a window that a loaded machine
        has not quite made viewable yet gets a few more chances."""
        for _ in range(tries):
            done = subprocess.run(["xdotool", "windowfocus", "--sync", str(window)], env=self.env)
            if done.returncode == 0:
                return
            time.sleep(0.3)
        raise RuntimeError("window %s never took the focus:\n%s" % (window, self.log()))

    def key(self, window, *keys):
        self.focus(window)
        subprocess.run(["xdotool", "key", "--clearmodifiers"] + list(keys), env=self.env, check=True)

    def type_into_dialog(self, title, text, tries=3):
        """Types `text` into the file dialog titled `title` and presses
        Return; a dialog that is still open then (the keys went elsewhere
        while a loaded machine was still mapping it) gets the text again,
        over what it holds."""
        for attempt in range(tries):
            dialog = self.wait_window(title, 30)
            self.focus(dialog)
            time.sleep(0.5 + attempt)
            self.key(dialog, "ctrl+a")
            subprocess.run(["xdotool", "type", "--delay", "5", text], env=self.env, check=True)
            subprocess.run(["xdotool", "key", "Return"], env=self.env, check=True)
            deadline = time.time() + 10
            while time.time() < deadline and dialog in self.windows(title):
                time.sleep(0.1)
            if dialog not in self.windows(title):
                return
            print("the %r dialog is still open after typing, attempt %d" % (title, attempt + 1))
        raise RuntimeError("the %r dialog took no text" % title)

    def answer_exit_yes(self, window, buttons=2, timeout=10):
        """Clicks "Yes" on the question at close ("Do you wish to exit?", or
        with `buttons` 3 the save question of a modified project): the box
        beside `window`, its buttons side by side at the bottom right, 80
        pixels wide and 6 apart, Yes first."""
        self.wait_window(TITLE, timeout, count=2)
        box = [w for w in self.windows(TITLE) if w != window][0]
        x, y, w, h = self.geometry(box)
        self.click(x + w - 51 - 86 * (buttons - 1), y + int(h * 0.68))

    def close_window(self, window):
        """Asks `window` to close as a window manager's close button would
        (Xvfb runs none): the WM_DELETE_WINDOW client message."""
        from Xlib.protocol import event as xevent
        w = self.display.create_resource_object("window", window)
        protocols = self.display.intern_atom("WM_PROTOCOLS")
        delete = self.display.intern_atom("WM_DELETE_WINDOW")
        message = xevent.ClientMessage(window=w, client_type=protocols,
                                       data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        w.send_event(message, event_mask=X.NoEventMask)
        self.display.flush()

    def check_exit(self, check, status):
        """Checks that the program ended with status 0 and that its log holds
        no sanitizer report; prints the log's end when any check failed."""
        check(status == 0, "the program ends with status 0, got %r" % status)
        log = self.log()
        for report in ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"):
            check(report not in log, "no sanitizer report (%s)" % report)
        if check.failures:
            print(log[-4000:])

    def click(self, x, y, button=1):
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", str(button)],
                       env=self.env, check=True)

    # Screenshots.

    def grab(self):
        """The screen as (width, height, rows of RGB bytes)."""
        width, height = self.size
        image = self.display.screen().root.get_image(0, 0, width, height, X.ZPixmap, 0xFFFFFFFF)
        data = image.data
        rows = []
        for y in range(height):
            line = data[y * width * 4:(y + 1) * width * 4]
            rgb = bytearray(width * 3)
            rgb[0::3] = line[2::4]
            rgb[1::3] = line[1::4]
            rgb[2::3] = line[0::4]
            rows.append(bytes(rgb))
        return width, height, rows

    def screenshot(self, name):
        """Writes <out_dir>/<name>.png and returns the grabbed screen."""
        width, height, rows = self.grab()
        write_png(os.path.join(self.out_dir, name + ".png"), width, height, rows)
        return width, height, rows


def write_png(path, width, height, rows):
    def chunk(tag, payload):
        body = tag + payload
        return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))


def distinct_colours(rows, box):
    """Number of distinct RGB colours inside box (x, y, w, h) of a grab."""
    x, y, w, h = box
    colours = set()
    for row in rows[y:y + h]:
        for i in range(x * 3, (x + w) * 3, 3):
            colours.add(row[i:i + 3])
    return len(colours)
