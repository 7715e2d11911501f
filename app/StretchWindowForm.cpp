#include "StretchWindowForm.h"

#include "FormBuild.h"

#include <QCoreApplication>
#include <QKeySequence>
#include <QMetaObject>

using namespace formbuild;

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("TimeStretchWindow", text, nullptr);
}

}  // namespace

void Ui_TimeStretchWindow::setupUi(QDialog* TimeStretchWindow)
{
    if (TimeStretchWindow->objectName().isEmpty())
        TimeStretchWindow->setObjectName(QString::fromUtf8("TimeStretchWindow"));
    TimeStretchWindow->resize(666, 328);
    TimeStretchWindow->setMinimumSize(QSize(666, 328));
    policy(TimeStretchWindow, P::Preferred, P::Preferred);
    QFont font;
    font.setFamily(QString::fromUtf8("Arial"));
    TimeStretchWindow->setFont(font);
    TimeStretchWindow->setWindowIcon(iconFrom(":/img/icon36.png"));
    TimeStretchWindow->setSizeGripEnabled(true);

    mActionSelectAll = makeAction(TimeStretchWindow, "mActionSelectAll");
    mActionUndo = makeAction(TimeStretchWindow, "mActionUndo");
    mActionRedo = makeAction(TimeStretchWindow, "mActionRedo");

    verticalLayout_2 = new QVBoxLayout(TimeStretchWindow);
    verticalLayout_2->setSpacing(6);
    verticalLayout_2->setObjectName(QString::fromUtf8("verticalLayout_2"));
    setupTopFrame(TimeStretchWindow);
    setupMiddleFrame(TimeStretchWindow);

    mBottomFrame = make<QFrame>(TimeStretchWindow, "mBottomFrame");
    policy(mBottomFrame, P::Expanding, P::Fixed);
    mBottomFrame->setMinimumSize(QSize(0, 23));
    look(mBottomFrame, QFrame::NoFrame, QFrame::Raised);
    mBottomFrame->setLineWidth(0);
    verticalLayout_3 = makeLayout<QVBoxLayout>(mBottomFrame, "verticalLayout_3", 0, 0, 0, 0, 0);
    verticalLayout_2->addWidget(mBottomFrame);

    retranslateUi(TimeStretchWindow);
    QMetaObject::connectSlotsByName(TimeStretchWindow);
}

void Ui_TimeStretchWindow::setupTopFrame(QDialog* dialog)
{
    mTopFrame = make<QFrame>(dialog, "mTopFrame");
    policy(mTopFrame, P::Expanding, P::Fixed);
    limits(mTopFrame, 0, 46, kMax, kMax);
    look(mTopFrame, QFrame::StyledPanel, QFrame::Plain);
    gridLayout_2 = makeLayout<QGridLayout>(mTopFrame, "gridLayout_2", 4, 4, 0, 4, 0);

    horizontalFrame = make<QFrame>(mTopFrame, "horizontalFrame");
    policy(horizontalFrame, P::Expanding, P::Fixed);
    limits(horizontalFrame, 0, 40, kMax, 40);
    pointSize(horizontalFrame, 14);
    mProjectParameterFrame =
        makeLayout<QHBoxLayout>(horizontalFrame, "mProjectParameterFrame", 4, 5, 2, 4, 2);

    mPushButtonPlay = playButton<VPushButton>(horizontalFrame);
    mProjectParameterFrame->addWidget(mPushButtonPlay);

    mSliderMetro = metroSlider(horizontalFrame, P::Expanding);
    mProjectParameterFrame->addWidget(mSliderMetro);

    horizontalSpacer = spacer(16, 20, P::Fixed, P::Minimum);
    mProjectParameterFrame->addItem(horizontalSpacer);
    dummyWidget = make<QWidget>(horizontalFrame, "dummyWidget");
    policy(dummyWidget, P::Fixed, P::Preferred);
    dummyWidget->setMinimumSize(QSize(140, 36));
    mProjectParameterFrame->addWidget(dummyWidget);
    horizontalSpacer_2 = spacer(16, 20, P::Fixed, P::Minimum);
    mProjectParameterFrame->addItem(horizontalSpacer_2);
    gridLayout_2->addWidget(horizontalFrame, 0, 0, 1, 1);

    horizontalFrame_2 = make<QFrame>(mTopFrame, "horizontalFrame_2");
    policy(horizontalFrame_2, P::Fixed, P::Fixed);
    limits(horizontalFrame_2, 204, 40, 204, 40);
    pointSize(horizontalFrame_2, 14);
    horizontalFrame_2->setFrameShadow(QFrame::Raised);
    mBeatFrameClick = makeLayout<QHBoxLayout>(horizontalFrame_2, "mBeatFrameClick", 4, 4, 2, 4, 2);
    mChkClick = make<VCheckBox>(horizontalFrame_2, "mChkClick");
    policy(mChkClick, P::Preferred, P::Preferred);
    limits(mChkClick, 74, 0, 74, kMax);
    pointSize(mChkClick, 14);
    mChkClick->setFocusPolicy(Qt::NoFocus);
    mChkClick->setChecked(true);
    mBeatFrameClick->addWidget(mChkClick);
    horizontalSpacer_3 = spacer(110, 20, P::Expanding, P::Minimum);
    mBeatFrameClick->addItem(horizontalSpacer_3);
    gridLayout_2->addWidget(horizontalFrame_2, 0, 1, 1, 1);

    verticalLayout_2->addWidget(mTopFrame);
}

