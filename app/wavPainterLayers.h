#pragma once
// The marker, region, selection, caption and play-position layers of a
// waveform view (see wavPainter.h for the shared length, zoom and scroll).
// Layers that draw the owner's lists hold a pointer to them and never own
// them: the list must outlive the layer or be replaced with setData first.
// Positions and regions are sample frames of the shown audio.
#include "wavPainter.h"

#include <QPainter>
#include <QPair>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

// Vertical marker lines (beats, onsets), optionally with every
// `accentPeriod`-th marker counted from `accentOrigin` in red. Markers that
// share a pixel column get a small black triangle at the top.
class wavPainterMetaLine : public wavPainter {
public:
    // `positions` may be null (nothing is drawn).
    wavPainterMetaLine(const std::vector<uint32_t>* positions, uint32_t totalSamples, uint32_t zoom,
                       double offset, QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    void setData(const std::vector<uint32_t>* positions) { m_positions = positions; }
    const std::vector<uint32_t>* data() const { return m_positions; }

    // `accentOrigin` = index of the position nearest to `sample` (the lower
    // one on a tie); -1 without positions.
    void setAccentOriginBySample(uint32_t sample);

    void drawLayer(QPainter& painter) override;

    int accentOrigin = 0;
    int accentPeriod = 0;  // 0: no accents
    QPainter::CompositionMode compositionMode = QPainter::CompositionMode_Multiply;
    bool drawLines = true;  // false: only the shared-column marks

private:
    const std::vector<uint32_t>* m_positions;
};

// Regions with labels (sections): a light triangle from the start column to
// the end column and the label near the bottom; black corner marks where a
// region runs past the view. The region equal to the highlight range is
// drawn in pink.
class wavPainterMetaLineDur : public wavPainter {
public:
    struct Region {
        uint32_t start = 0;  // sample frames
        uint32_t end = 0;
        std::string label;
        int32_t tag = 0;  // the owner's own value; the layer does not read it
    };

    // `regions` may be null (nothing is drawn).
    wavPainterMetaLineDur(const std::vector<Region>* regions, uint32_t totalSamples, uint32_t zoom,
                          double offset, QWidget* parent = nullptr,
                          Qt::WindowFlags flags = Qt::WindowFlags());

    void setData(const std::vector<Region>* regions) { m_regions = regions; }
    const std::vector<Region>* data() const { return m_regions; }

    // Also sets `highlightedIndex` (the index of the highlighted region at
    // the last drawing, -1 when none).
    void drawLayer(QPainter& painter) override;

    bool highlightEnabled = false;
    uint32_t highlightStart = 0;
    uint32_t highlightEnd = 0;
    int highlightedIndex = -1;
    QColor textColor = QColor(Qt::darkGray);

private:
    const std::vector<Region>* m_regions;
};

// The marked area over the full height in yellow and a second mark over
// the upper half in red, both half transparent. Ends may come in any order.
class wavPainterSelecter : public wavPainter {
public:
    wavPainterSelecter(uint32_t totalSamples, uint32_t zoom, double offset, QWidget* parent = nullptr,
                       Qt::WindowFlags flags = Qt::WindowFlags());

    void drawLayer(QPainter& painter) override;

    bool selectionVisible = false;
    uint32_t selectionStart = 0;
    uint32_t selectionEnd = 0;
    bool markVisible = false;
    uint32_t markStart = 0;
    uint32_t markEnd = 0;

private:
    // Columns of the span start .. end, ordered and limited to just outside
    // the widget so the fill never overflows.
    QPair<int, int> spanColumns(uint32_t start, uint32_t end) const;
};

// A caption at the top left.
class wavPainterText : public wavPainter {
public:
    wavPainterText(const QString& text, uint32_t totalSamples, uint32_t zoom, double offset,
                   QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    void drawLayer(QPainter& painter) override;

    QString text;
};

// The play-position line at column `locationX` (-1: off the view).
class wavPainterLocation : public wavPainter {
public:
    wavPainterLocation(uint32_t totalSamples, uint32_t zoom, double offset, QWidget* parent = nullptr,
                       Qt::WindowFlags flags = Qt::WindowFlags());

    void drawLayer(QPainter& painter) override;

    int locationX = -1;
};

// The seven layers of a waveform view, bottom to top: two waveforms, beats,
// section labels, captions, the selection and the play line. Gives each of `layers` (the
// first seven) its colour, background and centre line.
constexpr int kWaveViewLayerCount = 7;
void applyWaveViewColours(const std::vector<wavPainter*>& layers);
