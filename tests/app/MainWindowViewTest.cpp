// The main window's waveform view over a project of our making: the layer
// layout and when the layers rebuild, zoom and scroll, drags and keys on
// the waveform (with key events as X11 delivers them), the play line while
// the null output plays, and the program's platform choice.
#include "BeatGrid.h"
#include "MainWindowTestAccess.h"
#include "MessageDialog.h"
#include "PlatformChoice.h"
#include "ProjectWindowTest.h"
#include "TestProject.h"
#include "TestUtil.h"
#include "WavSeeker_libSndFile.h"
#include "wavPainterSeeker.h"

#include <QCursor>
#include <QDir>
#include <QFileOpenEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

using Access = MainWindowTestAccess;

namespace {

// A song of our making with "Intro 1" over bars 1 and 2 and "Main A" over
// bars 3 to 6, written once per length and tempo for the whole program.
const testproject::Made& song(double seconds, double bpm)
{
    static QTemporaryDir folder;
    static std::map<std::pair<double, double>, testproject::Made> made;
    const auto key = std::make_pair(seconds, bpm);
    if (!made.count(key)) {
        const QString sub = QString("song-%1-%2").arg(seconds).arg(bpm);
        QDir(folder.path()).mkpath(sub);
        const QString error = testproject::writeProject(folder.filePath(sub), {seconds, bpm}, made[key]);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    }
    return made[key];
}

const testproject::Made& songA()
{
    return projectwindow::song();
}

// Another song, slower.
const testproject::Made& songB()
{
    return song(18.0, 100.0);
}

// The nearest candidate among 0, the marks and the last sample, the later
// one on a tie; 0 counts only below the first mark and the last sample
// only above the last mark.
int32_t nearestMark(int32_t s, const std::vector<uint32_t>& marks, uint32_t total)
{
    if (marks.empty())
        return s;
    std::vector<int64_t> candidates(marks.begin(), marks.end());
    if (s < int64_t(marks.front()))
        candidates.insert(candidates.begin(), 0);
    if (s > int64_t(marks.back()))
        candidates.push_back(int64_t(total) - 1);
    int64_t best = candidates.front();
    for (int64_t c : candidates) {
        if (std::llabs(c - s) <= std::llabs(best - s))
            best = c;
    }
    return int32_t(best);
}

// Counts the rebuilds of the waveform layers: paints while `dirty` is set.
class RebuildCounter : public QObject {
public:
    explicit RebuildCounter(const std::vector<wavPainter*>& layers) : m_layers(layers)
    {
        for (wavPainter* layer : m_layers)
            layer->installEventFilter(this);
    }
    ~RebuildCounter() override
    {
        for (wavPainter* layer : m_layers)
            layer->removeEventFilter(this);
    }
    std::vector<int> counts() const
    {
        std::vector<int> c;
        for (wavPainter* layer : m_layers)
            c.push_back(m_counts.count(layer) ? m_counts.at(layer) : 0);
        return c;
    }
    void reset() { m_counts.clear(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* layer = static_cast<wavPainter*>(watched);
        if (event->type() == QEvent::Paint && layer->dirty && !layer->suspended)
            ++m_counts[layer];
        return false;
    }

private:
    std::vector<wavPainter*> m_layers;
    std::map<wavPainter*, int> m_counts;
};

class WaveViewTest : public projectwindow::ProjectWindowTest {
protected:
    // The window shown at a fixed size with `project` open, laid out and
    // painted.
    MainWindow& open(const QString& project)
    {
        ProjectWindowTest::open(project);
        w().show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&w()));
        paint();
        return w();
    }
    void paint()
    {
        w().repaint();
        QCoreApplication::processEvents();
    }
    wavPainter* layer(int i) { return Access::layers(w())[size_t(i)]; }
    // Frame point over the top waveform at a view column.
    QPoint atColumn(int column) { return QPoint(layer(0)->x() + column, layer(0)->geometry().center().y()); }
    QPoint toWindow(const QPoint& framePoint) { return w().mFrameWav->mapTo(&w(), framePoint); }
    void pointerTo(const QPoint& framePoint) { QCursor::setPos(w().mFrameWav->mapToGlobal(framePoint)); }
    // Pointer events through the window system, as a real pointer sends
    // them; the pointer position follows.
    void press(const QPoint& framePoint, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        pointerTo(framePoint);
        QTest::mousePress(w().windowHandle(), Qt::LeftButton, m, toWindow(framePoint));
    }
    void moveTo(const QPoint& framePoint)
    {
        pointerTo(framePoint);
        QTest::mouseMove(w().windowHandle(), toWindow(framePoint));
    }
    void release(const QPoint& framePoint, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        QTest::mouseRelease(w().windowHandle(), Qt::LeftButton, m, toWindow(framePoint));
    }
    // A key event as X11 delivers it: the modifiers from before the event.
    void key(QEvent::Type type, int k, Qt::KeyboardModifiers reported)
    {
        QKeyEvent event(type, k, reported);
        QApplication::sendEvent(&w(), &event);
    }
    // How often a drag handed its range on to the section: each hand-on
    // is one undo step of the section edit.
    int handOns()
    {
        CKRMcore& core = Access::core(w());
        int n = 0;
        for (; core.canUndo(); ++n)
            core.undo();
        for (int i = 0; i < n; ++i)
            core.redo();
        return n;
    }
    // The clamped sample at a view column, as the mapping of the layers
    // gives it.
    int32_t sampleAtColumn(int column) { return layer(0)->xToSample(column, true); }
    Qt::CursorShape overrideShape() const
    {
        return QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::BitmapCursor;
    }
};

