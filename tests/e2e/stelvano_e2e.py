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
import array
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


# The faces the forms' texts are drawn in. The pixel and offset lookups of
# the tests (check boxes beside their labels, fields beside the boxes) hold
# for these faces only, so the program sees just them, whatever else the
# machine has: the forms' "Arial" is Liberation Sans (fonts-liberation2,
# metric-compatible), every other text DejaVu Sans (fonts-dejavu-core).
FONT_FILES = {
    "Liberation Sans": "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "Liberation Sans Bold": "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf",
    "DejaVu Sans": "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
}
FONTS_CONF = """<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <dir>/usr/share/fonts/truetype/liberation2</dir>
  <dir>/usr/share/fonts/truetype/dejavu</dir>
  <cachedir>%(cache)s</cachedir>
  <match target="pattern">
    <edit name="family" mode="append_last"><string>sans-serif</string></edit>
  </match>
  <alias binding="same"><family>Arial</family><accept><family>Liberation Sans</family></accept></alias>
  <alias binding="same"><family>Helvetica</family><accept><family>Liberation Sans</family></accept></alias>
  <alias><family>Sans Serif</family><prefer><family>DejaVu Sans</family></prefer></alias>
  <alias><family>Sans</family><prefer><family>DejaVu Sans</family></prefer></alias>
  <alias><family>sans-serif</family><prefer><family>DejaVu Sans</family></prefer></alias>
  <alias><family>serif</family><prefer><family>DejaVu Serif</family></prefer></alias>
  <alias><family>monospace</family><prefer><family>DejaVu Sans Mono</family></prefer></alias>
  <match target="font">
    <edit name="antialias" mode="assign"><bool>true</bool></edit>
    <edit name="hinting" mode="assign"><bool>true</bool></edit>
    <edit name="hintstyle" mode="assign"><const>hintslight</const></edit>
    <edit name="autohint" mode="assign"><bool>false</bool></edit>
    <edit name="rgba" mode="assign"><const>none</const></edit>
    <edit name="lcdfilter" mode="assign"><const>lcddefault</const></edit>
    <edit name="embeddedbitmap" mode="assign"><bool>false</bool></edit>
  </match>
</fontconfig>
"""


def require_fonts():
    """Fails (not skips) when a face the tests rely on is missing: the
    lookups would find controls in the wrong places."""
    missing = ["%s (%s)" % (face, path) for face, path in FONT_FILES.items() if not os.path.exists(path)]
    if missing:
        raise RuntimeError("e2e: the tests expect these faces, installed by scripts/install-deps.sh: " +
                           ", ".join(missing))


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


def wait_for(what, timeout=20, step=0.05):
    """Polls what() until it gives a true value, which is returned; after
    `timeout` seconds its last (false) value."""
    deadline = time.time() + timeout
    while True:
        value = what()
        if value or time.time() >= deadline:
            return value
        time.sleep(step)


# Pixels that may change on a screen at rest: a text cursor blinking in the
# focused field (one pixel wide, a line of text high).
CURSOR_PIXELS = 40


