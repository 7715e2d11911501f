// First versions of the routines and slots of the main window whose work
// comes with the project workflows, the section editing and control state,
// the waveform view, the import, the export and the audition. A command
// that cannot do its work yet says so instead of doing nothing; slots that
// only follow a control's value stay quiet while the window updates its
// own controls.
#include "MainWindow.h"

#include "KRMprotoSettings.h"
#include "MessageDialog.h"
#include "ResultCode.h"
#include "SectionNames.h"
#include "UpdateGuard.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

void MainWindow::notAvailableYet()
{
    showMessage(tr("not available yet"));
}

void MainWindow::setProjectTitle(const QString& path)
{
    mLEditProjectFileName->setText(QFileInfo(path).completeBaseName());
}
