// The time-stretch result window, offscreen: its form, construction, layer
// layout, click lists, beat snapping, zoom and scroll, playback on the null
// output (checked in its capture file), the pointer and the keys, and the
// stored placement.
#include "AudioDeviceASFF.h"
#include "KRMAudition.h"
#include "KRMprotoSettings.h"
#include "MainWindow.h"
#include "MessageDialog.h"
#include "ModalDialogs.h"
#include "StretchWindow.h"
#include "StretchWindowForm.h"
#include "TestUtil.h"
#include "wavPainterLayers.h"
#include "wavPainterSeeker.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <climits>
#include <memory>

struct TimeStretchWindowTestAccess {
    using W = TimeStretchWindow;
    static std::vector<wavPainter*>& layers(W& w) { return w.mLayers; }
    static int& zoom(W& w) { return w.mHorZoom; }
    static double& offset(W& w) { return w.mHorZoomedWidth; }
    static int& selStart(W& w) { return w.mSelStart; }
    static int& selEnd(W& w) { return w.mSelEnd; }
    static bool selectionActive(W& w) { return w.mSelectionActive; }
    static bool playing(W& w) { return w.mPlaying; }
    static uint8_t edgeZone(W& w) { return w.mEdgeZone; }
    static bool keyDrag(W& w) { return w.mKeyDrag; }
    static Qt::KeyboardModifiers modifiers(W& w) { return w.mKeyModifiers; }
    static std::vector<QObject*> filtered(W& w)
    {
        std::vector<QObject*> v;
        for (const auto& e : w.m_filtered)
            v.push_back(e.first);
        return v;
    }
    static int sampleAtPoint(W& w, int layer, QPoint p) { return w.sampleAtPoint(layer, p); }
    static int xOfSample(W& w, int64_t f) { return w.xOfSample(f); }
    static QPoint fromWaveFrame(W& w, QPoint p) { return w.fromWaveFrame(p); }
    static void paint(W& w)
    {
        QPaintEvent e(w.rect());
        w.paintEvent(&e);
    }
    static void zoomIn(W& w) { w.releasedBtnHorZoomIn(); }
    static void zoomOut(W& w) { w.releasedBtnHorZoomOut(); }
    static void location(W& w) { w.location(); }
    static void playLoop(W& w) { w.releasedBtnPlayLoop(); }
    static void clickLists(W& w, int a, int b, std::vector<int32_t>& l1, std::vector<int32_t>& l2)
    {
        w.buildClickLists(a, b, l1, l2);
    }
    static int snap(W& w, int f) { return w.snapToMarks(f); }
    static QScrollBar* scroll(W& w) { return w.mScrollBar; }
    static void updateSelection(W& w, int z, double o) { w.updateSelection(z, o, false, 0); }
    static void press(W& w, QEvent::Type type, QPoint framePoint, Qt::MouseButtons buttons)
    {
        const QPoint pos = w.fromWaveFrame(framePoint);
        QMouseEvent e(type, pos, w.mapToGlobal(pos),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&w, &e);
    }
};
using A = TimeStretchWindowTestAccess;

namespace {

constexpr int kBeat = 22050;
constexpr int kFrames = 8 * kBeat;  // 2 bars of 4/4 at 120 BPM

// A stereo 16-bit file; every frame of the song is `value` on both channels.
bool writeConstant(const QString& path, int frames, int16_t value)
{
    SF_INFO info {};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    std::vector<int16_t> s(size_t(frames) * 2, value);
    const bool ok = sf_writef_short(f, s.data(), frames) == frames;
    sf_close(f);
    return ok;
}

std::vector<int16_t> readAll(const QString& path)
{
    SF_INFO info {};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f)
        return {};
    std::vector<int16_t> s(size_t(info.frames) * size_t(info.channels));
    sf_readf_short(f, s.data(), info.frames);
    sf_close(f);
    return s;
}

std::vector<uint32_t> twoBarBeats()
{
    std::vector<uint32_t> b;
    for (int i = 0; i < 8; ++i)
        b.push_back(uint32_t(i * kBeat));
    b.push_back(kFrames - 1);
    return b;
}

bool showsIcon(const QAbstractButton* b, const char* path)
{
    return b->icon().pixmap(24).toImage() == QIcon(path).pixmap(24).toImage();
}

void sendKey(QWidget& w, QEvent::Type type, int key, Qt::KeyboardModifiers m)
{
    QKeyEvent e(type, key, m);
    QApplication::sendEvent(&w, &e);
}

class StretchWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings(KRMprotoSettings::settingsFilePath(), QSettings::IniFormat).remove("TimeStretchWindow");
        song = dir.path("KRM_temp_Main A.wav");
        ASSERT_TRUE(writeConstant(song, kFrames, 1000));
        ASSERT_TRUE(writeConstant(dir.path("c1.wav"), 50, 3000));
        ASSERT_TRUE(writeConstant(dir.path("c2.wav"), 50, 5000));
        capture = dir.path("capture.wav");
        qputenv("STELVANO_AUDIO_CAPTURE", QFile::encodeName(capture));
        player = std::make_unique<KRMAudition>(&clickOn, &level, &second);
        ASSERT_EQ(player->openDevice(QString()), 0u);
        player->setClickSounds(dir.path("c1.wav"), dir.path("c2.wav"));
    }
    void TearDown() override
    {
        window.reset();
        player.reset();
        qunsetenv("STELVANO_AUDIO_CAPTURE");
    }

    TimeStretchWindow& open(bool manual = false, uint32_t frames = kFrames, const QString& path = QString())
    {
        window = std::make_unique<TimeStretchWindow>((path.isEmpty() ? song : path).toStdWString(), 3, 0,
                                                     frames, 4, &beats, 1, 0.0, player.get(), manual,
                                                     &clickOn, &level, &second, nullptr, nullptr);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QApplication::processEvents();
        return *window;
    }

    // What played, from the capture, after the output is closed.
    std::vector<int16_t> played()
    {
        player->closeDevice();
        return readAll(capture);
    }

    bool isPlaying() const { return player->audioDevice() && player->audioDevice()->isPlaying(); }

    testutil::TempDir dir;
    QString song;
    QString capture;
    std::vector<uint32_t> beats = twoBarBeats();
    uint8_t clickOn = 1;
    uint8_t level = 100;
    uint8_t second = 1;
    std::unique_ptr<KRMAudition> player;
    std::unique_ptr<TimeStretchWindow> window;
};

// ---------------------------------------------------------------- form