void Ui_TimeStretchWindow::setupMiddleFrame(QDialog* dialog)
{
    mMiddleVerticalLayoutMiddle = make<QFrame>(dialog, "mMiddleVerticalLayoutMiddle");
    policy(mMiddleVerticalLayoutMiddle, P::Preferred, P::Preferred);
    mMiddleVerticalLayoutMiddle->setMinimumSize(QSize(0, 0));
    pointSize(mMiddleVerticalLayoutMiddle, 14);
    mMiddleVerticalLayoutMiddle->setFrameShape(QFrame::StyledPanel);
    mVerticalLayoutMiddle =
        makeLayout<QVBoxLayout>(mMiddleVerticalLayoutMiddle, "mVerticalLayoutMiddle", 1, 6, 6, 6, 1);

    mFrameWavBase = make<QFrame>(mMiddleVerticalLayoutMiddle, "mFrameWavBase");
    policy(mFrameWavBase, P::Preferred, P::Preferred);
    mFrameWavBase->setMinimumSize(QSize(630, 195));
    look(mFrameWavBase, QFrame::Panel, QFrame::Sunken);
    verticalLayout = makeLayout<QVBoxLayout>(mFrameWavBase, "verticalLayout", 0, 0, 0, 0, 0);
    mFrameWav = make<VFrame>(mFrameWavBase, "mFrameWav");
    policy(mFrameWav, P::Preferred, P::Preferred);
    limits(mFrameWav, 630, 193, kMax, kMax);
    pointSize(mFrameWav, 9);
    mFrameWav->setCursor(QCursor(Qt::ArrowCursor));
    mFrameWav->setMouseTracking(true);
    mFrameWav->setAutoFillBackground(false);
    verticalLayout->addWidget(mFrameWav);
    mVerticalLayoutMiddle->addWidget(mFrameWavBase);

    scrollRow(mMiddleVerticalLayoutMiddle, P::Expanding, 0, mScrollFrame, horizontalLayout_7, mScrollBar,
              mZoomFrame, horizontalLayout_9, mBtnHorZoomIn, mBtnHorZoomOut);
    mVerticalLayoutMiddle->addWidget(mScrollFrame);

    verticalLayout_2->addWidget(mMiddleVerticalLayoutMiddle);
}

void Ui_TimeStretchWindow::retranslateUi(QDialog* TimeStretchWindow)
{
    TimeStretchWindow->setWindowTitle(tr("wave viewer"));
    mActionSelectAll->setText(tr("SelectAll"));
    mActionSelectAll->setShortcut(QKeySequence(tr("Ctrl+A")));
    mActionUndo->setText(tr("Undo"));
    mActionUndo->setShortcut(QKeySequence(tr("Ctrl+Z")));
    mActionRedo->setText(tr("Redo"));
    mActionRedo->setShortcut(QKeySequence(tr("Ctrl+Y")));
    mPushButtonPlay->setToolTip(QString());
    mPushButtonPlay->setText(QString());
    mSliderMetro->setToolTip(QString());
    mChkClick->setToolTip(QString());
    mChkClick->setText(tr("Click"));
    mBtnHorZoomIn->setToolTip(QString());
    mBtnHorZoomIn->setText(QString());
    mBtnHorZoomOut->setToolTip(QString());
    mBtnHorZoomOut->setText(QString());
}
