"""The time-stretch result window in the real program, on the Null output
with a capture file.

A project of our making holds "Main A": four bars of a 100 BPM 4/4 click
song, its beats written as the wave's beat list (no analysis), in a project
at 120 BPM. With "Time stretch" checked, Space shows the busy dialog "Time
Stretch Audio File", then the result window, which plays the stretched 8 s
file in a loop: the screenshot shows both channels, the bar lines (red) and
beat lines (blue) under the yellow selection of the whole file, and the
green play line. The capture, less the stretched file itself, holds nothing
but the first click sound exactly at the job's bar points (multiples of
88200 frames) and the second at its other beats (the other multiples of
22050). Closing the window by the window manager's message stops playback
and the output (the capture stops growing); Ctrl+Q, answered, ends the
program with status 0. Screenshots, the stretched file and the capture go
to the output folder."""
import array
import configparser
import glob
import os
import shutil
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stelvano_e2e as e2e  # noqa: E402
from wave_view import pixel  # noqa: E402
from driver_host import wav_problems, wait_gone  # noqa: E402

PROGRESS = "Time Stretch Audio File"
RESULT = "wave viewer - after proccessing time stretch"
STRETCHED = "KRM_temp_Main A.wav"

# The selection covers the whole file and is drawn over the layers below it
# in yellow at half opacity; the play line is drawn on top of it.
SELECTED = b"\xff\xff\x80"      # white background under the selection
BEAT_LINE = b"\x7f\x7f\x80"     # blue under the selection
BAR_LINE = b"\xff\x7f\x00"      # red under the selection
WAVE = b"\xbf\xbf\x40"          # dark gray under the selection
CENTRE_LINE = b"\x7f\x7f\x00"   # black under the selection
PLAY_LINE = b"\x00\xff\x00"

BEATS_PER_BAR = 4
BARS = 4
CLIP = 31129  # the render's output limit: samples there may be clipped
BLOCK = 2048  # frames the output takes at a time


def bounds(rows, box, colour):
    """(left, top, right, bottom) of the pixels of `colour` in box, or None."""
    x, y, w, h = box
    xs, ys = [], []
    for j in range(y, y + h):
        row = rows[j]
        for i in range(x, x + w):
            if row[i * 3:i * 3 + 3] == colour:
                xs.append(i)
                ys.append(j)
    if not xs:
        return None
    return min(xs), min(ys), max(xs), max(ys)


def line_columns(rows, view, colour):
    """Columns of view (left, top, right, bottom) in which `colour` covers at
    least half the height: the vertical lines of that colour (where the
    waveform crosses them they take another shade)."""
    left, top, right, bottom = view
    height = bottom - top + 1
    return [i for i in range(left, right + 1)
            if sum(pixel(rows, i, j) == colour for j in range(top, bottom + 1)) * 2 >= height]


def line_rows(rows, view, colour):
    """Rows of view that are mostly `colour`: the channels' centre lines."""
    left, top, right, bottom = view
    width = right - left + 1
    return [j for j in range(top, bottom + 1)
            if sum(pixel(rows, i, j) == colour for i in range(left, right + 1)) * 2 >= width]


def count(rows, box, colour):
    left, top, right, bottom = box
    return sum(pixel(rows, i, j) == colour for j in range(top, bottom + 1) for i in range(left, right + 1))


