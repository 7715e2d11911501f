#include "GlobalMessage.h"

#include <QCoreApplication>

namespace {

const char* const kMessages[kGlobalMessageCount] = {
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "All Parameters in this window will be reset. Are You Sure?"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Are you sure you want to close the window?"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Remove all section information. Are you sure?"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Are you sure you want to quit this software?"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage",
                      "Caution! Currnet AppMode is [%1]\nprj version is [%2]\nCtab Parameters are converted. "
                      "\nExecute? (CAN NOTE RETURN!)"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Overwrite Export Audio Files?"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Template File failed to load. (maybe instalation failed)"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Template File failed to load."),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Style File creation failed."),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "can't get source pattern"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Style File load failed. (too large)"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage",
                      "Style File creation failed. Style data is too large(over 128kB)."),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage",
                      "Ilegal Style File. continue or not?\r\nThere is some risk of crashing this software."),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Each section should have at least one note event."),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Read error"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Error! Section markers or CC#3 are not on a bar line!"),
    QT_TRANSLATE_NOOP(
        "KorbaneGlobalMessage",
        "Warning! Multiple same section markers or CC#3 are on a same position! They are removed to "
        "leave one."),
    QT_TRANSLATE_NOOP(
        "KorbaneGlobalMessage",
        "Error! Different section markers or CC#3 in the same position! They must be modified."),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage",
                      "Error! Same section markers or CC#3 in different position! They must be modified."),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage",
                      "Style Parameters have been modified. \r\nDo you want to Save your changes?\n"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage",
                      "Style Parameters have been modified. \r\nDo you want to Save your changes?\n"),
    QT_TRANSLATE_NOOP(
        "KorbaneGlobalMessage",
        "This file seems to be old.\r\nPlease reload Section Files (.idx) in AudioInfo window."),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Saving compatible with Korbane2.5 witout AudioInfo."),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Saving with AudioInfo. It can't be opened with Korbane2.5."),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Write error!"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "wave file read error!\r\n"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "save SFF"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage",
                      "Volume value are not same between sections. Specify the value."),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Pan value are not same between sections. Specify the value."),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage",
                      "RevSend value are not same between sections. Specify the value."),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "open file error"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Can't find the manual file!"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Keep Audio Information?"),
    QT_TRANSLATE_NOOP("KorbaneGlobalMessage", "Keep Audio Information[yes] or not[no]"),
};

}  // namespace

QString GlobalMessage(int index)
{
    if (index < 0 || index >= kGlobalMessageCount)
        return QString();
    return QCoreApplication::translate("KorbaneGlobalMessage", kMessages[index], nullptr, -1);
}
