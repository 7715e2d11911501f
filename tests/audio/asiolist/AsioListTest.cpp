// The driver list and the host calls on their own (no host engine in this
// program): which registry entries are listed under which name and id,
// names copied into small buffers, opening drivers, the neutral answers
// without a driver, and loading one driver after another.
#include "AsioDrivers.h"
#include "AsioHostCalls.h"
#include "DriverRegistryFile.h"
#include "NullOutputDriver.h"
#include "TestUtil.h"

#include <QFileInfo>
#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sndfile.h>

using krm::drivers::DriverRegistry;
using krm::drivers::nullOutputDriverObjects;
using testutil::nullDriverGroup;

namespace {

const QString kForty = QString(40, 'F');
const QString kThirtyOne = QString(31, 'T');

// Counts the warnings logged while it lives.
class WarningCounter {
public:
    WarningCounter()
    {
        s_count = 0;
        m_previous = qInstallMessageHandler(&handler);
    }
    ~WarningCounter() { qInstallMessageHandler(m_previous); }
    int count() const { return s_count; }

private:
    static void handler(QtMsgType type, const QMessageLogContext&, const QString&)
    {
        if (type == QtWarningMsg)
            ++s_count;
    }
    static inline int s_count = 0;
    QtMessageHandler m_previous;
};

class DriverList : public ::testing::Test {
protected:
    void SetUp() override
    {
        notALibrary = dir.path("plugin.so");
        ASSERT_TRUE(testutil::writeFile(notALibrary, {'n', 'o', 't', ' ', 'E', 'L', 'F'}));
        ASSERT_TRUE(testutil::writeRegistry(
            dir.path("drivers.ini"),
            {
                nullDriverGroup("Plain"),
                {"driver:Unknown", {{"clsid", "{99999999-9999-9999-9999-999999999999}"}}},
                {"driver:Missing", {{"clsid", "{22222222-2222-2222-2222-222222222222}"}}},
                nullDriverGroup("Long", {{"description", QString(200, 'L')}}),
                nullDriverGroup("Forty", {{"description", kForty}}),
                nullDriverGroup("Again", {{"description", "Plain"}}),
                {"driver:NotALib", {{"clsid", "{33333333-3333-3333-3333-333333333333}"}}},
                nullDriverGroup("Failing", {{"fail_init", "1"}}),
                nullDriverGroup("ThirtyOne", {{"description", kThirtyOne}}),
                {"classes",
                 {{"{22222222-2222-2222-2222-222222222222}", dir.path("missing.so")},
                  {"{33333333-3333-3333-3333-333333333333}", notALibrary}}},
            }));
    }
    DriverRegistry registry() const { return DriverRegistry::read(dir.path("drivers.ini"), false); }

    static std::string nameOf(const AsioDriverList& list, int id)
    {
        char name[256];
        return list.getDriverName(id, name, sizeof name) == kAsioOk ? std::string(name) : "<none>";
    }

