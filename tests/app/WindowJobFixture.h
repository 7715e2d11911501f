#pragma once
// The main window with a generated project open (16 s at 120 BPM, "Intro 1"
// and "Main A"), its engine writing styles from the checked-in template and
// stretching with the copying stand-in; boxes recorded, settings private.
#include "JobTestSupport.h"
#include "MainWindowTestAccess.h"
#include "MessageDialog.h"
#include "StretchWindow.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

class WindowJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
        const QString error = testproject::writeProject(m_songDir.path(), {16.0, 120.0}, song);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        m_window = std::make_unique<MainWindow>(song.projectPath);
        m_window->resize(1000, 640);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        core().setResourcePath(1, 255, jobtest::templateFolder());
        jobtest::CoreAccess::useStretch(core(), new jobtest::CopyStretch);
        // Plain audition unless a test asks for the stretch.
        w().mChkTimeStretch->setChecked(false);
        // A finished stretch opens its modal result window: close each one
        // that shows, and count them.
        QObject::connect(&m_resultCloser, &QTimer::timeout, [this] {
            if (auto* window = qobject_cast<TimeStretchWindow*>(QApplication::activeModalWidget())) {
                ++resultWindows;
                window->reject();
            }
        });
        m_resultCloser.start(10);
    }
    void TearDown() override
    {
        m_window.reset();
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        qputenv("XDG_DATA_HOME", m_savedData);
    }
    MainWindow& w() { return *m_window; }
    CKRMcore& core() { return MainWindowTestAccess::core(w()); }
    // Stores section i's record changed by `edit`, without checks.
    void editSection(uint8_t i, const std::function<void(SectionRecord&)>& edit)
    {
        SectionRecord* record = nullptr;
        ASSERT_EQ(core().getSecInfo(i, &record), 0u);
        SectionRecord copy(*record);
        edit(copy);
        ASSERT_EQ(core().updateSecInfo(i, copy), 0u);
    }

    testproject::Made song;
    MessageDialogScript boxes;
    int resultWindows = 0;

private:
    QTimer m_resultCloser;
    QTemporaryDir m_data;
    QTemporaryDir m_songDir;
    QByteArray m_savedData;
    std::unique_ptr<MainWindow> m_window;
};
