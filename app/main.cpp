// The program's entry: platform plugin, style, application object (a second start hands its
// files over and ends here with -1), the warning boxes, window, event loop, then the teardown:
// window, application object, working audio files.
#include "Application.h"
#include "MainWindow.h"
#include "MessageBoxWarningSink.h"
#include "PlatformChoice.h"
#include "TempWavFiles.h"

#include <QDebug>
#include <QStyleFactory>

#include <memory>

int main(int argc, char** argv)
{
    // Only the running instance owns the working files; a second instance
    // must leave them alone.
    bool running = false;
    int result = -1;
    try {
        choosePlatformPlugin();
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        auto app = std::make_unique<Application>(argc, argv);
        running = true;
        {
            // Warnings of the engine and the style writer show as boxes
            // while the window lives (its jobs end with it).
            MessageBoxWarningSink warningBoxes;
            const krm::WarningSinkScope warningScope(&warningBoxes);
            MainWindow window(startFileFromArguments(argc, argv));
            app->fileOpenTarget = &window;
            window.show();
            qInfo() << "window shown";
            result = app->exec();
            app->fileOpenTarget = nullptr;
        }
        app.reset();
    } catch (...) {
        result = -1;
    }
    if (running) {
        try {
            removeTempWavFiles();
        } catch (...) {
            result = -1;
        }
    }
    return result;
}
