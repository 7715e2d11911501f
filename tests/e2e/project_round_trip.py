"""A project round trip in the real program. make_test_project writes through
engine calls a generated 30-s song at 120 BPM, its wave-info file and a
project with "Intro 1" and "Main A" over whole bars. Ctrl+O opens the project
through the file dialog; Intro 1 is chosen; "100" is typed into the tempo
field; Main A is chosen and given a new area by a mouse drag on the
waveform; "Manual" is checked and "4" typed into the bars field; Ctrl+Z
twice and Ctrl+Y twice undo and redo the last two edits; Ctrl+S saves
without a dialog and Ctrl+Q, answered Yes, ends the program. A second run
with the file saves it under a second name with Ctrl+Shift+S. Both files
must be byte-identical to what the engine writes for the same edits
(replay_edits), which takes only the dragged area from the window's file.

The form keeps the "Blank" box and the pickup field hidden, so the round
trip cannot edit Intro 1's blank flag or pickup; a check shows they stay out
of reach.

Controls are found on screenshots: the check boxes by their drawn square,
the waveform by its beat lines, the other controls beside them.
Screenshots go to the output folder."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stelvano_e2e as e2e  # noqa: E402
import wave_view  # noqa: E402

BOX_EDGE = b"\xbc\xbc\xbc"  # the frame of an enabled check box
BOX_SIZE = 14
# Offsets of the controls from the check box beside them, in pixels.
SECTION_COMBO_FROM_MANUAL = (-65, 0)
BARS_FROM_MANUAL = (113, 0)
TEMPO_FROM_CLICK = (115, -43)
SECTIONS = ["Intro 1", "Intro 2", "Intro 3", "Main A"]
UNDO_WORDS = ("push", "undo", "redo", "clear")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def undo_steps(session):
    """How many undo-history lines the program has logged."""
    return len([l for l in session.log().splitlines() if l.split(" ->")[0] in UNDO_WORDS])


def wait_logged(session, steps, timeout=20):
    """Waits until the program has logged more than `steps` undo-history
    lines (the edit reached the engine) and the screen is still."""
    done = e2e.wait_for(lambda: undo_steps(session) > steps, timeout)
    session.wait_still()
    return done


def find_controls(session, window, timeout=20):
    """Controls on the first grab that shows the opened project whole."""
    def attempt():
        try:
            return Controls(session.grab()[2], session.geometry(window))
        except RuntimeError:
            return None
    return e2e.wait_for(attempt, timeout) or Controls(session.grab()[2], session.geometry(window))


def undo_trace(log):
    """The engine's undo-history lines from the first step on."""
    lines = [l for l in log.splitlines() if l.split(" ->")[0] in UNDO_WORDS]
    first = next((i for i, l in enumerate(lines) if l.startswith("push")), len(lines))
    return lines[first:]


