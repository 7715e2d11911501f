// Waveform view cost (offscreen): the rebuild of both waveform layers'
// peak caches for 2.5, 5 and 10 minutes of stereo audio, at zoom 1 and at
// the closest zoom, 1920 pixels wide (growth with length by the complexity
// fit and by the per-minute figures); and a repaint of the whole seven-layer
// stack of the 10-minute file without a rebuild, which must stay well under
// one 60 Hz frame (16 ms).
#include "WavSeeker_libSndFile.h"
#include "wavPainterLayers.h"
#include "wavPainterSeeker.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kViewWidth = 1920;
constexpr int kLayerHeight = 200;
constexpr int kRate = 44100;

// Stereo 16-bit WAV files of a given length, made once per run: a chord of
// sines with a little noise, so every column has real extremes.
class AudioFiles {
public:
    static AudioFiles& instance()
    {
        static AudioFiles files;
        return files;
    }

    QString path(double minutes)
    {
        const int key = int(minutes * 10);
        auto found = m_paths.find(key);
        if (found != m_paths.end())
            return found->second;
        const QString p = m_dir.filePath(QString("song_%1.wav").arg(key));
        write(p, int64_t(minutes * 60 * kRate));
        m_paths[key] = p;
        return p;
    }

private:
    static void write(const QString& path, int64_t frames)
    {
        SF_INFO info {};
        info.samplerate = kRate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
        if (!file)
            return;
        std::mt19937 random(5);
        std::uniform_real_distribution<double> noise(-0.05, 0.05);
        std::vector<short> block;
        for (int64_t start = 0; start < frames; start += 65536) {
            const int64_t n = std::min<int64_t>(65536, frames - start);
            block.resize(size_t(n) * 2);
            for (int64_t i = 0; i < n; ++i) {
                const double t = double(start + i) / kRate;
                const double env = 0.5 + 0.4 * std::sin(2 * M_PI * 0.5 * t);
                const double l =
                    env * (0.5 * std::sin(2 * M_PI * 220 * t) + 0.3 * std::sin(2 * M_PI * 277 * t));
                const double r =
                    env * (0.5 * std::sin(2 * M_PI * 330 * t) + 0.3 * std::sin(2 * M_PI * 110 * t));
                block[size_t(2 * i)] = short(std::lround((l + noise(random)) * 32000));
                block[size_t(2 * i + 1)] = short(std::lround((r + noise(random)) * 32000));
            }
            sf_writef_short(file, block.data(), n);
        }
        sf_close(file);
    }

    QTemporaryDir m_dir;
    std::map<int, QString> m_paths;
};

std::wstring widePath(const QString& path)
{
    return path.toStdWString();
}

// Args: tenths of a minute, then 0 for zoom 1 or 1 for the closest zoom.
void BM_RebuildWaveLayers(benchmark::State& state)
{
    const double minutes = state.range(0) / 10.0;
    const bool closest = state.range(1) != 0;
    WavSeeker_libSndFile reader(widePath(AudioFiles::instance().path(minutes)));
    const uint32_t total = uint32_t(reader.length());
    const uint32_t zoom = closest ? wavPainter::maxZoomFor(total) : 1;
    const double offset = closest ? zoom / 2.0 : 0.0;  // the middle of the song
    wavPainterSeeker left(&reader, 0, total, zoom, offset);
    wavPainterSeeker right(&reader, 1, total, zoom, offset);
    for (wavPainterSeeker* layer : {&left, &right})
        layer->resize(kViewWidth, kLayerHeight);
    for (auto _ : state) {
        left.rebuild();
        right.rebuild();
        benchmark::DoNotOptimize(left.peaks.data());
        benchmark::DoNotOptimize(right.peaks.data());
    }
    state.SetComplexityN(int64_t(total));
    state.counters["minutes"] = minutes;
    state.counters["zoom"] = zoom;
    // Seconds of rebuild per minute of audio: flat when the cost is linear.
    state.counters["s_per_min"] = benchmark::Counter(
        double(state.iterations()) * minutes, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RebuildWaveLayers)
    ->ArgsProduct({{25, 50, 100}, {0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);
BENCHMARK(BM_RebuildWaveLayers)
    ->ArgsProduct({{25, 50, 100}, {1}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// The main window's stack over a frame: both channels, beats, section
// labels, caption, selection and play line, laid out as the window does.
struct ViewStack {
    QWidget frame;
    std::vector<uint32_t> beats;
    std::vector<wavPainterMetaLineDur::Region> regions;
    std::vector<wavPainter*> layers;

    ViewStack(WavSeeker_libSndFile* reader, uint32_t total)
    {
        const int h = 2 * kLayerHeight + 69;
        frame.resize(kViewWidth + 1, h);
        for (uint32_t s = 0; s < total; s += kRate / 2)  // 120 beats a minute
            beats.push_back(s);
        const uint32_t sectionLength = total / 15;
        for (int i = 0; i < 15; ++i)
            regions.push_back({i * sectionLength, (i + 1) * sectionLength, "Main A", i});
        layers = {
            new wavPainterSeeker(reader, 0, total, 1, 0.0, &frame),
            new wavPainterSeeker(reader, 1, total, 1, 0.0, &frame),
            new wavPainterMetaLine(&beats, total, 1, 0.0, &frame),
            new wavPainterMetaLineDur(&regions, total, 1, 0.0, &frame),
            new wavPainterText(QStringLiteral("section assigned"), total, 1, 0.0, &frame),
            new wavPainterSelecter(total, 1, 0.0, &frame),
            new wavPainterLocation(total, 1, 0.0, &frame),
        };
        const QColor layerColors[] = {Qt::darkGray, Qt::darkGray, Qt::blue, Qt::red,
                                      Qt::darkGray, Qt::white,    Qt::green};
        for (size_t i = 0; i < layers.size(); ++i) {
            layers[i]->layerColor = layerColors[i];
            layers[i]->backgroundColor = i < 2 || i == 3 ? QColor(Qt::white) : QColor(Qt::transparent);
            layers[i]->centerLineColor = i < 2 ? QColor(Qt::black) : QColor(Qt::transparent);
        }
        static_cast<wavPainterMetaLine*>(layers[2])->accentPeriod = 4;
        auto* selection = static_cast<wavPainterSelecter*>(layers[5]);
        selection->selectionVisible = true;
        selection->selectionStart = 3 * sectionLength;
        selection->selectionEnd = 4 * sectionLength;
        static_cast<wavPainterLocation*>(layers[6])->locationX = 700;

        const int half = (h - 69) / 2;
        const int w = kViewWidth;
        layers[0]->setGeometry(0, 10, w, half);
        layers[1]->setGeometry(0, 20 + half, w, half);
        for (int i : {2, 5, 6})
            layers[size_t(i)]->setGeometry(0, 10, w, 2 * half + 10);
        for (int i : {3, 4})
            layers[size_t(i)]->setGeometry(0, 30 + 2 * half, w, 28);
    }
};

void BM_RepaintSevenLayers(benchmark::State& state)
{
    WavSeeker_libSndFile reader(widePath(AudioFiles::instance().path(10.0)));
    ViewStack view(&reader, uint32_t(reader.length()));
    QImage image(view.frame.size(), QImage::Format_ARGB32_Premultiplied);
    view.frame.render(&image);  // the first paint builds the caches
    for (wavPainter* layer : view.layers)
        if (layer->dirty) {
            state.SkipWithError("a layer was not painted");
            return;
        }
    for (auto _ : state) {
        view.frame.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["goal_ms"] = 16;
}
BENCHMARK(BM_RepaintSevenLayers)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
