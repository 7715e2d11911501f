"""New after an imported song shows the empty view at once. The real program
starts with an empty project (screenshot "fresh"); a generated 20-s song is
imported with Ctrl+I (its wave-info file lies beside it, so no analysis
runs) and the view draws it; Ctrl+N, answered "Yes" (drop the unsaved
import), must leave the view exactly as at the fresh start: no waveform,
beat, label or range pixels, compared pixel by pixel over the view and its
label strip. Screenshots go to the output folder."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stelvano_e2e as e2e  # noqa: E402
import import_audio  # noqa: E402
import wave_view as view  # noqa: E402

LABEL_STRIP = 45  # rows under the channels that the label strip may take


def main():
    a = e2e.arguments("--maker")
    check = e2e.Checks()

    with e2e.Session(a.binary, a.out) as s:
        folder = s.path("songs")
        e2e.make_project(a.maker, folder, 20)
        os.remove(os.path.join(folder, "song.svproj"))
        song = os.path.join(folder, "song.wav")

        window = s.start()
        _, _, fresh = s.screenshot("fresh")
        import_audio.import_song(s, window, song, check)
        wx, wy, ww, wh = s.geometry(window)
        _, _, imported = s.screenshot("imported")
        layer = view.beat_layer(imported, (wx, wy, ww, wh))
        if not check(layer is not None, "the imported song is drawn with its beats"):
            print(s.log()[-4000:])
            return 1
        left, top, right, bottom = layer
        channels = (left, top, right - left + 1, bottom - top + 1)
        box = (left, top, right - left + 1, min(bottom + LABEL_STRIP, wy + wh) - top)
        check(view.count(imported, channels, view.GRAY) > 500, "the imported waveform is drawn in dark gray")

        # The import is an unsaved change: New asks, and Yes drops it.
        s.key(window, "ctrl+n")
        s.answer_exit_yes(window, buttons=3)
        # New is done once the question has gone and the view has changed.
        e2e.wait_for(lambda: s.windows(e2e.TITLE) == [window], 20)
        s.wait_change(imported, box)
        _, _, after = s.screenshot("after_new")
        # The caption "section assigned" is dark gray too, at any time.
        gray, caption = view.count(after, channels, view.GRAY), view.count(fresh, channels, view.GRAY)
        check(gray == caption, "no waveform pixels after New (%d dark gray, %d at the start)" % (gray, caption))
        check(view.beat_layer(after, box) is None, "no beat lines after New")
        changed = e2e.differing(fresh, after, box)
        check(changed == 0, "the view after New is the fresh start's view (%d pixels differ)" % changed)

        s.key(window, "ctrl+q")
        s.answer_exit_yes(window, buttons=2)
        s.check_exit(check, s.wait_exit(60))
    print("screenshots in " + a.out)
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
