// Waveform layers: the sample/column/row mappings against the plain
// formulas, what each layer paints into an image, the paint cycle, and the
// peak cache against minima and maxima taken straight from the samples.
#include "MessageDialog.h"
#include "TestUtil.h"
#include "WavSeeker_libSndFile.h"
#include "wavPainterLayers.h"
#include "wavPainterSeeker.h"
#include "PeakSummary.h"

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <climits>
#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>

namespace {

constexpr int kWidth = 630;
constexpr int kHeight = 79;

// ------------------------------------------------------------- mappings

TEST(WavPainter, MappingsBetweenSamplesColumnsAndRows)
{
    enum Kind { ToX, ToSample, ToY };
    struct Case {
        const char* what;
        uint32_t total;
        uint32_t zoom;
        double offset;
        Kind kind;
        double in;
        bool clamp;
        int out;
    };
    const uint32_t twentyMinutes = 20 * 60 * 44100;
    const Case cases[] = {
        {"middle at zoom 1", 44100, 1, 0.0, ToX, 22050, false, 315},
        {"middle clamped", 44100, 1, 0.0, ToX, 22050, true, 315},
        {"left of the view", 44100, 1, 0.0, ToX, -4410, false, -63},
        {"left of the view, clamped", 44100, 1, 0.0, ToX, -4410, true, 0},
        {"right of the view", 44100, 1, 0.0, ToX, 66150, false, 945},
        {"right of the view, clamped", 44100, 1, 0.0, ToX, 66150, true, kWidth - 1},
        {"end on the last page", 44100, 4, 3.0, ToX, 44100, false, kWidth},
        {"end on the last page, clamped", 44100, 4, 3.0, ToX, 44100, true, kWidth - 1},
        {"start of the last page", 44100, 4, 3.0, ToX, 33075, false, 0},
        {"before the last page, clamped", 44100, 4, 3.0, ToX, 22050, true, 0},
        {"no audio", 0, 1, 0.0, ToX, 22050, false, 0},
        {"no audio, clamped", 0, 1, 0.0, ToX, 22050, true, 0},
        {"zoom 0 counts as 1", 44100, 0, 0.0, ToX, 22050, false, 315},
        {"20 min at the ceiling zoom, end", twentyMinutes, 42949672, 0.0, ToX, twentyMinutes, false, INT_MAX},
        {"20 min at the ceiling zoom, last page start", twentyMinutes, 42949672, 42949671.0, ToX, 0, false,
         INT_MIN},
        {"20 min at the ceiling zoom, clamped", twentyMinutes, 42949672, 42949671.0, ToX, 0, true, 0},

        {"column back to the sample", 44100, 1, 0.0, ToSample, 315, false, 22050},
        {"left of the view", 44100, 1, 0.0, ToSample, -10, false, -700},
        {"left of the view, clamped", 44100, 1, 0.0, ToSample, -10, true, 0},
        {"right of the view", 44100, 1, 0.0, ToSample, 700, false, 49000},
        {"right of the view, clamped", 44100, 1, 0.0, ToSample, 700, true, 44099},
        {"last page right edge", 44100, 4, 3.0, ToSample, kWidth, false, 44100},
        {"last page right edge, clamped", 44100, 4, 3.0, ToSample, kWidth, true, 44099},
        {"last page left edge", 44100, 4, 3.0, ToSample, 0, false, 33075},
        {"no audio", 0, 1, 0.0, ToSample, 315, false, 0},
        {"no audio, clamped", 0, 1, 0.0, ToSample, 315, true, 0},
        {"20 min at the ceiling zoom, last column", twentyMinutes, 42949672, 42949671.0, ToSample, kWidth - 1,
         true, int(twentyMinutes - 1)},
        {"far right saturates", UINT32_MAX, 1, 0.0, ToSample, INT_MAX, false, INT_MAX},

        {"top", 44100, 1, 0.0, ToY, 1.0, false, 0},
        {"bottom", 44100, 1, 0.0, ToY, -1.0, false, kHeight},
        {"bottom, clamped", 44100, 1, 0.0, ToY, -1.0, true, kHeight - 1},
        {"centre", 44100, 1, 0.0, ToY, 0.0, false, 40},
        {"above the top, clamped", 44100, 1, 0.0, ToY, 1.5, true, 0},
        {"huge amplitude saturates", 44100, 1, 0.0, ToY, -1e30, false, INT_MAX},
    };
    for (const Case& c : cases) {
        wavPainterSeeker layer(nullptr, 0, c.total, c.zoom, c.offset);
        layer.resize(kWidth, kHeight);
        int got = 0;
        switch (c.kind) {
        case ToX:
            got = layer.sampleToX(int64_t(c.in), c.clamp);
            break;
        case ToSample:
            got = layer.xToSample(int(c.in), c.clamp);
            break;
        case ToY:
            got = layer.amplitudeToY(c.in, c.clamp);
            break;
        }
        EXPECT_EQ(got, c.out) << c.what << " (kind " << c.kind << ")";
    }
}

TEST(WavPainter, ZoomLimitKeepsTheScrollRangeInsideAnInt)
{
    const std::pair<uint32_t, uint32_t> cases[] = {{0, 1},
                                                   {1, 1},
                                                   {44100, 44100},
                                                   {42949672, 42949672},
                                                   {20 * 60 * 44100, 42949672},
                                                   {UINT32_MAX, 42949672}};
    for (const auto& c : cases)
        EXPECT_EQ(wavPainter::maxZoomFor(c.first), c.second) << c.first;
    EXPECT_LE(int64_t(wavPainter::kZoomCeiling) * 50, int64_t(INT_MAX));
}

TEST(WavPainter, AccentOriginIsTheNearestPosition)
{
    const std::vector<uint32_t> positions = {100, 200, 300};
    const std::pair<uint32_t, int> cases[] = {{0, 0},   {100, 0}, {149, 0}, {150, 1}, {151, 1},
                                              {200, 1}, {249, 1}, {260, 2}, {300, 2}, {5000, 2}};
    wavPainterMetaLine layer(&positions, 1000, 1, 0.0);
    for (const auto& c : cases) {
        layer.setAccentOriginBySample(c.first);
        EXPECT_EQ(layer.accentOrigin, c.second) << c.first;
    }
    const std::vector<uint32_t> none;
    layer.setData(&none);
    layer.setAccentOriginBySample(100);
    EXPECT_EQ(layer.accentOrigin, -1);
}

// ------------------------------------------------------ painted layers

// The layer rendered over a white image of its size.
QImage paintOnWhite(wavPainter& layer)
{
    QImage image(layer.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    layer.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

QColor at(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

// 6300 samples over 630 columns: 10 samples per column at zoom 1.
constexpr uint32_t kTotal = 6300;

TEST(WavPainterMetaLine, AccentsEveryPeriodFromTheOriginInRed)
{
    std::vector<uint32_t> positions;
    for (uint32_t i = 0; i < 16; ++i)
        positions.push_back(300 * i + 150);  // columns 15, 45, ...
    wavPainterMetaLine layer(&positions, kTotal, 1, 0.0);
    layer.resize(kWidth, kHeight);
    layer.layerColor = Qt::blue;
    layer.accentPeriod = 4;
    layer.accentOrigin = 5;
    const QImage image = paintOnWhite(layer);
    for (size_t i = 0; i < positions.size(); ++i) {
        const bool red = i % 4 == 1;
        EXPECT_EQ(at(image, int(30 * i + 15), kHeight / 2), red ? QColor(Qt::red) : QColor(Qt::blue)) << i;
        EXPECT_EQ(at(image, int(30 * i + 15), 0), red ? QColor(Qt::red) : QColor(Qt::blue)) << i;
    }
    EXPECT_EQ(at(image, 16, kHeight / 2), QColor(Qt::white));
}

TEST(WavPainterMetaLine, MarkersSharingAColumnGetTheBlackTriangle)
{
    const std::vector<uint32_t> positions = {1000, 3000, 3004};  // columns 100, 300, 300
    for (bool lines : {true, false}) {
        wavPainterMetaLine layer(&positions, kTotal, 1, 0.0);
        layer.resize(kWidth, kHeight);
        layer.layerColor = Qt::blue;
        layer.drawLines = lines;
        const QImage image = paintOnWhite(layer);
        EXPECT_EQ(at(image, 300, 0), QColor(Qt::black)) << lines;
        EXPECT_EQ(at(image, 299, 0), QColor(Qt::black)) << lines;
        EXPECT_EQ(at(image, 301, 0), QColor(Qt::black)) << lines;
        EXPECT_EQ(at(image, 300, 2), QColor(Qt::black)) << lines;
        EXPECT_EQ(at(image, 100, 0), lines ? QColor(Qt::blue) : QColor(Qt::white)) << lines;
        EXPECT_EQ(at(image, 300, kHeight / 2), lines ? QColor(Qt::blue) : QColor(Qt::white)) << lines;
    }
}

TEST(WavPainterMetaLine, AMarkerAtTheEndShowsOnTheLastColumnOfTheLastPageOnly)
{
    const std::vector<uint32_t> positions = {kTotal};
    struct Case {
        double offset;
        bool drawn;
    };
    for (const Case& c : {Case {3.0, true}, Case {2.0, false}, Case {2.5, false}}) {
        wavPainterMetaLine layer(&positions, kTotal, 4, c.offset);
        layer.resize(kWidth, kHeight);
        layer.layerColor = Qt::blue;
        const QImage image = paintOnWhite(layer);
        EXPECT_EQ(at(image, kWidth - 1, kHeight / 2), c.drawn ? QColor(Qt::blue) : QColor(Qt::white))
            << c.offset;
    }
}

bool allWhite(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (at(image, x, y) != QColor(Qt::white))
                return false;
    return true;
}

TEST(WavPainterLayers, EmptyListsDrawNothing)
{
    const std::vector<uint32_t> noPositions;
    const std::vector<wavPainterMetaLineDur::Region> noRegions;
    std::vector<std::unique_ptr<wavPainter>> layers;
    layers.emplace_back(new wavPainterMetaLine(&noPositions, kTotal, 1, 0.0));
    layers.emplace_back(new wavPainterMetaLine(nullptr, kTotal, 1, 0.0));
    layers.emplace_back(new wavPainterMetaLineDur(&noRegions, kTotal, 1, 0.0));
    layers.emplace_back(new wavPainterMetaLineDur(nullptr, kTotal, 1, 0.0));
    layers.emplace_back(new wavPainterSelecter(kTotal, 1, 0.0));
    for (size_t i = 0; i < layers.size(); ++i) {
        layers[i]->resize(kWidth, kHeight);
        layers[i]->layerColor = Qt::red;
        layers[i]->backgroundColor = Qt::transparent;
        layers[i]->centerLineColor = Qt::transparent;
        EXPECT_TRUE(allWhite(paintOnWhite(*layers[i]))) << i;
    }
}

// Leftmost column with label ink (darker than the region's grey) in the
// rows where labels are written.
int firstLabelColumn(const QImage& image)
{
    for (int x = 0; x < image.width(); ++x)
        for (int y = kHeight - 20; y < kHeight - 3; ++y)
            if (at(image, x, y).red() < 180)
                return x;
    return -1;
}

TEST(WavPainterMetaLineDur, RegionsCutByTheViewAreMarkedAndLabelledFromTheEdge)
{
    // Zoom 2 from half a width in: the view shows samples 1575 .. 4725.
    struct Case {
        const char* what;
        uint32_t start, end;
        bool cutLeft, cutRight;
        int labelColumn;
        int triangleColumn;
    };
    const Case cases[] = {
        {"cut on the left", 0, 3780, true, false, 2, 5},
        {"inside", 2100, 3780, false, false, 107, 110},
        {"cut on the right", 3150, 6000, false, true, 317, 320},
    };
    for (const Case& c : cases) {
        const std::vector<wavPainterMetaLineDur::Region> regions = {{c.start, c.end, "Main A", 3}};
        wavPainterMetaLineDur layer(&regions, kTotal, 2, 0.5);
        layer.resize(kWidth, kHeight);
        layer.layerColor = Qt::red;
        layer.backgroundColor = Qt::white;
        const QImage image = paintOnWhite(layer);
        EXPECT_EQ(at(image, 0, 0) == QColor(Qt::black), c.cutLeft) << c.what;
        EXPECT_EQ(at(image, 0, 2) == QColor(Qt::black), c.cutLeft) << c.what;
        EXPECT_EQ(at(image, kWidth - 1, 0) == QColor(Qt::black), c.cutRight) << c.what;
        EXPECT_EQ(at(image, kWidth - 4, 0) == QColor(Qt::black), c.cutRight) << c.what;
        EXPECT_EQ(at(image, c.triangleColumn, kHeight / 2), QColor(220, 220, 220)) << c.what;
        const int label = firstLabelColumn(image);
        EXPECT_GE(label, c.labelColumn) << c.what;
        EXPECT_LE(label, c.labelColumn + 2) << c.what;
    }

    // Fully outside the view: nothing at all.
    const std::vector<wavPainterMetaLineDur::Region> outside = {{0, 1000, "Intro 1", 0}};
    wavPainterMetaLineDur layer(&outside, kTotal, 2, 0.5);
    layer.resize(kWidth, kHeight);
    EXPECT_TRUE(allWhite(paintOnWhite(layer)));
}

TEST(WavPainterMetaLineDur, TheHighlightedRegionIsPinkWithItsLabelInTheLayerColour)
{
    const std::vector<wavPainterMetaLineDur::Region> regions = {{0, 3150, "Intro 1", 0},
                                                                {3150, 6300, "Main A", 3}};
    wavPainterMetaLineDur layer(&regions, kTotal, 1, 0.0);
    layer.resize(kWidth, kHeight);
    layer.layerColor = Qt::red;
    layer.highlightEnabled = true;
    layer.highlightStart = 3150;
    layer.highlightEnd = 6300;
    QImage image = paintOnWhite(layer);
    EXPECT_EQ(layer.highlightedIndex, 1);
    EXPECT_EQ(at(image, 320, kHeight / 2), QColor(255, 200, 200));
    EXPECT_EQ(at(image, 5, kHeight / 2), QColor(220, 220, 220));

    layer.highlightEnabled = false;
    image = paintOnWhite(layer);
    EXPECT_EQ(layer.highlightedIndex, -1);
    EXPECT_EQ(at(image, 320, kHeight / 2), QColor(220, 220, 220));
}

TEST(WavPainterLayers, SelectionMarkCaptionAndPlayLine)
{
    wavPainterSelecter selecter(kTotal, 1, 0.0);
    selecter.resize(kWidth, kHeight);
    selecter.selectionVisible = true;
    selecter.selectionStart = 4000;  // ends in either order
    selecter.selectionEnd = 2000;
    selecter.markVisible = true;
    selecter.markStart = 5000;
    selecter.markEnd = 7000000;  // far past the end
    QImage image = paintOnWhite(selecter);
    const QColor halfYellow = at(image, 300, kHeight - 1);
    EXPECT_EQ(halfYellow.red(), 255);
    EXPECT_EQ(halfYellow.green(), 255);
    EXPECT_NEAR(halfYellow.blue(), 128, 1);
    EXPECT_EQ(at(image, 199, kHeight - 1), QColor(Qt::white));
    EXPECT_EQ(at(image, 400, kHeight - 1), QColor(Qt::white));
    const QColor halfRed = at(image, kWidth - 1, 0);
    EXPECT_EQ(halfRed.red(), 255);
    EXPECT_NEAR(halfRed.green(), 160, 1);
    EXPECT_EQ(at(image, kWidth - 1, kHeight / 2 + 1), QColor(Qt::white));

    wavPainterLocation location(kTotal, 1, 0.0);
    location.resize(kWidth, kHeight);
    location.layerColor = Qt::green;
    location.locationX = 123;
    image = paintOnWhite(location);
    EXPECT_EQ(at(image, 123, 0), QColor(Qt::green));
    EXPECT_EQ(at(image, 123, kHeight - 1), QColor(Qt::green));
    EXPECT_EQ(at(image, 124, kHeight / 2), QColor(Qt::white));

    wavPainterText caption("section assigned", kTotal, 1, 0.0);
    caption.resize(kWidth, kHeight);
    caption.layerColor = Qt::darkGray;
    image = paintOnWhite(caption);
    EXPECT_FALSE(allWhite(image.copy(10, 0, 120, 14)));
    EXPECT_TRUE(allWhite(image.copy(0, 20, kWidth, kHeight - 20)));
}

// Counts rebuilds, so the paint cycle can be watched.
class CountingLayer : public wavPainter {
public:
    CountingLayer() : wavPainter(kTotal, 1, 0.0) { }
    void rebuild() override { ++rebuilds; }
    int rebuilds = 0;
};

TEST(WavPainter, PaintRebuildsOnlyWhenDirtyAndHonoursItsFlags)
{
    CountingLayer layer;
    layer.resize(kWidth, kHeight);
    layer.backgroundColor = Qt::black;
    layer.centerLineColor = Qt::red;

    layer.suspended = true;
    EXPECT_TRUE(allWhite(paintOnWhite(layer)));
    EXPECT_EQ(layer.rebuilds, 0);
    EXPECT_TRUE(layer.dirty);

    layer.suspended = false;
    QImage image = paintOnWhite(layer);
    EXPECT_EQ(layer.rebuilds, 1);
    EXPECT_FALSE(layer.dirty);
    EXPECT_TRUE(layer.hasMouseTracking());
    EXPECT_EQ(at(image, 5, 5), QColor(Qt::black));
    EXPECT_EQ(at(image, 5, kHeight / 2), QColor(Qt::red));
    EXPECT_EQ(at(image, kWidth - 1, kHeight / 2), QColor(Qt::red));

    paintOnWhite(layer);
    EXPECT_EQ(layer.rebuilds, 1);

    layer.centerLineColor = Qt::transparent;
    layer.dirty = true;
    image = paintOnWhite(layer);
    EXPECT_EQ(layer.rebuilds, 2);
    EXPECT_EQ(at(image, 5, kHeight / 2), QColor(Qt::black));

    layer.drawBackgroundEnabled = false;
    EXPECT_TRUE(allWhite(paintOnWhite(layer)));
}

// Records the mouse moves that reach it.
class Container : public QWidget {
public:
    struct Move {
        QPointF pos;
        Qt::MouseButton button;
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers modifiers;
    };
    std::vector<Move> moves;

protected:
    void mouseMoveEvent(QMouseEvent* e) override
    {
        moves.push_back({e->localPos(), e->button(), e->buttons(), e->modifiers()});
    }
};

TEST(WavPainter, MouseMovesReachTheContainerInItsCoordinates)
{
    Container container;
    container.resize(800, 200);
    wavPainterSelecter layer(kTotal, 1, 0.0, &container);
    layer.setGeometry(12, 30, kWidth, kHeight);
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 7), QPointF(5, 7), QPointF(105, 107), Qt::NoButton,
                     Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(&layer, &move);
    ASSERT_EQ(container.moves.size(), 1u);
    EXPECT_EQ(container.moves[0].pos, QPointF(17, 37));
    EXPECT_EQ(container.moves[0].button, Qt::NoButton);
    EXPECT_EQ(container.moves[0].buttons, Qt::LeftButton);
    EXPECT_EQ(container.moves[0].modifiers, Qt::ShiftModifier);

    wavPainterSelecter orphan(kTotal, 1, 0.0);  // no container: nothing to reach
    QApplication::sendEvent(&orphan, &move);
}

// ---------------------------------------------------------- peak cache

// A 16-bit WAV file of `frames` frames; sample(channel, frame) in -1 .. 1.
struct TestWav {
    std::vector<std::vector<int16_t>> channels;  // per channel, the samples written

    TestWav(const QString& path, int channelCount, int frames, const std::function<double(int, int)>& sample)
        : channels(size_t(channelCount))
    {
        std::vector<int16_t> interleaved;
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channelCount; ++c) {
                const int16_t v = int16_t(std::lround(sample(c, i) * 32767.0));
                channels[size_t(c)].push_back(v);
                interleaved.push_back(v);
            }
        SF_INFO info {};
        info.samplerate = 44100;
        info.channels = channelCount;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr);
        if (f) {
            EXPECT_EQ(sf_writef_short(f, interleaved.data(), frames), frames);
            sf_close(f);
        }
    }
};

double testSignal(int channel, int frame)
{
    const double t = frame / 44100.0;
    switch (channel) {
    case 0:
        return 0.8 * std::sin(2 * M_PI * 440.0 * t);
    case 1:
        return 0.3 * std::sin(2 * M_PI * 97.0 * t) - 0.2;
    default:
        return channel % 2 ? 0.95 : -0.95;
    }
}

// The expected cache, from the samples: each column spans the frames from
// the previous to the next column; unread columns are full height.
std::vector<std::pair<int, int>> referencePeaks(const std::vector<int16_t>* samples, uint32_t total,
                                                uint32_t zoom, double offset, int width, int height)
{
    const auto row = [height](double v) {
        const int y = int(std::floor(height / 2.0 - height * v / 2.0 + 0.5));
        return std::max(0, std::min(y, height - 1));
    };
    const double spw = double(total) / zoom;
    std::vector<std::pair<int, int>> out;
    for (int x = 0; x < width; ++x) {
        const auto frame = [&](double v) {
            return std::max<int64_t>(0, std::min<int64_t>(int64_t(v), int64_t(total) - 1));
        };
        const int64_t a = frame(std::ceil(((x - 1.0) / width + offset) * spw));
        const int64_t b = frame(std::floor(((x + 1.0) / width + offset) * spw));
        double low = 1.0, high = -1.0;
        for (int64_t i = a; samples && i < a + std::llabs(b - a); ++i) {
            const double v = (*samples)[size_t(i)] / 32768.0;
            low = std::min(low, v);
            high = std::max(high, v);
        }
        out.push_back({row(low), row(high)});
    }
    return out;
}

// Index of the first differing column, or -1.
int firstDifference(const std::vector<std::pair<int, int>>& a, const std::vector<std::pair<int, int>>& b)
{
    if (a.size() != b.size())
        return int(std::min(a.size(), b.size()));
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return int(i);
    return -1;
}

class WavPainterSeekerTest : public ::testing::Test {
protected:
    testutil::TempDir dir;
};

TEST_F(WavPainterSeekerTest, PeaksAreTheExtremesOfEachColumnsSpan)
{
    const int frames = 44100;
    const TestWav wav(dir.path("sine.wav"), 2, frames, testSignal);
    WavSeeker_libSndFile reader(dir.wpath("sine.wav"));
    ASSERT_EQ(reader.length(), frames);
    struct View {
        uint32_t zoom;
        double offset;
    };
    // The same peaks with the file's block summary (44100 frames end in a
    // partial block): whole blocks come from it, the ends are read.
    const std::shared_ptr<const PeakSummary> summary = PeakSummary::build(reader);
    ASSERT_TRUE(summary);
    for (const auto& blocks : {std::shared_ptr<const PeakSummary>(), summary}) {
        for (const View v :
             {View {1, 0.0}, View {7, 0.0}, View {7, 3.25}, View {7, 6.0}, View {44100, 1234.0}}) {
            for (uint8_t channel : {0, 1}) {
                wavPainterSeeker layer(&reader, channel, frames, v.zoom, v.offset);
                layer.setSummary(blocks);
                layer.resize(kWidth, kHeight);
                layer.rebuild();
                const auto expected =
                    referencePeaks(&wav.channels[channel], frames, v.zoom, v.offset, kWidth, kHeight);
                EXPECT_EQ(firstDifference(layer.peaks, expected), -1)
                    << "zoom " << v.zoom << " offset " << v.offset << " channel " << int(channel)
                    << (blocks ? " with the summary" : "");
            }
        }
    }
    // A view longer than the file: the frames past its end are silence.
    wavPainterSeeker longer(&reader, 0, 2 * frames, 1, 0.0);
    longer.setSummary(summary);
    longer.resize(kWidth, kHeight);
    longer.rebuild();
    wavPainterSeeker direct(&reader, 0, 2 * frames, 1, 0.0);
    direct.resize(kWidth, kHeight);
    direct.rebuild();
    EXPECT_EQ(firstDifference(longer.peaks, direct.peaks), -1);

    // At one frame per width a column's span is a frame at most; the one
    // whose span ends on the same frame it starts at reads nothing.
    wavPainterSeeker deep(&reader, 0, frames, 44100, 100.0);
    deep.resize(kWidth, kHeight);
    deep.rebuild();
    EXPECT_EQ(deep.peaks[1], std::make_pair(0, kHeight - 1));
    EXPECT_NE(deep.peaks[2], std::make_pair(0, kHeight - 1));
}

TEST_F(WavPainterSeekerTest, ACutOffFileDrawsAsADirectReadDoesWithTheSummary)
{
    // A file cut off inside its samples (its header still names them all),
    // and one cut inside its header: the view keeps the length it was given.
    const int frames = 20000;
    const QString path = dir.path("cut.wav");
    {
        const TestWav wav(path, 2, frames, testSignal);
    }
    for (const qint64 keep : {qint64(44 + 4 * 12345 + 2), qint64(30)}) {
        QFile file(path);
        ASSERT_TRUE(file.resize(keep));
        WavSeeker_libSndFile reader(dir.wpath("cut.wav"));
        const auto summary = PeakSummary::build(reader);
        EXPECT_EQ(bool(summary), reader.length() > 0) << keep;
        for (const double offset : {0.0, 1.5}) {
            wavPainterSeeker direct(&reader, 1, frames, 2, offset);
            wavPainterSeeker summarised(&reader, 1, frames, 2, offset);
            summarised.setSummary(summary);
            for (wavPainterSeeker* layer : {&direct, &summarised}) {
                layer->resize(kWidth, kHeight);
                layer->rebuild();
            }
            EXPECT_EQ(firstDifference(summarised.peaks, direct.peaks), -1) << keep << " at " << offset;
        }
    }
}

TEST_F(WavPainterSeekerTest, AFileSummaryIsReusedUntilTheFileChanges)
{
    const int frames = 3000;
    const QString path = dir.path("take.wav");
    {
        const TestWav wav(path, 2, frames, testSignal);
    }
    WavSeeker_libSndFile first(dir.wpath("take.wav"));
    const auto a = PeakSummary::forFile(path, first);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->frames(), frames);
    WavSeeker_libSndFile again(dir.wpath("take.wav"));
    EXPECT_EQ(PeakSummary::forFile(path, again), a) << "the same file is not read again";

