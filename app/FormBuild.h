#pragma once
// Small builders shared by the window forms: every widget, layout and action
// they make is parented at once and named after the form member holding it.
#include <QAction>
#include <QBoxLayout>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QSize>
#include <QSizePolicy>
#include <QSlider>
#include <QSpacerItem>
#include <QString>
#include <QWidget>

namespace formbuild {

constexpr int kMax = QWIDGETSIZE_MAX;
using P = QSizePolicy;

template <typename W> W* make(QWidget* parent, const char* name)
{
    auto* w = new W(parent);
    w->setObjectName(QString::fromUtf8(name));
    return w;
}

template <typename L>
L* makeLayout(QWidget* owner, const char* name, int spacing, int left, int top, int right, int bottom)
{
    auto* l = new L(owner);
    l->setSpacing(spacing);
    l->setObjectName(QString::fromUtf8(name));
    l->setContentsMargins(left, top, right, bottom);
    return l;
}

// Stretch 0 both ways; height-for-width as the widget has it.
inline void policy(QWidget* w, P::Policy h, P::Policy v)
{
    P p(h, v);
    p.setHorizontalStretch(0);
    p.setVerticalStretch(0);
    p.setHeightForWidth(w->sizePolicy().hasHeightForWidth());
    w->setSizePolicy(p);
}

inline void limits(QWidget* w, int minW, int minH, int maxW, int maxH)
{
    w->setMinimumSize(QSize(minW, minH));
    w->setMaximumSize(QSize(maxW, maxH));
}

// Only the point size is set: the family comes from the parent.
inline void pointSize(QWidget* w, int points)
{
    QFont f;
    f.setPointSize(points);
    w->setFont(f);
}

inline void look(QFrame* f, QFrame::Shape shape, QFrame::Shadow shadow)
{
    f->setFrameShape(shape);
    f->setFrameShadow(shadow);
}

// The image at `path` for the normal mode, off state.
inline QIcon iconFrom(const char* path)
{
    QIcon icon;
    icon.addFile(QString::fromUtf8(path), QSize(), QIcon::Normal, QIcon::Off);
    return icon;
}

// A flat 24x24 image button that never takes the focus (zoom buttons).
template <typename B> B* zoomButton(QWidget* parent, const char* name, const char* icon)
{
    B* b = make<B>(parent, name);
    limits(b, 24, 24, 24, 24);
    b->setFocusPolicy(Qt::NoFocus);
    b->setIcon(iconFrom(icon));
    b->setFlat(true);
    return b;
}

// The row under the wave view of both windows: the horizontal scroll bar and
// the two zoom buttons, each group in a frame of its own. The row's frame
// takes `horizontal` as its width policy; its layout keeps `bottom` pixels
// below. The pieces land in the form's members named after them.
template <typename B>
void scrollRow(QWidget* parent, P::Policy horizontal, int bottom, QFrame*& frame, QHBoxLayout*& layout,
               QScrollBar*& scrollBar, QFrame*& zoomFrame, QHBoxLayout*& zoomLayout, B*& zoomIn, B*& zoomOut)
{
    frame = make<QFrame>(parent, "mScrollFrame");
    policy(frame, horizontal, P::Fixed);
    look(frame, QFrame::NoFrame, QFrame::Raised);
    layout = makeLayout<QHBoxLayout>(frame, "horizontalLayout_7", 10, 0, 0, 8, bottom);
    scrollBar = make<QScrollBar>(frame, "mScrollBar");
    policy(scrollBar, P::Expanding, P::Fixed);
    scrollBar->setMinimumSize(QSize(0, 17));
    scrollBar->setOrientation(Qt::Horizontal);
    layout->addWidget(scrollBar);
    zoomFrame = make<QFrame>(frame, "mZoomFrame");
    policy(zoomFrame, P::Preferred, P::Preferred);
    limits(zoomFrame, 0, 0, kMax, kMax);
    look(zoomFrame, QFrame::NoFrame, QFrame::Raised);
    zoomLayout = makeLayout<QHBoxLayout>(zoomFrame, "horizontalLayout_9", 4, 1, 1, 1, 1);
    zoomIn = zoomButton<B>(zoomFrame, "mBtnHorZoomIn", ":/newPrefix/img/btn_zoom_in_off.png");
    zoomLayout->addWidget(zoomIn);
    zoomOut = zoomButton<B>(zoomFrame, "mBtnHorZoomOut", ":/newPrefix/img/btn_zoom_out_off.png");
    zoomLayout->addWidget(zoomOut);
    layout->addWidget(zoomFrame);
}

// The play button of both windows: 105x30, 14 pt, the play image, never
// takes the focus.
template <typename B> B* playButton(QWidget* parent)
{
    B* b = make<B>(parent, "mPushButtonPlay");
    policy(b, P::Fixed, P::Fixed);
    limits(b, 105, 30, 105, 30);
    pointSize(b, 14);
    b->setFocusPolicy(Qt::NoFocus);
    b->setIcon(iconFrom(":/img/btn_play.png"));
    b->setFlat(false);
    return b;
}

// The click level slider of both windows: 0 to 100 at 100, 28 px high,
// never takes the focus.
inline QSlider* metroSlider(QWidget* parent, P::Policy horizontal)
{
    auto* s = make<QSlider>(parent, "mSliderMetro");
    policy(s, horizontal, P::Fixed);
    limits(s, 0, 28, kMax, 28);
    pointSize(s, 14);
    s->setFocusPolicy(Qt::NoFocus);
    s->setMinimum(0);
    s->setMaximum(100);
    s->setValue(100);
    s->setOrientation(Qt::Horizontal);
    return s;
}

inline QAction* makeAction(QWidget* window, const char* name)
{
    auto* a = new QAction(window);
    a->setObjectName(QString::fromUtf8(name));
    return a;
}

inline QSpacerItem* spacer(int w, int h, P::Policy hp, P::Policy vp)
{
    return new QSpacerItem(w, h, hp, vp);
}

}  // namespace formbuild
