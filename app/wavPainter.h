#pragma once
// The base of the waveform display layers. A waveform view is a stack of
// transparent child widgets of one container, one per layer, that share one
// length (`totalSamples` frames), one zoom (the whole length spans `zoom`
// widget widths) and one scroll position (`offset`, in widget widths, 0 ..
// zoom - 1). The owner creates the layers, sets their data, colours and
// flags directly, sets `dirty` where a layer's cache must be rebuilt and
// calls update(); the layer rebuilds at its next paint.
//
// sampleToX and xToSample are the one mapping between sample frames and
// pixel columns; every view routine (mouse, play position, pointer shape)
// goes through them.
#include "WaveViewRules.h"

#include <QColor>
#include <QPen>
#include <QWidget>

#include <cstdint>

class QPainter;

class wavPainter : public QWidget {
public:
    // The largest zoom a view may use, and the largest for audio of
    // `totalSamples` frames: the views' rule (WaveViewRules::maxZoom).
    static constexpr uint32_t kZoomCeiling = WaveViewRules::kZoomCeiling;
    static uint32_t maxZoomFor(uint32_t totalSamples);

    wavPainter(uint32_t totalSamples, uint32_t zoom, double offset, QWidget* parent = nullptr,
               Qt::WindowFlags flags = Qt::WindowFlags());
    ~wavPainter() override;

    // Column of sample frame `sample`: floor(((sample / totalSamples) x zoom
    // - offset) x width + 0.5). 0 when totalSamples is 0; otherwise saturated
    // to int's range, and with `clamp` limited to 0 .. width - 1. A zoom of
    // 0 counts as 1.
    int sampleToX(int64_t sample, bool clamp = false) const;
    // Sample frame at column `x`: floor((totalSamples / zoom) x (offset + x
    // / width) + 0.5), saturated to int's range; with `clamp` limited to 0 ..
    // totalSamples - 1. 0 when totalSamples is 0.
    int xToSample(int x, bool clamp = false) const;

    // Fills the widget with `backgroundColor` and draws the centre line in
    // `centerLineColor`; a colour equal to Qt::transparent (or never set)
    // switches either off.
    virtual void drawBackground(QPainter& painter);
    // The layer's own drawing; nothing in the base.
    virtual void drawLayer(QPainter& painter);
    // Recomputes the layer's cache from its data; nothing in the base.
    // Called by the paint when `dirty` is set.
    virtual void rebuild();

    bool suspended = false;  // nothing is drawn while set
    bool drawLayerEnabled = true;
    bool drawBackgroundEnabled = true;
    bool dirty = true;  // rebuild before the next drawing
    uint32_t totalSamples;
    uint32_t zoom;
    double offset;
    QColor layerColor;
    QColor backgroundColor;
    QColor centerLineColor;

protected:
    // The pen of every line the layers draw: width 1, solid, round cap,
    // bevel join, in `color`.
    static QPen linePen(const QColor& color);
    // True when `color` is set and not Qt::transparent.
    static bool isDrawn(const QColor& color);
    // floor(v + 0.5) as an int, saturated to int's range (NaN gives 0).
    static int roundToInt(double v);
    // `zoom` as the mappings use it (at least 1).
    uint32_t effectiveZoom() const { return zoom ? zoom : 1; }

    void paintEvent(QPaintEvent* event) override;
    // Sends the move on to the parent widget in the parent's coordinates,
    // so the container sees moves over any layer.
    void mouseMoveEvent(QMouseEvent* event) override;
};
