// A program that links only the libraries beneath the engine (base, style
// model, stretch engine, analysis) and calls into each, so that the link
// check can see which shared libraries they pull in: Qt Core, never Qt Gui
// or Qt Widgets. It also shows the warnings of these layers need no widget.
#include "GlobalMessage.h"
#include "Onset/SyncAnalyze.h"
#include "StretchPlan.h"
#include "WarningSink.h"

#include <cstdio>

namespace {

class CountingSink : public krm::IWarningSink {
public:
    void warn(const QString&, const QString&, krm::WarningLevel) override { ++count; }
    int count = 0;
};

}  // namespace

int main()
{
    CountingSink sink;
    const krm::WarningSinkScope scope(&sink);
    krm::showWarning(GlobalMessage(26), GlobalMessage(25));
    StretchOutput output {};
    FreeStretchOutput(&output);
    syncAnalyzeRelease(nullptr);
    if (sink.count != 1 || GlobalMessage(26) != QStringLiteral("save SFF")) {
        std::fprintf(stderr, "the core layers did not work without a GUI\n");
        return 1;
    }
    return 0;
}
