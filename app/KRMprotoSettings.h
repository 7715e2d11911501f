#pragma once
// The program's preferences and window placements, in one INI file:
//   <generic data location>/Tanvek/Stelvano/Stelvano.ini
// Every accessor opens its own settings object and closes it before it
// returns, so nothing is cached and every write has reached the file when
// the setter returns. The preference accessors may be called from any
// thread, the window-geometry ones from the GUI thread. Missing or
// unreadable values never fail: strings come back empty, numbers 0,
// booleans false, and a stored folder that no longer exists falls back to
// the first Documents or Music location.
#include <QRect>
#include <QSettings>
#include <QString>
#include <QVariant>

// Where one window stores its placement: the group and its keys.
struct WindowGeometryKeys {
    explicit WindowGeometryKeys(const QString& windowGroup) : group(windowGroup) { }

    QString group;  // "MainWindow" or "TimeStretchWindow"
    QString geometryX = "GeometryX";
    QString geometryY = "GeometryY";
    QString geometryW = "GeometryW";
    QString geometryH = "GeometryH";
    QString screenNumber = "ScreenNumber";
    QString screenGeometryX = "ScreenGeometryX";
    QString screenGeometryY = "ScreenGeometryY";
    QString screenGeometryW = "ScreenGeometryW";
    QString screenGeometryH = "ScreenGeometryH";
    QString splitterUpper = "SplitterUpper";
    QString splitterLower = "SplitterLower";
    QString maximized = "Maximized";  // the translated "true" or "false"
};

class KRMprotoSettings : public QSettings {
public:
    KRMprotoSettings();

    // The data location without trailing separators, then
    // "/Tanvek/Stelvano/Stelvano.ini".
    static QString settingsFilePath();

    static QString readString(const QString& group, const QString& key);
    static int readInt(const QString& group, const QString& key);
    static QVariant readVariant(const QString& group, const QString& key);
    static void writeString(const QString& group, const QString& key, const QString& value);
    static void writeInt(const QString& group, const QString& key, int value);
    static void writeVariant(const QString& group, const QString& key, const QVariant& value);

    // `folder` when it is not empty and names an existing directory, else the
    // first standard location of that kind (empty when there is none).
    static QString existingFolderOrDocuments(const QString& folder);
    static QString existingFolderOrMusic(const QString& folder);

    static QString getProjectFilePath();
    static void setProjectFilePath(const QString& folder);
    static QString getAudioFilePath();
    static void setAudioFilePath(const QString& folder);
    static QString getAudioDeviceName();
    static void setAudioDeviceName(const QString& name);
    static QString getAudioStyleFilePath();
    static void setAudioStyleFilePath(const QString& folder);
    static bool getManualDefault();
    static void setManualDefault(bool on);
    static bool getTimeStretchDefault();
    static void setTimeStretchDefault(bool on);

    // The saved window rectangle and the saved available geometry of its
    // screen (left, top, width, height; zeros when absent).
    static QRect readRect(const WindowGeometryKeys& keys);
    static QRect readScreenRect(const WindowGeometryKeys& keys);

    // Calls apply(context, saved window rectangle, screen's available
    // geometry) and returns its result, but only when the screen the window
    // was saved on still exists with the same available geometry; false
    // otherwise, without calling apply.
    template <typename Context, typename Apply>
    static bool restoreWindowGeometry(Context context, const WindowGeometryKeys& keys, Apply apply)
    {
        QRect available;
        if (!savedScreenUnchanged(keys, available))
            return false;
        return apply(context, readRect(keys), available);
    }

private:
    static bool savedScreenUnchanged(const WindowGeometryKeys& keys, QRect& available);
};
