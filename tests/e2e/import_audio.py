"""Importing audio in the real program: a generated 25-s song
"song.take1.wav" is imported with Ctrl+I, its path typed into the file
dialog; the analysis runs behind the "Import Audio File" progress dialog,
which comes and goes, "song.take1.awi" appears beside the song and the view
shows the song (waveform, beat columns, the section's label). A second run
reuses the ".awi" untouched and shows the view without a progress dialog."""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stelvano_e2e as e2e  # noqa: E402
import wave_view as view  # noqa: E402

DIALOG = "Import Audio File"


def import_song(s, window, song, check):
    """Ctrl+I, the path typed into the file dialog; returns whether the
    progress dialog showed."""
    s.key(window, "ctrl+i")
    chooser = s.wait_window("Open Audio File", 20)
    s.focus(chooser)
    subprocess.run(["xdotool", "type", "--delay", "5", song], env=s.env, check=True)
    subprocess.run(["xdotool", "key", "Return"], env=s.env, check=True)
    seen = False
    deadline = time.time() + 240
    while time.time() < deadline:
        showing = bool(s.windows(DIALOG))
        seen = seen or showing
        if not showing and not s.windows("Open Audio File") and (seen or os.path.exists(awi_of(song))):
            break
        time.sleep(0.02)
    check(not s.windows(DIALOG), "the progress dialog has gone")
    time.sleep(1.0)
    return seen


def awi_of(song):
    return os.path.splitext(song)[0] + ".awi"


def marked_view(rows, box):
    """(left, top, right, bottom) of the view under the marked range: the
    pixels tinted yellow (the whole song is Main A's range), or None."""
    x, y, w, h = box
    xs, ys = [], []
    for j in range(y, y + h):
        row = [i for i in range(x, x + w)
               if (lambda c: c[0] > 200 and c[1] > 200 and c[2] < 160)(view.pixel(rows, i, j))]
        if len(row) > 200:  # a row of the view, not an icon
            xs += row
            ys.append(j)
    if len(ys) < 20:
        return None
    return min(xs), min(ys), max(xs), max(ys)


def check_view(s, window, name, check):
    wx, wy, ww, wh = s.geometry(window)
    _, _, rows = s.screenshot(name)
    layer = marked_view(rows, (wx, wy, ww, wh))
    if not check(layer is not None, "%s: the song's range is shown in the view" % name):
        return
    left, top, right, bottom = layer
    print(name, "view", layer)
    box = (left, top, right - left + 1, bottom - top + 1)
    wave = sum(1 for j in range(top, bottom) for i in range(left, right)
               if (lambda c: 60 < c[0] < 200 and c[2] < 100)(view.pixel(rows, i, j)))
    check(wave > 500, "%s: the waveform is drawn under the range (%d pixels)" % (name, wave))
    columns = view.beat_columns(rows, layer)
    check(len(columns) >= 20, "%s: beat columns across the song, got %d" % (name, len(columns)))
    strip = (left, bottom + 1, right - left + 1, 45)
    pink = sum(1 for j in range(strip[1], strip[1] + strip[3]) for i in range(left, right)
               if (lambda c: c[0] > 230 and 120 < c[1] < 225 and 120 < c[2] < 225)(view.pixel(rows, i, j)))
    check(pink > 200, "%s: the label strip shows Main A's triangle (%d pixels)" % (name, pink))


def quit_program(s, window, check):
    for _ in range(3):
        boxes = s.windows(e2e.TITLE)
        if len(boxes) < 2:
            break
        s.key(boxes[-1], "Return")
        time.sleep(0.5)
    s.key(window, "ctrl+q")
    status = s.wait_exit(15)
    if status is None:
        question = s.wait_window(e2e.TITLE, 10, count=2)
        s.key(question, "shift+Tab", "space")
        status = s.wait_exit(60)
    check(status == 0, "Ctrl+Q ends the program with status 0, got %r" % status)
    log = s.log()
    check("ERROR: AddressSanitizer" not in log and "runtime error:" not in log, "the log holds no sanitizer report")


def main():
    a = e2e.arguments("--maker")
    check = e2e.Checks()

    with e2e.Session(a.binary, a.out) as s:
        folder = s.path("songs")
        os.makedirs(folder)
        subprocess.run([a.maker, folder, "25"], check=True, capture_output=True, text=True)
        song = os.path.join(folder, "song.take1.wav")
        shutil.move(os.path.join(folder, "song.wav"), song)
        os.remove(os.path.join(folder, "song.svproj"))

        window = s.start()
        seen = import_song(s, window, song, check)
        check(seen, "the progress dialog showed while the song was analysed")
        check(os.path.exists(awi_of(song)), "song.take1.awi appears beside the song")
        check_view(s, window, "import_analysed", check)
        quit_program(s, window, check)
        if check.failures:
            print(s.log()[-4000:])

        stamp = os.stat(awi_of(song)).st_mtime_ns if os.path.exists(awi_of(song)) else None
        window = s.start()
        seen = import_song(s, window, song, check)
        check(not seen, "the second import shows no progress dialog")
        check(stamp is not None and os.stat(awi_of(song)).st_mtime_ns == stamp, "the .awi is left untouched")
        check_view(s, window, "import_reused", check)
        quit_program(s, window, check)
        if check.failures:
            print(s.log()[-4000:])
    print("screenshots in " + a.out)
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
