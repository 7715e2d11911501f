"""The driver host in the real program: with a driver registry that names the
built-in Null Output Driver, the program with no stored device opens
"ASIO: Null Output Driver"; the audio setup dialog shows it first and
current (OK keeps it); Ctrl+Q (the exit question answered) ends the program
with status 0, storing that name; the driver's capture file is a valid WAV
file; the log holds no sanitizer report."""
import argparse
import configparser
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stelvano_e2e as e2e  # noqa: E402

NULL_DRIVER_CLASS = "{6c1f0d2a-4b8e-4f3a-9d57-2e8a1b0c5f11}"
DEVICE = "ASIO: Null Output Driver"


def wav_problems(path):
    """What is wrong with the capture's header and size (empty when valid)."""
    if not os.path.exists(path):
        return ["no capture file"]
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 44 or data[0:4] != b"RIFF" or data[8:16] != b"WAVEfmt " or data[36:40] != b"data":
        return ["not a canonical WAV header"]
    riff, = struct.unpack("<I", data[4:8])
    tag, channels, rate, byte_rate, align, bits = struct.unpack("<HHIIHH", data[20:36])
    size, = struct.unpack("<I", data[40:44])
    problems = []
    if (tag, channels, rate, align, bits) != (1, 2, 44100, 4, 16) or byte_rate != 176400:
        problems.append("format %r" % ((tag, channels, rate, byte_rate, align, bits),))
    if size == 0 or size % (2048 * 4) != 0:
        problems.append("data size %d is not a whole number of halves" % size)
    if size + 44 != len(data) or riff != size + 36:
        problems.append("sizes %d / %d do not match the file's %d bytes" % (riff, size, len(data)))
    return problems


def wait_gone(session, window, timeout):
    """True once the top-level window `window` is no longer shown."""
    return e2e.wait_for(lambda: window not in session.windows(e2e.TITLE), timeout)


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
        registry = s.path("drivers.ini")
        capture = s.path("capture.wav")
        with open(registry, "w") as f:
            f.write("[driver:Null Output Driver]\nclsid=%s\ncapture=%s\n" % (NULL_DRIVER_CLASS, capture))
        s.env["STELVANO_DRIVER_REGISTRY"] = registry

        window = s.start()
        # Setting > Audio Device Setting ...: the menu bar from the keyboard.
        s.key(window, "alt")
        s.key(window, "Right", "Right", "Down", "Return")
        dialog = s.wait_window(e2e.TITLE, 15, count=2)
        s.screenshot("driver_host_setup")
        # The list opened shows the outputs in order.
        s.key(dialog, "Tab", "Tab", "alt+Down")
        e2e.wait_for(s.popups, 10)
        s.screenshot("driver_host_setup_list", s.wait_still())
        s.key(dialog, "Escape")
        # OK (first in the tab order) takes the current entry.
        s.key(dialog, "Tab", "space")
        check(wait_gone(s, dialog, 15), "OK closes the dialog")

        status = s.quit(window)
        check(status == 0, "Ctrl+Q ends the program with status 0, got %r" % status)

        log = s.log()
        check("loadPreference: Audio Driver = []" in log, "the program starts with no stored device")
        check("savePreference: Audio Driver = [%s]" % DEVICE in log, "it stores the driver's output at exit")
        ini = configparser.ConfigParser(interpolation=None)
        ini.read(s.ini_path())
        check(ini.get("Audio", "AudioDeviceName", fallback=None) == DEVICE,
              "Audio/AudioDeviceName is %r" % ini.get("Audio", "AudioDeviceName", fallback=None))
        for problem in wav_problems(capture):
            check(False, "capture: " + problem)
        for report in ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"):
            check(report not in log, "no sanitizer report (%s)" % report)
        if failures:
            print(log)
    print("screenshots in " + a.out)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
