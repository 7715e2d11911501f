// The safe save under kills: whatever moment a save dies at, the target is
// its old or its new self, and the next save of that target leaves the
// target alone in its folder. Its clean-up touches nothing but its own
// left-overs of that one target.
#include "FileUtil.h"
#include "TestUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Everything in the folder, hidden entries too.
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// A file's contents for save number `version`: a header that names it and a
// body of its own (two parts, as the program's saves write them).
struct Version {
    std::vector<uint8_t> header, body;
    explicit Version(int version) : header(32, 0), body(70000)
    {
        for (int i = 0; i < 4; ++i)
            header[size_t(i)] = uint8_t(uint32_t(version) >> (8 * i));
        for (size_t i = 0; i < body.size(); ++i)
            body[i] = uint8_t(version * 31 + int(i % 251));
    }
    std::vector<uint8_t> whole() const
    {
        std::vector<uint8_t> out = header;
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }
};

krm::SaveOutcome save(const QString& target, const Version& v)
{
    return krm::saveFileReplacing(target,
                                  {{v.header.data(), v.header.size()}, {v.body.data(), v.body.size()}});
}

// Steps of one save of a Version: created, two parts, flushed, synced,
// renamed.
constexpr int kStepsPerSave = 6;

int g_stepsLeft = 0;

void killAtStep(krm::SaveStep)
{
    if (--g_stepsLeft == 0)
        ::raise(SIGKILL);
}

// How a child dies: at a step of its saves, or inside a write, once the
// temporary grows past a file-size limit (the system then ends the process).
struct Kill {
    bool atStep;
    int n;  // the step counted over all of the child's saves, or the byte limit
};

