#include "ResultCode.h"

#include <QStringList>

namespace krm {

QString describeResult(Result code)
{
    const QString digits = QString::number(code, 16);
    if (code == kOk)
        return QStringLiteral("0 (success)");
    if ((code & kFailBit) == 0)
        return digits + QStringLiteral(" (not a failure code)");
    QStringList steps;
    for (Result rest = code & ~kFailBit; rest != 0; rest >>= 4)
        steps << QString::number(rest & 0xF, 16);
    if (steps.isEmpty())
        return digits + QStringLiteral(" (failed without a step)");
    return digits + QStringLiteral(" (failed at step ") + steps.join(QStringLiteral(" > ")) +
           QStringLiteral(", outermost first)");
}

}  // namespace krm