def last_sound(samples, block):
    """End frame of the last block of `block` frames that holds a non-zero
    sample (0 for none)."""
    for i in range(len(samples) - 1, -1, -1):
        if samples[i]:
            return (i // 2 // block + 1) * block
    return 0


def expected_clicks(length, first, second):
    """The click sounds alone over one pass of the loop: the job's beat
    points trunc(length * i / beats), the first sound on each bar's first
    beat, the second on the others (interleaved samples)."""
    beats = BEATS_PER_BAR * BARS
    points = [length * i // beats for i in range(beats)]
    out = [0] * (2 * length)
    for i, p in enumerate(points):
        sound = first if i % BEATS_PER_BAR == 0 else second
        for k in range(min(len(sound), 2 * (length - p))):
            out[2 * p + k] += sound[k]
    return points, out


def residual_onsets(capture, start, song, limit=20):
    """Frames of the first pass where capture - song rises above 2 after at
    least 1000 quiet frames: where the clicks really are (the click sounds
    begin with a silent frame, so one frame after their start)."""
    found, quiet = [], 1000
    for k in range(len(song) // 2):
        at = 2 * (start + k)
        if at + 1 >= len(capture):
            break
        loud = max(abs(capture[at] - song[2 * k]), abs(capture[at + 1] - song[2 * k + 1])) > 2
        if loud and quiet >= 1000:
            found.append(k)
            if len(found) >= limit:
                break
        quiet = 0 if loud else quiet + 1
    return found


def check_capture(check, capture, song, first, second):
    """The capture against the stretched file and the click sounds."""
    length = len(song) // 2
    start = e2e.first_sound(capture)
    if not check(start is not None, "the capture holds sound"):
        return
    # Once stopped, the output renders silence until it is closed: play
    # ends with the last block that holds sound.
    end = last_sound(capture, BLOCK)
    frames = end - start
    print("capture: %d frames of silence, then %d frames played (%.2f passes of %d), then %d of silence" %
          (start, frames, frames / length, length, len(capture) // 2 - end))
    check(frames >= length, "the capture holds a whole pass of the loop")
    points, clicks = expected_clicks(length, first, second)
    print("beat points", points)
    check(length == 352800 and all(p % 22050 == 0 for p in points),
          "the stretched file lasts 8 s and its beats fall on multiples of 22050 frames")
    worst, where = 0, None
    for k in range(2 * start, 2 * end):
        j = (k - 2 * start) % (2 * length)
        if abs(capture[k]) >= CLIP:
            continue
        r = capture[k] - song[j] - clicks[j]
        if abs(r) > abs(worst):
            worst, where = r, (k // 2 - start, j // 2)
    print("largest difference from the stretched file with the clicks: %d at %r" % (worst, where))
    if not check(abs(worst) <= 1, "the capture is the stretched file with the first click on the bar "
                 "points and the second on the other beats, nothing else (off by %d at %r)" % (worst, where)):
        print("clicks heard at", residual_onsets(capture, start, song))


def empty_check_boxes(rows, box):
    """Centres of the unchecked check box indicators in box (x, y, w, h),
    top to bottom, then left to right: white squares of 10 to 14 pixels
    between borders of one grey."""
    x0, y0, w, h = box
    x1, y1 = min(x0 + w, len(rows[0]) // 3) - 1, min(y0 + h, len(rows)) - 1
    white = b"\xff\xff\xff"
    found, running = [], {}
    for y in range(y0, y1 + 2):
        runs = set()
        row = rows[y] if y <= y1 else b""
        x = max(x0, 1)
        while y <= y1 and x < x1:
            if row[x * 3:x * 3 + 3] != white:
                x += 1
                continue
            begin = x
            while x < x1 and row[x * 3:x * 3 + 3] == white:
                x += 1
            edges = {row[(begin - 1) * 3:begin * 3], row[x * 3:x * 3 + 3]}
            edge = next(iter(edges))
            if 10 <= x - begin <= 14 and len(edges) == 1 and len(set(edge)) == 1 and edge[0] < 0xE0:
                runs.add((begin, x - begin))
        for run in list(running):
            if run not in runs:
                top = running.pop(run)
                if 10 <= y - top <= 14:
                    found.append((run[0] + run[1] // 2, (top + y - 1) // 2))
        for run in runs:
            running.setdefault(run, y)
    return sorted(found, key=lambda p: (p[1], p[0]))


def wait_file_still(path, timeout):
    """True once the size of the file at `path` stayed the same for a second."""
    deadline = time.time() + timeout
    size = os.path.getsize(path)
    while time.time() < deadline:
        time.sleep(1.0)
        now = os.path.getsize(path)
        if now == size:
            return True
        size = now
    return False


def watch_titles(session, titles, timeout):
    """The titles of `titles` that showed up, polled every 20 ms until the
    last one shows or the time is out."""
    seen = []
    deadline = time.time() + timeout
    while time.time() < deadline and titles[-1] not in seen:
        if session.program.poll() is not None:
            break
        for title in titles:
            if title not in seen and session.windows(title):
                seen.append(title)
        time.sleep(0.02)
    return seen


def play_line_inside(rows, geometry):
    """True when the grab shows the green play line inside the selected view."""
    view = bounds(rows, geometry, SELECTED)
    if view is None:
        return False
    left, _, right, _ = view
    return any(left + 5 < i < right - 5 for i in line_columns(rows, view, PLAY_LINE))


def check_view(check, rows, geometry):
    """The result window's view: both channels under the yellow selection of
    the whole file, red bar lines, blue beat lines and the play line."""
    x, y, w, h = geometry
    view = bounds(rows, (x, y, w, h), SELECTED)
    if not check(view is not None, "the selection is drawn in yellow"):
        return
    left, top, right, bottom = view
    print("view", view)
    check(count(rows, view, SELECTED) > (right - left) * (bottom - top) // 2,
          "the selection covers the view")
    centres = line_rows(rows, view, CENTRE_LINE)
    print("centre lines", centres)
    middle = (top + bottom) // 2
    upper = [j for j in centres if j < middle]
    lower = [j for j in centres if j > middle]
    check(upper and lower, "two channels, each with its centre line")
    if upper and lower:
        check(count(rows, (left, top, right, middle), WAVE) > 50 and
              count(rows, (left, middle, right, bottom), WAVE) > 50,
              "both channels show the waveform")
    bars = line_columns(rows, view, BAR_LINE)
    beats = line_columns(rows, view, BEAT_LINE)
    print("bar lines", bars, "beat lines", beats)
    # Four bars of four beats over the width: the first bar line is the
    # view's left edge, then fifteen lines evenly spaced, every fourth red.
    lines = sorted(bars + beats)
    gaps = [b - a for a, b in zip([left - 1] + lines, lines)]
    check(len(lines) == 15 and max(gaps) - min(gaps) <= 1 and [lines.index(b) for b in bars] == [3, 7, 11],
          "red bar lines and blue beat lines make four even bars of four beats (gaps %r)" % gaps)
    play = line_columns(rows, view, PLAY_LINE)
    print("play line", play)
    check(any(left + 5 < i < right - 5 for i in play), "the green play line is drawn inside the view")


def main():
    a = e2e.arguments("--maker")
    check = e2e.Checks()

    with e2e.Session(a.binary, a.out) as s:
        facts = e2e.make_project(a.maker, s.path("project"), 18, "bpm=100", "tempo=120", "clicks")
        capture = s.path("capture.wav")
        s.env["STELVANO_AUDIO_CAPTURE"] = capture
        window = s.start([facts["project"]])
        # An opened project leaves "Time stretch" as the window had it
        # (off). Its box is the first of the three empty check boxes in
        # reading order ("Time stretch", "Manual", "Fade").
        area = s.geometry(window)
        _, _, rows = s.screenshot("stretch_main", s.wait_grab(lambda grab: len(empty_check_boxes(grab, area)) == 3))
        boxes = empty_check_boxes(rows, area)
        if not check(len(boxes) == 3, "the main window shows three empty check boxes, found %r" % boxes):
            print(s.log())
            return 1
        s.click(*boxes[0])
        checked = e2e.wait_for(lambda: boxes[0] not in empty_check_boxes(s.grab()[2], s.geometry(window)), 10)
        s.screenshot("stretch_main_checked")
        check(checked, "\"Time stretch\" is checked")

        s.key(window, "space")
        seen = watch_titles(s, (PROGRESS, RESULT), 180)
        check(PROGRESS in seen, "Space shows the busy dialog %r (seen %r)" % (PROGRESS, seen))
        if not check(RESULT in seen, "the result window %r opens" % RESULT):
            print(s.log())
            return 1
        result = s.wait_window(RESULT, 10)
        stretched = glob.glob(os.path.join(s.path("tmp"), "*", STRETCHED))
        if not check(len(stretched) == 1, "the stretched file %r is written" % STRETCHED):
            return 1
        shutil.copy(stretched[0], a.out)
        song = e2e.wav_samples(stretched[0])

        # The view is checked on a grab that shows the play line inside it.
        geometry = s.geometry(result)
        _, _, rows = s.screenshot("stretch_window", s.wait_grab(lambda grab: play_line_inside(grab, geometry), 30))
        check_view(check, rows, geometry)

        # One whole pass of the loop and a bit.
        def whole_pass():
            samples = e2e.wav_samples(capture)
            start = e2e.first_sound(samples)
            return start is not None and len(samples) // 2 >= start + len(song) // 2 + 4096

        e2e.wait_for(whole_pass, 60, step=0.5)

        s.close_window(result)
        check(wait_gone(s, result, 15), "the window manager's close message closes the result window")
        # A running output appends 176400 bytes a second.
        check(wait_file_still(capture, 15), "the capture stops growing once the window is closed")
        for problem in wav_problems(capture):
            check(False, "capture: " + problem)
        shutil.copy(capture, os.path.join(a.out, "capture.wav"))
        metro = [line.split(": ", 1)[1].strip() for line in s.log().splitlines()
                 if line.strip().startswith(("find Metro1.wav:", "find Metro2.wav:"))]
        if check(len(metro) == 2, "the log names the two click sounds"):
            check_capture(check, e2e.wav_samples(capture), song, e2e.wav_samples(metro[0]), e2e.wav_samples(metro[1]))

        # The stretch left the project as it was: the plain exit question
        # comes, not the question about unsaved changes.
        s.key(window, "ctrl+q")
        s.answer_exit_yes(window)
        s.check_exit(check, s.wait_exit(60))
        # The box stored its state as the preference; the window its geometry.
        ini = configparser.ConfigParser(interpolation=None)
        ini.read(s.ini_path())
        check(ini.get("ParameterInfo", "TimeStretchDefault", fallback=None) == "true",
              "the \"Time stretch\" box is stored as the preference")
        check(ini.get("TimeStretchWindow", "Maximized", fallback=None) == "false" and
              int(ini.get("TimeStretchWindow", "GeometryW", fallback="0")) > 0,
              "closing stores the result window's geometry")
    print("screenshots in " + a.out)
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