// Forks a child that saves `first`, `first` + 1, ... (`saves` of them) to
// the target and dies as `kill` says. The child's way of dying.
int killedSaves(const QString& target, int first, int saves, const Kill& kill)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (kill.atStep) {
            g_stepsLeft = kill.n;
            krm::setSaveStepHook(killAtStep);
        } else {
            std::signal(SIGXFSZ, SIG_DFL);
            rlimit limit {rlim_t(kill.n), rlim_t(kill.n)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        for (int i = 0; i < saves; ++i)
            save(target, Version(first + i));
        ::_exit(0);  // not killed: the parent reports it
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

}  // namespace

TEST(SafeSave, AfterKillsAtAnyStepTheNextSaveLeavesTheTargetAlone)
{
    testutil::TempDir dir;
    const QString folder = dir.path("saves");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString target = folder + "/song.svproj";
    int held = 1, next = 2;  // the target's version, the next one to write
    ASSERT_EQ(save(target, Version(held)), krm::SaveOutcome::Saved);

    std::mt19937 rng(45);
    int roundsWithLeftOvers = 0, completeCopies = 0;
    for (int round = 0; round < 150; ++round) {
        // One to three killed children, each after zero to two good saves
        // of its own, then one ordinary save.
        const int children = 1 + int(rng() % 3);
        bool leftOver = false;
        for (int c = 0; c < children; ++c) {
            // A file-size limit ends the first save: no good ones before.
            const bool atStep = rng() % 4 != 0;
            const int good = atStep ? int(rng() % 3) : 0;
            const int step = 1 + int(rng() % kStepsPerSave);
            const Kill kill {atStep,
                             atStep ? good * kStepsPerSave + step : int(rng() % Version(0).whole().size())};
            const int saves = good + 1;
            const std::string trace = "round " + std::to_string(round) + " child " + std::to_string(c) +
                                      (atStep ? " step " : " byte limit ") + std::to_string(kill.n);
            const int first = next;
            next += saves;
            const int signal = killedSaves(target, first, saves, kill);
            ASSERT_EQ(signal, atStep ? SIGKILL : SIGXFSZ) << trace;

            // Old or new, whole: the last version whose rename took place.
            const int completed = good + (atStep && step == kStepsPerSave ? 1 : 0);
            const int expected = completed > 0 ? first + completed - 1 : held;
            const std::vector<uint8_t> now = testutil::readFile(target);
            ASSERT_TRUE(now == Version(expected).whole()) << trace;
            held = expected;

            for (const QString& name : entries(folder)) {
                if (name == "song.svproj")
                    continue;
                leftOver = true;
                completeCopies += QFileInfo(folder + "/" + name).size() == qint64(now.size()) ? 1 : 0;
            }
        }
        roundsWithLeftOvers += leftOver ? 1 : 0;

        held = next++;
        ASSERT_EQ(save(target, Version(held)), krm::SaveOutcome::Saved) << "round " << round;
        ASSERT_EQ(entries(folder), QStringList {"song.svproj"}) << "round " << round;
        ASSERT_EQ(testutil::readFile(target), Version(held).whole()) << "round " << round;
    }
    // The kills did leave copies, finished ones among them (killed between
    // the last write and the rename), for the saves to clear.
    EXPECT_GT(roundsWithLeftOvers, 50);
    EXPECT_GT(completeCopies, 20);
}

TEST(SafeSave, RemovesOnlyItsOwnLeftOversOfThatTarget)
{
    struct Row {
        const char* target;
        const char* name;
        bool removed;
    } const rows[] = {
        {"song.svproj", ".song.svproj.Ab3dE9.stelvano-tmp", true},
        {"song.svproj", ".song.svproj.000000.stelvano-tmp", true},
        {"take 1.awi", ".take 1.awi.zzZZ09.stelvano-tmp", true},
        {"caf\u00e9.aus", ".caf\u00e9.aus.q1w2e3.stelvano-tmp", true},
        // Like it, but not a name it makes.
        {"song.svproj", ".song.svproj.Ab3dE.stelvano-tmp", false},
        {"song.svproj", ".song.svproj.Ab3dE9x.stelvano-tmp", false},
        {"song.svproj", ".song.svproj.Ab-dE9.stelvano-tmp", false},
        {"song.svproj", ".song.svproj.Ab3d\u00e99.stelvano-tmp", false},
        {"song.svproj", "song.svproj.Ab3dE9.stelvano-tmp", false},
        {"song.svproj", ".song.svproj.Ab3dE9.stelvano-tmp.bak", false},
        {"song.svproj", ".song.svproj.Ab3dE9.stelvano-TMP", false},
        {"song.svproj", ".song.svproj.Ab3dE9.stelvano-tm", false},
        // Left-overs of other targets in the same folder.
        {"song.svproj", ".Song.svproj.Ab3dE9.stelvano-tmp", false},
        {"song.svproj", ".song.svproj.x.Ab3dE9.stelvano-tmp", false},
        {"song.svproj", ".song.Ab3dE9.stelvano-tmp", false},
        {"song.svproj", ".x.song.svproj.Ab3dE9.stelvano-tmp", false},
        {"song.svproj", ".svproj.Ab3dE9.stelvano-tmp", false},
        {"a", ".a.b.Ab3dE9.stelvano-tmp", false},
        // The user's files, whatever they look like.
        {"song.svproj", "song.svproj.backup", false},
        {"song.svproj", "song.svproj.lgrUOx", false},
        {"song.svproj", "song.svproj~", false},
        {"song.svproj", ".song.svproj", false},
        {"song.svproj", "notes.txt", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.target) + " / " + r.name);
        testutil::TempDir dir;
        const QString folder = dir.path("f");
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString name = QString::fromUtf8(r.name);
        ASSERT_TRUE(testutil::writeFile(folder + "/" + name, {1, 2, 3}));
        ASSERT_EQ(save(folder + "/" + QString::fromUtf8(r.target), Version(1)), krm::SaveOutcome::Saved);
        EXPECT_EQ(QFile::exists(folder + "/" + name), !r.removed);
        EXPECT_EQ(entries(folder).size(), r.removed ? 1 : 2) << entries(folder).join('|').toStdString();
    }

    // What is not a file of its own making stays, though its name fits: a
    // folder, a link (and what it names), a named pipe; and a left-over of
    // the same name beside another target of the same name elsewhere.
    testutil::TempDir dir;
    const QString folder = dir.path("f");
    ASSERT_TRUE(QDir().mkpath(folder + "/.song.svproj.Folder.stelvano-tmp"));
    ASSERT_TRUE(testutil::writeFile(folder + "/user.bin", {7}));
    ASSERT_TRUE(QFile::link(folder + "/user.bin", folder + "/.song.svproj.Link12.stelvano-tmp"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + "/.song.svproj.Pipe12.stelvano-tmp").constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(dir.path("elsewhere")));
    ASSERT_TRUE(testutil::writeFile(dir.path("elsewhere/.song.svproj.Ab3dE9.stelvano-tmp"), {1}));
    const QStringList before = entries(folder);
    ASSERT_EQ(save(folder + "/song.svproj", Version(1)), krm::SaveOutcome::Saved);
    QStringList expected = before;
    expected << "song.svproj";
    expected.sort();
    EXPECT_EQ(entries(folder), expected);
    EXPECT_EQ(testutil::readFile(folder + "/user.bin"), std::vector<uint8_t> {7});
    EXPECT_TRUE(QFile::exists(dir.path("elsewhere/.song.svproj.Ab3dE9.stelvano-tmp")));
}