TEST_F(WaveViewTest, AnOpenedProjectShowsMainAWithItsAudioMarksAndRange)
{
    const testproject::Made& song = songA();
    open(song.projectPath);
    EXPECT_TRUE(boxes.shown().isEmpty());
    EXPECT_EQ(w().mCmbTrimSec->currentText(), "Main A");
    EXPECT_EQ(w().mCmbWav->currentText(), "song.wav");
    EXPECT_EQ(Access::maxZoom(w()), secondsToSamples(song.onsets.back())) << "the audio up to its last onset";
    ASSERT_EQ(Access::layers(w()).size(), 7u);

    // The beats of the section's grid, and its stored range as selection.
    std::vector<uint32_t> beats;
    for (size_t i = 0; i < song.beats.size(); i += 2)
        beats.push_back(secondsToSamples(song.beats[i]));
    EXPECT_EQ(Access::beatMarks(w()), beats);
    EXPECT_EQ(Access::selectionStart(w()), int32_t(song.mainStart));
    EXPECT_EQ(Access::selectionEnd(w()), int32_t(song.mainEnd));
    auto* selection = dynamic_cast<wavPainterSelecter*>(layer(5));
    ASSERT_TRUE(selection);
    EXPECT_TRUE(selection->drawLayerEnabled);
    EXPECT_EQ(selection->selectionStart, song.mainStart);
    EXPECT_EQ(selection->selectionEnd, song.mainEnd);

    // Both sections on this audio are labelled; bars are accented from
    // Main A's first beat.
    auto* labels = dynamic_cast<wavPainterMetaLineDur*>(layer(3));
    ASSERT_TRUE(labels && labels->data());
    ASSERT_EQ(labels->data()->size(), 2u);
    EXPECT_EQ((*labels->data())[0].label, "Intro 1");
    EXPECT_EQ((*labels->data())[1].label, "Main A");
    EXPECT_EQ((*labels->data())[1].start, song.mainStart);
    auto* beatLayer = dynamic_cast<wavPainterMetaLine*>(layer(2));
    ASSERT_TRUE(beatLayer);
    EXPECT_EQ(beatLayer->accentPeriod, 4);
    EXPECT_EQ(beatLayer->accentOrigin, 8);
    EXPECT_FALSE(layer(6)->drawLayerEnabled) << "the play line shows only while playing";

    // Colours of the stack, and the waveform drawn from the file.
    const QColor colours[7][3] = {
        {Qt::darkGray, Qt::white, Qt::black},
        {Qt::darkGray, Qt::white, Qt::black},
        {Qt::blue, Qt::transparent, Qt::transparent},
        {Qt::red, Qt::white, Qt::transparent},
        {Qt::darkGray, Qt::transparent, Qt::transparent},
        {Qt::white, Qt::transparent, Qt::transparent},
        {Qt::green, Qt::transparent, Qt::transparent},
    };
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(layer(i)->layerColor, colours[i][0]) << i;
        EXPECT_EQ(layer(i)->backgroundColor, colours[i][1]) << i;
        EXPECT_EQ(layer(i)->centerLineColor, colours[i][2]) << i;
    }
    auto* left = dynamic_cast<wavPainterSeeker*>(layer(0));
    ASSERT_TRUE(left && left->source());
    EXPECT_EQ(left->peaks.size(), size_t(left->width()));
    EXPECT_TRUE(std::any_of(left->peaks.begin(), left->peaks.end(), [&](const std::pair<int, int>& p) {
        return p.second < p.first - 4;
    })) << "the song's columns span more than a few rows";
}

