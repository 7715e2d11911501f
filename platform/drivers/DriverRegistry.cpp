#include "DriverRegistry.h"

#include "NullOutputDriver.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

namespace krm::drivers {

const char* const kNullDriverClassId = "{6c1f0d2a-4b8e-4f3a-9d57-2e8a1b0c5f11}";
const char* const kNullDriverName = "Null Output Driver";
const char* const kJackDriverClassId = "{a3e5c9b4-7d21-4c6f-8b0e-5f19d2a6c873}";
const char* const kJackDriverName = "JACK Output Driver";
const char* const kJackPluginFile = "libstelvano-jack.so";

namespace {

const QString kDriverPrefix = QStringLiteral("driver:");
const QString kClassesGroup = QStringLiteral("classes");

QString unquoted(const QString& v)
{
    if (v.size() >= 2 && v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"')))
        return v.mid(1, v.size() - 2);
    return v;
}

// The program's own file, also without an application object.
QString programFile()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}

QVector<DriverClass> builtInClasses()
{
    const QString folder = QFileInfo(programFile()).absolutePath();
    return {
        {QString::fromLatin1(kNullDriverClassId), programFile(), &createNullOutputDriver},
        {QString::fromLatin1(kJackDriverClassId), folder + "/drivers/" + kJackPluginFile, nullptr},
    };
}

}  // namespace

QString IniGroup::value(const QString& key, const QString& fallback) const
{
    for (const auto& kv : keys) {
        if (kv.first == key)
            return kv.second;
    }
    return fallback;
}

bool readIniFile(const QString& path, QVector<IniGroup>& groups)
{
    groups.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream in(&file);
    in.setCodec("UTF-8");
    IniGroup* current = nullptr;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            groups.append({line.mid(1, line.size() - 2).trimmed(), {}});
            current = &groups.last();
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (!current || eq <= 0)
            continue;
        current->keys.append({line.left(eq).trimmed(), unquoted(line.mid(eq + 1).trimmed())});
    }
    return true;
}

QString DriverRegistry::path()
{
    if (qEnvironmentVariableIsSet("STELVANO_DRIVER_REGISTRY"))
        return qEnvironmentVariable("STELVANO_DRIVER_REGISTRY");
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/Tanvek/Stelvano/drivers.ini";
}

DriverRegistry DriverRegistry::load()
{
    return read(path(), !qEnvironmentVariableIsSet("STELVANO_DRIVER_REGISTRY"));
}

DriverRegistry DriverRegistry::read(const QString& file, bool builtInWhenMissing)
{
    DriverRegistry r;
    r.m_classes = builtInClasses();
    QVector<IniGroup> groups;
    if (!QFileInfo(file).isFile() || !readIniFile(file, groups)) {
        if (builtInWhenMissing) {
            const QString name = QString::fromLatin1(kJackDriverName);
            r.m_drivers.append({name, kDriverPrefix + name, QString::fromLatin1(kJackDriverClassId), {}});
        }
        return r;
    }
    r.m_file = file;
    for (const IniGroup& g : groups) {
        if (g.name == kClassesGroup) {
            for (const auto& kv : g.keys)
                r.m_classes.append({kv.first, kv.second, nullptr});
        } else if (g.name.startsWith(kDriverPrefix)) {
            DriverEntry e;
            e.group = g.name;
            e.keyName = g.name.mid(kDriverPrefix.size()).trimmed();
            e.classId = g.value(QStringLiteral("clsid"));
            e.description = g.value(QStringLiteral("description"));
            r.m_drivers.append(e);
        }
    }
    return r;
}

const DriverClass* DriverRegistry::findClass(const QString& classId) const
{
    for (const DriverClass& c : m_classes) {
        if (c.classId.compare(classId, Qt::CaseInsensitive) == 0)
            return &c;
    }
    return nullptr;
}

IniGroup driverKeys(const QString& file, const QString& group)
{
    QVector<IniGroup> groups;
    if (!file.isEmpty() && readIniFile(file, groups)) {
        for (const IniGroup& g : groups) {
            if (g.name == group)
                return g;
        }
    }
    return {group, {}};
}

}  // namespace krm::drivers
