"""The waveform view in the real program: started with a project of our making
(a generated 20-s song with "Intro 1" and "Main A"), the window shows Main A's
audio in dark gray, blue beat columns, the light-grey section triangle of
Intro 1 in the label strip and the range in yellow; two clicks on zoom-in
make the beats four times as far apart and enable the scroll bar; a
Shift+Right drag at the right edge of the view scrolls it and moves the real
pointer to the dragged edge. Screenshots go to the output folder."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stelvano_e2e as e2e  # noqa: E402

BLUE = b"\x00\x00\xff"
RED = b"\xff\x00\x00"
GRAY = b"\x80\x80\x80"  # Qt's dark gray
LABEL = b"\xdc\xdc\xdc"  # an unselected section's triangle
WHITE = b"\xff\xff\xff"


def pixel(rows, x, y):
    return rows[y][x * 3:x * 3 + 3]


def count(rows, box, colour):
    x, y, w, h = box
    return sum(row[i:i + 3] == colour for row in rows[y:y + h] for i in range(x * 3, (x + w) * 3, 3))


def beat_layer(rows, box):
    """(left, top, right, bottom) of the pixels in pure blue or red (the beat
    lines run the layer's height), or None."""
    x, y, w, h = box
    xs, ys = [], []
    for j in range(y, y + h):
        row = rows[j]
        for i in range(x, x + w):
            c = row[i * 3:i * 3 + 3]
            if c == BLUE or c == RED:
                xs.append(i)
                ys.append(j)
    if not xs:
        return None
    return min(xs), min(ys), max(xs), max(ys)


def beat_columns(rows, layer):
    """Columns crossed by a one-pixel vertical line near the top of the view:
    the beat lines, blue or red, or greyed where the yellow range covers them."""
    left, top, right, _ = layer
    found = []
    for i in range(left + 2, right - 1):
        hits = 0
        for y in range(top + 2, top + 10, 2):
            c, l, r = pixel(rows, i, y), pixel(rows, i - 2, y), pixel(rows, i + 2, y)
            hits += l == r and c != l
        if hits >= 3:
            found.append(i)
    return found


def median_gap(columns):
    gaps = sorted(b - a for a, b in zip(columns, columns[1:]) if b - a > 2)
    return gaps[len(gaps) // 2] if gaps else 0


def zoom_buttons(rows, layer, band):
    """Centres of the two magnifier buttons right of the scroll bar: the two
    right-most clusters of dark pixels in the band of rows under the view."""
    left, _, right, _ = layer
    top, bottom = band
    dark = []
    for i in range(left, min(right + 60, len(rows[0]) // 3)):
        ys = [j for j in range(top, bottom) if sum(pixel(rows, i, j)) < 3 * 110]
        if ys:
            dark.append((i, ys))
    clusters = []
    for i, ys in dark:
        if clusters and i - clusters[-1][-1][0] <= 2:
            clusters[-1].append((i, ys))
        else:
            clusters.append([(i, ys)])
    clusters = [c for c in clusters if 6 <= c[-1][0] - c[0][0] <= 24]
    if len(clusters) < 2:
        return None
    centres = []
    for c in clusters[-2:]:
        allys = [j for _, ys in c for j in ys]
        centres.append(((c[0][0] + c[-1][0]) // 2, (min(allys) + max(allys)) // 2))
    return centres


def pointer(session):
    out = subprocess.run(["xdotool", "getmouselocation", "--shell"], env=session.env, check=True,
                         capture_output=True, text=True).stdout
    values = dict(line.split("=", 1) for line in out.split())
    return int(values["X"]), int(values["Y"])


def xdo(session, *args):
    subprocess.run(["xdotool"] + [str(a) for a in args], env=session.env, check=True)


def main():
    a = e2e.arguments("--maker")
    check = e2e.Checks()

    with e2e.Session(a.binary, a.out) as s:
        folder = s.path("project")
        facts = e2e.make_project(a.maker, folder, 20)
        window = s.start([facts["project"]])
        wx, wy, ww, wh = s.geometry(window)
        _, _, rows = s.screenshot("view_open")
        box = (wx, wy, ww, wh)

        layer = beat_layer(rows, box)
        if not check(layer is not None, "blue beat columns are shown"):
            print(s.log())
            return 1
        left, top, right, bottom = layer
        print("beat layer", layer)
        view = (left, top, right - left + 1, bottom - top + 1)
        check(count(rows, view, GRAY) > 500, "the waveform is drawn in dark gray")
        columns = beat_columns(rows, layer)
        check(len(columns) >= 10, "at least ten beat columns, got %d" % len(columns))
        check(sum(pixel(rows, c, top + 2) == BLUE for c in columns) >= 10, "beat lines are blue")
        check(any(pixel(rows, c, top + 2) == RED for c in columns), "bar starts are red")
        # The label strip lies under the channels.
        strip = (left, bottom + 1, right - left + 1, 45)
        check(count(rows, strip, LABEL) > 20, "the label strip holds a light-grey section triangle")
        yellowish = sum(1 for j in range(top, bottom) for i in range(left, right)
                        if (lambda c: c[0] > 150 and c[1] > 150 and c[2] < 140)(pixel(rows, i, j)))
        check(yellowish > 500, "the marked range is tinted yellow (%d pixels)" % yellowish)

        # Zoom in twice.
        buttons = zoom_buttons(rows, layer, (bottom + 30, min(bottom + 110, wy + wh)))
        if not check(buttons is not None, "the zoom buttons are found under the view"):
            print(s.log())
            return 1
        zoom_in = buttons[0]
        before_gap = median_gap(columns)
        for _ in range(2):
            before = s.grab()[2]
            s.click(*zoom_in)
            check(s.wait_change(before, view) is not None, "a zoom-in redraws the view")
        _, _, rows = s.screenshot("view_zoom4")
        after_gap = median_gap(beat_columns(rows, layer))
        print("beat spacing", before_gap, "->", after_gap)
        check(before_gap > 0 and abs(after_gap - 4 * before_gap) <= 4,
              "two zoom-ins space the beats four times as far apart (%d -> %d)" % (before_gap, after_gap))
        check(s.log().count("Select Condition") == 2, "each zoom-in reports the range's visibility")
        # At zoom 4 the bar can move: two pages to the right put the view
        # past the range's end.
        xdo(s, "mousemove", "--sync", str(left + (right - left) // 2), str(top + 20))
        s.focus(window)
        xdo(s, "key", "Down", "Down")
        _, _, paged = s.screenshot("view_zoom4_paged", s.wait_grab(lambda grab: grab[top + 2] != rows[top + 2]))
        check(paged[top + 2] != rows[top + 2], "the enabled scroll bar pages the view")
        rows = paged

        # A Shift+Right drag at the right edge grabs the range's end: the view
        # scrolls and the pointer is put on the dragged end, left of where the
        # key alone would have put it.
        # The X server hands the program the events in order, so the key
        # comes with Shift held and the pointer at the edge.
        edge = (right - 10, top + (bottom - top) // 4)
        xdo(s, "mousemove", "--sync", str(edge[0]), str(edge[1]))
        s.focus(window)
        xdo(s, "keydown", "shift")
        xdo(s, "key", "Right")
        e2e.wait_for(lambda: pointer(s) != edge, 10)
        moved = pointer(s)
        _, _, dragged = s.screenshot("view_shift_drag", s.wait_still(view))
        xdo(s, "keyup", "shift")
        s.wait_still()
        print("pointer", edge, "->", moved)
        check(moved[0] < edge[0] - 5 and moved[1] == edge[1],
              "the drag at the right edge scrolls and puts the pointer on the edge (%r -> %r)" % (edge, moved))
        check(dragged[top + 2] != rows[top + 2], "the view scrolled during the drag")
        s.screenshot("view_shift_released")

        # Whatever the release showed is answered, then the program ends.
        for _ in range(3):
            boxes = s.windows(e2e.TITLE)
            if len(boxes) < 2:
                break
            s.key(boxes[-1], "Return")
            e2e.wait_for(lambda: boxes[-1] not in s.windows(e2e.TITLE), 10)
        # The drag changed the project: "Yes" drops the change.
        status = s.quit(window, buttons=3)
        check(status == 0, "Ctrl+Q ends the program with status 0, got %r" % status)
        log = s.log()
        check("ERROR: AddressSanitizer" not in log and "runtime error:" not in log,
              "the log holds no sanitizer report")
        if check.failures:
            print(log[-4000:])
    print("screenshots in " + a.out)
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