TEST_F(WaveViewTest, AMissingAudioFileKeepsTheGivenMarksAndTheView)
{
    QTemporaryDir folder;
    testproject::Made song;
    ASSERT_EQ(testproject::writeProject(folder.path(), {16.0, 120.0}, song), QString());
    open(song.projectPath);
    EXPECT_EQ(w().mCmbWav->toolTip(), song.wavPath) << "the combo names the whole path";
    std::vector<uint32_t> halves;
    for (float t : song.beats)
        halves.push_back(secondsToSamples(t));
    EXPECT_EQ(Access::halfBeatMarks(w()), halves) << "every beat and off-beat of the file";

    // Gone from disk: the whole-section view keeps its provisional marks, one
    // per beat of Main A's four bars, and the layers stay usable.
    ASSERT_TRUE(QFile::rename(song.wavPath, song.wavPath + ".gone"));
    QMetaObject::invokeMethod(&w(), "releasedBtnViewerWav");
    paint();
    EXPECT_EQ(Access::beatMarks(w()), std::vector<uint32_t>(16, 0));
    EXPECT_EQ(Access::layers(w()).size(), 7u);
    w().mBtnHorZoomIn->click();
    paint();
    EXPECT_EQ(Access::zoom(w()), 2u);
}

TEST_F(WaveViewTest, LayersFollowTheFrameAndRebuildOnlyWhenTheViewChanges)
{
    open(songA().projectPath);
    const auto table = [this] {
        const QRect f = w().mFrameWav->geometry();
        const int half = (f.height() - f.y() - 69) / 2;
        const int width = f.width() - f.x() - 1;
        const QRect left(f.x(), f.y() + 10, width, half);
        const QRect right(f.x(), f.y() + 20 + half, width, half);
        const QRect whole(f.x(), f.y() + 10, width, 2 * half + 10);
        const QRect strip(f.x(), f.y() + 30 + 2 * half, width, 28);
        return std::vector<QRect> {left, right, whole, strip, strip, whole, whole};
    };
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(layer(i)->geometry(), table()[size_t(i)]) << "layer " << i << " after the first paint";

    RebuildCounter rebuilds({layer(0), layer(1)});
    paint();
    EXPECT_EQ(rebuilds.counts(), std::vector<int>({0, 0})) << "an unchanged repaint rebuilds nothing";

    struct Step {
        const char* name;
        std::function<void()> change;
    };
    const Step steps[] = {
        {"resize", [this] { w().resize(1040, 660); }},
        {"zoom in", [this] { w().mBtnHorZoomIn->click(); }},
        {"scroll", [this] { w().mScrollBar->setValue(30); }},
    };
    for (const Step& step : steps) {
        rebuilds.reset();
        step.change();
        paint();
        paint();
        EXPECT_EQ(rebuilds.counts(), std::vector<int>({1, 1})) << step.name;
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(layer(i)->geometry(), table()[size_t(i)]) << step.name << ", layer " << i;
    }

    // With a layer missing nothing is laid out and no flag is touched; with
    // one too many only the rebuild flags are set.
    std::vector<wavPainter*>& stack = Access::layers(w());
    const QRect moved(0, 0, 50, 20);
    wavPainter* line = stack.back();
    stack.pop_back();
    layer(0)->setGeometry(moved);
    layer(0)->dirty = false;
    w().resize(1000, 640);
    paint();
    EXPECT_EQ(layer(0)->geometry(), moved);
    EXPECT_FALSE(layer(0)->dirty);
    stack.push_back(line);

    auto* extra = new wavPainter(1, 1, 0.0, w().mFrameWav);
    stack.push_back(extra);
    rebuilds.reset();
    w().resize(1020, 650);
    paint();
    EXPECT_EQ(layer(0)->geometry(), moved);
    EXPECT_EQ(rebuilds.counts(), std::vector<int>({1, 1}));
    stack.pop_back();
    delete extra;
}

