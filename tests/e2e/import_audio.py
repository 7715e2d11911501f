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

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stelvano_e2e as e2e  # noqa: E402
import wave_view as view  # noqa: E402

DIALOG = "Import Audio File"


def import_song(s, window, song, check):
    """Ctrl+I, the path typed into the file dialog; returns whether the
    progress dialog showed."""
    s.key(window, "ctrl+i")
    s.type_into_dialog("Open Audio File", song)
    seen = []

    def done():
        showing = bool(s.windows(DIALOG))
        if showing and not seen:
            seen.append(True)
        return not showing and not s.windows("Open Audio File") and (seen or os.path.exists(awi_of(song)))

    e2e.wait_for(done, 240, step=0.02)
    check(not s.windows(DIALOG), "the progress dialog has gone")
    wait_song_drawn(s, window)
    return bool(seen)


def wait_song_drawn(s, window, timeout=60):
    """Waits until the view shows a song's beat lines and the screen is
    still: the window has loaded the wave-info file and drawn it."""
    box = s.geometry(window)
    e2e.wait_for(lambda: view.beat_layer(s.grab()[2], box) is not None, timeout)
    s.wait_still(box)


def awi_of(song):
    return os.path.splitext(song)[0] + ".awi"


def check_view(s, window, name, check):
    """The view shows the song: the waveform in gray, beat columns across
    it, a yellow range (the section the analysis gave Main A) and Main A's
    red triangle in the label strip."""
    wx, wy, ww, wh = s.geometry(window)
    _, _, rows = s.screenshot(name)
    layer = view.beat_layer(rows, (wx, wy, ww, wh))
    if not check(layer is not None, "%s: beat lines are shown in the view" % name):
        return
    left, top, right, bottom = layer
    print(name, "view", layer)
    box = (left, top, right - left + 1, bottom - top + 1)
    wave = view.count(rows, box, view.GRAY)
    check(wave > 500, "%s: the waveform is drawn (%d pixels)" % (name, wave))
    columns = view.beat_columns(rows, layer)
    check(len(columns) >= 20, "%s: beat columns across the song, got %d" % (name, len(columns)))
    yellow = sum(1 for j in range(top, bottom) for i in range(left, right)
                 if (lambda c: c[0] > 200 and c[1] > 200 and c[2] < 160)(view.pixel(rows, i, j)))
    check(yellow > 20 * (bottom - top) // 2, "%s: Main A's range is marked in yellow (%d pixels)" % (name, yellow))
    # The section labels' red text counts as a beat line's colour, so the
    # strip may lie inside the layer found or just under it.
    pink = sum(1 for j in range(top, bottom + 45) for i in range(left, right)
               if (lambda c: c[0] > 230 and 120 < c[1] < 225 and 120 < c[2] < 225)(view.pixel(rows, i, j)))
    check(pink > 200, "%s: the label strip shows Main A's triangle (%d pixels)" % (name, pink))


def quit_program(s, window, check):
    """Ctrl+Q. An imported project is new and unsaved, so the program asks
    whether to save it (Yes, No, Cancel; Yes leaves without saving); an
    unmodified one asks "Do you wish to exit?" (Yes, No)."""
    s.key(window, "ctrl+q")
    status = None
    for buttons in (3, 2):
        s.answer_exit_yes(window, buttons=buttons)
        status = s.wait_exit(20)
        if status is not None:
            break
        # Whatever the click reached, the box is answered or still up:
        # close a left-over box with Escape and ask again.
        for box in [w for w in s.windows(e2e.TITLE) if w != window]:
            s.key(box, "Escape")
        e2e.wait_for(lambda: s.windows(e2e.TITLE) == [window], 10)
        s.key(window, "ctrl+q")
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
