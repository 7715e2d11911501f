#pragma once
// A warning sink for tests: records every warning (and the thread it came
// on) instead of showing a box, while it is installed. Install it for one
// test with krm::WarningSinkScope.
#include "WarningSink.h"

#include <QCoreApplication>
#include <QThread>
#include <mutex>
#include <vector>

namespace testutil {

class RecordingWarningSink : public krm::IWarningSink {
public:
    struct Warning {
        QString title;
        QString text;
        krm::WarningLevel level;
        bool onMainThread;  // the thread of the application object, if any
    };

    void warn(const QString& title, const QString& text, krm::WarningLevel level) override
    {
        const QCoreApplication* app = QCoreApplication::instance();
        const bool onMain = app != nullptr && QThread::currentThread() == app->thread();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_warnings.push_back({title, text, level, onMain});
    }

    std::vector<Warning> warnings() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_warnings;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Warning> m_warnings;
};

}  // namespace testutil
