#pragma once
// Driver registry files written by the tests: groups in the order given,
// each "[name]" followed by its "key=value" lines. For test programs that
// link the drivers library.
#include "DriverRegistry.h"

#include <QFile>
#include <QPair>
#include <QString>
#include <QTextStream>
#include <QVector>

namespace testutil {

struct RegistryGroup {
    QString name;  // e.g. "driver:Null Output Driver" or "classes"
    QVector<QPair<QString, QString>> keys;
};

// A Null Output Driver group under `keyName` with extra keys.
inline RegistryGroup nullDriverGroup(const QString& keyName, QVector<QPair<QString, QString>> keys = {})
{
    keys.prepend({"clsid", QString::fromLatin1(krm::drivers::kNullDriverClassId)});
    return {"driver:" + keyName, keys};
}

inline bool writeRegistry(const QString& path, const QVector<RegistryGroup>& groups)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    QTextStream out(&f);
    out.setCodec("UTF-8");
    for (const RegistryGroup& g : groups) {
        out << '[' << g.name << "]\n";
        for (const auto& kv : g.keys)
            out << kv.first << '=' << kv.second << '\n';
        out << '\n';
    }
    return true;
}

}  // namespace testutil
