#pragma once
// The program's warning sink: shows each warning of the layers below the
// user interface as a MessageDialog with an OK button (also the default)
// and the level's icon. A warning raised on a worker thread is shown on the
// GUI thread while the worker waits for the box to close; without a
// QApplication it goes to the log. `main` installs one for the program's
// run; the GUI thread must keep serving events while a worker may warn (the
// jobs' modal progress dialogs do).
#include "WarningSink.h"

class MessageBoxWarningSink : public krm::IWarningSink {
public:
    void warn(const QString& title, const QString& text, krm::WarningLevel level) override;
};
