// The tests of the program's code run under its own application object.
// Every test process is its own running instance: the instance lock and
// socket go to a runtime folder of the process's own.
#include "Application.h"

#include <QFile>
#include <QTemporaryDir>

QApplication* krmCreateTestApplication(int& argc, char** argv)
{
    static QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    return new Application(argc, argv);
}
