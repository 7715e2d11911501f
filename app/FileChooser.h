#pragma once
// The one way the main window asks for a file name. By default the Qt file
// dialogs run; a script put in place answers instead (the window tests).
#include <QString>

#include <functional>

class QWidget;

namespace FileChooser {

enum class Kind { Open, Save };

// (kind, caption, start path, filter) -> the chosen name, empty when
// cancelled.
using Script =
    std::function<QString(Kind kind, const QString& caption, const QString& start, const QString& filter)>;

QString getOpenFileName(QWidget* parent, const QString& caption, const QString& start, const QString& filter);
QString getSaveFileName(QWidget* parent, const QString& caption, const QString& start, const QString& filter);

// Puts `script` in place of the dialogs; an empty script restores them.
void setScript(Script script);

}  // namespace FileChooser