    // Rewritten with other samples of the same size (a new file under the
    // name, as a save does): a new summary with the new extremes.
    QFile::remove(path);
    {
        const TestWav wav(path, 2, frames, [](int, int) { return 0.5; });
    }
    WavSeeker_libSndFile rewritten(dir.wpath("take.wav"));
    const auto b = PeakSummary::forFile(path, rewritten);
    ASSERT_TRUE(b);
    EXPECT_NE(b, a);
    double low = 1.0, high = -1.0;
    b->extremes(0, 0, 100, low, high);
    EXPECT_NEAR(low, 0.5, 1e-3);
    EXPECT_NEAR(high, 0.5, 1e-3);

    WavSeeker_libSndFile missing(dir.wpath("gone.wav"));
    EXPECT_FALSE(PeakSummary::forFile(dir.path("gone.wav"), missing));
}

TEST_F(WavPainterSeekerTest, WithoutReadableAudioEveryColumnIsFullHeight)
{
    WavSeeker_libSndFile missing(dir.wpath("not-there.wav"));
    const std::vector<std::pair<int, int>> full(kWidth, {0, kHeight - 1});
    for (WavSeeker_libSndFile* source : {static_cast<WavSeeker_libSndFile*>(nullptr), &missing}) {
        wavPainterSeeker layer(source, 0, 44100, 1, 0.0);
        layer.resize(kWidth, kHeight);
        layer.rebuild();
        EXPECT_EQ(firstDifference(layer.peaks, full), -1) << (source ? "missing file" : "no source");
    }
    wavPainterSeeker empty(nullptr, 0, 0, 1, 0.0);
    empty.resize(kWidth, kHeight);
    empty.rebuild();
    EXPECT_TRUE(empty.peaks.empty());
}