def differing(before, after, box=None, limit=None):
    """Pixels that differ between two grabs' rows inside box (x, y, w, h),
    the whole grab when box is None; counting stops past `limit`."""
    if box is None:
        box = (0, 0, len(before[0]) // 3, len(before))
    x, y, w, h = box
    x, y = max(x, 0), max(y, 0)
    w, h = min(w, len(before[0]) // 3 - x), min(h, len(before) - y)
    count = 0
    for j in range(y, y + h):
        a, b = before[j][x * 3:(x + w) * 3], after[j][x * 3:(x + w) * 3]
        if a != b:
            count += sum(a[i:i + 3] != b[i:i + 3] for i in range(0, len(a), 3))
            if limit is not None and count > limit:
                break
    return count


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
        self.binary = os.path.abspath(binary)
        self.out_dir = out_dir
        os.makedirs(out_dir, exist_ok=True)
        self.size = (width, height)
        self.root = tempfile.mkdtemp(prefix="stelvano-e2e-")
        for sub in ("run", "data", "config", "cache", "tmp", "home", "cwd"):
            os.makedirs(self.path(sub))
        os.chmod(self.path("run"), 0o700)
        with open(self.path("lsan.supp"), "w") as f:
            f.write(LSAN_SUPPRESSIONS)
        require_fonts()
        with open(self.path("fonts.conf"), "w") as f:
            f.write(FONTS_CONF % {"cache": self.path("cache/fontconfig")})
        self.xvfb = None
        self.program = None
        self.log_file = None
        self.display = None

    def path(self, name):
        return os.path.join(self.root, name)

    def program_environment(self, auth):
        """The environment of the program and the X tools: built from
        nothing, so that nothing of the caller's session (Qt's scale, style
        and input method, the locale, the session bus, the configuration
        folder with its driver registry) reaches the program. Only PATH and
        the sanitizer options are taken over."""
        env = {
            "PATH": os.environ.get("PATH", "/usr/local/bin:/usr/bin:/bin"),
            "LANG": "C.UTF-8",
            "HOME": self.path("home"),
            "XDG_RUNTIME_DIR": self.path("run"),
            "XDG_DATA_HOME": self.path("data"),
            "XDG_CONFIG_HOME": self.path("config"),
            "XDG_CACHE_HOME": self.path("cache"),
            "TMPDIR": self.path("tmp"),
            "DISPLAY": self.display_name,
            "XAUTHORITY": auth,
            "QT_QPA_PLATFORM": "xcb",
            # The program draws with QPainter only: without this, Qt's X11
            # plugin probes GLX at start and loads the machine's GL driver
            # (Mesa's swrast and LLVM), whose memory and unloading are
            # outside the program and upset the leak check at exit.
            "QT_XCB_GL_INTEGRATION": "none",
            # No session bus: a connection that fails at once, never one
            # that is looked for or started.
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + self.path("run/no-bus"),
            "FONTCONFIG_FILE": self.path("fonts.conf"),
            "STELVANO_AUDIO_NULL": "1",
            "STELVANO_AUDIO_ALSA": "0",
        }
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        lsan = [os.environ["LSAN_OPTIONS"]] if os.environ.get("LSAN_OPTIONS") else []
        env["LSAN_OPTIONS"] = ":".join(lsan + ["suppressions=" + self.path("lsan.supp"), "print_suppressions=0"])
        return env

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
        os.environ["XAUTHORITY"] = auth  # for this script's own connection
        self.env = self.program_environment(auth)
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

    def window_type(self, window):
        """The window's kind as its _NET_WM_WINDOW_TYPE names it, e.g.
        "_NET_WM_WINDOW_TYPE_DIALOG" for a message box; "" when unset."""
        w = self.display.create_resource_object("window", window)
        try:
            kind = w.get_full_property(self.display.intern_atom("_NET_WM_WINDOW_TYPE"), X.AnyPropertyType)
        except xerror.XError:
            return ""
        return self.display.get_atom_name(kind.value[0]) if kind and len(kind.value) else ""

    def wait_window(self, title, timeout, count=1):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.program and self.program.poll() is not None:
                raise RuntimeError("the program ended early (%s):\n%s" % (self.program.returncode, self.log()))
            found = self.windows(title)
            if len(found) >= count:
                self.wait_still(self.geometry(found[-1]), timeout=max(deadline - time.time(), 5))
                return found[-1]
            time.sleep(0.05)
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
            self.wait_still(self.geometry(dialog))
            self.key(dialog, "ctrl+a")
            subprocess.run(["xdotool", "type", "--delay", "5", text], env=self.env, check=True)
            subprocess.run(["xdotool", "key", "Return"], env=self.env, check=True)
            if wait_for(lambda: dialog not in self.windows(title), 10):
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

    def quit(self, window, buttons=2, screenshot=None, timeout=60):
        """Ctrl+Q on `window`; when the program asks instead of ending (the
        exit question, or with `buttons` 3 the save question), the question
        is answered "Yes" (a screenshot of it first when named). Returns the
        exit status, or None when the program still runs."""
        self.key(window, "ctrl+q")
        asked = wait_for(lambda: self.program.poll() is not None or len(self.windows(TITLE)) >= 2, timeout)
        if asked and self.program.poll() is None:
            if screenshot:
                self.screenshot(screenshot, self.wait_still())
            self.answer_exit_yes(window, buttons=buttons)
        return self.wait_exit(timeout)

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

    # Waiting for the screen.

    def wait_still(self, box=None, timeout=20, gap=0.15):
        """The rows of the first of two grabs `gap` seconds apart that differ
        in box by no more than a blinking cursor: the program has drawn what
        it was drawing. After `timeout` seconds, the last grab."""
        deadline = time.time() + timeout
        rows = self.grab()[2]
        while True:
            time.sleep(gap)
            now = self.grab()[2]
            if differing(rows, now, box, CURSOR_PIXELS) <= CURSOR_PIXELS or time.time() >= deadline:
                return now
            rows = now

    def wait_grab(self, test, timeout=20):
        """The rows of the first grab for which test(rows) is true, or None
        after `timeout` seconds."""
        found = []

        def attempt():
            rows = self.grab()[2]
            if test(rows):
                found.append(rows)
            return bool(found)

        return found[0] if wait_for(attempt, timeout) else None

    def wait_change(self, before, box=None, timeout=20):
        """Waits until box shows something else than the grab `before` (more
        than a cursor's blink), then until it is still; the rows then, or
        None when nothing changed within `timeout` seconds."""
        def changed():
            rows = self.grab()[2]
            return differing(before, rows, box, CURSOR_PIXELS) > CURSOR_PIXELS

        changed = wait_for(changed, timeout)
        return self.wait_still(box) if changed else None

    def popups(self):
        """X ids of the mapped override-redirect windows: open menus, combo
        box lists and tooltips."""
        found = []
        for w in self.display.screen().root.query_tree().children:
            try:
                attributes = w.get_attributes()
            except xerror.XError:
                continue
            if attributes.map_state == X.IsViewable and attributes.override_redirect:
                found.append(w.id)
        return found

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

    def screenshot(self, name, rows=None):
        """Writes <out_dir>/<name>.png of `rows` (a grab's), or of a new grab,
        and returns (width, height, rows)."""
        width, height = self.size
        if rows is None:
            rows = self.grab()[2]
        write_png(os.path.join(self.out_dir, name + ".png"), width, height, rows)
        return width, height, rows


def wav_samples(path):
    """The interleaved 16-bit samples of a WAV file, read to the end of the
    file (a capture still being written has a stale data size); empty when
    the file is missing or holds no data chunk yet."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return array.array("h")
    at = 12
    while at + 8 <= len(data):
        tag = data[at:at + 4]
        size, = struct.unpack("<I", data[at + 4:at + 8])
        if tag == b"data":
            body = data[at + 8:]
            samples = array.array("h")
            samples.frombytes(body[:len(body) // 4 * 4])
            if sys.byteorder != "little":
                samples.byteswap()
            return samples
        at += 8 + size + (size & 1)
    return array.array("h")


def first_sound(samples):
    """Frame of the first non-zero sample, or None."""
    for i, v in enumerate(samples):
        if v:
            return i // 2
    return None


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
