#include "TempFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using krm::platform::makePrivateTempFolder;

namespace {

mode_t modeOf(const QString& p)
{
    struct stat st { };
    EXPECT_EQ(::lstat(QFile::encodeName(p).constData(), &st), 0);
    return st.st_mode & 07777;
}

QString namedFolder(const QString& base)
{
    return base + "/Stelvano-" + QString::number(::getuid());
}

}  // namespace

TEST(TempFolder, CreatesThePrivateFolderWithMode0700AndReusesIt)
{
    QTemporaryDir base;
    const QString f = makePrivateTempFolder(base.path());
    EXPECT_EQ(f, namedFolder(base.path()));
    EXPECT_EQ(modeOf(f), 0700u);
    ::chmod(QFile::encodeName(f).constData(), 0755);
    EXPECT_EQ(makePrivateTempFolder(base.path()), f);
    EXPECT_EQ(modeOf(f), 0700u) << "an existing own folder gets its mode tightened";
}

TEST(TempFolder, ASymlinkOrAFileUnderTheNameIsNotUsed)
{
    for (const bool asLink : {true, false}) {
        SCOPED_TRACE(asLink ? "symlink" : "regular file");
        QTemporaryDir base, elsewhere;
        const QString named = namedFolder(base.path());
        if (asLink)
            ASSERT_TRUE(QFile::link(elsewhere.path(), named));
        else
            ASSERT_TRUE(QFile(named).open(QIODevice::WriteOnly));
        const QString f = makePrivateTempFolder(base.path());
        EXPECT_NE(f, named);
        EXPECT_TRUE(f.startsWith(base.path() + "/Stelvano-"));
        EXPECT_TRUE(QFileInfo(f).isDir());
        EXPECT_FALSE(QFileInfo(f).isSymLink());
        EXPECT_EQ(modeOf(f), 0700u);
    }
}

TEST(TempFolder, AnotherUsersFolderUnderTheNameIsNotUsed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make a folder that another user owns";
    QTemporaryDir base;
    const QString named = namedFolder(base.path());
    ASSERT_TRUE(QDir().mkdir(named));
    ASSERT_EQ(::chown(QFile::encodeName(named).constData(), 65534, 65534), 0);
    const QString f = makePrivateTempFolder(base.path());
    EXPECT_NE(f, named);
    EXPECT_TRUE(f.startsWith(base.path() + "/Stelvano-"));
    EXPECT_EQ(modeOf(f), 0700u);
}
