#include "wavPainterLayers.h"

#include <QPolygon>

#include <algorithm>
#include <cstdlib>

namespace {

void fillTriangle(QPainter& painter, const QColor& color, const QPoint& a, const QPoint& b, const QPoint& c)
{
    painter.setBrush(color);
    const QPoint corners[3] = {a, b, c};
    painter.drawPolygon(corners, 3);
}

}  // namespace

// ---------------------------------------------------------------- markers

wavPainterMetaLine::wavPainterMetaLine(const std::vector<uint32_t>* positions, uint32_t totalSamples,
                                       uint32_t zoom, double offset, QWidget* parent, Qt::WindowFlags flags)
    : wavPainter(totalSamples, zoom, offset, parent, flags), m_positions(positions)
{ }

void wavPainterMetaLine::setAccentOriginBySample(uint32_t sample)
{
    if (!m_positions || m_positions->empty()) {
        accentOrigin = -1;
        return;
    }
    const std::vector<uint32_t>& p = *m_positions;
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] == sample) {
            accentOrigin = int(i);
            return;
        }
        if (p[i] > sample) {
            const bool previousCloser = i > 0 && sample - p[i - 1] < p[i] - sample;
            accentOrigin = int(previousCloser ? i - 1 : i);
            return;
        }
    }
    accentOrigin = int(p.size() - 1);
}

void wavPainterMetaLine::drawLayer(QPainter& painter)
{
    painter.setPen(linePen(layerColor));
    painter.setCompositionMode(compositionMode);
    if (!m_positions || m_positions->empty())
        return;
    const QRect area = rect();
    const bool lastPage = offset >= double(effectiveZoom()) - 1.0;
    int previous = -2;
    for (size_t i = 0; i < m_positions->size(); ++i) {
        const bool accent =
            accentPeriod > 0 && std::llabs(int64_t(accentOrigin) - int64_t(i)) % accentPeriod == 0;
        int x = sampleToX((*m_positions)[i]);
        if (lastPage && x >= area.right())
            x = area.right();
        if (x >= area.left() && x <= area.right()) {
            painter.setPen(linePen(accent ? QColor(Qt::red) : layerColor));
            if (drawLines)
                painter.drawLine(x, area.top(), x, area.bottom());
            if (x == previous) {
                painter.setPen(linePen(Qt::black));
                fillTriangle(painter, Qt::black, {x - 1, area.top()}, {x + 1, area.top()},
                             {x, area.top() + 3});
            }
        }
        previous = x;
    }
}

// ---------------------------------------------------------------- regions

wavPainterMetaLineDur::wavPainterMetaLineDur(const std::vector<Region>* regions, uint32_t totalSamples,
                                             uint32_t zoom, double offset, QWidget* parent,
                                             Qt::WindowFlags flags)
    : wavPainter(totalSamples, zoom, offset, parent, flags), m_regions(regions)
{ }

void wavPainterMetaLineDur::drawLayer(QPainter& painter)
{
    const QBrush labelBrush = painter.brush();
    painter.setPen(linePen(layerColor));
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    highlightedIndex = -1;
    if (!m_regions)
        return;
    const QRect area = rect();
    const int middle = (area.top() + area.bottom()) / 2;
    for (size_t i = 0; i < m_regions->size(); ++i) {
        const Region& region = (*m_regions)[i];
        const bool highlighted =
            highlightEnabled && region.start == highlightStart && region.end == highlightEnd;
        if (highlighted)
            highlightedIndex = int(i);
        int xs = sampleToX(region.start);
        int xe = sampleToX(region.end);
        const bool cutLeft = xs < area.left();
        const bool cutRight = xe > area.right();
        if (xs > area.right() || xe < area.left())
            continue;
        xs = std::max(area.left(), std::min(xs, area.right()));
        xe = std::max(area.left(), std::min(xe, area.right()));

        const QColor fill = highlighted ? QColor(255, 200, 200) : QColor(220, 220, 220);
        painter.setPen(linePen(fill));
        fillTriangle(painter, fill, {xs, area.top()}, {xs, area.bottom()}, {xe, middle});
        painter.setPen(linePen(Qt::black));
        if (cutLeft)
            fillTriangle(painter, Qt::black, area.topLeft(), {area.left() + 3, area.top()},
                         {area.left(), area.top() + 3});
        if (cutRight)
            fillTriangle(painter, Qt::black, area.topRight(), {area.right() - 3, area.top()},
                         {area.right(), area.top() + 3});

        painter.setPen(linePen(highlighted ? layerColor : textColor));
        painter.setBrush(labelBrush);
        painter.drawText(QPoint(xs + 2, area.bottom() - 4), QString::fromStdString(region.label));
    }
}

