#pragma once
// The program's application object: single instance (through its base) and
// the hand-off of file-open events to the window that opens files.
#include "CappApplicationBase.h"

#include <QString>

class QFileOpenEvent;

class Application : public Tessaro::CappApplicationBase {
public:
    // Throws the int 0 in a second instance (see CappApplicationBase).
    Application(int& argc, char** argv);

    // A QEvent::FileOpen goes to forwardFileOpen; the result is whether the
    // event ended accepted. Every other event goes to QApplication.
    bool event(QEvent* e) override;
    // Marks the event ignored and sends it to fileOpenTarget, when set, which
    // accepts it when it has opened the file.
    virtual void forwardFileOpen(QFileOpenEvent* e);

    QObject* fileOpenTarget = nullptr;  // not owned

    // The About data: the program's description, version and copyright,
    // compiled in. Translation index 0 is the only translation; any other
    // index gives empty strings.
    class VersionInformation {
    public:
        VersionInformation() = default;
        virtual ~VersionInformation() = default;

        QString fileDescription(int translation) const;
        QString productVersion(int translation) const;
        QString legalCopyright(int translation) const;
        // `name`: "FileDescription", "ProductVersion" or "LegalCopyright";
        // any other name gives an empty string.
        QString queryString(const QString& name, int translation) const;
    };
};

// The start file of a run: the first argument after the program path, or
// an empty string without one.
QString startFileFromArguments(int argc, char** argv);
