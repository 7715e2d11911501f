// How the main window hears its widgets: the connections, the file-open
// event and the event filter.
#include "MainWindow.h"

#include "KeyModifiers.h"

#include <QDebug>
#include <QFileOpenEvent>
#include <QKeyEvent>

namespace {

// The modifiers and key of the last key event of a job window, as they
// stand after it; a close while Alt is held (Alt+F4) is refused.
Qt::KeyboardModifiers lastModifiers = Qt::NoModifier;
int lastKey = 0;

}  // namespace

void MainWindow::connectSignals()
{
    connect(actionNewAudioStyleProject, SIGNAL(triggered()), this, SLOT(newProject()));
    connect(actionNewAudioStyleProject_with_Import, SIGNAL(triggered()), this, SLOT(releasedBtnOpenWav()));
    connect(actionOpenAudioStyleProject, SIGNAL(triggered()), this, SLOT(openProject()));
    connect(actionSaveAudioStyleProject, SIGNAL(triggered()), this, SLOT(saveProject()));
    connect(actionSaveAudioStyleProject_as, SIGNAL(triggered()), this, SLOT(saveProjectAs()));
    connect(actionExport_as_AudioStyleFile, SIGNAL(triggered()), this, SLOT(releasedBtnExportSty()));
    connect(actionQuit, SIGNAL(triggered()), this, SLOT(close()));
    connect(actionUndo, SIGNAL(triggered()), this, SLOT(undo()));
    connect(actionRedo, SIGNAL(triggered()), this, SLOT(redo()));
    connect(actionSelectAll, SIGNAL(triggered()), this, SLOT(onSelectAll()));
    connect(actionSelectClear, SIGNAL(triggered()), this, SLOT(onClearAll()));
    connect(actionAudioDeviceSetting, SIGNAL(triggered()), this, SLOT(audioDeviceSetting()));
    connect(actionAbout, SIGNAL(triggered()), this, SLOT(openInformation()));
    connect(mLEditBeat, SIGNAL(textChanged(QString)), this, SLOT(beatTextChanged(QString)));
    connect(mLEditBeat, SIGNAL(editingFinished()), this, SLOT(beatEditingFinished()));
    connect(mSpinTempo, SIGNAL(valueChanged(int)), this, SLOT(valueChangedSpinTempo(int)));
    connect(mPushButtonPlay, SIGNAL(clicked()), this, SLOT(releasedBtnPlayLoop()));
    connect(mSliderMetro, SIGNAL(valueChanged(int)), this, SLOT(valueChangedSliderMetro(int)));
    connect(mChkTimeStretch, SIGNAL(clicked(bool)), this, SLOT(clickedChkTimeStretch(bool)));
    connect(mChkClick, SIGNAL(clicked(bool)), this, SLOT(clickedChkClick(bool)));
    connect(mBtnBeatAnaHalf, SIGNAL(clicked()), this, SLOT(releasedBtnBeatAnaHalf()));
    connect(mBtnBeatAnaDouble, SIGNAL(clicked()), this, SLOT(releasedBtnBeatAnaDouble()));
    connect(mCmbTrimSec, SIGNAL(currentIndexChanged(int)), this, SLOT(currentIdxChangedCmbTrimSec(int)));
    connect(mChkManual, SIGNAL(clicked(bool)), this, SLOT(clickedChkManual(bool)));
    connect(mSpinBars, SIGNAL(valueChanged(int)), this, SLOT(valueChangedSpinBars(int)));
    connect(mCmbWav, SIGNAL(currentIndexChanged(int)), this, SLOT(currentIdxChangedCmbWav()));
    connect(mBtnImport, SIGNAL(clicked()), this, SLOT(releasedBtnImportAudio()));
    connect(mBtnUnlink, SIGNAL(clicked()), this, SLOT(releasedBtnUnlinkAudio()));
    connect(mScrollBar, SIGNAL(valueChanged(int)), this, SLOT(valueChangedScrollBar(int)));
    connect(mBtnHorZoomIn, SIGNAL(clicked()), this, SLOT(releasedBtnHorZoomIn()));
    connect(mBtnHorZoomOut, SIGNAL(clicked()), this, SLOT(releasedBtnHorZoomOut()));
    connect(mLEditTrimStart, SIGNAL(textChanged(QString)), this, SLOT(trimStartTextChanged(QString)));
    connect(mLEditTrimStart, SIGNAL(editingFinished()), this, SLOT(trimStartEditingFinished()));
    connect(mLEditTrimEnd, SIGNAL(textChanged(QString)), this, SLOT(trimEndTextChanged(QString)));
    connect(mLEditTrimEnd, SIGNAL(editingFinished()), this, SLOT(trimEndEditingFinished()));
    connect(mChkFade, SIGNAL(clicked(bool)), this, SLOT(clickedChkFade(bool)));
    connect(mBtnShiftBeatPosition, SIGNAL(clicked()), this, SLOT(releasedBtnBeatToggleShift()));
    connect(mChkBlank, SIGNAL(clicked(bool)), this, SLOT(clickedChkBlank(bool)));
    connect(mSpinPickup, SIGNAL(valueChanged(int)), this, SLOT(valueChangedSpinPickup(int)));
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == QEvent::FileOpen) {
        const QString file = static_cast<QFileOpenEvent*>(event)->file();
        qInfo().noquote() << "file open:" << file;
        openProjectFile(file);
        return true;
    }
    return QWidget::event(event);
}