TEST_F(WaveViewTest, OpeningAnotherProjectAtTheSameSizeDrawsItsAudio)
{
    open(songA().projectPath);
    const std::vector<std::pair<int, int>> before = dynamic_cast<wavPainterSeeker*>(layer(0))->peaks;
    QFileOpenEvent openB(songB().projectPath);
    QCoreApplication::sendEvent(&w(), &openB);
    paint();
    EXPECT_TRUE(boxes.shown().isEmpty());

    // The peaks of B's file at the same geometry, drawn by a layer of its
    // own.
    WavSeeker_libSndFile reader(songB().wavPath.toStdWString());
    for (int channel : {0, 1}) {
        auto* shown = dynamic_cast<wavPainterSeeker*>(layer(channel));
        wavPainterSeeker reference(&reader, uint8_t(channel), Access::maxZoom(w()), 1, 0.0);
        reference.resize(shown->size());
        reference.rebuild();
        EXPECT_EQ(shown->peaks, reference.peaks) << "channel " << channel;
    }
    EXPECT_NE(dynamic_cast<wavPainterSeeker*>(layer(0))->peaks, before);
}

TEST_F(WaveViewTest, NewAfterASongShowsTheEmptyViewOfAFreshStartAtOnce)
{
    open(QString());
    const QImage empty = w().mFrameWav->grab().toImage();
    QFileOpenEvent openA(songA().projectPath);
    QCoreApplication::sendEvent(&w(), &openA);
    paint();
    ASSERT_NE(w().mFrameWav->grab().toImage(), empty) << "the song is drawn";
    // Zoomed in and scrolled, so the empty view must also reset the zoom.
    QMetaObject::invokeMethod(&w(), "releasedBtnHorZoomIn");
    QMetaObject::invokeMethod(&w(), "releasedBtnHorZoomIn");
    w().mScrollBar->setValue(60);

    QMetaObject::invokeMethod(&w(), "newProject");
    EXPECT_TRUE(boxes.shown().isEmpty());
    // Only the updates that New itself asked for are painted.
    QCoreApplication::processEvents();
    for (int channel : {0, 1}) {
        auto* wave = dynamic_cast<wavPainterSeeker*>(layer(channel));
        ASSERT_TRUE(wave);
        EXPECT_EQ(wave->source(), nullptr) << "channel " << channel;
        EXPECT_TRUE(wave->peaks.empty()) << "channel " << channel;
        EXPECT_EQ(wave->totalSamples, 0u);
    }
    EXPECT_TRUE(Access::beatMarks(w()).empty());
    auto* labels = dynamic_cast<wavPainterMetaLineDur*>(layer(3));
    ASSERT_TRUE(labels && labels->data());
    EXPECT_TRUE(labels->data()->empty());
    EXPECT_FALSE(layer(5)->drawLayerEnabled) << "no selection";
    EXPECT_EQ(Access::zoom(w()), 1u);
    EXPECT_EQ(w().mScrollBar->maximum(), 0);
    EXPECT_EQ(w().mFrameWav->grab().toImage(), empty) << "the view of a fresh start";
}

TEST_F(WaveViewTest, ZoomAndScrollStayInRange)
{
    open(songA().projectPath);
    QScrollBar* bar = w().mScrollBar;
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_EQ(Access::zoom(w()), 1u);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 0) << "zoom 1: nothing to scroll";

    w().mBtnHorZoomIn->click();
    w().mBtnHorZoomIn->click();
    EXPECT_EQ(Access::zoom(w()), 4u);
    EXPECT_EQ(bar->maximum(), 150);
    EXPECT_EQ(bar->pageStep(), 50);
    bar->setValue(75);
    EXPECT_DOUBLE_EQ(Access::position(w()), 1.5);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(layer(i)->zoom, 4u);
        EXPECT_DOUBLE_EQ(layer(i)->offset, 1.5);
    }

    Access::setView(w(), 3, 1.0);
    w().mBtnHorZoomOut->click();
    EXPECT_EQ(Access::zoom(w()), 1u) << "out from 3";
    EXPECT_EQ(Access::position(w()), 0.0);
    w().mBtnHorZoomOut->click();
    EXPECT_EQ(Access::zoom(w()), 1u) << "out from 1";
    EXPECT_EQ(Access::position(w()), 0.0);

    // In stops at one sample per width.
    const uint32_t length = Access::maxZoom(w());
    for (int i = 0; i < 24; ++i)
        w().mBtnHorZoomIn->click();
    EXPECT_EQ(Access::zoom(w()), length);
    w().mBtnHorZoomIn->click();
    EXPECT_EQ(Access::zoom(w()), length);
    EXPECT_EQ(bar->maximum(), int(50 * int64_t(length) - 50));
    EXPECT_LE(Access::position(w()), double(length - 1));

    // Settings from outside are kept in range too.
    Access::setView(w(), int64_t(length) * 4, 1e12);
    EXPECT_EQ(Access::zoom(w()), length);
    EXPECT_EQ(Access::position(w()), double(length - 1));
    Access::setView(w(), 0, -3.0);
    EXPECT_EQ(Access::zoom(w()), 1u);
    EXPECT_EQ(Access::position(w()), 0.0);
}

