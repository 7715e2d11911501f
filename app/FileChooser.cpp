#include "FileChooser.h"

#include <QFileDialog>

namespace FileChooser {
namespace {

Script& script()
{
    static Script s;
    return s;
}

}  // namespace

QString getOpenFileName(QWidget* parent, const QString& caption, const QString& start, const QString& filter)
{
    if (script())
        return script()(Kind::Open, caption, start, filter);
    return QFileDialog::getOpenFileName(parent, caption, start, filter);
}

QString getSaveFileName(QWidget* parent, const QString& caption, const QString& start, const QString& filter)
{
    if (script())
        return script()(Kind::Save, caption, start, filter);
    return QFileDialog::getSaveFileName(parent, caption, start, filter);
}

void setScript(Script s)
{
    script() = std::move(s);
}

}  // namespace FileChooser
