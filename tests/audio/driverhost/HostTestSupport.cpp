#include "HostTestSupport.h"

#include <QFile>

namespace hosttest {

namespace {

// Made before main, so the registry is in place whatever runs first.
const bool kReady = (Registry::instance(), true);

}  // namespace

Registry& Registry::instance()
{
    static Registry registry;
    return registry;
}

Registry::Registry()
{
    using testutil::nullDriverGroup;
    m_groups = {
        nullDriverGroup("Null Output Driver", {{"capture", path("audition.wav")}}),
        nullDriverGroup("Null 512", {{"buffer_frames", "512"}, {"capture", path("small.wav")}}),
        nullDriverGroup("Null Types", {{"buffer_frames", "64"}}),
        nullDriverGroup("Null Reset",
                        {{"buffer_frames", "512"}, {"reset_after", "20"}, {"capture", path("reset.wav")}}),
        nullDriverGroup("Null No Outputs", {{"outputs", "0"}}),
        nullDriverGroup("Null No Frames", {{"buffer_frames", "0"}}),
        nullDriverGroup("Long", {{"description", QString(40, 'x')}}),
        nullDriverGroup("Repeated", {{"description", "Null Output Driver"}}),
        {"driver:Broken", {{"clsid", "{33333333-3333-3333-3333-333333333333}"}}},
        {"classes", {{"{33333333-3333-3333-3333-333333333333}", path("plugin.so")}}},
    };
    testutil::writeFile(path("plugin.so"), {'n', 'o', 't', ' ', 'E', 'L', 'F'});
    write();
    qputenv("STELVANO_DRIVER_REGISTRY", QFile::encodeName(path("drivers.ini")));
    // Only the driver host's outputs.
    qputenv("STELVANO_AUDIO_NULL", "0");
    qputenv("STELVANO_AUDIO_ALSA", "0");
}

void Registry::setKeys(Driver d, const QVector<QPair<QString, QString>>& keys)
{
    testutil::RegistryGroup& g = m_groups[d];
    g.keys.resize(1);  // the class id stays
    g.keys += keys;
    write();
}

void Registry::write()
{
    testutil::writeRegistry(path("drivers.ini"), m_groups);
}

}  // namespace hosttest
