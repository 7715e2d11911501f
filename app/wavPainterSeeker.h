#pragma once
// One channel of the waveform. The audio is never read at paint time:
// rebuild() (run by the paint while `dirty` is set) reads each pixel
// column's span once into `peaks`, and drawing is one line per column.
//
// A column whose span cannot be read (no source, a channel the file does
// not have, a span of zero frames, or a read that fails) keeps min 1.0 and
// max -1.0 and so draws over the full height. When a read throws or its
// buffer cannot be allocated, the rebuild still finishes; the failure is
// reported afterwards in one "Memory error!" box, shown from the event
// loop (never inside a paint) and never while another such box is up.
#include "wavPainter.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class PeakSummary;
class WavSeeker_libSndFile;

class wavPainterSeeker : public wavPainter {
public:
    // `source` (not owned) may be null; it must outlive the layer or be
    // replaced with setSource first. `channel`: 0 left, 1 right.
    wavPainterSeeker(WavSeeker_libSndFile* source, uint8_t channel, uint32_t totalSamples, uint32_t zoom,
                     double offset, QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    void setSource(WavSeeker_libSndFile* source) { m_source = source; }
    WavSeeker_libSndFile* source() const { return m_source; }
    // The source's block extremes (may be null): whole blocks inside a
    // column's span are taken from it, only the ends are read.
    void setSummary(std::shared_ptr<const PeakSummary> summary) { m_summary = std::move(summary); }

    // Row of `amplitude` (1.0 top, -1.0 bottom): floor(h/2 - h x amplitude
    // / 2 + 0.5) for height h, saturated to int's range; with `clamp`
    // limited to 0 .. h - 1.
    int amplitudeToY(double amplitude, bool clamp = false) const;

    // The peak cache: one (y of the minimum, y of the maximum) per column;
    // empty when totalSamples is 0.
    void rebuild() override;
    void drawLayer(QPainter& painter) override;

    uint8_t channel;
    std::vector<std::pair<int, int>> peaks;

private:
    // Lowers `low` and raises `high` with the samples of `channel` in the
    // frames first .. first + count - 1. False when the read failed.
    bool scanSpan(int64_t first, int64_t count, double& low, double& high);
    // The same, reading every frame from the source.
    bool readSpan(int64_t first, int64_t count, double& low, double& high);
    // Queues the "Memory error!" box unless one is queued or up.
    static void reportMemoryError();

    WavSeeker_libSndFile* m_source;
    std::shared_ptr<const PeakSummary> m_summary;
    std::vector<float> m_buffer;  // kept between columns and rebuilds
};