TEST_F(WaveViewTest, AudioWithoutOnsetsStaysAtZoomOneAndTakesDragsAndKeys)
{
    open(songA().projectPath);
    ASSERT_EQ(Access::core(w()).updateOnset(0, {}), 0u);
    QMetaObject::invokeMethod(&w(), "releasedBtnViewerWav");
    paint();
    EXPECT_EQ(Access::maxZoom(w()), 0u);
    w().mBtnHorZoomIn->click();
    w().mBtnHorZoomIn->click();
    EXPECT_EQ(Access::zoom(w()), 1u);
    EXPECT_EQ(w().mScrollBar->maximum(), 0);
    paint();

    press(atColumn(100));
    moveTo(atColumn(200));
    release(atColumn(200));
    pointerTo(atColumn(300));
    key(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    key(QEvent::KeyPress, Qt::Key_Right, Qt::ShiftModifier);
    key(QEvent::KeyPress, Qt::Key_Down, Qt::ShiftModifier);
    key(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
    key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    paint();
    EXPECT_EQ(Access::selectionStart(w()), 0);
    EXPECT_EQ(Access::selectionEnd(w()), 0);
}

TEST_F(WaveViewTest, TheWholeSectionViewNeedsASection)
{
    open(songA().projectPath);
    {
        const QSignalBlocker quiet(w().mCmbTrimSec);
        w().mCmbTrimSec->setCurrentIndex(-1);
    }
    QMetaObject::invokeMethod(&w(), "releasedBtnViewerWav");
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].title, "Stelvano");
    EXPECT_EQ(boxes.shown()[0].text, "Internal Error #0097 ");
}

