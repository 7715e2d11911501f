"""Audition and export in the real program on the null output with a capture
file: a generated 16-s song at 120 BPM is imported with Ctrl+I (its path
typed into the file dialog) and given to "Main A" whole with Ctrl+A; the
level slider is dragged to 0 with the pointer; Space plays for a few seconds
and Space stops. The capture must hold nothing but the two click sounds, the
first on the bar lines, on the frames of the beats that the engine reads from
the ".awi" written beside the song (wave_beats). Ctrl+E exports to a typed
path; check_style reads the file back (marker, tempo, time signature, the
audio chunks and "Adat" against the working file of Main A). Ctrl+Q, its
question answered "Yes" (leave without saving), ends the program with status
0 and no sanitizer report. Screenshots (while playing, after the export) go
to the output folder."""
import glob
import os
import shutil
import subprocess
import sys
import time
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stelvano_e2e as e2e  # noqa: E402
import import_audio  # noqa: E402
from import_audio import quit_program  # noqa: E402

EXPORT_TITLE = "Export Audio Style File"
# The output writes what it mixes clamped to these values.
LOW, HIGH = -31130, 31129


def import_song(s, window, song, check):
    """Ctrl+I with the song; the path of the ".awi" the import writes."""
    import_audio.import_song(s, window, song, check)
    awi = import_audio.awi_of(song)
    check(os.path.exists(awi), "the import writes the .awi beside the song")
    return awi


def slider_groove(rows, box):
    """(left, right, y) of the longest horizontal run of the level slider's
    blue fill inside box, or None."""
    x, y, w, h = box
    best = None
    for j in range(y, y + h):
        row = rows[j]
        run = 0
        for i in range(x, x + w + 1):
            c = row[i * 3:i * 3 + 3] if i < x + w else b"\0\0\0"
            if c[2] > 180 and c[0] < 120 and 90 < c[1] < 210:
                run += 1
                continue
            if run > 40 and (best is None or run > best[1] - best[0] + 1):
                best = (i - run, i - 1, j)
            run = 0
    return best


def drag_level_to_zero(s, window, check, tries=3):
    """Drags the handle at the right end of the slider's fill (level 100) past
    its left end; the fill must be gone then."""
    wx, wy, ww, wh = s.geometry(window)
    box = (wx, wy, ww, min(wh, 160))
    groove = e2e.wait_for(lambda: slider_groove(s.grab()[2], box), 20)
    if not check(groove is not None, "the level slider shows its fill"):
        return
    left, right, y = groove
    after = groove
    for _ in range(tries):
        subprocess.run(["xdotool", "mousemove", "--sync", str(right + 4), str(y), "mousedown", "1"], env=s.env,
                       check=True)
        for x in range(right, left - 40, -20):
            subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], env=s.env, check=True)
        subprocess.run(["xdotool", "mousemove", "--sync", str(left - 40), str(y), "mouseup", "1"], env=s.env,
                       check=True)

        def emptied():
            found = slider_groove(s.grab()[2], box)
            return found is None or found[1] - found[0] < 10

        if e2e.wait_for(emptied, 3):
            return
        after = slider_groove(s.grab()[2], box)
    check(False, "the slider's fill is gone (level 0), got %r" % (after,))


def frames_of(path):
    """The 16-bit stereo frames of a WAV file as a list of (left, right)."""
    with wave.open(path, "rb") as w:
        if w.getnchannels() != 2 or w.getsampwidth() != 2:
            raise RuntimeError("%s is not 16-bit stereo" % path)
        data = w.readframes(w.getnframes())
    samples = memoryview(data).cast("h")
    return [(samples[i], samples[i + 1]) for i in range(0, len(samples) - 1, 2)]


def clamp(v):
    return max(LOW, min(HIGH, v))


def find_clicks(capture, sounds):
    """(frame, sound) of every place where a click sound starts in the
    capture: 256 sounding frames of it matched exactly."""
    found = []
    for index, sound in enumerate(sounds):
        lead = next(i for i, f in enumerate(sound) if f != (0, 0))
        head = [(clamp(l), clamp(r)) for l, r in sound[lead:lead + 256]]
        first = head[0]
        for p in range(len(capture) - len(head) + 1):
            if capture[p] == first and capture[p:p + len(head)] == head:
                found.append((p - lead, index))
    return sorted(found)


def beat_grid(tool, awi, song):
    with wave.open(song, "rb") as w:
        frames = w.getnframes()
    out = subprocess.run([tool, awi, song, str(frames)], check=True, capture_output=True, text=True).stdout
    facts = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    grids = [[int(v) for v in facts["grid%d" % t].split(",") if v] for t in (0, 1)]
    return int(facts["beats_per_bar"]), grids


