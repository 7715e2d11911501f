// The driver registry: its INI reader keeps file order, driver groups and
// classes are read as written, and the file in force follows the
// environment (with a built-in registry when the usual file is absent).
#include "DriverRegistry.h"
#include "DriverRegistryFile.h"
#include "TestUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace krm::drivers;

namespace {

// Restores one environment variable when it goes.
class EnvGuard {
public:
    explicit EnvGuard(const char* name)
        : m_name(name), m_set(qEnvironmentVariableIsSet(name)), m_value(qgetenv(name))
    { }
    ~EnvGuard()
    {
        if (m_set)
            qputenv(m_name, m_value);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_set;
    QByteArray m_value;
};

TEST(IniReader, KeepsGroupsAndKeysInFileOrder)
{
    testutil::TempDir dir;
    const QString path = dir.path("order.ini");
    ASSERT_TRUE(testutil::writeFile(path, [] {
        const std::string text = "orphan=dropped\n"
                                 "; a comment\n"
                                 "[zeta]\n"
                                 "  b = 2 \n"
                                 "a=\"quoted value\"\n"
                                 "# another comment\n"
                                 "not a key line\n"
                                 "[alpha]\n"
                                 "c=x=y\n";
        return std::vector<uint8_t>(text.begin(), text.end());
    }()));
    QVector<IniGroup> groups;
    ASSERT_TRUE(readIniFile(path, groups));
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(groups[0].name, "zeta");
    ASSERT_EQ(groups[0].keys.size(), 2);
    EXPECT_EQ(groups[0].keys[0], qMakePair(QString("b"), QString("2")));
    EXPECT_EQ(groups[0].keys[1], qMakePair(QString("a"), QString("quoted value")));
    EXPECT_EQ(groups[1].name, "alpha");
    EXPECT_EQ(groups[1].value("c"), "x=y");
    EXPECT_EQ(groups[1].value("missing", "fallback"), "fallback");
    EXPECT_FALSE(readIniFile(dir.path("none.ini"), groups));
    EXPECT_TRUE(groups.isEmpty());
}

TEST(Registry, ReadsDriverGroupsAndClassesAfterTheBuiltInOnes)
{
    testutil::TempDir dir;
    const QString path = dir.path("drivers.ini");
    ASSERT_TRUE(testutil::writeRegistry(
        path,
        {{"driver:Second", {{"clsid", "{11111111-2222-3333-4444-555555555555}"}, {"description", "Named"}}},
         {"classes",
          {{"{11111111-2222-3333-4444-555555555555}", "/x/plugin.so"},
           {QString::fromLatin1(kNullDriverClassId), "/elsewhere/null.so"}}},
         {"other", {{"clsid", "ignored"}}},
         {"driver:First", {{"clsid", "{AAAAAAAA-0000-0000-0000-000000000000}"}}}}));
    const DriverRegistry r = DriverRegistry::read(path, true);
    EXPECT_EQ(r.file(), path);
    ASSERT_EQ(r.drivers().size(), 2) << "only [driver:...] groups are drivers";
    EXPECT_EQ(r.drivers()[0].keyName, "Second");
    EXPECT_EQ(r.drivers()[0].name(), "Named");
    EXPECT_EQ(r.drivers()[0].group, "driver:Second");
    EXPECT_EQ(r.drivers()[1].name(), "First") << "without a description the key name stands in";

    const DriverClass* plugin = r.findClass("{11111111-2222-3333-4444-555555555555}");
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->path, "/x/plugin.so");
    EXPECT_FALSE(plugin->builtIn);
    const DriverClass* null = r.findClass(QString::fromLatin1(kNullDriverClassId).toUpper());
    ASSERT_TRUE(null) << "class ids compare without regard to case";
    EXPECT_TRUE(null->builtIn) << "the built-in class comes before the file's entry of the same id";
    EXPECT_EQ(null->path, QCoreApplication::applicationFilePath());
    const DriverClass* jack = r.findClass(QString::fromLatin1(kJackDriverClassId));
    ASSERT_TRUE(jack);
    EXPECT_EQ(jack->path, QCoreApplication::applicationDirPath() + "/drivers/libstelvano-jack.so");
    EXPECT_FALSE(r.findClass("{AAAAAAAA-0000-0000-0000-000000000000}"));
}

TEST(Registry, TheFileInForceFollowsTheEnvironment)
{
    const EnvGuard keepRegistry("STELVANO_DRIVER_REGISTRY");
    const EnvGuard keepConfig("XDG_CONFIG_HOME");
    testutil::TempDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path("")));
    qunsetenv("STELVANO_DRIVER_REGISTRY");
    const QString usual = QDir::cleanPath(config.path("")) + "/Tanvek/Stelvano/drivers.ini";
    EXPECT_EQ(QDir::cleanPath(DriverRegistry::path()), usual);

    // No file at the usual place: the built-in registry, the JACK driver alone.
    DriverRegistry r = DriverRegistry::load();
    ASSERT_EQ(r.drivers().size(), 1);
    EXPECT_EQ(r.drivers()[0].name(), "JACK Output Driver");
    EXPECT_EQ(r.drivers()[0].classId, QString::fromLatin1(kJackDriverClassId));
    EXPECT_EQ(r.file(), "");

    ASSERT_TRUE(QDir().mkpath(QFileInfo(usual).absolutePath()));
    ASSERT_TRUE(testutil::writeRegistry(usual, {testutil::nullDriverGroup("Mine")}));
    r = DriverRegistry::load();
    ASSERT_EQ(r.drivers().size(), 1);
    EXPECT_EQ(r.drivers()[0].name(), "Mine");

    // The variable wins; a missing file it names lists nothing.
    testutil::TempDir other;
    qputenv("STELVANO_DRIVER_REGISTRY", QFile::encodeName(other.path("absent.ini")));
    EXPECT_EQ(DriverRegistry::path(), other.path("absent.ini"));
    EXPECT_TRUE(DriverRegistry::load().drivers().isEmpty());
    ASSERT_TRUE(testutil::writeRegistry(other.path("absent.ini"), {testutil::nullDriverGroup("Theirs")}));
    r = DriverRegistry::load();
    ASSERT_EQ(r.drivers().size(), 1);
    EXPECT_EQ(r.drivers()[0].name(), "Theirs");
}

TEST(Registry, DriverKeysComeFromTheirOwnGroup)
{
    testutil::TempDir dir;
    const QString path = dir.path("drivers.ini");
    ASSERT_TRUE(testutil::writeRegistry(path, {testutil::nullDriverGroup("A", {{"outputs", "4"}}),
                                               testutil::nullDriverGroup("B", {{"outputs", "6"}})}));
    EXPECT_EQ(driverKeys(path, "driver:B").value("outputs"), "6");
    EXPECT_EQ(driverKeys(path, "driver:C").value("outputs", "2"), "2");
    EXPECT_EQ(driverKeys(dir.path("none.ini"), "driver:A").value("outputs", "2"), "2");
}

}  // namespace