TEST_F(WavPainterSeekerTest, ChannelsAreTakenFromFramesOfTheFilesOwnWidth)
{
    // A shown file may have been replaced on disk by one of another width.
    const int frames = 20000;
    for (int channelCount : {1, 2, 4}) {
        const QString name = QString("ch%1.wav").arg(channelCount);
        const TestWav wav(dir.path(name), channelCount, frames, testSignal);
        WavSeeker_libSndFile reader(dir.wpath(name));
        ASSERT_EQ(reader.channels(), channelCount);
        for (uint8_t channel : {0, 1}) {
            wavPainterSeeker layer(&reader, channel, frames, 3, 1.0);
            layer.resize(kWidth, kHeight);
            layer.rebuild();
            const bool present = channel < channelCount;
            const auto expected =
                referencePeaks(present ? &wav.channels[channel] : nullptr, frames, 3, 1.0, kWidth, kHeight);
            EXPECT_EQ(firstDifference(layer.peaks, expected), -1)
                << channelCount << " channels, channel " << int(channel);
        }
    }
}

TEST_F(WavPainterSeekerTest, TheWaveformIsOneLinePerColumnOverTheBackground)
{
    const int frames = 44100;
    TestWav(dir.path("sine.wav"), 2, frames, testSignal);
    WavSeeker_libSndFile reader(dir.wpath("sine.wav"));
    wavPainterSeeker layer(&reader, 1, frames, 1, 0.0);
    layer.resize(kWidth, kHeight);
    layer.layerColor = Qt::darkGray;
    layer.backgroundColor = Qt::white;
    layer.centerLineColor = Qt::black;
    const QImage image = paintOnWhite(layer);
    ASSERT_EQ(layer.peaks.size(), size_t(kWidth));
    const int x = 100;
    const auto [bottom, top] = layer.peaks[x];
    ASSERT_LT(top, bottom);
    for (int y = 0; y < kHeight; ++y) {
        const QColor expected = y >= top && y <= bottom ? QColor(Qt::darkGray) : QColor(Qt::white);
        if (y != kHeight / 2) {
            EXPECT_EQ(at(image, x, y), expected) << y;
        }
    }
}