def check_clicks(capture, sounds, beats_per_bar, grids, check):
    """The clicks lie on one toggle grid's beats, one after the other from
    the beat where play started, the first sound on every bar line; nothing
    else sounds."""
    clicks = find_clicks(capture, sounds)
    print("clicks at", clicks[:12], "..." if len(clicks) > 12 else "")
    if not check(len(clicks) >= 4, "at least four clicks in a few seconds of play, got %d" % len(clicks)):
        return
    start = clicks[0][0]
    fits = []
    for t, grid in enumerate(grids):
        for s in range(len(grid)):
            expected = [start + grid[k] - grid[s] for k in range(s, min(len(grid), s + len(clicks)))]
            if expected == [c[0] for c in clicks]:
                fits.append((t, s))
    if not check(fits, "the clicks sit on the frames of the .awi's beats"):
        return
    t, s = fits[0]
    print("clicks on grid %d from beat %d (%d fits)" % (t, s, len(fits)))
    check(all(c[1] == (0 if i % beats_per_bar == 0 else 1) for i, c in enumerate(clicks)),
          "the first click sound on each bar line, the second on the other beats")
    covered = bytearray(len(capture))
    for frame, index in clicks:
        for i, f in enumerate(sounds[index]):
            if frame + i >= len(capture) or capture[frame + i] != (clamp(f[0]), clamp(f[1])):
                break
            covered[frame + i] = 1
    stray = [i for i, f in enumerate(capture) if f != (0, 0) and not covered[i]]
    check(not stray, "at level 0 nothing but the clicks sounds (first stray frame %s)" % (stray[:1],))


def wait_export_message(s, target, check, timeout=120):
    """Waits for the style file and the export's outcome box (a dialog; the
    busy dialog before it is a tool window of the same title); False on
    time-out."""
    def outcome():
        return os.path.exists(target) and [w for w in s.windows(EXPORT_TITLE)
                                           if s.window_type(w) == "_NET_WM_WINDOW_TYPE_DIALOG"]

    shown = e2e.wait_for(outcome, timeout, step=0.1)
    if not check(bool(shown), "the export writes its file and reports"):
        return False
    s.wait_still(s.geometry(shown[-1]))
    return True


def close_export_message(s, check, timeout=60):
    """Return on every window with the export's title until none is left:
    the busy dialog ignores it and closes when the job ends, the outcome
    box takes it as OK."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = s.windows(EXPORT_TITLE)
        if not found:
            return True
        s.key(found[-1], "Return")
        e2e.wait_for(lambda: found[-1] not in s.windows(EXPORT_TITLE), 2)
    return check(False, "the export's outcome box closes")


def wait_played(capture, seconds, timeout=60):
    """Waits until the capture holds `seconds` of output from its first
    sound on: the output has played that long."""
    def played():
        samples = e2e.wav_samples(capture)
        start = e2e.first_sound(samples)
        return start is not None and len(samples) // 2 - start >= int(seconds * 44100)

    return e2e.wait_for(played, timeout, step=0.1)


def run(a, check):
    with e2e.Session(a.binary, a.out) as s:
        folder = s.path("songs")
        os.makedirs(folder)
        subprocess.run([a.maker, folder, "16"], check=True, capture_output=True, text=True)
        # Only the song: the import analyses it and writes its own .awi.
        for made in ("song.svproj", "song.awi"):
            os.remove(os.path.join(folder, made))
        song = os.path.join(folder, "song.wav")
        capture_path = s.path("capture.wav")
        s.env["STELVANO_AUDIO_CAPTURE"] = capture_path

        window = s.start()
        awi = import_song(s, window, song, check)
        before = s.grab()[2]
        s.key(window, "ctrl+a")
        check(s.wait_change(before, s.geometry(window)) is not None, "Ctrl+A gives Main A the whole song")
        drag_level_to_zero(s, window, check)

        # Play until the capture holds three seconds (six beats at 120 BPM).
        s.key(window, "space")
        check(wait_played(capture_path, 0.2), "Space starts the output")
        s.screenshot("audition_playing")
        check(wait_played(capture_path, 3.0), "the output plays on")
        s.key(window, "space")

        target = os.path.join(s.path("export"), "song.aus")
        os.makedirs(os.path.dirname(target))
        s.key(window, "ctrl+e")
        s.type_into_dialog("Export file", target)
        wait_export_message(s, target, check)
        s.screenshot("export_finished")
        working = s.path("KRM_temp_Main A.wav")
        made = glob.glob(os.path.join(s.path("tmp"), "*", "KRM_temp_Main A.wav"))
        if check(len(made) == 1, "the working file of Main A is in the private temporary folder"):
            shutil.copyfile(made[0], working)
        close_export_message(s, check)
        quit_program(s, window, check)

        # The capture is complete once the program has closed its output.
        metro = [line.split(": ", 1)[1].strip() for line in s.log().splitlines()
                 if "find Metro1.wav: " in line or "find Metro2.wav: " in line]
        if check(len(metro) == 2 and os.path.exists(capture_path), "the click sounds and the capture are there"):
            beats_per_bar, grids = beat_grid(a.beats, awi, song)
            check_clicks(frames_of(capture_path), [frames_of(m) for m in metro], beats_per_bar, grids, check)

        if check(os.path.exists(target) and os.path.exists(working), "the style file and the working file"):
            result = subprocess.run([a.style, target, working, "120", "4", "4"], capture_output=True, text=True)
            print(result.stdout + result.stderr)
            check(result.returncode == 0, "check_style accepts the exported file")
        if check.failures:
            print(s.log()[-4000:])


if __name__ == "__main__":
    arguments = e2e.arguments("--maker", "--beats", "--style")
    checks = e2e.Checks()
    run(arguments, checks)
    print("screenshots in %s; %d failed check(s)" % (arguments.out, len(checks.failures)))
    sys.exit(1 if checks.failures else 0)
