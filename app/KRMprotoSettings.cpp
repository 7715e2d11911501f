#include "KRMprotoSettings.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QStandardPaths>

namespace {

const QString kProduct = "Stelvano";

QString firstLocation(QStandardPaths::StandardLocation kind)
{
    const QStringList all = QStandardPaths::standardLocations(kind);
    return all.isEmpty() ? QString() : all.first();
}

QString existingFolderOr(const QString& folder, QStandardPaths::StandardLocation fallback)
{
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return folder;
    return firstLocation(fallback);
}

}  // namespace

KRMprotoSettings::KRMprotoSettings() : QSettings(settingsFilePath(), QSettings::IniFormat)
{ }

QString KRMprotoSettings::settingsFilePath()
{
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QChar separator = QDir::separator();
    while (data.endsWith(separator))
        data.chop(1);
    return data + "/Tanvek/" + kProduct + "/" + kProduct + ".ini";
}

QVariant KRMprotoSettings::readVariant(const QString& group, const QString& key)
{
    KRMprotoSettings s;
    s.beginGroup(group);
    const QVariant v = s.value(key);
    s.endGroup();
    return v;
}

QString KRMprotoSettings::readString(const QString& group, const QString& key)
{
    return readVariant(group, key).toString();
}

int KRMprotoSettings::readInt(const QString& group, const QString& key)
{
    return readVariant(group, key).toInt();
}

void KRMprotoSettings::writeVariant(const QString& group, const QString& key, const QVariant& value)
{
    KRMprotoSettings s;
    s.beginGroup(group);
    s.setValue(key, value);
    s.endGroup();
}

void KRMprotoSettings::writeString(const QString& group, const QString& key, const QString& value)
{
    writeVariant(group, key, value);
}

void KRMprotoSettings::writeInt(const QString& group, const QString& key, int value)
{
    writeVariant(group, key, value);
}

QString KRMprotoSettings::existingFolderOrDocuments(const QString& folder)
{
    return existingFolderOr(folder, QStandardPaths::DocumentsLocation);
}

QString KRMprotoSettings::existingFolderOrMusic(const QString& folder)
{
    return existingFolderOr(folder, QStandardPaths::MusicLocation);
}

QString KRMprotoSettings::getProjectFilePath()
{
    return existingFolderOrDocuments(readString("Project", "ProjectFilePath"));
}

void KRMprotoSettings::setProjectFilePath(const QString& folder)
{
    writeString("Project", "ProjectFilePath", folder);
}

QString KRMprotoSettings::getAudioFilePath()
{
    return existingFolderOrMusic(readString("Audio", "AudioFilePath"));
}

void KRMprotoSettings::setAudioFilePath(const QString& folder)
{
    writeString("Audio", "AudioFilePath", folder);
}

QString KRMprotoSettings::getAudioDeviceName()
{
    return readString("Audio", "AudioDeviceName");
}

void KRMprotoSettings::setAudioDeviceName(const QString& name)
{
    writeString("Audio", "AudioDeviceName", name);
}

QString KRMprotoSettings::getAudioStyleFilePath()
{
    return existingFolderOrDocuments(readString("Audio", "AudioStyleFilePath"));
}

void KRMprotoSettings::setAudioStyleFilePath(const QString& folder)
{
    writeString("Audio", "AudioStyleFilePath", folder);
}

bool KRMprotoSettings::getManualDefault()
{
    return readVariant("ParameterInfo", "ManualDefault").toBool();
}

void KRMprotoSettings::setManualDefault(bool on)
{
    writeVariant("ParameterInfo", "ManualDefault", on);
}

bool KRMprotoSettings::getTimeStretchDefault()
{
    return readVariant("ParameterInfo", "TimeStretchDefault").toBool();
}

void KRMprotoSettings::setTimeStretchDefault(bool on)
{
    writeVariant("ParameterInfo", "TimeStretchDefault", on);
}

QRect KRMprotoSettings::readRect(const WindowGeometryKeys& keys)
{
    return QRect(readInt(keys.group, keys.geometryX), readInt(keys.group, keys.geometryY),
                 readInt(keys.group, keys.geometryW), readInt(keys.group, keys.geometryH));
}

QRect KRMprotoSettings::readScreenRect(const WindowGeometryKeys& keys)
{
    return QRect(readInt(keys.group, keys.screenGeometryX), readInt(keys.group, keys.screenGeometryY),
                 readInt(keys.group, keys.screenGeometryW), readInt(keys.group, keys.screenGeometryH));
}

bool KRMprotoSettings::savedScreenUnchanged(const WindowGeometryKeys& keys, QRect& available)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    const QList<QScreen*> screens = QGuiApplication::screens();
    const int saved = readInt(keys.group, keys.screenNumber);
    // A negative number names no screen either.
    if (saved < 0 || screens.size() <= saved)
        return false;
    const QRect now = screens.at(saved)->availableGeometry();
    const QRect then = readScreenRect(keys);
    if (now.left() != then.left() || now.top() != then.top() || now.right() != then.right() ||
        now.bottom() != then.bottom())
        return false;
    available = now;
    return true;
}