def check_boxes(rows, box):
    """Centres (x, y) and checked states of the enabled check boxes inside
    box (x, y, w, h) of a grab, top to bottom, left to right."""
    x0, y0, w, h = box
    edge = BOX_EDGE * (BOX_SIZE - 2)
    found = []
    for y in range(y0, y0 + h - BOX_SIZE):
        row = rows[y]
        start = x0 * 3
        while True:
            i = row.find(edge, start, (x0 + w) * 3)
            if i < 0:
                break
            start = i + 3
            if i % 3:
                continue
            x = i // 3 - 1
            bottom = rows[y + BOX_SIZE - 1]
            if bottom[(x + 1) * 3:(x + BOX_SIZE - 1) * 3] != edge:
                continue
            if any(rows[j][x * 3:x * 3 + 3] != BOX_EDGE or
                   rows[j][(x + BOX_SIZE - 1) * 3:(x + BOX_SIZE) * 3] != BOX_EDGE for j in range(y + 1, y + 13)):
                continue
            inside = [rows[j][k * 3] for j in range(y + 2, y + 12) for k in range(x + 2, x + 12)]
            found.append((x + BOX_SIZE // 2, y + BOX_SIZE // 2, min(inside) < 0x80))
    return found


class Controls:
    """Where the round trip's controls are on the screen, found on a grab."""

    def __init__(self, rows, window_box):
        self.layer = wave_view.beat_layer(rows, window_box)
        boxes = check_boxes(rows, window_box)
        if not self.layer:
            raise RuntimeError("no waveform on the screen")
        left, top, right, _ = self.layer
        # The section row lies right above the waveform; the audition row
        # with "Time stretch" and "Click" above that.
        row = [b for b in boxes if top - 60 < b[1] < top]
        upper = [b for b in boxes if b[1] < top - 60]
        if len(row) != 1 or len(upper) != 2:
            raise RuntimeError("check boxes not where the form puts them: %r" % boxes)
        self.manual = row[0][:2]
        self.click_box = max(upper)[:2]
        self.section_combo = shifted(self.manual, SECTION_COMBO_FROM_MANUAL)
        self.bars = shifted(self.manual, BARS_FROM_MANUAL)
        self.tempo = shifted(self.click_box, TEMPO_FROM_CLICK)
        self.check_boxes = boxes

    def manual_checked(self, rows):
        return any(b[:2] == self.manual and b[2] for b in check_boxes(rows, self.search_box()))

    def search_box(self):
        x, y = self.manual
        return (x - 10, y - 10, 20, 20)


def shifted(point, offset):
    return (point[0] + offset[0], point[1] + offset[1])


def choose_section(session, controls, name):
    """Opens the section list and picks `name` with the keys of the list;
    returns once the list has closed and the window is drawn."""
    session.click(*controls.section_combo)
    if not e2e.wait_for(session.popups, 10):
        raise RuntimeError("the section list does not open")
    wave_view.xdo(session, "key", "Home", *(["Down"] * SECTIONS.index(name)), "Return")
    e2e.wait_for(lambda: not session.popups(), 10)
    session.wait_still()


def type_into_spin(session, point, text):
    """Selects the spin box's number with a double click and types over it;
    returns once the engine has logged the edit."""
    box = (point[0] - 40, point[1] - 12, 80, 24)
    before = session.grab()[2]
    wave_view.xdo(session, "mousemove", "--sync", point[0], point[1], "click", "--repeat", "2", "--delay", "80", "1")
    session.wait_change(before, box, 10)  # the number shows selected
    steps = undo_steps(session)
    wave_view.xdo(session, "type", "--delay", "120", text)
    wait_logged(session, steps)


def drag(session, start, end, steps=12):
    """A pointer drag from start to end; returns once the engine has logged
    the edit."""
    logged = undo_steps(session)
    wave_view.xdo(session, "mousemove", "--sync", start[0], start[1])
    wave_view.xdo(session, "mousedown", "1")
    for k in range(1, steps + 1):
        x = start[0] + (end[0] - start[0]) * k // steps
        wave_view.xdo(session, "mousemove", "--sync", x, end[1])
    wave_view.xdo(session, "mouseup", "1")
    wait_logged(session, logged)


def edit_in_window(s, check, project):
    """The first run: open, edit, undo and redo, save and quit."""
    window = s.start()
    s.key(window, "ctrl+o")
    s.type_into_dialog("Open Project File", project)
    controls = find_controls(s, window)
    _, _, rows = s.screenshot("round_trip_opened", s.wait_still())
    check(not controls.manual_checked(rows), "Main A opens without manual bars")

    choose_section(s, controls, "Intro 1")
    _, _, rows = s.screenshot("round_trip_intro1")
    # Intro 1 shows the check boxes Main A showed: no "Blank" among them.
    check(len(check_boxes(rows, s.geometry(window))) == len(controls.check_boxes),
          "the form shows no Blank box for Intro 1")
    type_into_spin(s, controls.tempo, "100")
    s.screenshot("round_trip_tempo")

    choose_section(s, controls, "Main A")
    left, top, right, _ = controls.layer
    width = right - left
    drag(s, (left + width // 2, top + 30), (left + width * 86 // 100, top + 30))
    s.screenshot("round_trip_dragged")
    s.click(*controls.manual)
    _, _, rows = s.screenshot("round_trip_manual", s.wait_grab(controls.manual_checked, 10))
    check(controls.manual_checked(rows), "a click checks Manual")
    type_into_spin(s, controls.bars, "4")
    s.screenshot("round_trip_bars")
    for keys in ("ctrl+z", "ctrl+z", "ctrl+y", "ctrl+y"):
        steps = undo_steps(s)
        s.key(window, keys)
        check(wait_logged(s, steps), "%s reaches the engine" % keys)
    s.screenshot("round_trip_redone")
    saved = os.stat(project).st_mtime_ns
    s.key(window, "ctrl+s")
    check(e2e.wait_for(lambda: os.stat(project).st_mtime_ns != saved), "Ctrl+S saves the project")
    s.wait_still()
    s.key(window, "ctrl+q")
    # "Do you wish to exit?": No is the default, Yes comes first.
    s.wait_window(e2e.TITLE, 20, count=2)
    s.screenshot("round_trip_exit_question")
    s.answer_exit_yes(window)
    status = s.wait_exit(30)
    check(status == 0, "Ctrl+Q answered Yes ends the program (status %s)" % status)
    with open(s.ini_path()) as f:
        check("ManualDefault=true" in f.read(), "Manual is kept as the default in the settings")
    log = s.log()
    check("ERROR: AddressSanitizer" not in log and "runtime error:" not in log,
          "the log holds no sanitizer report")
    with open(os.path.join(s.out_dir, "program_edit.log"), "w") as f:
        f.write(log)
    return log


def main():
    a = e2e.arguments("--maker", "--replay")
    check = e2e.Checks()

    with e2e.Session(a.binary, a.out) as s:
        folder = s.path("project")
        facts = e2e.make_project(a.maker, folder, 30)
        project = facts["project"]
        check(read(facts["awi"])[:4] == b"AWI ", "the tool writes the wave-info file")
        original = s.path("original.svproj")
        with open(original, "wb") as f:
            f.write(read(project))

        try:
            log = edit_in_window(s, check, project)
        except RuntimeError as e:
            check(False, str(e))
            print(s.log()[-4000:])
            return 1

        expected = s.path("expected.svproj")
        replay = subprocess.run([a.replay, "edits", original, project, expected], check=True,
                                capture_output=True, text=True)
        window_steps, replay_steps = undo_trace(log), undo_trace(replay.stderr)
        check(window_steps == replay_steps and len(window_steps) > 5,
              "the replay makes the window's undo steps:\n%s\nagainst\n%s" %
              ("\n".join(window_steps), "\n".join(replay_steps)))
        check(read(project) != read(original), "the saved project holds the edits")
        check(read(project) == read(expected), "the saved project equals the engine's replay")

        second = os.path.join(folder, "second.svproj")
        window = s.start([project])
        s.key(window, "ctrl+shift+s")
        s.type_into_dialog("Save Project File", second)
        e2e.wait_for(lambda: os.path.exists(second))
        s.screenshot("round_trip_saved_as", s.wait_still())
        check(os.path.exists(second) and read(second) == read(expected),
              "Save As writes the same bytes under the second name")
        s.program.kill()
        if check.failures:
            print(s.log()[-4000:])
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
