#pragma once
// The list of installed output drivers, read from the driver registry, and
// the holder of the one current driver; the host calls (AsioHostCalls.h)
// forward to that driver.
//
// A driver whose class is not known, or whose class's file does not exist,
// is left out. Ids are positions in the list, in registry order. A driver
// is loaded by name, compared in the 32-character form getDriverName gives
// with a 32-byte buffer, so a driver whose name has 32 or more characters
// is never loaded, nor is the second of two drivers of one name; the list
// logs a warning for each.
//
// All of it runs on the GUI thread; the current driver changes only while
// no stream runs.
#include "DriverRegistry.h"
#include "IF_asioDriver.h"

#include <QByteArray>
#include <QString>
#include <QUuid>
#include <vector>

// Codes of the list operations.
constexpr int32_t kAsioListBadArgument = -5001;
constexpr int32_t kAsioListAlreadyOpen = -5002;
constexpr int32_t kAsioListNoSuchDriver = -5003;
// A plugin that does not load, lacks the factory, speaks another interface
// version or makes no driver; returned unchanged by the open.
constexpr int32_t kAsioPluginUnusable = -5010;

class AsioDriverList {
public:
    // One usable installed driver.
    struct Record {
        int32_t id = 0;
        QUuid classId;    // null when the registry's text does not parse
        QString path;     // file of the driver's class (at most 512 characters)
        QByteArray name;  // at most 128 characters
        QString group;    // its registry group, handed to the factory
        krm::drivers::BuiltInDriverCreate builtIn = nullptr;
        IF_asioDriver* driver = nullptr;  // while created
    };

    // Reads the registry in force (krm::drivers::DriverRegistry::load).
    AsioDriverList();
    explicit AsioDriverList(const krm::drivers::DriverRegistry& registry);
    // Releases every driver still created.
    virtual ~AsioDriverList();
    AsioDriverList(const AsioDriverList&) = delete;
    AsioDriverList& operator=(const AsioDriverList&) = delete;

    int32_t count() const { return int32_t(m_records.size()); }

    // Copies the name of driver `id` into `buffer` of `size` bytes with a
    // terminating zero; a name of size or more characters is cut to its
    // first size - 4 characters and "..." (size 1 to 3: its first size - 1
    // characters). Never writes past size. -5001 for a null buffer or a
    // size of 0 or less (nothing written), -5003 for an id not listed.
    int32_t getDriverName(int32_t id, char* buffer, int32_t size) const;
    // Creates driver `id` and stores it in *driver and in its record. -5001
    // without `driver`, -5003 for an id not listed, -5002 when it is created
    // already, the creation's failing code (e.g. kAsioPluginUnusable)
    // unchanged.
    int32_t openDriver(int32_t id, IF_asioDriver** driver);
    // Releases driver `id` when it is created; 0.
    int32_t closeDriver(int32_t id);

    // The registry file the drivers read their keys from.
    QString registryFile() const { return m_registryFile; }

protected:
    Record* find(int32_t id);
    const Record* find(int32_t id) const;

private:
    IF_asioDriver* create(const Record& r, int32_t& code) const;

    std::vector<Record> m_records;
    QString m_registryFile;
};

class AsioDrivers : public AsioDriverList {
public:
    // The first AsioDrivers of the process becomes the one the host calls
    // use (ASIOExit releases its current driver) until it is destroyed.
    AsioDrivers();
    explicit AsioDrivers(const krm::drivers::DriverRegistry& registry);
    ~AsioDrivers() override;

    // The process's object; null when there is none.
    static AsioDrivers* process();

    // Makes the first driver of that name (32-character form) current,
    // releasing the current one first. When the new one cannot be created,
    // the previous one is created again (not initialised) and false comes
    // back. False for an empty list or a name not found (nothing changes).
    bool loadDriver(const char* name);
    // Releases the current driver; no driver is current after.
    void removeCurrentDriver();
    int32_t currentDriver() const { return m_current; }

private:
    int32_t m_current = -1;
};
