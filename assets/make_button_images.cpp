// Draws the program's button and label images and writes them as PNG files
// into the folder given as the only argument:
//   icon36.png, tempo.png, btn_play.png, btn_stop.png, plus.png, minus.png,
//   btn_zoom_in_off.png, btn_zoom_out_off.png
// The images are compiled into the program as resources; run this tool with
// assets/img to make them again after changing a drawing.
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cstdio>
#include <functional>

namespace {

const QColor kInk(0x3a, 0x3f, 0x47);
const QColor kBlue(0x2b, 0x4c, 0x7e);
const QColor kGreen(0x2e, 0x8b, 0x3e);
const QColor kRed(0xb0, 0x2a, 0x2a);
const QColor kOrange(0xf0, 0x9a, 0x1e);

using Drawing = std::function<void(QPainter&)>;

bool write(const QString& folder, const char* name, int w, int h, const Drawing& draw)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        draw(p);
    }
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "make_button_images: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// The program icon: a waveform of bars over a rounded square, a bar line.
void icon(QPainter& p)
{
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(1, 1, 34, 34), 7, 7);
    p.setBrush(Qt::white);
    const int heights[] = {6, 12, 20, 14, 24, 10, 18, 8};
    for (int i = 0; i < 8; ++i)
        p.drawRoundedRect(QRectF(5 + i * 3.4, 18 - heights[i] / 2.0, 2.2, heights[i]), 1, 1);
    p.setBrush(kOrange);
    p.drawRect(QRectF(22.2, 4, 1.6, 28));
}

// A metronome: body, scale and pendulum.
void tempo(QPainter& p)
{
    p.setBrush(kInk);
    p.drawPolygon(QPolygonF({QPointF(8, 4), QPointF(16, 4), QPointF(21, 28), QPointF(3, 28)}));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({QPointF(9.5, 7), QPointF(14.5, 7), QPointF(17.5, 22), QPointF(6.5, 22)}));
    p.setPen(QPen(kOrange, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12, 22), QPointF(17, 9));
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    p.drawEllipse(QPointF(15.3, 13.5), 2, 2);
}

void play(QPainter& p)
{
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF({QPointF(9, 5), QPointF(27, 16), QPointF(9, 27)}));
}

void stop(QPainter& p)
{
    p.setBrush(kRed);
    p.drawRoundedRect(QRectF(7, 7, 18, 18), 2, 2);
}

void plus(QPainter& p)
{
    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(13, 5, 6, 22), 1.5, 1.5);
    p.drawRoundedRect(QRectF(5, 13, 22, 6), 1.5, 1.5);
}

void minus(QPainter& p)
{
    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(5, 13, 22, 6), 1.5, 1.5);
}

// A magnifier with a plus or a minus in its glass.
void magnifier(QPainter& p, bool in)
{
    p.setPen(QPen(kInk, 2.2));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(10, 10), 6.5, 6.5);
    p.setPen(QPen(kInk, 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15, 15), QPointF(21, 21));
    p.setPen(QPen(kInk, 1.8));
    p.drawLine(QPointF(6.5, 10), QPointF(13.5, 10));
    if (in)
        p.drawLine(QPointF(10, 6.5), QPointF(10, 13.5));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_button_images <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    bool ok = write(folder, "icon36.png", 36, 36, icon);
    ok = write(folder, "tempo.png", 24, 32, tempo) && ok;
    ok = write(folder, "btn_play.png", 32, 32, play) && ok;
    ok = write(folder, "btn_stop.png", 32, 32, stop) && ok;
    ok = write(folder, "plus.png", 32, 32, plus) && ok;
    ok = write(folder, "minus.png", 32, 32, minus) && ok;
    ok = write(folder, "btn_zoom_in_off.png", 24, 24, [](QPainter& p) { magnifier(p, true); }) && ok;
    ok = write(folder, "btn_zoom_out_off.png", 24, 24, [](QPainter& p) { magnifier(p, false); }) && ok;
    return ok ? 0 : 1;
}
