#pragma once
// The widget tree of the time-stretch result window: a reduced copy of the
// main window's top, wave and scroll rows, with the same object names where
// a widget has the same role. The form holds no behaviour: setupUi builds
// everything on the dialog it is given (Qt deletes it with the dialog) and
// retranslateUi sets every visible text. The three actions are made on the
// dialog but added to no widget, so their shortcuts never fire; the window
// handles its keys itself.
//
// Members are declared in creation order: actions, then the widget tree
// depth first (each container, its layout, the layout's items).
#include "StyledWidgets.h"

#include <QAction>
#include <QDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QSlider>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <QWidget>

class Ui_TimeStretchWindow {
public:
    QAction* mActionSelectAll;
    QAction* mActionUndo;
    QAction* mActionRedo;
    QVBoxLayout* verticalLayout_2;
    QFrame* mTopFrame;
    QGridLayout* gridLayout_2;
    QFrame* horizontalFrame;
    QHBoxLayout* mProjectParameterFrame;
    VPushButton* mPushButtonPlay;
    QSlider* mSliderMetro;
    QSpacerItem* horizontalSpacer;
    QWidget* dummyWidget;
    QSpacerItem* horizontalSpacer_2;
    QFrame* horizontalFrame_2;
    QHBoxLayout* mBeatFrameClick;
    VCheckBox* mChkClick;
    QSpacerItem* horizontalSpacer_3;
    QFrame* mMiddleVerticalLayoutMiddle;
    QVBoxLayout* mVerticalLayoutMiddle;
    QFrame* mFrameWavBase;
    QVBoxLayout* verticalLayout;
    VFrame* mFrameWav;
    QFrame* mScrollFrame;
    QHBoxLayout* horizontalLayout_7;
    QScrollBar* mScrollBar;
    QFrame* mZoomFrame;
    QHBoxLayout* horizontalLayout_9;
    VPushButton* mBtnHorZoomIn;
    VPushButton* mBtnHorZoomOut;
    QFrame* mBottomFrame;
    QVBoxLayout* verticalLayout_3;

    // Builds the tree on `TimeStretchWindow` (named "TimeStretchWindow"
    // unless it already has a name), then retranslateUi and the by-name
    // connection (which connects nothing).
    void setupUi(QDialog* TimeStretchWindow);
    void retranslateUi(QDialog* TimeStretchWindow);

private:
    void setupTopFrame(QDialog* dialog);
    void setupMiddleFrame(QDialog* dialog);
};

namespace Ui {
class TimeStretchWindow : public Ui_TimeStretchWindow { };
}  // namespace Ui
