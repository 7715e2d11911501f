// The tests of the program's code run under its own application object.
// Every test process is its own running instance: the instance lock and
// socket go to a runtime folder of the process's own, the settings file to a
// data folder of its own and kept analyses to a cache folder of its own, so
// no test reads or writes the user's. The windows play on the null output
// only.
#include "Application.h"

#include <QFile>
#include <QTemporaryDir>

QApplication* krmCreateTestApplication(int& argc, char** argv)
{
    static QTemporaryDir runtime;
    static QTemporaryDir data;
    static QTemporaryDir cache;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    qputenv("STELVANO_AUDIO_NULL", "1");
    qputenv("STELVANO_AUDIO_ALSA", "0");
    return new Application(argc, argv);
}
