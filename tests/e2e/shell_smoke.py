"""Smoke test of the main window: the real program on a private X server
shows a window titled "Stelvano"; Ctrl+Q ends it with status 0 and the
settings file holds the window's placement."""
import argparse
import configparser
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stelvano_e2e as e2e  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--out", required=True)
    a = parser.parse_args()

    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)
            print("FAILED: " + what)

    with e2e.Session(a.binary, a.out) as s:
        window = s.start()
        x, y, w, h = s.geometry(window)
        _, _, rows = s.screenshot("shell_start")
        check(w >= 600 and h >= 500, "the window has the form's size, got %dx%d" % (w, h))
        check(e2e.distinct_colours(rows, (x, y, w, h)) > 8, "the window shows its controls")

        # Asked whether to exit: the question's "Yes" is the button before
        # its default "No".
        status = s.quit(window, screenshot="shell_exit_question")
        check(status == 0, "Ctrl+Q ends the program with status 0, got %r" % status)

        ini = configparser.ConfigParser()
        ini.read(s.ini_path())
        check(ini.has_section("MainWindow"), "the settings hold the MainWindow group")
        for key in ("GeometryX", "GeometryY", "GeometryW", "GeometryH", "Maximized"):
            check(ini.has_option("MainWindow", key), "MainWindow/%s is stored" % key)
        if ini.has_option("MainWindow", "GeometryW"):
            check(ini.getint("MainWindow", "GeometryW") == w, "the stored width is the window's")
        if failures:
            print(s.log())
    print("screenshots in " + a.out)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