// Two saves of one target at once: the second one's clean-up leaves the
// first one's temporary, which it holds, and both commit.
TEST(SafeSave, ASaveInProgressKeepsItsTemporary)
{
    testutil::TempDir dir;
    const QString target = dir.path("song.awi");
    const Version one(1), two(2);
    krm::SafeSaveFile first(target);
    ASSERT_TRUE(first.open(QIODevice::WriteOnly));
    EXPECT_EQ(first.fileName(), target);
    const QString firstTemporary = first.temporaryFileName();
    EXPECT_TRUE(krm::isSafeSaveTemporaryOf(QFileInfo(firstTemporary).fileName(), "song.awi"));
    ASSERT_EQ(first.write(reinterpret_cast<const char*>(one.body.data()), qint64(one.body.size())),
              qint64(one.body.size()));
    ASSERT_TRUE(first.flush());

    ASSERT_EQ(save(target, two), krm::SaveOutcome::Saved);
    EXPECT_TRUE(QFile::exists(firstTemporary));
    EXPECT_EQ(testutil::readFile(target), two.whole());

    ASSERT_TRUE(first.commit());
    EXPECT_EQ(testutil::readFile(target), one.body);
    EXPECT_EQ(first.fileName(), target);
    EXPECT_EQ(entries(dir.path("")), QStringList {"song.awi"});
}

// What a save keeps of the file it replaces and what it refuses.
TEST(SafeSave, KeepsTheTargetsPermissionsAndLinksAndRefusesWhatItMayNotWrite)
{
    testutil::TempDir dir;
    const Version one(1), two(2);

    // Permissions of the old file; a new file gets the usual ones.
    const QString kept = dir.path("kept.svproj");
    ASSERT_EQ(save(kept, one), krm::SaveOutcome::Saved);
    const QFile::Permissions fresh = QFileInfo(kept).permissions();
    const QFile::Permissions chosen =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadUser | QFile::WriteUser;
    ASSERT_TRUE(QFile::setPermissions(kept, chosen));
    ASSERT_EQ(save(kept, two), krm::SaveOutcome::Saved);
    EXPECT_EQ(QFileInfo(kept).permissions(), chosen);
    EXPECT_TRUE(fresh & QFile::ReadOwner && fresh & QFile::WriteOwner);

    // A link stays a link; the file it names is replaced, beside itself.
    ASSERT_TRUE(QDir().mkpath(dir.path("real")));
    const QString real = dir.path("real/song.aus");
    ASSERT_EQ(save(real, one), krm::SaveOutcome::Saved);
    const QString link = dir.path("song.aus");
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_EQ(save(link, two), krm::SaveOutcome::Saved);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(testutil::readFile(real), two.whole());
    EXPECT_EQ(entries(dir.path("real")), QStringList {"song.aus"});

    // Refused, with nothing created: a read-only file, a folder, a missing
    // folder.
    const QString readOnly = dir.path("ro.awi");
    ASSERT_EQ(save(readOnly, one), krm::SaveOutcome::Saved);
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadUser));
    if (::geteuid() != 0) {
        EXPECT_EQ(save(readOnly, two), krm::SaveOutcome::CannotOpen);
        EXPECT_EQ(testutil::readFile(readOnly), one.whole());
    }
    ASSERT_TRUE(QDir().mkpath(dir.path("folder.svproj")));
    EXPECT_EQ(save(dir.path("folder.svproj"), one), krm::SaveOutcome::CannotOpen);
    EXPECT_EQ(save(dir.path("missing/x.svproj"), one), krm::SaveOutcome::CannotOpen);

    // Given up, or ended without a commit: the old file, and no temporary.
    {
        krm::SafeSaveFile f(kept);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("partial", 7);
        f.cancelWriting();
        krm::SafeSaveFile g(kept);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write("partial", 7);
    }
    EXPECT_EQ(testutil::readFile(kept), two.whole());
    QStringList expected {"folder.svproj", "kept.svproj", "real", "ro.awi", "song.aus"};
    EXPECT_EQ(entries(dir.path("")), expected);
}

