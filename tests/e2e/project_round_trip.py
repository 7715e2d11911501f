"""A project round trip in the real program: a generated 30-s song at 120 BPM
with "Intro 1" and "Main A"; Ctrl+O opens it through the file dialog, Ctrl+A
gives Main A the whole audio, Ctrl+Z and Ctrl+Y undo and redo it, Ctrl+S saves
without a dialog and Ctrl+Q, answered Yes, ends the program. A second run
with the file saves it under a second name with Ctrl+Shift+S. Both files
must be byte-identical to what the engine writes for the same edits
(replay_edits). Screenshots go to the output folder."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stelvano_e2e as e2e  # noqa: E402


def read(path):
    with open(path, "rb") as f:
        return f.read()


def type_into_dialog(session, title, text):
    dialog = session.wait_window(title, 30)
    session.focus(dialog)
    time.sleep(0.3)
    subprocess.run(["xdotool", "type", "--delay", "5", text], env=session.env, check=True)
    session.key(dialog, "Return")


def main():
    a = e2e.arguments("--maker", "--replay")
    check = e2e.Checks()

    with e2e.Session(a.binary, a.out) as s:
        folder = s.path("project")
        made = subprocess.run([a.maker, folder, "30"], check=True, capture_output=True, text=True).stdout
        facts = dict(line.split("=", 1) for line in made.splitlines() if "=" in line)
        project = facts["project"]
        original = s.path("original.svproj")
        with open(original, "wb") as f:
            f.write(read(project))

        window = s.start()
        s.key(window, "ctrl+o")
        type_into_dialog(s, "Open Project File", project)
        time.sleep(1.0)
        s.screenshot("round_trip_opened")
        for keys in ("ctrl+a", "ctrl+z", "ctrl+y"):
            s.key(window, keys)
            time.sleep(0.5)
        s.screenshot("round_trip_edited")
        s.key(window, "ctrl+s")
        time.sleep(1.0)
        s.key(window, "ctrl+q")
        # "Do you wish to exit?": No is the default, Yes comes first.
        s.wait_window("Stelvano", 20, count=2)
        s.screenshot("round_trip_exit_question")
        s.answer_exit_yes(window)
        status = s.wait_exit(30)
        check(status == 0, "Ctrl+Q answered Yes ends the program (status %s)" % status)

        expected = s.path("expected.svproj")
        subprocess.run([a.replay, "select-all", original, expected], check=True)
        check(read(project) == read(expected), "the saved project equals the engine's replay")

        second = os.path.join(folder, "second.svproj")
        window = s.start([project])
        s.key(window, "ctrl+shift+s")
        type_into_dialog(s, "Save Project File", second)
        time.sleep(1.0)
        s.screenshot("round_trip_saved_as")
        check(os.path.exists(second) and read(second) == read(expected),
              "Save As writes the same bytes under the second name")
        s.program.kill()
        if check.failures:
            print(s.log())
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