TEST(StretchWindowForm, WidgetsAsTheFormGivesThem)
{
    QDialog dialog;
    Ui::TimeStretchWindow ui;
    ui.setupUi(&dialog);
    EXPECT_EQ(dialog.objectName(), "TimeStretchWindow");
    EXPECT_EQ(dialog.size(), QSize(666, 328));
    EXPECT_EQ(dialog.minimumSize(), QSize(666, 328));
    EXPECT_EQ(dialog.font().family(), "Arial");
    EXPECT_TRUE(dialog.isSizeGripEnabled());
    EXPECT_FALSE(dialog.windowIcon().isNull());
    EXPECT_EQ(dialog.windowTitle(), "wave viewer");

    using P = QSizePolicy;
    const int M = QWIDGETSIZE_MAX;
    struct Row {
        QWidget* w;
        const char* name;
        const char* cls;
        P::Policy h, v;
        QSize min, max;
        int points;  // -1: not set
        Qt::FocusPolicy focus;
    };
    const Qt::FocusPolicy any = Qt::WheelFocus;  // not checked
    // clang-format off
    const std::vector<Row> rows = {
        {ui.mTopFrame, "mTopFrame", "QFrame", P::Expanding, P::Fixed, {0, 46}, {M, M}, -1, any},
        {ui.horizontalFrame, "horizontalFrame", "QFrame", P::Expanding, P::Fixed, {0, 40}, {M, 40}, 14, any},
        {ui.mPushButtonPlay, "mPushButtonPlay", "VPushButton", P::Fixed, P::Fixed, {105, 30}, {105, 30}, 14, Qt::NoFocus},
        {ui.mSliderMetro, "mSliderMetro", "QSlider", P::Expanding, P::Fixed, {0, 28}, {M, 28}, 14, Qt::NoFocus},
        {ui.dummyWidget, "dummyWidget", "QWidget", P::Fixed, P::Preferred, {140, 36}, {M, M}, -1, any},
        {ui.horizontalFrame_2, "horizontalFrame_2", "QFrame", P::Fixed, P::Fixed, {204, 40}, {204, 40}, 14, any},
        {ui.mChkClick, "mChkClick", "VCheckBox", P::Preferred, P::Preferred, {74, 0}, {74, M}, 14, Qt::NoFocus},
        {ui.mMiddleVerticalLayoutMiddle, "mMiddleVerticalLayoutMiddle", "QFrame", P::Preferred, P::Preferred, {0, 0}, {M, M}, 14, any},
        {ui.mFrameWavBase, "mFrameWavBase", "QFrame", P::Preferred, P::Preferred, {630, 195}, {M, M}, -1, any},
        {ui.mFrameWav, "mFrameWav", "VFrame", P::Preferred, P::Preferred, {630, 193}, {M, M}, 9, any},
        {ui.mScrollFrame, "mScrollFrame", "QFrame", P::Expanding, P::Fixed, {0, 0}, {M, M}, -1, any},
        {ui.mScrollBar, "mScrollBar", "QScrollBar", P::Expanding, P::Fixed, {0, 17}, {M, M}, -1, any},
        {ui.mZoomFrame, "mZoomFrame", "QFrame", P::Preferred, P::Preferred, {0, 0}, {M, M}, -1, any},
        {ui.mBtnHorZoomIn, "mBtnHorZoomIn", "VPushButton", P::Minimum, P::Fixed, {24, 24}, {24, 24}, -1, Qt::NoFocus},
        {ui.mBtnHorZoomOut, "mBtnHorZoomOut", "VPushButton", P::Minimum, P::Fixed, {24, 24}, {24, 24}, -1, Qt::NoFocus},
        {ui.mBottomFrame, "mBottomFrame", "QFrame", P::Expanding, P::Fixed, {0, 23}, {M, M}, -1, any},
    };
    // clang-format on
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_NE(r.w, nullptr);
        EXPECT_EQ(r.w->objectName(), r.name);
        EXPECT_STREQ(r.w->metaObject()->className(), r.cls);
        EXPECT_EQ(r.w->sizePolicy().horizontalPolicy(), r.h);
        EXPECT_EQ(r.w->sizePolicy().verticalPolicy(), r.v);
        EXPECT_EQ(r.w->minimumSize(), r.min);
        EXPECT_EQ(r.w->maximumSize(), r.max);
        if (r.points > 0) {
            EXPECT_EQ(r.w->font().pointSize(), r.points);
        }
        if (r.focus != any) {
            EXPECT_EQ(r.w->focusPolicy(), r.focus);
        }
    }
    EXPECT_EQ(ui.mSliderMetro->minimum(), 0);
    EXPECT_EQ(ui.mSliderMetro->maximum(), 100);
    EXPECT_EQ(ui.mSliderMetro->value(), 100);
    EXPECT_TRUE(ui.mChkClick->isChecked());
    EXPECT_EQ(ui.mChkClick->text(), "Click");
    EXPECT_TRUE(ui.mFrameWav->hasMouseTracking());
    EXPECT_FALSE(ui.mFrameWav->autoFillBackground());
    EXPECT_EQ(ui.mFrameWav->cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(ui.mBtnHorZoomIn->isFlat() && ui.mBtnHorZoomOut->isFlat());
    EXPECT_FALSE(ui.mPushButtonPlay->isFlat());
    EXPECT_FALSE(ui.mPushButtonPlay->icon().isNull());
    EXPECT_FALSE(ui.mBtnHorZoomIn->icon().isNull());
    EXPECT_EQ(ui.mFrameWavBase->frameShape(), QFrame::Panel);
    EXPECT_EQ(ui.mFrameWavBase->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(ui.verticalLayout_2->spacing(), 6);
    EXPECT_EQ(ui.mVerticalLayoutMiddle->contentsMargins(), QMargins(6, 6, 6, 1));

    const std::vector<std::pair<QAction*, const char*>> actions = {
        {ui.mActionSelectAll, "Ctrl+A"}, {ui.mActionUndo, "Ctrl+Z"}, {ui.mActionRedo, "Ctrl+Y"}};
    for (const auto& a : actions) {
        EXPECT_EQ(a.first->shortcut(), QKeySequence(a.second));
        EXPECT_EQ(a.first->parent(), &dialog);
        EXPECT_TRUE(a.first->associatedWidgets().isEmpty()) << a.second << " must reach no widget";
    }

    QDialog named;
    named.setObjectName("kept");
    Ui::TimeStretchWindow other;
    other.setupUi(&named);
    EXPECT_EQ(named.objectName(), "kept");
}

// ---------------------------------------------------------------- construction

TEST_F(StretchWindow, ConstructionSetsTitleFlagsFontsFiltersLayersAndTheWholeSelection)
{
    TimeStretchWindow& w = open();
    EXPECT_EQ(w.windowTitle(), "wave viewer - after proccessing time stretch");
    EXPECT_EQ(w.windowModality(), Qt::ApplicationModal);
    const Qt::WindowFlags f = w.windowFlags();
    EXPECT_TRUE((f & Qt::Dialog) && (f & Qt::WindowMaximizeButtonHint) && (f & Qt::WindowCloseButtonHint));
    EXPECT_TRUE(w.hasMouseTracking());
    EXPECT_EQ(w.mFrameWav->m_pReceiver, &w);
    for (QObject* child : w.children()) {
        if (auto* cw = qobject_cast<QWidget*>(child)) {
            EXPECT_EQ(cw->font().pixelSize(), 12) << cw->objectName().toStdString();
        }
    }
    EXPECT_EQ(w.mChkClick->font().pixelSize(), 21);

    std::vector<QObject*> want = {w.mPushButtonPlay, w.mSliderMetro, w.mChkClick, w.mBtnHorZoomIn,
                                  w.mBtnHorZoomOut};
    std::vector<QObject*> got = A::filtered(w);
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want);

    struct Layer {
        const char* cls;
        Qt::GlobalColor layer, background, centerLine;
    };
    const Layer table[7] = {
        {"wavPainterSeeker", Qt::darkGray, Qt::white, Qt::black},
        {"wavPainterSeeker", Qt::darkGray, Qt::white, Qt::black},
        {"wavPainterMetaLine", Qt::blue, Qt::transparent, Qt::transparent},
        {"wavPainterMetaLineDur", Qt::red, Qt::white, Qt::transparent},
        {"wavPainterText", Qt::darkGray, Qt::transparent, Qt::transparent},
        {"wavPainterSelecter", Qt::white, Qt::transparent, Qt::transparent},
        {"wavPainterLocation", Qt::green, Qt::transparent, Qt::transparent},
    };
    auto& layers = A::layers(w);
    ASSERT_EQ(layers.size(), 7u);
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        wavPainter* l = layers[size_t(i)];
        EXPECT_NE(std::string(typeid(*l).name()).find(table[i].cls), std::string::npos);
        EXPECT_EQ(l->layerColor, QColor(table[i].layer));
        EXPECT_EQ(l->backgroundColor, QColor(table[i].background));
        EXPECT_EQ(l->centerLineColor, QColor(table[i].centerLine));
        EXPECT_EQ(l->parentWidget(), w.mFrameWav);
        EXPECT_EQ(l->totalSamples, uint32_t(kFrames));
        EXPECT_EQ(l->suspended, i == 3 || i == 4);
    }
    EXPECT_EQ(static_cast<wavPainterSeeker*>(layers[0])->channel, 0);
    EXPECT_EQ(static_cast<wavPainterSeeker*>(layers[1])->channel, 1);
    auto* beatLayer = static_cast<wavPainterMetaLine*>(layers[2]);
    EXPECT_EQ(beatLayer->accentPeriod, 4);
    EXPECT_TRUE(beatLayer->drawLines);
    EXPECT_EQ(beatLayer->data(), &beats);
    EXPECT_EQ(static_cast<wavPainterText*>(layers[4])->text, "section assigned");
    EXPECT_FALSE(layers[6]->drawLayerEnabled);
    EXPECT_FALSE(layers[6]->drawBackgroundEnabled);

    auto* sel = static_cast<wavPainterSelecter*>(layers[5]);
    EXPECT_TRUE(A::selectionActive(w));
    EXPECT_EQ(A::selStart(w), 0);
    EXPECT_EQ(A::selEnd(w), kFrames);
    EXPECT_TRUE(sel->selectionVisible);
    EXPECT_EQ(sel->selectionEnd, uint32_t(kFrames));
    EXPECT_TRUE(w.mChkClick->isEnabled() && w.mChkClick->isChecked());
    EXPECT_EQ(w.mSliderMetro->value(), 100);

    const QStringList slotNames = {"exec",
                                   "closeEvent",
                                   "onSelectAll",
                                   "onClearAll",
                                   "releasedBtnHorZoomIn",
                                   "releasedBtnHorZoomOut",
                                   "releasedBtnPlayOnce",
                                   "releasedBtnPlayLoop",
                                   "stopped",
                                   "location",
                                   "valueChangedSliderMetro",
                                   "clickedChkClick",
                                   "valueChangedScrollBar"};
    const QMetaObject* mo = w.metaObject();
    ASSERT_EQ(mo->methodCount() - mo->methodOffset(), slotNames.size());
    for (int i = 0; i < slotNames.size(); ++i)
        EXPECT_EQ(QString(mo->method(mo->methodOffset() + i).name()), slotNames[i]);
}

