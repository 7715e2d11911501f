#include "wavPainterSeeker.h"

#include "MessageDialog.h"
#include "PeakSummary.h"
#include "WavSeeker_libSndFile.h"

#include <QCoreApplication>
#include <QLine>
#include <QPainter>
#include <QVector>

#include <algorithm>
#include <cmath>

namespace {

// Frames read per call, so a column spanning minutes of audio needs no
// buffer of its size.
constexpr int64_t kReadBlock = 16384;

// The "Memory error!" box: queued after a failed rebuild, then shown; while
// it is queued or up, further failures add no box.
enum class ErrorBox { None, Queued, Up };
ErrorBox g_errorBox = ErrorBox::None;

int64_t toFrame(double v, int64_t last)
{
    if (std::isnan(v) || v <= 0.0)
        return 0;
    if (v >= double(last))
        return last;
    return int64_t(v);
}

}  // namespace

wavPainterSeeker::wavPainterSeeker(WavSeeker_libSndFile* source, uint8_t channel, uint32_t totalSamples,
                                   uint32_t zoom, double offset, QWidget* parent, Qt::WindowFlags flags)
    : wavPainter(totalSamples, zoom, offset, parent, flags), channel(channel), m_source(source)
{ }

int wavPainterSeeker::amplitudeToY(double amplitude, bool clamp) const
{
    const double h = height();
    const int row = roundToInt(h * 0.5 - h * amplitude * 0.5);
    if (!clamp)
        return row;
    return std::max(0, std::min(row, height() - 1));
}

void wavPainterSeeker::rebuild()
{
    peaks.clear();
    if (totalSamples < 1)
        return;
    const int columns = std::max(0, width());
    peaks.assign(size_t(columns), {0, 0});
    const double samplesPerWidth = double(totalSamples) / double(effectiveZoom());
    const int64_t last = int64_t(totalSamples) - 1;
    bool failed = false;
    for (int x = 0; x < columns; ++x) {
        // Each column covers the span from the previous to the next column.
        const int64_t a = toFrame(std::ceil((double(x - 1) / columns + offset) * samplesPerWidth), last);
        const int64_t b = toFrame(std::floor((double(x + 1) / columns + offset) * samplesPerWidth), last);
        double low = 1.0, high = -1.0;
        if (m_source && a != b && !scanSpan(a, std::llabs(b - a), low, high))
            failed = true;
        peaks[size_t(x)] = {amplitudeToY(low, true), amplitudeToY(high, true)};
    }
    if (failed)
        reportMemoryError();
}

bool wavPainterSeeker::scanSpan(int64_t first, int64_t count, double& low, double& high)
{
    if (!m_summary || m_summary->channels() != m_source->channels() || channel >= m_summary->channels())
        return readSpan(first, count, low, high);
    constexpr int64_t block = PeakSummary::kBlock;
    const int64_t end = first + count;
    const int64_t inFile = std::min(end, m_summary->frames());
    bool ok = true;
    if (first < inFile) {
        const int64_t headEnd = std::min(inFile, (first + block - 1) / block * block);
        const int64_t tailStart = std::max(headEnd, inFile / block * block);
        if (headEnd > first)
            ok = readSpan(first, headEnd - first, low, high) && ok;
        m_summary->extremes(channel, headEnd / block, tailStart / block, low, high);
        if (inFile > tailStart)
            ok = readSpan(tailStart, inFile - tailStart, low, high) && ok;
    }
    if (end > inFile) {  // frames past the end read as silence
        low = std::min(low, 0.0);
        high = std::max(high, 0.0);
    }
    return ok;
}

bool wavPainterSeeker::readSpan(int64_t first, int64_t count, double& low, double& high)
{
    const int channels = m_source->channels();
    if (channel >= channels)
        return true;  // a channel the file lacks draws as no source
    try {
        const int64_t block = std::min(count, kReadBlock);
        m_buffer.resize(size_t(block) * size_t(channels));
        int64_t done = 0;
        if (m_source->seek(int(first)) >= 0) {
            while (done < count) {
                const int want = int(std::min(count - done, block));
                const int got = std::max(0, std::min(m_source->read(m_buffer.data(), want), want));
                for (int i = 0; i < got; ++i) {
                    const double v = m_buffer[size_t(i) * size_t(channels) + channel];
                    low = std::min(low, v);
                    high = std::max(high, v);
                }
                done += got;
                if (got < want)
                    break;
            }
        }
        if (done < count) {  // frames not read count as silence
            low = std::min(low, 0.0);
            high = std::max(high, 0.0);
        }
        return true;
    } catch (...) {
        return false;
    }
}

void wavPainterSeeker::reportMemoryError()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || g_errorBox != ErrorBox::None)
        return;
    g_errorBox = ErrorBox::Queued;
    QMetaObject::invokeMethod(
        app,
        [] {
            g_errorBox = ErrorBox::Up;
            MessageDialog::showMessage(nullptr, QStringLiteral("KRMproto"),
                                       QCoreApplication::translate("wavPainterSeeker", "Memory error!"),
                                       QMessageBox::Ok, QMessageBox::NoButton);
            g_errorBox = ErrorBox::None;
        },
        Qt::QueuedConnection);
}

void wavPainterSeeker::drawLayer(QPainter& painter)
{
    painter.setPen(linePen(layerColor));
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    QVector<QLine> lines;
    lines.reserve(int(peaks.size()));
    for (size_t x = 0; x < peaks.size(); ++x)
        lines.append(QLine(int(x), peaks[x].first, int(x), peaks[x].second));
    painter.drawLines(lines);
}