TEST_F(WaveViewTest, SnappingTakesTheNearestMarkOrAnEndOfTheAudio)
{
    open(songA().projectPath);
    Access::setMaxZoom(w(), 3001);
    const std::vector<uint32_t> marks {1000, 2000};
    const std::pair<int32_t, int32_t> cases[] = {
        {400, 0},     {500, 1000},  {499, 0},     {1000, 1000}, {1499, 1000},
        {1500, 2000}, {2499, 2000}, {2500, 3000}, {3000, 3000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Access::snap(w(), c.first, marks), c.second) << c.first;
    EXPECT_EQ(Access::snap(w(), 1234, {}), 1234) << "no marks: the sample itself";
}

TEST_F(WaveViewTest, ADragMarksARangeSnappedToTheBeatsUnlessBarsAreManual)
{
    const testproject::Made& song = songA();
    open(song.projectPath);
    const std::vector<uint32_t> marks = Access::beatMarks(w());
    const uint32_t total = Access::maxZoom(w());
    for (bool manual : {false, true}) {
        w().mChkManual->setChecked(manual);
        const int before = handOns();
        press(atColumn(101));
        moveTo(atColumn(250));
        moveTo(atColumn(423));
        release(atColumn(423));
        const int32_t start = sampleAtColumn(101);
        const int32_t end = sampleAtColumn(423);
        EXPECT_EQ(Access::selectionStart(w()), manual ? start : nearestMark(start, marks, total)) << manual;
        EXPECT_EQ(Access::selectionEnd(w()), manual ? end : nearestMark(end, marks, total)) << manual;
        EXPECT_TRUE(Access::selectionExists(w()));
        EXPECT_EQ(handOns() - before, 1) << "the release hands the range on once";
        EXPECT_EQ(Access::dragAnchor(w()), QPoint(-1, 0));
        auto* selection = dynamic_cast<wavPainterSelecter*>(layer(5));
        EXPECT_EQ(selection->selectionEnd, uint32_t(Access::selectionEnd(w())));
    }

    // A click alone hands nothing on when no drag is running.
    const int before = handOns();
    QTest::mouseClick(w().windowHandle(), Qt::RightButton, Qt::NoModifier, toWindow(atColumn(300)));
    EXPECT_EQ(handOns(), before);
}

TEST_F(WaveViewTest, ShiftOverTheRangeGrabsAnEdgeOrTheWhole)
{
    const testproject::Made& song = songA();
    open(song.projectPath);
    const int xs = Access::columnOf(w(), song.mainStart);
    const int xe = Access::columnOf(w(), song.mainEnd);
    struct Case {
        const char* where;
        int column;
        uint8_t zone;
        Qt::CursorShape shape;
    };
    const Case cases[] = {
        {"start edge", xs + 1, 1, Qt::SplitHCursor},
        {"inside", (xs + xe) / 2, 2, Qt::SizeHorCursor},
        {"end edge", xe - 1, 0, Qt::SplitHCursor},
        {"right of the range", xe + 40, 0, Qt::SplitHCursor},
    };
    // X11 reports the modifiers from before a key event: no Shift with the
    // press of Shift, still Shift with its release. Other platforms report
    // them from after it. Either way Shift counts from press to release.
    struct Convention {
        const char* name;
        Qt::KeyboardModifiers atPress;
        Qt::KeyboardModifiers atRelease;
    };
    const Convention conventions[] = {
        {"as X11 sends them", Qt::NoModifier, Qt::ShiftModifier},
        {"with the modifiers from after the event", Qt::ShiftModifier, Qt::NoModifier},
    };
    for (const Convention& k : conventions) {
        for (const Case& c : cases) {
            pointerTo(atColumn(c.column));
            key(QEvent::KeyPress, Qt::Key_Shift, k.atPress);
            EXPECT_EQ(Access::edgeZone(w()), c.zone) << k.name << ", " << c.where;
            EXPECT_EQ(overrideShape(), c.shape) << k.name << ", " << c.where;
            key(QEvent::KeyRelease, Qt::Key_Shift, k.atRelease);
            EXPECT_EQ(Access::edgeZone(w()), 3) << k.name << ", " << c.where;
            EXPECT_EQ(QApplication::overrideCursor(), nullptr) << k.name << ", " << c.where;
        }
    }
}

TEST_F(WaveViewTest, AWholeRangeDragIsPinnedAtBothEndsOfTheAudio)
{
    const testproject::Made& song = songA();
    open(song.projectPath);
    const int32_t width = int32_t(song.mainEnd - song.mainStart);
    const int32_t last = int32_t(Access::maxZoom(w())) - 1;
    const QPoint middle =
        atColumn((Access::columnOf(w(), song.mainStart) + Access::columnOf(w(), song.mainEnd)) / 2);
    pointerTo(middle);
    key(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    ASSERT_EQ(Access::edgeZone(w()), 2);
    press(middle, Qt::ShiftModifier);
    moveTo(atColumn(0));
    EXPECT_EQ(Access::selectionStart(w()), 0);
    EXPECT_EQ(Access::selectionEnd(w()), width);
    moveTo(atColumn(Access::viewWidth(w())));
    EXPECT_EQ(Access::selectionStart(w()), last - width);
    EXPECT_EQ(Access::selectionEnd(w()), last);
    release(atColumn(Access::viewWidth(w())), Qt::ShiftModifier);
    key(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_EQ(handOns(), 1);
}

TEST_F(WaveViewTest, AnEdgeDraggedToTheRightScrollsAndThePointerFollowsTheEdge)
{
    const testproject::Made& song = songA();
    open(song.projectPath);
    for (int i = 0; i < 3; ++i)
        w().mBtnHorZoomIn->click();
    ASSERT_EQ(Access::zoom(w()), 8u);
    const uint32_t total = Access::maxZoom(w());
    // The view's middle on the end of Main A.
    const double position = double(song.mainEnd) / total * 8 - 0.5;
    w().mScrollBar->setValue(int(std::lround(position * 50)));
    const int xe = Access::columnOf(w(), song.mainEnd);
    ASSERT_GT(xe, 100);
    pointerTo(atColumn(xe + 2));
    key(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    ASSERT_EQ(Access::edgeZone(w()), 0);
    press(atColumn(xe + 2), Qt::ShiftModifier);

    const int value = w().mScrollBar->value();
    const int width = Access::viewWidth(w());
    moveTo(atColumn(width - 10));
    EXPECT_EQ(w().mScrollBar->value(), value + 2);
    // Where the new end is drawn now, by the mapping's own formula.
    const double offset = (value + 2) / 50.0;
    const int32_t end = Access::selectionEnd(w());
    const int column = int(std::floor((double(end) / total * 8 - offset) * width + 0.5));
    EXPECT_EQ(QCursor::pos(), w().mFrameWav->mapToGlobal(atColumn(column)));
    EXPECT_EQ(Access::dragAnchor(w()).x(), atColumn(column).x());
    release(atColumn(column), Qt::ShiftModifier);
    key(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
}

TEST_F(WaveViewTest, ShiftAndArrowsDragFromTheKeyboardWithX11KeyEvents)
{
    const testproject::Made& song = songA();
    open(song.projectPath);
    const std::vector<uint32_t> marks = Access::beatMarks(w());
    const int xe = Access::columnOf(w(), song.mainEnd);
    pointerTo(atColumn(xe + 20));
    key(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    ASSERT_EQ(Access::edgeZone(w()), 0) << "Shift arms the zones";

    const QPoint before = QCursor::pos();
    key(QEvent::KeyPress, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(QCursor::pos(), before + QPoint(10, 0));
    EXPECT_TRUE(Access::keyDrag(w()));
    EXPECT_EQ(Access::selectionStart(w()), int32_t(song.mainStart));
    EXPECT_EQ(Access::selectionEnd(w()), nearestMark(sampleAtColumn(xe + 30), marks, Access::maxZoom(w())));
    key(QEvent::KeyPress, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(QCursor::pos(), before + QPoint(9, 0));
    EXPECT_EQ(overrideShape(), Qt::SplitHCursor);

    key(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_FALSE(Access::keyDrag(w()));
    EXPECT_EQ(Access::dragAnchor(w()), QPoint(-1, 0)) << "releasing Shift ends the drag";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(handOns(), 1);
}

TEST_F(WaveViewTest, ArrowsScrollByOneStepAndByAPage)
{
    open(songA().projectPath);
    w().mBtnHorZoomIn->click();
    w().mBtnHorZoomIn->click();
    w().mScrollBar->setValue(60);
    const std::pair<int, int> keys[] = {
        {Qt::Key_Right, 61}, {Qt::Key_Right, 62}, {Qt::Key_Left, 61}, {Qt::Key_Down, 111}, {Qt::Key_Up, 61},
    };
    for (const auto& k : keys) {
        key(QEvent::KeyPress, k.first, Qt::NoModifier);
        EXPECT_EQ(w().mScrollBar->value(), k.second) << k.first;
        key(QEvent::KeyRelease, k.first, Qt::NoModifier);
    }
    EXPECT_DOUBLE_EQ(Access::position(w()), 61 / 50.0);
}

TEST_F(WaveViewTest, SpaceTogglesPlaybackAndGivesTheFieldBackWithItsTextSelected)
{
    open(songA().projectPath);
    QApplication::setActiveWindow(&w());
    QLineEdit* field = w().mLEditTrimStart;
    field->setText("1.5");
    field->setFocus(Qt::OtherFocusReason);
    field->deselect();
    ASSERT_EQ(QApplication::focusWidget(), field);

    QTest::keyClick(field, Qt::Key_Space);
    EXPECT_EQ(QApplication::focusWidget(), field);
    EXPECT_EQ(field->text(), "1.5") << "the space is not typed";
    EXPECT_EQ(field->selectedText(), "1.5");
}

TEST_F(WaveViewTest, ThePlayLineFollowsTheNullOutputAndRepaintsOnlyItsStrips)
{
    const testproject::Made& song = songA();
    open(song.projectPath);
    CKRMcore& core = Access::core(w());
    KRMAudition& audition = Access::audition(w());
    auto* line = dynamic_cast<wavPainterLocation*>(layer(6));
    ASSERT_TRUE(line);
    // Plays from `from` until the output is `frames` further, then stops,
    // so that the test's own location() calls see one fixed position. The
    // output's own ticks reach the window only while `ticks` is set.
    const auto playFor = [&](uint32_t from, int frames, bool ticks) {
        ASSERT_EQ(audition.play(&core, 0, 3, int(from), int(song.mainEnd), false, 0, 0, 0, 1), 0u);
        Access::playing(w()) = ticks;
        EXPECT_TRUE(testutil::waitUntil([&] { return audition.getLocation() > int(from) + frames; }, 20000));
        Access::playing(w()) = false;
        audition.stop();
        QCoreApplication::processEvents();
        Access::playing(w()) = true;
    };
    const auto expectedColumn = [&] {
        const double x = (double(audition.getLocation()) / Access::maxZoom(w())) * line->width();
        return std::clamp(int(std::floor(x + 0.5)), 0, line->width() - 1);
    };

    playFor(song.mainStart, 8192, true);
    EXPECT_NE(line->locationX, -1) << "the output's ticks move the line while playing";
    QMetaObject::invokeMethod(&w(), "location");
    EXPECT_EQ(line->locationX, expectedColumn());
    const QRect oldStrip = Access::locationRect(w());
    EXPECT_EQ(oldStrip, QRect(line->locationX - 1, 0, 3, line->height()));

    playFor(song.mainStart + 3 * 44100, 8192, false);
    paint();
    // Every paint of the wave view from here on lies inside the old or the
    // new strip. (Other widgets may still repaint for their own reasons: a
    // loaded machine delivers the stopped output's last notices late.)
    struct Recorder : QObject {
        QWidget* frame;
        QRegion painted;
        QStringList painters;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (event->type() == QEvent::Paint && widget && widget->isVisible() &&
                (widget == frame || frame->isAncestorOf(widget))) {
                const QRegion region = static_cast<QPaintEvent*>(event)->region();
                for (const QRect& r : region)
                    painted += QRect(frame->mapFromGlobal(widget->mapToGlobal(r.topLeft())), r.size());
                painters << QString::fromLatin1(widget->metaObject()->className());
            }
            return false;
        }
    } recorder;
    recorder.frame = w().mFrameWav;
    RebuildCounter rebuilds({layer(0), layer(1)});
    qApp->installEventFilter(&recorder);
    QMetaObject::invokeMethod(&w(), "location");
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&recorder);
    EXPECT_EQ(line->locationX, expectedColumn());
    const QRect newStrip = Access::locationRect(w());
    ASSERT_NE(newStrip, oldStrip);
    const QPoint at = line->pos();
    const QRegion allowed = QRegion(oldStrip.translated(at)) + QRegion(newStrip.translated(at));
    EXPECT_FALSE(recorder.painted.isEmpty());
    const QRect outside = (recorder.painted - allowed).boundingRect();
    EXPECT_TRUE(outside.isEmpty()) << "painted outside the strips: " << outside.x() << "," << outside.y()
                                   << " " << outside.width() << "x" << outside.height() << " by "
                                   << qPrintable(recorder.painters.join(' '));
    EXPECT_EQ(rebuilds.counts(), std::vector<int>({0, 0}));
    Access::playing(w()) = false;
}

TEST_F(WaveViewTest, ThePlayPositionBringsTheRangeBackAndStepsAfterItsEnd)
{
    const testproject::Made& song = songA();
    open(song.projectPath);
    w().mBtnHorZoomIn->click();
    w().mBtnHorZoomIn->click();
    const uint32_t total = Access::maxZoom(w());
    w().mScrollBar->setValue(0);
    ASSERT_GT(Access::columnOf(w(), song.mainStart), Access::viewWidth(w()))
        << "Main A starts right of the view";

    // Play restarting at the left brings the range's start into view.
    Access::followPlay(w(), 0);
    EXPECT_EQ(w().mScrollBar->value(), int(std::trunc(double(song.mainStart) / total * 4 * 50)));

    // At the right edge with the range's end less than a width beyond it,
    // the bar steps until that end is in view.
    const int value = int(std::lround(8.0 * 44100 / total * 4 * 50));
    w().mScrollBar->setValue(value);
    const int width = Access::viewWidth(w());
    ASSERT_GT(Access::columnOf(w(), song.mainEnd), width);
    Access::followPlay(w(), width - 1);
    EXPECT_GT(w().mScrollBar->value(), value);
    const int xe = Access::columnOf(w(), song.mainEnd);
    EXPECT_LE(xe, width - 3);
    EXPECT_GE(xe, 0);
}

TEST(PlatformChoice, X11IsAskedForOnlyWhenNothingIsChosenAndBothDisplaysAreThere)
{
    struct Case {
        const char* qpa;
        const char* wayland;
        const char* display;
        const char* plugin;
    };
    const Case cases[] = {
        {"", "wayland-0", ":0", "xcb"},
        {"", "", ":0", ""},
        {"", "wayland-0", "", ""},
        {"wayland", "wayland-0", ":0", ""},
        {"offscreen", "wayland-0", ":0", ""},
        {"", "", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platformPluginFor(c.qpa, c.wayland, c.display), QByteArray(c.plugin))
            << c.qpa << " / " << c.wayland << " / " << c.display;

    const QByteArray saved[] = {qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY")};
    qunsetenv("QT_QPA_PLATFORM");
    qputenv("WAYLAND_DISPLAY", "wayland-1");
    qputenv("DISPLAY", ":1");
    choosePlatformPlugin();
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "xcb");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    choosePlatformPlugin();
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "offscreen");
    const char* names[] = {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"};
    for (int i = 0; i < 3; ++i) {
        if (saved[i].isNull())
            qunsetenv(names[i]);
        else
            qputenv(names[i], saved[i]);
    }
}

}  // namespace