    testutil::TempDir dir;
    QString notALibrary;
};

TEST_F(DriverList, ListsUsableDriversInRegistryOrderAndWarnsOfUnloadableNames)
{
    const WarningCounter warnings;
    AsioDrivers list(registry());
    std::vector<std::string> names;
    for (int id = 0; id < list.count(); ++id)
        names.push_back(nameOf(list, id));
    const std::vector<std::string> want = {
        "Plain",                   // no description: its key name
        std::string(128, 'L'),     // cut to 128
        kForty.toStdString(),      //
        "Plain",                   // a repeated name is listed
        "NotALib",                 // its file exists; it is no library
        "Failing",                 //
        kThirtyOne.toStdString(),  //
    };
    EXPECT_EQ(names, want) << "unknown classes and missing files are left out, ids follow the file";
    EXPECT_EQ(warnings.count(), 3) << "one warning each for the two long names and the repeated one";

    EXPECT_FALSE(list.loadDriver(kForty.toLatin1().constData())) << "names of 32 or more are never found";
    EXPECT_EQ(list.currentDriver(), -1);
    EXPECT_TRUE(list.loadDriver(kThirtyOne.toLatin1().constData())) << "31 characters fit";
    EXPECT_TRUE(list.loadDriver("Plain"));
    EXPECT_EQ(list.currentDriver(), 0) << "of two drivers of one name the first is loaded";
    EXPECT_EQ(nullOutputDriverObjects(), 1) << "loading one releases the other";
    EXPECT_FALSE(list.loadDriver("Nobody"));
    EXPECT_EQ(list.currentDriver(), 0) << "a name not found changes nothing";
}

TEST_F(DriverList, DriverNamesNeverGoPastTheBuffer)
{
    const AsioDrivers list(registry());
    struct Row {
        int id;
        int size;
        int32_t result;
        std::string text;  // what is written, zero included
    };
    const std::vector<Row> rows = {
        {2, 32, kAsioOk, kForty.left(28).toStdString() + "..." + '\0'},
        {6, 32, kAsioOk, kThirtyOne.toStdString() + '\0'},
        {0, 6, kAsioOk, std::string("Plain") + '\0'},
        {0, 5, kAsioOk, std::string("P...") + '\0'},
        {0, 4, kAsioOk, std::string("...") + '\0'},
        {0, 3, kAsioOk, std::string("Pl") + '\0'},
        {0, 2, kAsioOk, std::string("P") + '\0'},
        {0, 1, kAsioOk, std::string(1, '\0')},
        {0, 0, kAsioListBadArgument, ""},
        {0, -7, kAsioListBadArgument, ""},
        {99, 32, kAsioListNoSuchDriver, ""},
        {-1, 32, kAsioListNoSuchDriver, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "id " << r.id << " size " << r.size);
        std::string buffer(64, '#');
        EXPECT_EQ(list.getDriverName(r.id, buffer.data(), r.size), r.result);
        EXPECT_EQ(buffer.substr(0, r.text.size()), r.text);
        EXPECT_EQ(buffer.substr(r.text.size()), std::string(64 - r.text.size(), '#'))
            << "written past the text";
    }
    EXPECT_EQ(list.getDriverName(0, nullptr, 32), kAsioListBadArgument);
    const AsioDriverList empty(DriverRegistry::read(dir.path("none.ini"), false));
    char name[32];
    EXPECT_EQ(empty.getDriverName(0, name, 32), kAsioListNoSuchDriver);
}

// The file of a library that certainly has no driver factory.
QString aLibraryWithoutFactory()
{
    Dl_info info {};
    return dladdr(reinterpret_cast<void*>(&sf_open), &info) && info.dli_fname ? QString(info.dli_fname)
                                                                              : QString();
}

TEST_F(DriverList, OpenRefusesBadCallsAndPassesOnTheLibraryCode)
{
    AsioDriverList list(registry());
    IF_asioDriver* d = nullptr;
    EXPECT_EQ(list.openDriver(0, nullptr), kAsioListBadArgument);
    EXPECT_EQ(list.openDriver(99, &d), kAsioListNoSuchDriver);
    EXPECT_EQ(list.openDriver(0, &d), kAsioOk);
    EXPECT_TRUE(d);
    EXPECT_EQ(list.openDriver(0, &d), kAsioListAlreadyOpen);
    EXPECT_EQ(list.closeDriver(0), kAsioOk);
    EXPECT_EQ(nullOutputDriverObjects(), 0);
    EXPECT_EQ(list.closeDriver(0), kAsioOk) << "closing a closed driver is fine";
    EXPECT_EQ(list.openDriver(4, &d), kAsioPluginUnusable) << "a file that is no library";
    EXPECT_EQ(list.openDriver(4, &d), kAsioPluginUnusable) << "and nothing stays created";

    const QString foreign = aLibraryWithoutFactory();
    ASSERT_TRUE(QFileInfo(foreign).isFile()) << foreign.toStdString();
    ASSERT_TRUE(testutil::writeRegistry(
        dir.path("foreign.ini"), {{"driver:Foreign", {{"clsid", "{44444444-4444-4444-4444-444444444444}"}}},
                                  {"classes", {{"{44444444-4444-4444-4444-444444444444}", foreign}}}}));
    AsioDriverList other(DriverRegistry::read(dir.path("foreign.ini"), false));
    ASSERT_EQ(other.count(), 1);
    EXPECT_EQ(other.openDriver(0, &d), kAsioPluginUnusable) << "a library without the factory";
}

TEST(HostCalls, WithoutADriverAnswerNeutralValues)
{
    ASSERT_FALSE(asioCurrentDriver());
    ASIODriverInfo info;
    std::memset(&info, 0x5A, sizeof info);
    info.sysRef = nullptr;
    EXPECT_EQ(ASIOInit(&info), kAsioNotPresent);
    EXPECT_EQ(info.asioVersion, 0);
    EXPECT_EQ(info.driverVersion, 0);
    EXPECT_STREQ(info.name, "No ASIO Driver");
    EXPECT_EQ(ASIOExit(), kAsioOk);

    int32_t a = 7, b = 7, c = 7, d = 7;
    EXPECT_EQ(ASIOGetChannels(&a, &b), kAsioNotPresent);
    EXPECT_EQ(std::vector<int32_t>({a, b}), std::vector<int32_t>({0, 0}));
    a = b = 7;
    EXPECT_EQ(ASIOGetBufferSize(&a, &b, &c, &d), kAsioNotPresent);
    EXPECT_EQ(std::vector<int32_t>({a, b, c, d}), std::vector<int32_t>(4, 0));

    ASIOChannelInfo channel;
    std::memset(&channel, 0x5A, sizeof channel);
    channel.channel = 0;
    channel.isInput = false;
    EXPECT_EQ(ASIOGetChannelInfo(&channel), kAsioNotPresent);
    EXPECT_EQ(channel.channelGroup, -1);
    EXPECT_EQ(channel.type, 0);
    EXPECT_STREQ(channel.name, "None");

    int dummy = 0;
    ASIOBufferInfo buffers[3];
    for (ASIOBufferInfo& bi : buffers)
        bi = {false, 0, {&dummy, &dummy}};
    EXPECT_EQ(ASIOCreateBuffers(buffers, 3, 64, nullptr), kAsioNotPresent);
    for (const ASIOBufferInfo& bi : buffers)
        EXPECT_TRUE(!bi.buffers[0] && !bi.buffers[1]);

    for (auto call : {ASIOStart, ASIOStop, ASIODisposeBuffers, ASIOControlPanel, ASIOOutputReady})
        EXPECT_EQ(call(), kAsioNotPresent);
    EXPECT_EQ(ASIOSetSampleRate(44100.0), kAsioNotPresent);
}

TEST_F(DriverList, InitOfTheNullDriverAndAFailingInitThatLeavesNothingBehind)
{
    AsioDrivers list(registry());
    ASSERT_EQ(AsioDrivers::process(), &list);
    ASIODriverInfo info {};
    ASSERT_TRUE(list.loadDriver("Plain"));
    ASSERT_EQ(ASIOInit(&info), kAsioOk);
    EXPECT_STREQ(info.errorMessage, "No ASIO Driver Error");
    EXPECT_STREQ(info.name, "Null Output Driver");
    EXPECT_EQ(info.driverVersion, 1);
    EXPECT_EQ(ASIOExit(), kAsioOk);
    EXPECT_EQ(list.currentDriver(), -1);
    EXPECT_FALSE(asioCurrentDriver());
    EXPECT_EQ(nullOutputDriverObjects(), 0);

    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        ASSERT_TRUE(list.loadDriver("Failing")) << "a failed init must not block the next open";
        EXPECT_EQ(ASIOInit(&info), kAsioNotPresent);
        EXPECT_NE(std::string(info.errorMessage).find("fail_init"), std::string::npos) << info.errorMessage;
        EXPECT_EQ(list.currentDriver(), -1);
        EXPECT_FALSE(asioCurrentDriver());
        EXPECT_EQ(nullOutputDriverObjects(), 0) << "the failed driver is released";
    }
}

TEST_F(DriverList, AFailedLoadCreatesThePreviousDriverAgain)
{
    AsioDrivers list(registry());
    ASSERT_TRUE(list.loadDriver("Plain"));
    IF_asioDriver* const first = asioCurrentDriver();
    ASSERT_TRUE(first);
    EXPECT_FALSE(list.loadDriver("NotALib"));
    EXPECT_EQ(list.currentDriver(), 0) << "the previous driver is current again";
    EXPECT_TRUE(asioCurrentDriver());
    EXPECT_EQ(nullOutputDriverObjects(), 1);
    list.removeCurrentDriver();
    EXPECT_FALSE(asioCurrentDriver());
    EXPECT_EQ(nullOutputDriverObjects(), 0);

    EXPECT_FALSE(list.loadDriver("NotALib")) << "with nothing before it, nothing comes back";
    EXPECT_EQ(list.currentDriver(), -1);
    EXPECT_FALSE(asioCurrentDriver());
}

}  // namespace
