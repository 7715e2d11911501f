#include "wavPainter.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

int wavPainter::roundToInt(double v)
{
    const double r = std::floor(v + 0.5);
    if (std::isnan(r))
        return 0;
    if (r >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (r <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(r);
}

uint32_t wavPainter::maxZoomFor(uint32_t totalSamples)
{
    return WaveViewRules::maxZoom(totalSamples);
}

wavPainter::wavPainter(uint32_t totalSamples, uint32_t zoom, double offset, QWidget* parent,
                       Qt::WindowFlags flags)
    : QWidget(parent, flags), totalSamples(totalSamples), zoom(zoom), offset(offset)
{ }

wavPainter::~wavPainter() = default;

int wavPainter::sampleToX(int64_t sample, bool clamp) const
{
    if (totalSamples == 0)
        return 0;
    const double x = ((double(sample) / double(totalSamples)) * double(effectiveZoom()) - offset) * width();
    const int column = roundToInt(x);
    if (!clamp)
        return column;
    return std::max(0, std::min(column, width() - 1));
}

int wavPainter::xToSample(int x, bool clamp) const
{
    if (totalSamples == 0)
        return 0;
    const double fraction = width() > 0 ? double(x) / double(width()) : 0.0;
    const int sample = roundToInt((double(totalSamples) / double(effectiveZoom())) * (offset + fraction));
    if (!clamp)
        return sample;
    const int last = int(std::min<uint32_t>(totalSamples - 1, uint32_t(std::numeric_limits<int>::max())));
    return std::max(0, std::min(sample, last));
}

QPen wavPainter::linePen(const QColor& color)
{
    return QPen(QBrush(color), 1, Qt::SolidLine, Qt::RoundCap, Qt::BevelJoin);
}

bool wavPainter::isDrawn(const QColor& color)
{
    return color.isValid() && color != QColor(Qt::transparent);
}

void wavPainter::drawBackground(QPainter& painter)
{
    if (isDrawn(backgroundColor))
        painter.fillRect(rect(), backgroundColor);
    if (isDrawn(centerLineColor)) {
        painter.setPen(linePen(centerLineColor));
        const int y = height() / 2;
        painter.drawLine(rect().left(), y, rect().right(), y);
    }
}

void wavPainter::drawLayer(QPainter&)
{ }

void wavPainter::rebuild()
{ }

void wavPainter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    setMouseTracking(true);
    if (suspended)
        return;
    if (dirty) {
        rebuild();
        dirty = false;
    }
    if (drawBackgroundEnabled)
        drawBackground(painter);
    if (drawLayerEnabled)
        drawLayer(painter);
}

void wavPainter::mouseMoveEvent(QMouseEvent* event)
{
    QWidget* container = parentWidget();
    if (!container)
        return;
    QMouseEvent moved(event->type(), event->localPos() + QPointF(pos()), event->windowPos(),
                      event->screenPos(), event->button(), event->buttons(), event->modifiers());
    QCoreApplication::sendEvent(container, &moved);
}
