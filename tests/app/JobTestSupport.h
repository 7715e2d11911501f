#pragma once
// For the tests of the export and time-stretch jobs: a generated project
// loaded into an engine that writes into a test folder, and a stretcher that
// keeps the audio as it is, put in place of the engine's own.
#include "CKRMcore.h"
#include "IF_timeStretch.h"
#include "KRMAudition.h"
#include "TestProject.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

namespace jobtest {

// Leaves every segment as it is (ratio 1): the sections of the generated
// song already sit at the project tempo. `outOfRange` makes every stretch
// report a ratio outside the engine's range; `failWith` makes it fail.
class CopyStretch : public IF_timeStretch {
public:
    uint32_t setInfo(const TimeStretchInfo&) override { return 0; }
    uint32_t stretch(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) override
    {
        return stretchRange(in, out, {0, uint32_t(in.size() / 4)});
    }
    uint32_t stretchRange(const std::vector<uint8_t>& in, std::vector<uint8_t>& out,
                          const std::vector<uint32_t>& positions) override
    {
        if (failWith)
            return failWith;
        out = in;
        m_segments = positions.size() > 1 ? positions.size() - 1 : 0;
        return 0;
    }
    uint32_t getEngineOutput(uint8_t& flag, std::vector<double>& ratios) override
    {
        flag = outOfRange;
        ratios.assign(m_segments, outOfRange ? 3.0 : 1.0);
        return 0;
    }
    QString errorText() override { return {}; }
    void clearError() override { }
    bool hasError() override { return false; }

    uint8_t outOfRange = 0;
    uint32_t failWith = 0;

private:
    size_t m_segments = 0;
};

// Reaches the engine's protected parts from the tests without a subclass,
// so that the main window's own engine can be prepared too.
struct CoreAccess : CKRMcore {
    // Puts `stretch` (taken over) in place of the engine's stretcher.
    static void useStretch(CKRMcore& core, IF_timeStretch* stretch)
    {
        IF_timeStretch* CKRMcore::*member = &CoreAccess::timeStretch;
        delete (core.*member);
        core.*member = stretch;
    }
    static void raiseErrorFlag(CKRMcore& core)
    {
        krm::ErrorState CKRMcore::*member = &CoreAccess::m_errorState;
        (core.*member).raiseFlag();
    }
};

inline QString templateFolder()
{
    return QFileInfo(QString(KRM_EMPTY_STYLE_SOURCE)).absolutePath();
}

// The generated song (16 s at 120 BPM unless told otherwise) with "Intro 1"
// (2 bars) and "Main A" (4 bars), loaded into `core`, whose temporary folder
// is the test folder and whose stretcher is a CopyStretch.
struct Project {
    explicit Project(double seconds = 16.0)
    {
        folder = QFileInfo(dir.path("x")).absolutePath();
        testproject::Options options;
        options.seconds = seconds;
        const QString error = testproject::writeProject(folder, options, made);
        if (!error.isEmpty())
            ADD_FAILURE() << error.toStdString();
        if (core.loadProject(made.projectPath.toStdWString()) != 0)
            ADD_FAILURE() << "the generated project did not load";
        core.setResourcePath(0, 255, folder);
        core.setResourcePath(1, 255, templateFolder());
        stretch = new CopyStretch;
        CoreAccess::useStretch(core, stretch);
    }
    // The section's record, changed by `edit`, stored without checks.
    template <typename F> void editSection(uint8_t i, F edit)
    {
        SectionRecord* record = nullptr;
        ASSERT_EQ(core.getSecInfo(i, &record), 0u);
        SectionRecord copy(*record);
        edit(copy);
        ASSERT_EQ(core.updateSecInfo(i, copy), 0u);
    }

    testutil::TempDir dir;
    QString folder;
    testproject::Made made;
    CKRMcore core;
    CopyStretch* stretch = nullptr;
    uint8_t clickOn = 1, level = 100, secondClick = 1;
    KRMAudition audition {&clickOn, &level, &secondClick};
};

}  // namespace jobtest
