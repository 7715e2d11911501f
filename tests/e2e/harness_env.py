"""The harness gives the program an environment of its own, whatever the
caller's. This script sets a hostile session against it (a scale factor, a
German locale, another style and input method, a font configuration and a
configuration folder holding a driver registry that names a missing
driver, a GL integration to probe) and starts the program under the
harness with the dynamic loader's file trace on. The program must get only
the harness's variables (none of the caller's values), load no GL driver
(no Mesa DRI module, no LLVM), map only the font faces the harness names,
list no driver from the caller's registry, and end with status 0 and no
sanitizer report at Ctrl+Q."""
import glob
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stelvano_e2e as e2e  # noqa: E402

# What the harness passes on from the caller, and what it sets itself; the
# loader's trace is this test's own addition.
TAKEN_OVER = {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}
SET_BY_HARNESS = {
    "LANG", "HOME", "XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "TMPDIR",
    "DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM", "QT_XCB_GL_INTEGRATION", "DBUS_SESSION_BUS_ADDRESS",
    "FONTCONFIG_FILE", "STELVANO_AUDIO_NULL", "STELVANO_AUDIO_ALSA",
}
TRACE = {"LD_DEBUG", "LD_DEBUG_OUTPUT"}


def hostile_session(folder):
    """Variables a desktop session may carry, each one able to change what
    the program shows or loads; returns them."""
    registry = os.path.join(folder, "config", "Tanvek", "Stelvano")
    os.makedirs(registry)
    with open(os.path.join(registry, "drivers.ini"), "w") as f:
        f.write("[driver:Caller's Missing Driver]\nclsid={00000000-1111-2222-3333-444444444444}\n"
                "[classes]\n{00000000-1111-2222-3333-444444444444}=/nonexistent/libdriver.so\n")
    return {
        "QT_SCALE_FACTOR": "2",
        "QT_FONT_DPI": "192",
        "QT_STYLE_OVERRIDE": "windows",
        "QT_IM_MODULE": "ibus",
        "QT_XCB_GL_INTEGRATION": "xcb_glx",
        "LANG": "de_DE.UTF-8",
        "LC_ALL": "de_DE.UTF-8",
        "XDG_CONFIG_HOME": os.path.join(folder, "config"),
        "FONTCONFIG_FILE": os.path.join(folder, "missing-fonts.conf"),
        "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(folder, "caller-bus"),
        "STELVANO_DRIVER_REGISTRY": os.path.join(registry, "drivers.ini"),
        "STELVANO_AUDIO_CAPTURE": os.path.join(folder, "caller-capture.wav"),
    }


def environment_of(pid):
    with open("/proc/%d/environ" % pid, "rb") as f:
        pairs = [item.decode("utf-8", "replace") for item in f.read().split(b"\0") if item]
    return dict(p.split("=", 1) for p in pairs if "=" in p)


def mapped_files(pid):
    with open("/proc/%d/maps" % pid) as f:
        return {line.split(None, 5)[5].strip() for line in f if len(line.split(None, 5)) == 6}


def main():
    a = e2e.arguments()
    check = e2e.Checks()
    caller = os.path.join(os.path.abspath(a.out), "caller")
    shutil.rmtree(caller, ignore_errors=True)
    os.makedirs(caller)
    hostile = hostile_session(caller)
    os.environ.update(hostile)

    with e2e.Session(a.binary, a.out) as s:
        trace = s.path("ld-debug")
        s.env.update({"LD_DEBUG": "files", "LD_DEBUG_OUTPUT": trace})
        window = s.start()
        pid = s.program.pid

        env = environment_of(pid)
        names = set(env)
        check(names <= TAKEN_OVER | SET_BY_HARNESS | TRACE,
              "the program gets only the harness's variables, also got %s" %
              sorted(names - TAKEN_OVER - SET_BY_HARNESS - TRACE))
        check(SET_BY_HARNESS <= names, "the harness sets %s" % sorted(SET_BY_HARNESS - names))
        for name, value in hostile.items():
            check(env.get(name) != value, "the caller's %s=%s does not reach the program" % (name, value))
        check(env.get("QT_XCB_GL_INTEGRATION") == "none", "no GL integration is probed")
        for name in ("HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "TMPDIR"):
            check(env.get(name, "").startswith(s.root), "%s is the session's own folder" % name)

        files = mapped_files(pid)
        gl = sorted(f for f in files if f.endswith("_dri.so") or "libLLVM" in f or "libGLX_mesa" in f)
        check(not gl, "no GL driver is mapped, found %s" % gl)
        fonts = sorted(f for f in files if f.endswith((".ttf", ".otf", ".pfb", ".pcf.gz", ".ttc")))
        print("font files mapped:", fonts)
        check(set(fonts) <= set(e2e.FONT_FILES.values()), "only the harness's faces are used, got %s" % fonts)
        check(e2e.FONT_FILES["Liberation Sans"] in fonts, "the forms' Arial is drawn in Liberation Sans")

        s.check_exit(check, s.quit(window))

        # The loader's trace of the whole run, start to exit.
        loaded = []
        for path in glob.glob(trace + ".*"):
            with open(path, errors="replace") as f:
                loaded += [line.split("file=", 1)[1].split()[0] for line in f if "file=" in line]
        check(loaded, "the loader traced the program's files")
        gl = sorted({f for f in loaded if f.endswith("_dri.so") or "libLLVM" in f})
        check(not gl, "the loader loads no GL driver in the whole run, loaded %s" % gl)
        log = s.log()
        check("Caller's Missing Driver" not in log, "the caller's driver registry is not read")
        check(not os.path.exists(hostile["STELVANO_AUDIO_CAPTURE"]), "the caller's capture file is not written")
        if check.failures:
            print(log[-4000:])
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
