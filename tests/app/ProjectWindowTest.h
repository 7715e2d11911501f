#pragma once
// The fixture of the window tests that work on a project of our making: a
// 16-s song at 120 BPM ("Intro 1" over bars 1 and 2, "Main A" over bars 3
// to 6) written once per test program, private settings, every message box
// scripted, and one window at a time.
#include "MainWindowTestAccess.h"
#include "MessageDialog.h"
#include "TestProject.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace projectwindow {

inline const testproject::Made& song()
{
    static QTemporaryDir folder;
    static testproject::Made made;
    if (made.projectPath.isEmpty()) {
        const QString error = testproject::writeProject(folder.path(), {16.0, 120.0}, made);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    }
    return made;
}

inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ProjectWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
        ASSERT_FALSE(song().projectPath.isEmpty());
    }
    void TearDown() override
    {
        m_window.reset();
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        qputenv("XDG_DATA_HOME", m_savedData);
    }

    // A new window with `project` open (none for an empty name).
    MainWindow& open(const QString& project)
    {
        m_window = std::make_unique<MainWindow>(project);
        m_window->resize(1000, 640);
        return *m_window;
    }
    MainWindow& w() { return *m_window; }
    CKRMcore& core() { return MainWindowTestAccess::core(w()); }
    QString dataPath(const QString& name) const { return m_data.filePath(name); }

    QTemporaryDir dir;
    MessageDialogScript boxes;

private:
    QTemporaryDir m_data;
    QByteArray m_savedData;
    std::unique_ptr<MainWindow> m_window;
};

}  // namespace projectwindow