TEST_F(StretchWindow, LayersFollowTheWaveFrameAndRebuildOnlyAfterAViewChange)
{
    TimeStretchWindow& w = open();
    auto& layers = A::layers(w);
    w.mFrameWav->setGeometry(0, 0, 630, 193);
    A::paint(w);
    EXPECT_EQ(layers[0]->geometry(), QRect(0, 10, 629, 81));
    EXPECT_EQ(layers[1]->geometry(), QRect(0, 101, 629, 81));
    for (int i : {2, 5, 6})
        EXPECT_EQ(layers[size_t(i)]->geometry(), QRect(0, 10, 629, 172)) << i;
    for (int i : {3, 4})
        EXPECT_EQ(layers[size_t(i)]->geometry(), QRect(0, 192, 629, 0)) << i;

    const auto dirty = [&] { return layers[0]->dirty && layers[1]->dirty && layers[2]->dirty; };
    const auto clean = [&] { return !layers[0]->dirty && !layers[1]->dirty && !layers[2]->dirty; };
    A::paint(w);
    EXPECT_TRUE(clean()) << "nothing changed since the last paint";
    A::updateSelection(w, 2, 0.0);
    A::paint(w);
    EXPECT_TRUE(dirty()) << "zoom changed";
    A::paint(w);
    A::updateSelection(w, 2, 0.5);
    A::paint(w);
    EXPECT_TRUE(dirty()) << "offset changed";
    A::paint(w);
    w.resize(w.width() + 10, w.height());
    A::paint(w);
    EXPECT_TRUE(dirty()) << "size changed";
    A::paint(w);

    A::playLoop(w);
    ASSERT_TRUE(A::playing(w));
    ASSERT_TRUE(testutil::waitUntil([&] { return player->getLocation() > 2 * 2048; }));
    A::location(w);
    A::paint(w);
    EXPECT_TRUE(clean()) << "a play-position tick rebuilds nothing";
}