namespace {

// A name of exactly `bytes` bytes in its encoded form, made of `unit`
// repeated and filled up with ASCII letters.
QString nameOfBytes(int bytes, const QString& unit)
{
    QString name;
    while (QFile::encodeName(name + unit).size() <= bytes - 6)
        name += unit;
    while (QFile::encodeName(name).size() < bytes - 6)
        name += QLatin1Char('x');
    return name + QStringLiteral(".awi.x");
}

}  // namespace

// Every name the file system takes saves and saves over, however close to
// its limit, in one-byte and in multi-byte characters; a killed save's
// left-over of a long name is still found and removed, and that of another
// long name sharing the same beginning is not.
TEST(SafeSave, NamesUpToTheFileSystemsLimitSaveAndSaveOver)
{
    const QString units[] = {QStringLiteral("a"), QStringLiteral("\u00e9"), QStringLiteral("\u97f3"),
                             QStringLiteral("\U0001F3B5")};
    for (const QString& unit : units) {
        for (int bytes : {200, 230, 234, 235, 236, 240, 250, 254, 255}) {
            const QString name = nameOfBytes(bytes, unit);
            SCOPED_TRACE(QString("%1 bytes of %2").arg(bytes).arg(unit).toStdString());
            ASSERT_EQ(QFile::encodeName(name).size(), bytes);
            testutil::TempDir dir;
            const QString target = dir.path("") + "/" + name;
            QString why;
            ASSERT_EQ(krm::saveFileReplacing(target, {{Version(1).header.data(), 32}}, &why),
                      krm::SaveOutcome::Saved)
                << why.toStdString();
            ASSERT_EQ(save(target, Version(2)), krm::SaveOutcome::Saved);
            EXPECT_EQ(testutil::readFile(target), Version(2).whole());
            EXPECT_EQ(entries(dir.path("")), QStringList {name});
        }
    }

    testutil::TempDir dir;
    const QString shared = QString(230, QLatin1Char('s'));
    const QString one = dir.path("") + "/" + shared + "-one.svproj";
    const QString two = dir.path("") + "/" + shared + "-two.svproj";
    ASSERT_EQ(killedSaves(one, 1, 1, Kill {true, kStepsPerSave - 1}), SIGKILL);
    ASSERT_EQ(entries(dir.path("")).size(), 1);
    const QString leftOver = entries(dir.path("")).first();
    EXPECT_TRUE(krm::isSafeSaveTemporaryOf(leftOver, shared + "-one.svproj"));
    EXPECT_FALSE(krm::isSafeSaveTemporaryOf(leftOver, shared + "-two.svproj"));
    ASSERT_EQ(save(two, Version(2)), krm::SaveOutcome::Saved);
    EXPECT_TRUE(QFile::exists(dir.path("") + "/" + leftOver));
    ASSERT_EQ(save(one, Version(1)), krm::SaveOutcome::Saved);
    EXPECT_EQ(entries(dir.path("")).size(), 2) << entries(dir.path("")).join('|').toStdString();
    EXPECT_FALSE(QFile::exists(dir.path("") + "/" + leftOver));
}

// A save that fails says why, naming the target.
TEST(SafeSave, AFailedSaveNamesItsTargetAndCause)
{
    testutil::TempDir dir;
    ASSERT_TRUE(testutil::writeFile(dir.path("plain"), {1}));
    const QString targets[] = {dir.path("missing/p.svproj"), dir.path("plain/p.svproj"),
                               dir.path("") + "/" + QString(256, QLatin1Char('n'))};
    for (const QString& target : targets) {
        SCOPED_TRACE(target.toStdString());
        QString why;
        EXPECT_NE(krm::saveFileReplacing(target, {{Version(1).header.data(), 32}}, &why),
                  krm::SaveOutcome::Saved);
        EXPECT_TRUE(why.contains(QFileInfo(target).fileName())) << why.toStdString();
        // A name too long for the folder fails only at the rename, which
        // leaves nothing behind either.
        krm::SafeSaveFile f(target);
        EXPECT_FALSE(f.open(QIODevice::WriteOnly) && f.commit());
        EXPECT_TRUE(f.errorString().contains(QFileInfo(target).fileName())) << f.errorString().toStdString();
    }
    EXPECT_EQ(entries(dir.path("")), QStringList {"plain"});
}
