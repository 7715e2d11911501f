#pragma once
// How code below the user interface tells the user about a problem it works
// around (a file it cannot read and leaves out, say): it hands a title, a
// text and a level to the installed warning sink. The program installs one
// at start-up that shows a message box on the GUI thread; tests install one
// that records. Nothing here knows about widgets.
#include <QString>

namespace krm {

enum class WarningLevel { Information, Warning, Critical };

class IWarningSink {
public:
    virtual ~IWarningSink() = default;
    // Called on the thread that raised the warning, which may be a worker;
    // returns once the warning is delivered (for a box: once it is closed).
    virtual void warn(const QString& title, const QString& text, WarningLevel level) = 0;
};

// Installs `sink` for the whole process and returns the one it replaces;
// null goes back to the log. Any thread may install or warn, but the sink
// must outlive its installation and every warning running through it, so
// install before workers start and uninstall after they end.
IWarningSink* setWarningSink(IWarningSink* sink);

// Hands the warning to the installed sink on the caller's thread; without a
// sink it goes to the log.
void showWarning(const QString& title, const QString& text, WarningLevel level = WarningLevel::Warning);

// Writes the warning to the log ("title: text"), at the level's severity:
// what happens when no sink is installed, or no one can see a box.
void logWarning(const QString& title, const QString& text, WarningLevel level);

// Installs a sink for one scope (a test, the program's run) and puts the
// previous one back when it ends.
class WarningSinkScope {
public:
    explicit WarningSinkScope(IWarningSink* sink) : m_previous(setWarningSink(sink)) { }
    ~WarningSinkScope() { setWarningSink(m_previous); }
    WarningSinkScope(const WarningSinkScope&) = delete;
    WarningSinkScope& operator=(const WarningSinkScope&) = delete;

private:
    IWarningSink* m_previous;
};

}  // namespace krm
