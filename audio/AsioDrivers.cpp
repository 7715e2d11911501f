#include "AsioDrivers.h"

#include "AsioHostCalls.h"

#include <QDebug>
#include <QFileInfo>
#include <QLibrary>
#include <algorithm>
#include <cstring>

using krm::drivers::DriverRegistry;

namespace {

constexpr int kNameChars = 128;
constexpr int kPathChars = 512;
// The buffer that loadDriver reads names with: longer names are cut.
constexpr int kLoadNameBytes = 32;

AsioDrivers* g_process = nullptr;

}  // namespace

// ---------------------------------------------------------------- AsioDriverList

AsioDriverList::AsioDriverList() : AsioDriverList(DriverRegistry::load())
{ }

AsioDriverList::AsioDriverList(const DriverRegistry& registry) : m_registryFile(registry.file())
{
    for (const krm::drivers::DriverEntry& e : registry.drivers()) {
        const krm::drivers::DriverClass* c = registry.findClass(e.classId);
        if (!c) {
            qDebug() << "driver list: class" << e.classId << "of" << e.keyName << "is not known; left out";
            continue;
        }
        if (!QFileInfo(c->path).isFile()) {
            qDebug() << "driver list: the file" << c->path << "of" << e.keyName << "does not exist; left out";
            continue;
        }
        Record r;
        r.id = count();
        r.classId = QUuid::fromString(e.classId);
        r.path = c->path.left(kPathChars);
        r.name = e.name().toLocal8Bit().left(kNameChars);
        r.group = e.group;
        r.builtIn = c->builtIn;
        if (r.name.size() >= kLoadNameBytes)
            qWarning() << "driver list: the name of driver" << r.id << r.name
                       << "has 32 or more characters; it cannot be loaded";
        const auto same = std::find_if(m_records.begin(), m_records.end(),
                                       [&](const Record& o) { return o.name == r.name; });
        if (same != m_records.end())
            qWarning() << "driver list: driver" << r.id << r.name << "repeats the name of driver" << same->id
                       << "; it cannot be loaded";
        m_records.push_back(r);
    }
}

AsioDriverList::~AsioDriverList()
{
    for (Record& r : m_records)
        closeDriver(r.id);
}

AsioDriverList::Record* AsioDriverList::find(int32_t id)
{
    return id >= 0 && id < count() ? &m_records[size_t(id)] : nullptr;
}

const AsioDriverList::Record* AsioDriverList::find(int32_t id) const
{
    return id >= 0 && id < count() ? &m_records[size_t(id)] : nullptr;
}

int32_t AsioDriverList::getDriverName(int32_t id, char* buffer, int32_t size) const
{
    if (!buffer || size <= 0)
        return kAsioListBadArgument;
    const Record* r = find(id);
    if (!r)
        return kAsioListNoSuchDriver;
    const int32_t length = int32_t(r->name.size());
    if (length < size) {
        std::memcpy(buffer, r->name.constData(), size_t(length) + 1);
    } else if (size >= 4) {
        std::memcpy(buffer, r->name.constData(), size_t(size - 4));
        std::memcpy(buffer + size - 4, "...", 4);
    } else {
        std::memcpy(buffer, r->name.constData(), size_t(size - 1));
        buffer[size - 1] = 0;
    }
    return kAsioOk;
}

IF_asioDriver* AsioDriverList::create(const Record& r, int32_t& code) const
{
    const QByteArray file = m_registryFile.toUtf8();
    const QByteArray group = r.group.toUtf8();
    IF_asioDriver* driver = nullptr;
    if (r.builtIn) {
        driver = r.builtIn(file.constData(), group.constData());
    } else {
        // Plugins stay loaded to the end of the process: code of a released
        // driver may still be on a thread's way out.
        QLibrary library(r.path);
        const auto* factory =
            library.load()
                ? reinterpret_cast<const AsioDriverFactory*>(library.resolve(kAsioDriverFactorySymbol))
                : nullptr;
        if (!factory)
            qDebug() << "driver list: cannot use" << r.path << library.errorString();
        else if (factory->interfaceVersion != kAsioDriverInterfaceVersion || !factory->create)
            qDebug() << "driver list:" << r.path << "speaks interface version" << factory->interfaceVersion;
        else
            driver = factory->create(file.constData(), group.constData());
    }
    code = driver ? kAsioOk : kAsioPluginUnusable;
    return driver;
}

int32_t AsioDriverList::openDriver(int32_t id, IF_asioDriver** driver)
{
    if (!driver)
        return kAsioListBadArgument;
    Record* r = find(id);
    if (!r)
        return kAsioListNoSuchDriver;
    if (r->driver)
        return kAsioListAlreadyOpen;
    int32_t code = kAsioOk;
    r->driver = create(*r, code);
    *driver = r->driver;
    return code;
}

int32_t AsioDriverList::closeDriver(int32_t id)
{
    Record* r = find(id);
    if (r && r->driver) {
        IF_asioDriver* d = r->driver;
        r->driver = nullptr;
        d->release();
    }
    return kAsioOk;
}

// ---------------------------------------------------------------- AsioDrivers

AsioDrivers::AsioDrivers() : AsioDrivers(DriverRegistry::load())
{ }

AsioDrivers::AsioDrivers(const DriverRegistry& registry) : AsioDriverList(registry)
{
    if (!g_process)
        g_process = this;
}

AsioDrivers::~AsioDrivers()
{
    removeCurrentDriver();
    if (g_process == this)
        g_process = nullptr;
}

AsioDrivers* AsioDrivers::process()
{
    return g_process;
}

bool AsioDrivers::loadDriver(const char* name)
{
    if (!name || count() == 0)
        return false;
    char listed[kLoadNameBytes];
    int32_t id = -1;
    for (int32_t i = 0; i < count() && id < 0; ++i) {
        if (getDriverName(i, listed, kLoadNameBytes) == kAsioOk && std::strcmp(listed, name) == 0)
            id = i;
    }
    if (id < 0)
        return false;
    char previous[kLoadNameBytes] = {};
    const bool hadPrevious = m_current >= 0 && getDriverName(m_current, previous, kLoadNameBytes) == kAsioOk;
    removeCurrentDriver();
    IF_asioDriver* driver = nullptr;
    if (openDriver(id, &driver) != kAsioOk) {
        if (hadPrevious)
            loadDriver(previous);
        return false;
    }
    m_current = id;
    asioSetCurrentDriver(driver);
    return true;
}

void AsioDrivers::removeCurrentDriver()
{
    const Record* r = find(m_current);
    if (!r)
        return;
    if (r->driver == asioCurrentDriver())
        asioSetCurrentDriver(nullptr);
    closeDriver(m_current);
    m_current = -1;
}
