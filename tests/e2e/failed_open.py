"""Unsaved work survives a project file that cannot be opened, and the menu's
keys work from the fields. The real program opens a project of our making
(a generated 20-s song); Ctrl+E typed with the keyboard focus in the tempo
field and then in a trim field (where it lands after a section choice)
opens the export file dialog each time, which Escape closes. Ctrl+A then
edits the project (Main A becomes the whole song); Ctrl+O, answered "Yes"
(go on without saving), opens a damaged copy of the project, typed into the
file dialog, and "#0110 some error occurs!" is answered with Return. Ctrl+Q must then ask the save question
(Yes, No, Cancel): its "No" leads to the "Save Project File" dialog, and
the file written there holds the edit. Screenshots go to the output
folder."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stelvano_e2e as e2e  # noqa: E402
import project_round_trip as trip  # noqa: E402

EXPORT_DIALOG = "Export file"


def read(path):
    with open(path, "rb") as f:
        return f.read()


def export_dialog_opens(s, window, what, check):
    """Ctrl+E with the focus where it is; the export dialog must show, and
    Escape closes it again."""
    s.key(window, "ctrl+e")
    shown = e2e.wait_for(lambda: s.windows(EXPORT_DIALOG), 15)
    if check(bool(shown), "Ctrl+E with the focus in %s opens the export dialog" % what):
        s.screenshot("export_from_" + what.replace(" ", "_"))
        s.key(shown[-1], "Escape")
        e2e.wait_for(lambda: not s.windows(EXPORT_DIALOG), 10)
    s.wait_still()


def boxes_beside(s, window):
    return [w for w in s.windows(e2e.TITLE) if w != window]


def main():
    a = e2e.arguments("--maker")
    check = e2e.Checks()

    with e2e.Session(a.binary, a.out) as s:
        project = e2e.make_project(a.maker, s.path("project"), 20)["project"]
        folder = os.path.dirname(project)
        original = read(project)
        # A copy cut short: refused by the program.
        damaged = os.path.join(folder, "damaged.svproj")
        with open(damaged, "wb") as f:
            f.write(original[:-7])
        saved_as = os.path.join(folder, "rescued.svproj")

        window = s.start([project])
        try:
            controls = trip.find_controls(s, window)
        except RuntimeError as e:
            check(False, str(e))
            print(s.log()[-4000:])
            return 1
        s.screenshot("opened")

        # The menu's keys from the fields.
        x, y = controls.tempo
        before = s.grab()[2]
        s.click(x, y)
        s.wait_change(before, (x - 40, y - 12, 80, 24), 10)  # the field shows the focus
        export_dialog_opens(s, window, "tempo field", check)
        trip.choose_section(s, controls, "Main A")
        export_dialog_opens(s, window, "trim field", check)

        # An edit, then a damaged project file.
        steps = trip.undo_steps(s)
        s.key(window, "ctrl+a")
        check(trip.wait_logged(s, steps), "Ctrl+A edits the project")
        s.screenshot("edited")
        s.key(window, "ctrl+o")
        # The edit is unsaved: "Yes" goes on without saving.
        s.answer_exit_yes(window, buttons=3)
        s.type_into_dialog("Open Project File", damaged)
        error = e2e.wait_for(lambda: boxes_beside(s, window), 20)
        if check(bool(error), "the damaged file is reported"):
            s.screenshot("open_refused")
            s.key(error[-1], "Return")
            e2e.wait_for(lambda: not boxes_beside(s, window), 10)
        s.wait_still()

        # Quit: the save question, whose "No" saves first.
        s.key(window, "ctrl+q")
        question = e2e.wait_for(lambda: boxes_beside(s, window), 20)
        if check(bool(question), "Ctrl+Q asks before the program ends"):
            s.screenshot("quit_question")
            x, y, w, h = s.geometry(question[-1])
            # Three buttons, 80 pixels wide and 6 apart at the bottom right:
            # "No" is the middle one. On the two-button exit question the
            # same place holds "Yes", which would end without saving.
            s.click(x + w - 51 - 86, y + int(h * 0.68))
        dialog = e2e.wait_for(lambda: s.windows("Save Project File"), 20)
        if check(bool(dialog), "the save question's No offers to save the edited project"):
            s.type_into_dialog("Save Project File", saved_as)
        status = s.wait_exit(60)
        s.check_exit(check, status)
        if check(os.path.exists(saved_as), "the edited project is saved under the new name"):
            check(read(saved_as) != original, "the saved file holds the edit")
            check(read(project) == original, "the opened file is untouched")
    print("screenshots in " + a.out)
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