// -------------------------------------------------------------- selection

wavPainterSelecter::wavPainterSelecter(uint32_t totalSamples, uint32_t zoom, double offset, QWidget* parent,
                                       Qt::WindowFlags flags)
    : wavPainter(totalSamples, zoom, offset, parent, flags)
{ }

QPair<int, int> wavPainterSelecter::spanColumns(uint32_t start, uint32_t end) const
{
    const auto limit = [this](int x) { return std::max(-1, std::min(x, width() + 1)); };
    const int a = limit(sampleToX(start));
    const int b = limit(sampleToX(end));
    return {std::min(a, b), std::max(a, b)};
}

void wavPainterSelecter::drawLayer(QPainter& painter)
{
    painter.setOpacity(0.5);
    if (selectionVisible) {
        const QPair<int, int> span = spanColumns(selectionStart, selectionEnd);
        painter.fillRect(QRect(span.first, 0, span.second - span.first, height()), Qt::yellow);
    }
    if (markVisible) {
        const QPair<int, int> span = spanColumns(markStart, markEnd);
        painter.fillRect(QRect(span.first, 0, span.second - span.first, height() / 2), QColor(255, 64, 64));
    }
}

// ---------------------------------------------------------------- caption

wavPainterText::wavPainterText(const QString& text, uint32_t totalSamples, uint32_t zoom, double offset,
                               QWidget* parent, Qt::WindowFlags flags)
    : wavPainter(totalSamples, zoom, offset, parent, flags), text(text)
{ }

void wavPainterText::drawLayer(QPainter& painter)
{
    painter.setPen(linePen(layerColor));
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    painter.drawText(QPoint(rect().left() + 10, rect().top() + 12), text);
}

// ---------------------------------------------------------- play position

wavPainterLocation::wavPainterLocation(uint32_t totalSamples, uint32_t zoom, double offset, QWidget* parent,
                                       Qt::WindowFlags flags)
    : wavPainter(totalSamples, zoom, offset, parent, flags)
{ }

void wavPainterLocation::drawLayer(QPainter& painter)
{
    painter.setPen(linePen(layerColor));
    painter.drawLine(locationX, rect().top(), locationX, rect().bottom());
}

void applyWaveViewColours(const std::vector<wavPainter*>& layers)
{
    const struct {
        Qt::GlobalColor layer, background, centerLine;
    } colours[kWaveViewLayerCount] = {
        {Qt::darkGray, Qt::white, Qt::black},
        {Qt::darkGray, Qt::white, Qt::black},
        {Qt::blue, Qt::transparent, Qt::transparent},
        {Qt::red, Qt::white, Qt::transparent},
        {Qt::darkGray, Qt::transparent, Qt::transparent},
        {Qt::white, Qt::transparent, Qt::transparent},
        {Qt::green, Qt::transparent, Qt::transparent},
    };
    for (size_t i = 0; i < layers.size() && i < size_t(kWaveViewLayerCount); ++i) {
        layers[i]->layerColor = QColor(colours[i].layer);
        layers[i]->backgroundColor = QColor(colours[i].background);
        layers[i]->centerLineColor = QColor(colours[i].centerLine);
    }
}