// A reader whose reads throw for one span.
class ThrowingReader : public WavSeeker_libSndFile {
public:
    ThrowingReader(const std::wstring& path, int badFrame) : WavSeeker_libSndFile(path), m_badFrame(badFrame)
    { }
    int seek(int frame) override
    {
        m_at = frame;
        return WavSeeker_libSndFile::seek(frame);
    }
    int read(float* buffer, int frames) override
    {
        if (m_at == m_badFrame)
            throw std::runtime_error("unreadable span");
        return WavSeeker_libSndFile::read(buffer, frames);
    }

private:
    int m_badFrame;
    int m_at = -1;
};

// Records the boxes shown, with their default button.
class BoxRecorder {
public:
    struct Box {
        QString title, text;
        QStringList buttons;
        bool hasDefault;
    };
    std::vector<Box> boxes;

    BoxRecorder()
    {
        MessageDialog::setResponder([this](MessageDialog& box) {
            boxes.push_back(
                {box.windowTitle(), box.text(), box.buttonLabels(), box.defaultButton() != nullptr});
            return box.buttons().value(0);
        });
    }
    ~BoxRecorder() { MessageDialog::setResponder(nullptr); }
};

TEST_F(WavPainterSeekerTest, AFailingReadLeavesItsColumnFullHeightAndShowsOneBoxAfterThePaint)
{
    const int frames = 44100;
    const TestWav wav(dir.path("sine.wav"), 2, frames, testSignal);
    const int badColumn = 200;
    const int badFrame = int(std::ceil((badColumn - 1.0) / kWidth * frames));
    ThrowingReader reader(dir.wpath("sine.wav"), badFrame);
    BoxRecorder recorder;

    // Both channels fail on the same column in one round of paints.
    wavPainterSeeker left(&reader, 0, frames, 1, 0.0);
    wavPainterSeeker right(&reader, 1, frames, 1, 0.0);
    for (wavPainterSeeker* layer : {&left, &right}) {
        layer->resize(kWidth, kHeight);
        paintOnWhite(*layer);
    }
    EXPECT_TRUE(recorder.boxes.empty()) << "no box inside the paint";
    QApplication::processEvents();
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].title, "KRMproto");
    EXPECT_EQ(recorder.boxes[0].text, "Memory error!");
    EXPECT_EQ(recorder.boxes[0].buttons, QStringList {"OK"});
    EXPECT_FALSE(recorder.boxes[0].hasDefault);

    auto expected = referencePeaks(&wav.channels[0], frames, 1, 0.0, kWidth, kHeight);
    expected[badColumn] = {0, kHeight - 1};
    EXPECT_EQ(firstDifference(left.peaks, expected), -1);

    // A repaint without a rebuild reads nothing and shows nothing.
    paintOnWhite(left);
    QApplication::processEvents();
    EXPECT_EQ(recorder.boxes.size(), 1u);

    // A later rebuild that fails again reports again.
    left.dirty = true;
    paintOnWhite(left);
    QApplication::processEvents();
    EXPECT_EQ(recorder.boxes.size(), 2u);
}

}  // namespace