// ---------------------------------------------------------------- clicks and snapping

TEST_F(StretchWindow, ClickListsHoldTheBeatsOfWholeBarsInTheSelection)
{
    TimeStretchWindow& w = open();
    struct Case {
        int start, end;
        std::vector<int32_t> bars, beats;
    };
    const std::vector<Case> cases = {
        {0, kFrames, {0, 88200}, {22050, 44100, 66150, 110250, 132300, 154350}},
        {30000, 120000, {58200}, {14100, 36150, 80250}},
        {44100, 44100, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        std::vector<int32_t> bars {7};
        std::vector<int32_t> others {7};
        A::clickLists(w, c.start, c.end, bars, others);
        EXPECT_EQ(bars, c.bars);
        EXPECT_EQ(others, c.beats);
    }
}

TEST_F(StretchWindow, FramesSnapToTheNearestBeatOrTheFileEnds)
{
    beats = {1000, 5000};
    TimeStretchWindow& w = open(false, 10000);
    const std::vector<std::pair<int, int>> cases = {{400, 0},     {600, 1000},  {3000, 5000}, {7499, 5000},
                                                    {7500, 9999}, {1000, 1000}, {5000, 5000}};
    for (const auto& c : cases)
        EXPECT_EQ(A::snap(w, c.first), c.second) << c.first;
    beats.clear();
    EXPECT_EQ(A::snap(w, 3333), 3333) << "no beats: unchanged";
}

TEST_F(StretchWindow, ManualModeNeitherSnapsNorDrawsBeatsAndSilencesTheClick)
{
    TimeStretchWindow& w = open(true);
    EXPECT_FALSE(static_cast<wavPainterMetaLine*>(A::layers(w)[2])->drawLines);
    EXPECT_FALSE(w.mChkClick->isEnabled());
    EXPECT_FALSE(w.mChkClick->isChecked());
    EXPECT_EQ(clickOn, 0) << "the main window's click byte is cleared";
    const QPoint p(A::xOfSample(w, 30000), A::layers(w)[0]->y() + w.mFrameWav->y() + 20);
    const int got = A::sampleAtPoint(w, 0, p);
    EXPECT_NE(got % kBeat, 0) << "manual mode gives the frame under the pointer, not a beat";
    EXPECT_NEAR(got, 30000, 400);
}

// ---------------------------------------------------------------- zoom and scroll

TEST_F(StretchWindow, ZoomStaysWithinTheFileAndTheScrollRange)
{
    TimeStretchWindow& w = open();
    QScrollBar* bar = A::scroll(w);
    A::zoomIn(w);
    A::zoomIn(w);
    EXPECT_EQ(A::zoom(w), 4);
    EXPECT_EQ(bar->maximum(), 150);
    EXPECT_EQ(bar->pageStep(), 50);

    A::updateSelection(w, 4, 3.0);
    A::zoomOut(w);
    EXPECT_EQ(A::zoom(w), 2);
    EXPECT_DOUBLE_EQ(A::offset(w), 1.0);
    EXPECT_EQ(bar->maximum(), 50);
    EXPECT_EQ(bar->value(), 50);
    A::zoomOut(w);
    A::zoomOut(w);
    EXPECT_EQ(A::zoom(w), 1);
    EXPECT_DOUBLE_EQ(A::offset(w), 0.0);
    EXPECT_EQ(bar->maximum(), 0);
}

TEST_F(StretchWindow, ZoomingInKeepsASelectionThatWasInView)
{
    TimeStretchWindow& w = open();
    A::selStart(w) = 30000;
    A::selEnd(w) = 120000;
    A::paint(w);
    ASSERT_EQ(w.selectionVisibility(), 1);
    A::zoomIn(w);
    A::paint(w);
    EXPECT_EQ(A::zoom(w), 2);
    // The end went out of view: it is brought to the right edge, which cut
    // off the start, so the start is brought to the left edge.
    EXPECT_EQ(A::scroll(w)->value(), int(30000.0 / kFrames * 2 * 50));
    EXPECT_DOUBLE_EQ(A::offset(w), A::scroll(w)->value() / 50.0);
}

TEST_F(StretchWindow, TinyEmptyAndHugeFilesKeepZoomAndScrollValid)
{
    struct Case {
        const char* what;
        uint32_t frames;
        int zoomIns;
        int zoom;
    };
    const std::vector<Case> cases = {
        {"3 frames stop at 3", 3, 4, 3},
        {"0 frames keep 1", 0, 3, 1},
        {"50,000,000 frames stop where the scroll range still fits", 50000000, 40, 42949672},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TimeStretchWindow& w = open(false, c.frames);
        for (int i = 0; i < c.zoomIns; ++i)
            A::zoomIn(w);
        EXPECT_EQ(A::zoom(w), c.zoom);
        QScrollBar* bar = A::scroll(w);
        EXPECT_EQ(int64_t(bar->maximum()), int64_t(c.zoom) * 50 - 50);
        A::updateSelection(w, A::zoom(w), double(A::zoom(w) - 1));
        A::paint(w);
        EXPECT_GE(bar->value(), bar->minimum());
        EXPECT_LE(bar->value(), bar->maximum());
        // Keys and follow steps near the end of the range stay inside it.
        for (int k : {Qt::Key_Down, Qt::Key_Right})
            sendKey(w, QEvent::KeyPress, k, Qt::NoModifier);
        EXPECT_EQ(bar->value(), bar->maximum());
        A::zoomOut(w);
        EXPECT_GE(A::zoom(w), 1);
        QApplication::processEvents();
    }
}

TEST_F(StretchWindow, ArrowKeysScrollByAUnitAndAPage)
{
    TimeStretchWindow& w = open();
    A::updateSelection(w, 4, 0.0);
    QScrollBar* bar = A::scroll(w);
    const std::vector<std::pair<int, int>> steps = {{Qt::Key_Right, 1}, {Qt::Key_Right, 2},
                                                    {Qt::Key_Down, 52}, {Qt::Key_Left, 51},
                                                    {Qt::Key_Up, 1},    {Qt::Key_Up, 0}};
    for (const auto& s : steps) {
        sendKey(w, QEvent::KeyPress, s.first, Qt::NoModifier);
        sendKey(w, QEvent::KeyRelease, s.first, Qt::NoModifier);
        EXPECT_EQ(bar->value(), s.second);
        EXPECT_DOUBLE_EQ(A::offset(w), s.second / 50.0);
    }
}

// ---------------------------------------------------------------- playback

TEST_F(StretchWindow, ExecLoopsTheWholeFileWithClicksUntilClosed)
{
    constexpr int kShortBeat = 5000;
    constexpr int kShort = 8 * kShortBeat;
    beats.clear();
    for (int i = 0; i < 8; ++i)
        beats.push_back(uint32_t(i * kShortBeat));
    beats.push_back(kShort - 1);
    const QString shortSong = dir.path("short.wav");
    ASSERT_TRUE(writeConstant(shortSong, kShort, 1000));
    TimeStretchWindow& w = open(false, kShort, shortSong);
    bool playingInside = false;
    bool stopIcon = false;
    testutil::ModalAnswer<TimeStretchWindow> answer([&](TimeStretchWindow& d) {
        // Twice round the loop, then close by the title bar.
        QTest::qWait(2200);
        playingInside = A::playing(d) && isPlaying();
        stopIcon = showsIcon(d.mPushButtonPlay, ":/img/btn_stop.png");
        d.close();
    });
    w.exec();
    EXPECT_TRUE(answer.seen());
    EXPECT_TRUE(playingInside);
    EXPECT_TRUE(stopIcon);
    EXPECT_FALSE(A::playing(w));
    EXPECT_FALSE(isPlaying()) << "closing stops playback";

    const std::vector<int16_t> got = played();
    ASSERT_GE(got.size(), size_t(2 * kShort) * 2) << "the loop went round twice";
    // From the first sounding frame on: the song (1000) with the first
    // click (+3000) on bar lines and the second (+5000) on the other beats.
    size_t first = 0;
    while (first < got.size() && got[first] == 0)
        ++first;
    first /= 2;
    for (int pass = 0; pass < 2; ++pass) {
        for (int k = 0; k < 8; ++k) {
            const size_t at = (first + size_t(pass * kShort + k * kShortBeat)) * 2;
            EXPECT_EQ(got[at], k % 4 == 0 ? 4000 : 6000) << "pass " << pass << " beat " << k;
            EXPECT_EQ(got[at + 2 * 60], 1000) << "pass " << pass << " after beat " << k;
        }
    }
}

TEST_F(StretchWindow, ButtonSpaceAndSelectionChangesToggleAndRestart)
{
    TimeStretchWindow& w = open();
    w.mPushButtonPlay->click();
    EXPECT_TRUE(A::playing(w) && isPlaying());
    EXPECT_TRUE(A::layers(w)[6]->drawLayerEnabled);
    w.mPushButtonPlay->click();
    EXPECT_FALSE(A::playing(w) || isPlaying());
    EXPECT_FALSE(A::layers(w)[6]->drawLayerEnabled);

    sendKey(w, QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    sendKey(w, QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    EXPECT_TRUE(A::playing(w) && isPlaying());

    // A plain drag while playing restarts on the new selection.
    const int y = A::layers(w)[0]->y() + w.mFrameWav->y() + 20;
    A::press(w, QEvent::MouseButtonPress, {A::xOfSample(w, 44100), y}, Qt::LeftButton);
    A::press(w, QEvent::MouseMove, {A::xOfSample(w, 88200), y}, Qt::LeftButton);
    A::press(w, QEvent::MouseButtonRelease, {A::xOfSample(w, 88200), y}, Qt::NoButton);
    EXPECT_EQ(A::selStart(w), 44100);
    EXPECT_EQ(A::selEnd(w), 88200);
    EXPECT_TRUE(A::playing(w) && isPlaying());

    sendKey(w, QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(A::selStart(w), 0);
    EXPECT_EQ(A::selEnd(w), kFrames);
    EXPECT_TRUE(A::playing(w) && isPlaying()) << "select-all restarts";

    sendKey(w, QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    sendKey(w, QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    EXPECT_FALSE(A::playing(w) || isPlaying());
    sendKey(w, QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(A::selectionActive(w));
    sendKey(w, QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    sendKey(w, QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    EXPECT_FALSE(A::playing(w) || isPlaying()) << "without a selection nothing plays";

    // The same selection with start = end plays nothing.
    sendKey(w, QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
    A::selStart(w) = A::selEnd(w) = 44100;
    w.mPushButtonPlay->click();
    EXPECT_FALSE(A::playing(w) || isPlaying());
}

TEST_F(StretchWindow, EscapeDoesNotCloseTheWindow)
{
    TimeStretchWindow& w = open();
    for (bool withMainFilter : {false, true}) {
        SCOPED_TRACE(withMainFilter);
        MessageDialogScript boxes;
        std::unique_ptr<MainWindow> main;
        if (withMainFilter) {
            main = std::make_unique<MainWindow>(QString());
            w.installEventFilter(main.get());
        }
        testutil::ModalAnswer<TimeStretchWindow> answer([&](TimeStretchWindow& d) {
            QTest::keyClick(&d, Qt::Key_Escape);
            QApplication::processEvents();
            EXPECT_TRUE(d.isVisible());
            d.close();
        });
        w.exec();
        EXPECT_TRUE(answer.seen());
        EXPECT_FALSE(isPlaying());
    }
}

TEST_F(StretchWindow, LevelSliderAndClickBoxWriteTheMainWindowsBytes)
{
    TimeStretchWindow& w = open();
    w.mSliderMetro->setValue(0);
    EXPECT_EQ(level, 0);
    w.mChkClick->click();
    EXPECT_EQ(clickOn, 0);
    w.mChkClick->click();
    EXPECT_EQ(clickOn, 1);

    // Level 0: only the clicks are heard.
    w.mPushButtonPlay->click();
    ASSERT_TRUE(testutil::waitUntil([&] { return player->getLocation() >= 2 * kBeat; }));
    w.mPushButtonPlay->click();
    const std::vector<int16_t> got = played();
    int64_t nonZero = 0;
    for (int16_t v : got) {
        EXPECT_TRUE(v == 0 || v == 3000 || v == 5000) << v;
        nonZero += v != 0;
    }
    EXPECT_GE(nonZero, 2 * 2 * 50) << "the bar click and a beat click were heard";
}

// ---------------------------------------------------------------- pointer and keys

TEST_F(StretchWindow, APlainDragSelectsBeats)
{
    TimeStretchWindow& w = open();
    const int y = A::layers(w)[0]->y() + w.mFrameWav->y() + 20;
    A::press(w, QEvent::MouseButtonPress, {A::xOfSample(w, 30000), y}, Qt::LeftButton);
    A::press(w, QEvent::MouseMove, {A::xOfSample(w, 100000), y}, Qt::LeftButton);
    A::press(w, QEvent::MouseButtonRelease, {A::xOfSample(w, 100000), y}, Qt::NoButton);
    EXPECT_EQ(A::selStart(w), 22050);
    EXPECT_EQ(A::selEnd(w), 110250);
    auto* sel = static_cast<wavPainterSelecter*>(A::layers(w)[5]);
    EXPECT_EQ(sel->selectionStart, 22050u);
    EXPECT_EQ(sel->selectionEnd, 110250u);

    // Dragged right to left, the selection is still ordered.
    A::press(w, QEvent::MouseButtonPress, {A::xOfSample(w, 150000), y}, Qt::LeftButton);
    A::press(w, QEvent::MouseMove, {A::xOfSample(w, 50000), y}, Qt::LeftButton);
    A::press(w, QEvent::MouseButtonRelease, {A::xOfSample(w, 50000), y}, Qt::NoButton);
    EXPECT_EQ(A::selStart(w), 44100);
    EXPECT_EQ(A::selEnd(w), 154350);
}

TEST_F(StretchWindow, ShiftArrowsMoveTheEndEdgeAndAShiftReleaseEndsTheDrag)
{
    beats.clear();  // unsnapped, so every pixel moves the edge
    TimeStretchWindow& w = open();
    w.mPushButtonPlay->click();
    ASSERT_TRUE(A::playing(w));
    const int y = A::layers(w)[0]->y() + w.mFrameWav->y() + 20;
    const int endX = A::xOfSample(w, kFrames);
    QCursor::setPos(w.mapToGlobal(A::fromWaveFrame(w, {endX - 2, y})));
    QApplication::processEvents();
    const int endBefore = A::selEnd(w);

    // As xcb reports them: the Shift press carries no Shift ...
    sendKey(w, QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    EXPECT_EQ(A::modifiers(w), Qt::ShiftModifier);
    EXPECT_EQ(A::edgeZone(w), 0) << "the pointer is on the end edge";
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::SplitHCursor);
    for (int i = 0; i < 10; ++i)
        sendKey(w, QEvent::KeyPress, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_TRUE(A::keyDrag(w));
    EXPECT_LT(A::selEnd(w), endBefore);
    EXPECT_NEAR(A::selEnd(w), kFrames * (endX - 12.0 - A::xOfSample(w, 0)) / (endX - A::xOfSample(w, 0)),
                kFrames / 300.0);
    EXPECT_EQ(A::selStart(w), 0);

    // ... and its release still carries it.
    sendKey(w, QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_EQ(A::modifiers(w), Qt::NoModifier);
    EXPECT_FALSE(A::keyDrag(w));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the split cursor is gone";
    EXPECT_TRUE(A::playing(w) && isPlaying()) << "playback restarts on the new selection";
    A::press(w, QEvent::MouseMove, {A::xOfSample(w, 90000), y}, Qt::NoButton);
    EXPECT_EQ(A::edgeZone(w), 3) << "a plain pointer move again selects, it does not move edges";
}

TEST_F(StretchWindow, TheViewFollowsThePlayLine)
{
    TimeStretchWindow& w = open();
    A::updateSelection(w, 4, 0.0);
    w.mPushButtonPlay->click();
    ASSERT_TRUE(A::playing(w));
    ASSERT_TRUE(testutil::waitUntil([&] { return A::scroll(w)->value() >= 50; }, 5000))
        << "one width is a second of audio at zoom 4";
    EXPECT_LE(A::scroll(w)->value(), A::scroll(w)->maximum());
}

TEST_F(StretchWindow, NoOverrideCursorIsLeftAfterClosing)
{
    {
        TimeStretchWindow& w = open();
        QCursor::setPos(w.mapToGlobal(A::fromWaveFrame(w, {A::xOfSample(w, kFrames / 2), 60})));
        sendKey(w, QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
        EXPECT_NE(QApplication::overrideCursor(), nullptr);
        window.reset();
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// ---------------------------------------------------------------- placement

TEST_F(StretchWindow, ClosingStoresThePlacementAndTheNextWindowTakesIt)
{
    TimeStretchWindow& w = open();
    const QRect available = w.screen()->availableGeometry();
    w.setGeometry(QRect(available.x() + 40, available.y() + 30, 700, 360));
    const QRect placed = w.geometry();
    window.reset();

    QSettings s(KRMprotoSettings::settingsFilePath(), QSettings::IniFormat);
    s.beginGroup("TimeStretchWindow");
    const std::vector<std::pair<const char*, QVariant>> keys = {
        {"Maximized", QObject::tr("false")},
        {"GeometryX", placed.x()},
        {"GeometryY", placed.y()},
        {"GeometryW", placed.width()},
        {"GeometryH", placed.height()},
        {"ScreenNumber", 0},
        {"ScreenGeometryX", available.x()},
        {"ScreenGeometryY", available.y()},
        {"ScreenGeometryW", available.width()},
        {"ScreenGeometryH", available.height()},
    };
    for (const auto& k : keys)
        EXPECT_EQ(s.value(k.first).toString(), k.second.toString()) << k.first;
    s.endGroup();

    EXPECT_EQ(open().geometry(), placed);
    window.reset();

    s.setValue("TimeStretchWindow/ScreenGeometryW", available.width() + 1);
    s.sync();
    EXPECT_EQ(open().size(), QSize(666, 328)) << "saved on another screen: the form's size";
}

}  // namespace
