#pragma once
// The driver registry: an INI file that lists the installed output drivers
// and the libraries that implement their classes.
//
//   [driver:<key name>]        one group per driver, in the order listed
//   clsid={xxxxxxxx-xxxx-...}  its class id
//   description=<name>         optional; the key name stands in without it
//   <driver key>=<value>       read by the driver itself
//
//   [classes]
//   {class id}=<plugin path>   consulted after the built-in classes
//
// The file lives at the generic config location + "/Tanvek/Stelvano/
// drivers.ini"; STELVANO_DRIVER_REGISTRY=<file> replaces that path (a
// missing file then lists nothing). When there is no file at the usual
// path, a built-in registry lists the JACK driver alone.
//
// The reader keeps the order of the file (groups and keys), which QSettings
// does not.
#include "IF_asioDriver.h"

#include <QPair>
#include <QString>
#include <QVector>

namespace krm::drivers {

// One group of an INI file with its keys in file order.
struct IniGroup {
    QString name;
    QVector<QPair<QString, QString>> keys;

    // The first value of `key`, or `fallback` when the group lacks it.
    QString value(const QString& key, const QString& fallback = QString()) const;
};

// Groups in file order. Lines are "[group]", "key=value" (both trimmed; a
// value in double quotes loses them) or comments beginning with ';' or '#'.
// Keys before the first group are dropped. False when the file cannot be
// read (groups then empty).
bool readIniFile(const QString& path, QVector<IniGroup>& groups);

struct DriverEntry {
    QString keyName;  // the group name after "driver:"
    QString group;    // the whole group name, handed to the driver's factory
    QString classId;
    QString description;  // empty when the group has none

    // The name the driver is listed under.
    QString name() const { return description.isEmpty() ? keyName : description; }
};

using BuiltInDriverCreate = IF_asioDriver* (*)(const char* registryPath, const char* group);

struct DriverClass {
    QString classId;  // as written, e.g. "{...}"
    QString path;     // the file implementing the class
    // Set for the classes built into the program: no library is loaded.
    BuiltInDriverCreate builtIn = nullptr;
};

class DriverRegistry {
public:
    // The registry file in force: STELVANO_DRIVER_REGISTRY when set, else
    // the usual path under the generic config location.
    static QString path();
    // Reads the registry in force (see the file comment).
    static DriverRegistry load();
    // Reads `file`; when it does not exist, the built-in registry when
    // `builtInWhenMissing`, else nothing.
    static DriverRegistry read(const QString& file, bool builtInWhenMissing);

    // The driver groups in file order.
    const QVector<DriverEntry>& drivers() const { return m_drivers; }
    // The built-in classes, then those of the file's [classes] group.
    const QVector<DriverClass>& classes() const { return m_classes; }
    // The class of that id (compared without regard to case), the first
    // that matches; null when none.
    const DriverClass* findClass(const QString& classId) const;
    // The file read ("" for the built-in registry), handed to factories.
    QString file() const { return m_file; }

private:
    QString m_file;
    QVector<DriverEntry> m_drivers;
    QVector<DriverClass> m_classes;
};

// Class ids and names of the drivers the program brings.
extern const char* const kNullDriverClassId;
extern const char* const kNullDriverName;  // "Null Output Driver"
extern const char* const kJackDriverClassId;
extern const char* const kJackDriverName;  // "JACK Output Driver"
extern const char* const kJackPluginFile;  // "libstelvano-jack.so", in <program folder>/drivers

// The group `group` of the registry `file`; an empty group when either is
// missing (so a driver falls back to its defaults).
IniGroup driverKeys(const QString& file, const QString& group);

}  // namespace krm::drivers
