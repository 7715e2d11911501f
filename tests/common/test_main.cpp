// Test entry shared by every test executable: a QApplication on the
// offscreen platform, so widget-based classes (QUndoStack, message boxes)
// and queued signals work without a display.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

// Qt's offscreen platform plugin never frees its screen and cursor objects;
// those leaks are not ours, so the leak checker of sanitizer builds is told
// to pass over them (the function is only consulted in such builds).
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libqoffscreen.so\n"
           "leak:QScreen::QScreen\n"
           "leak:QPlatformScreen::QPlatformScreen\n"
           "leak:QWindowSystemInterface::handleScreenAdded\n"
           "leak:QtSharedPointer::ExternalRefCountData::getAndRef\n"
           "leak:QObject::QObject\n";
}

extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}

// The application object of a test run. A test executable whose code needs
// the program's own application class defines this function; this weak
// definition gives the others a plain QApplication.
__attribute__((weak)) QApplication* krmCreateTestApplication(int& argc, char** argv)
{
    return new QApplication(argc, argv);
}

int main(int argc, char** argv)
{
    // The program's working files have fixed names in its temporary folder
    // ("KRM_temp.wav", the rendered sections), and test processes run side
    // by side: each process gets a temporary folder of its own.
    QTemporaryDir temp(QDir::tempPath() + "/krm-test-XXXXXX");
    if (temp.isValid())
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QApplication> app(krmCreateTestApplication(argc, argv));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
