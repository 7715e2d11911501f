// The export job on a generated project: what it reports, what it leaves on
// disk, and the style model's warning box shown on the GUI thread while the
// job waits.
#include "ExportStyle.h"
#include "JobTestSupport.h"
#include "MessageBoxWarningSink.h"
#include "MessageDialog.h"
#include "SectionNames.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QThread>

using jobtest::Project;

namespace {

// Writes the working audio of every used section, as the window's
// preparation does.
uint32_t prepareAll(Project& p)
{
    for (uint8_t i = 0; i < krm::kSectionCount; ++i) {
        SectionRecord* record = nullptr;
        if (p.core.getSecInfo(i, &record) != 0 || !record)
            return 0x80000001;
        bool warning = false;
        if (record->used && !p.core.isSecWavReady(i) && p.core.writeTempWave(i, warning) != 0)
            return 0x80000002;
    }
    return 0;
}

struct Outcome {
    QList<QList<QVariant>> done;
    QList<QList<QVariant>> errors;
};

Outcome runExport(ExportStyle& job)
{
    QSignalSpy done(&job, &ExportStyle::done);
    QSignalSpy errors(&job, &ExportStyle::errorOnPreparation);
    job.doExport();
    return {done, errors};
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

}  // namespace

TEST(ExportStyle, FailedPreparationReportsItsCodeAndExportsNothing)
{
    Project p;
    const QString target = p.folder + "/out.aus";
    ExportStyle job([] { return 0x80000003u; }, &p.core, target, nullptr);
    const Outcome o = runExport(job);
    EXPECT_TRUE(o.done.isEmpty());
    ASSERT_EQ(o.errors.size(), 1);
    EXPECT_EQ(o.errors[0][0].toULongLong(), 0x80000003u);
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(job.writtenBytes, 0u);
}

TEST(ExportStyle, CleanExportIsDoneAndWritesWhatItReports)
{
    Project p;
    const QString target = p.folder + "/out.aus";
    ExportStyle job([&p] { return prepareAll(p); }, &p.core, target, nullptr);
    const Outcome o = runExport(job);
    ASSERT_EQ(o.done.size(), 1) << p.core.errorText().toStdString();
    EXPECT_EQ(o.done[0][0].toULongLong(), 0u);
    EXPECT_TRUE(o.errors.isEmpty());
    EXPECT_EQ(job.warningMask, 0);
    EXPECT_GT(job.writtenBytes, 0u);
    EXPECT_EQ(QFileInfo(target).size(), qint64(job.writtenBytes));
}

TEST(ExportStyle, WarningMaskReportsZeroAndKeepsTheFile)
{
    Project p;
    p.core.setMaxPoints(1);
    const QString target = p.folder + "/out.aus";
    ExportStyle job([&p] { return prepareAll(p); }, &p.core, target, nullptr);
    const Outcome o = runExport(job);
    EXPECT_TRUE(o.done.isEmpty());
    ASSERT_EQ(o.errors.size(), 1) << p.core.errorText().toStdString();
    EXPECT_EQ(o.errors[0][0].toULongLong(), 0u);
    EXPECT_NE(job.warningMask, 0);
    EXPECT_EQ(QFileInfo(target).size(), qint64(job.writtenBytes));
}

// A failed export must leave a file that was already there byte for byte,
// and nothing beside it.
TEST(ExportStyle, FailedExportLeavesAnExistingTargetAlone)
{
    const std::vector<uint8_t> old {'o', 'l', 'd', ' ', 's', 't', 'y', 'l', 'e'};
    struct Case {
        const char* name;
        std::function<void(Project&, ExportStyle&)> run;
    };
    const Case cases[] = {
        {"missing template",
         [](Project& p, ExportStyle& job) {
             p.core.setResourcePath(1, 255, p.folder + "/nowhere");
             job.doExport();
         }},
        {"file-size limit",
         [](Project&, ExportStyle& job) { testutil::withFileSizeLimit(4096, [&job] { job.doExport(); }); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Project p;
        const QString target = p.folder + "/out.aus";
        ASSERT_EQ(prepareAll(p), 0u);
        ASSERT_TRUE(testutil::writeFile(target, old));
        const QStringList before = filesIn(p.folder);
        ExportStyle job([] { return 0u; }, &p.core, target, nullptr);
        QSignalSpy errors(&job, &ExportStyle::errorOnPreparation);
        c.run(p, job);
        ASSERT_EQ(errors.size(), 1);
        EXPECT_NE(errors[0][0].toULongLong(), 0u);
        EXPECT_EQ(testutil::readFile(target), old);
        EXPECT_EQ(filesIn(p.folder), before);
    }
}

// An engine error flag raised on the way (here before the export starts)
// does not cost the user a file that was written whole.
TEST(ExportStyle, ErrorFlagAfterACompleteWriteKeepsTheNewFile)
{
    Project p;
    const QString target = p.folder + "/out.aus";
    ASSERT_TRUE(testutil::writeFile(target, {'o', 'l', 'd'}));
    ExportStyle job(
        [&p] {
            const uint32_t r = prepareAll(p);
            jobtest::CoreAccess::raiseErrorFlag(p.core);
            return r;
        },
        &p.core, target, nullptr);
    const Outcome o = runExport(job);
    ASSERT_EQ(o.done.size(), 1);
    EXPECT_GT(job.writtenBytes, 3u);
    EXPECT_EQ(QFileInfo(target).size(), qint64(job.writtenBytes));
}

namespace {

std::vector<bool> g_boxOnGuiThread;

// Records where each box was built and closes it without a click.
QAbstractButton* recordBox(MessageDialog&)
{
    g_boxOnGuiThread.push_back(QThread::currentThread() == qApp->thread());
    return nullptr;
}

}  // namespace

// Warnings raised on the export thread (the style model warns about a file
// it cannot read through the same call) are shown by the GUI thread while
// the job waits for the answer.
TEST(ExportStyle, WarningsOfTheJobThreadShowOnTheGuiThread)
{
    struct Case {
        const char* name;
        std::function<uint32_t(Project&)> prepare;
    };
    const Case cases[] = {
        {"callback warns",
         [](Project& p) {
             krm::showWarning("Stelvano", "from the job");
             return prepareAll(p);
         }},
    };
    // The program's sink, as main installs it.
    MessageBoxWarningSink boxes;
    const krm::WarningSinkScope scope(&boxes);
    MessageDialog::setResponder(recordBox);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_boxOnGuiThread.clear();
        Project p;
        auto* job =
            new ExportStyle([&p, &c] { return c.prepare(p); }, &p.core, p.folder + "/out.aus", nullptr);
        QSignalSpy done(job, &ExportStyle::done);
        QSignalSpy errors(job, &ExportStyle::errorOnPreparation);
        QThread thread;
        job->moveToThread(&thread);
        thread.start();
        QMetaObject::invokeMethod(job, "doExport", Qt::QueuedConnection);
        EXPECT_TRUE(testutil::waitUntil([&] { return done.size() + errors.size() == 1; }));
        thread.quit();
        thread.wait();
        delete job;
        ASSERT_FALSE(g_boxOnGuiThread.empty());
        for (bool onGui : g_boxOnGuiThread)
            EXPECT_TRUE(onGui);
    }
    MessageDialog::setResponder(nullptr);
}