std::map<QObject*, MainWindow::WidgetEventHandler> MainWindow::widgetEventHandlers()
{
    using namespace std::placeholders;
    const auto bind = [this](void (MainWindow::*handler)(QObject*, QEvent*)) {
        return WidgetEventHandler(std::bind(handler, this, _1, _2));
    };
    std::map<QObject*, WidgetEventHandler> table {
        {mLEditBeat, bind(&MainWindow::beatToolTipHandler)},
        {mSpinTempo, bind(&MainWindow::tempoToolTipHandler)},
        {mSpinPickup, bind(&MainWindow::pickupToolTipHandler)},
        {mLEditTrimStart, bind(&MainWindow::trimFieldHandler)},
        {mLEditTrimEnd, bind(&MainWindow::trimFieldHandler)},
    };
    for (QObject* w : std::initializer_list<QObject*> {
             mLEditProjectFileName, mPushButtonPlay, mSliderMetro, mChkTimeStretch, mChkClick,
             mBtnBeatAnaHalf, mBtnBeatAnaDouble, mCmbTrimSec, mChkManual, mSpinBars, mBtnImport, mBtnUnlink,
             mBtnHorZoomIn, mBtnHorZoomOut, mChkFade, mBtnShiftBeatPosition, mChkBlank})
        table.emplace(w, bind(&MainWindow::ignoreWidgetEvent));
    return table;
}

void MainWindow::installWidgetFilters()
{
    mWidgetHandlers = widgetEventHandlers();
    for (const auto& entry : mWidgetHandlers)
        entry.first->installEventFilter(this);
}

void MainWindow::ignoreWidgetEvent(QObject*, QEvent*)
{ }

void MainWindow::setRangeToolTip(QWidget* widget, QEvent* event, const QString& text)
{
    if (event->type() != QEvent::ToolTip)
        return;
    widget->setToolTip(widget->isEnabled() ? text : QString());
}

void MainWindow::beatToolTipHandler(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip)
        setRangeToolTip(static_cast<QWidget*>(watched), event, tr("[1-12] / [2,4,8]"));
}

void MainWindow::tempoToolTipHandler(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip)
        setRangeToolTip(static_cast<QWidget*>(watched), event, tr("[5-500]"));
}

void MainWindow::pickupToolTipHandler(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return;
    auto* widget = static_cast<QWidget*>(watched);
    QString text;
    if (widget->isEnabled()) {
        uint8_t beatsPerBar = 4;
        uint8_t beatUnit = 4;
        if (mCore.getTimeSig(&beatsPerBar, &beatUnit) == 0 && beatsPerBar != 0)
            text = tr("[1-%1]").arg(2 * beatsPerBar - 1);
    }
    setRangeToolTip(widget, event, text);
}

void MainWindow::trimFieldHandler(QObject* watched, QEvent* event)
{
    auto* edit = static_cast<QLineEdit*>(watched);
    switch (event->type()) {
    case QEvent::FocusOut:
        trimEditingFinished(*edit);
        break;
    case QEvent::FocusIn:
        edit->selectAll();
        break;
    case QEvent::KeyRelease: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            trimEditingFinished(*edit);
            edit->selectAll();
        }
        break;
    }
    default:
        break;
    }
}

bool MainWindow::isJobWindow(QObject* watched) const
{
    return watched && (watched == mImportDialog || watched == mExportDialog || watched == mStretchDialog ||
                       watched == mStretchWindow);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    const auto handler = mWidgetHandlers.find(watched);
    if (handler != mWidgetHandlers.end()) {
        handler->second(watched, event);
        return QObject::eventFilter(watched, event);
    }
    if (!isJobWindow(watched))
        return QObject::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // A dialog with a Cancel button cancels on an Escape shortcut before
        // any key press arrives; claiming the key turns it into a key press,
        // which is swallowed below.
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            event->accept();
            return true;
        }
        break;
    case QEvent::Resize:
        if (watched != mStretchWindow) {
            auto* w = static_cast<QWidget*>(watched);
            const QSize size = w->geometry().size();
            w->setMinimumSize(size);
            w->setMaximumSize(size);
            event->accept();
            return false;
        }
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        lastModifiers = modifiersAfterKeyEvent(*key);
        lastKey = key->key();
        qDebug() << "KeyModifiers: " << lastModifiers << ", Key: " << lastKey;
        if (lastKey == Qt::Key_Escape) {
            qDebug() << "Qt::Key_Escape - cancel Close";
            event->ignore();
            return true;
        }
        break;
    }
    case QEvent::Close:
        if (lastModifiers & Qt::AltModifier) {
            qDebug() << "cancel Close";
            event->ignore();
            return true;
        }
        if (auto* dialog = dynamic_cast<ProgressDialog*>(watched); dialog && !dialog->mayClose()) {
            event->ignore();
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
