#include "AsioHostCalls.h"

#include "AsioDrivers.h"

#include <atomic>

namespace {

// Read on the driver's thread too (ASIOOutputReady); it changes only while
// no stream runs.
std::atomic<IF_asioDriver*> g_current {nullptr};

}  // namespace

IF_asioDriver* asioCurrentDriver()
{
    return g_current.load();
}

void asioSetCurrentDriver(IF_asioDriver* driver)
{
    g_current = driver;
}

int32_t ASIOInit(ASIODriverInfo* info)
{
    IF_asioDriver* d = g_current;
    if (!d) {
        info->asioVersion = 0;
        info->driverVersion = 0;
        asioCopyText(info->name, sizeof info->name, "No ASIO Driver");
        asioCopyText(info->errorMessage, sizeof info->errorMessage, "No ASIO Driver");
        return kAsioNotPresent;
    }
    if (!d->init(info->sysRef)) {
        d->getErrorMessage(info->errorMessage);
        // A driver that cannot serve is closed at once, so it neither stays
        // alive nor blocks a later open of the same driver.
        if (AsioDrivers* list = AsioDrivers::process())
            list->removeCurrentDriver();
        g_current = nullptr;
        return kAsioNotPresent;
    }
    asioCopyText(info->errorMessage, sizeof info->errorMessage, "No ASIO Driver Error");
    d->getDriverName(info->name);
    d->getDriverVersion(&info->driverVersion);
    return kAsioOk;
}

int32_t ASIOExit()
{
    if (g_current) {
        if (AsioDrivers* list = AsioDrivers::process())
            list->removeCurrentDriver();
        g_current = nullptr;
    }
    return kAsioOk;
}

int32_t ASIOStart()
{
    IF_asioDriver* d = g_current;
    return d ? d->start() : kAsioNotPresent;
}

int32_t ASIOStop()
{
    IF_asioDriver* d = g_current;
    return d ? d->stop() : kAsioNotPresent;
}

int32_t ASIOGetChannels(int32_t* inputs, int32_t* outputs)
{
    IF_asioDriver* d = g_current;
    if (!d) {
        *inputs = *outputs = 0;
        return kAsioNotPresent;
    }
    return d->getChannels(inputs, outputs);
}

int32_t ASIOGetBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred, int32_t* granularity)
{
    IF_asioDriver* d = g_current;
    if (!d) {
        *minimum = *maximum = *preferred = *granularity = 0;
        return kAsioNotPresent;
    }
    return d->getBufferSize(minimum, maximum, preferred, granularity);
}

int32_t ASIOSetSampleRate(double sampleRate)
{
    IF_asioDriver* d = g_current;
    return d ? d->setSampleRate(sampleRate) : kAsioNotPresent;
}

int32_t ASIOGetChannelInfo(ASIOChannelInfo* info)
{
    IF_asioDriver* d = g_current;
    if (!d) {
        info->channelGroup = -1;
        info->type = 0;
        asioCopyText(info->name, sizeof info->name, "None");
        return kAsioNotPresent;
    }
    return d->getChannelInfo(info);
}

int32_t ASIOCreateBuffers(ASIOBufferInfo* infos, int32_t count, int32_t frames,
                          const ASIOCallbacks* callbacks)
{
    IF_asioDriver* d = g_current;
    if (!d) {
        for (int32_t i = 0; infos && i < count; ++i)
            infos[i].buffers[0] = infos[i].buffers[1] = nullptr;
        return kAsioNotPresent;
    }
    return d->createBuffers(infos, count, frames, callbacks);
}

int32_t ASIODisposeBuffers()
{
    IF_asioDriver* d = g_current;
    return d ? d->disposeBuffers() : kAsioNotPresent;
}

int32_t ASIOControlPanel()
{
    IF_asioDriver* d = g_current;
    return d ? d->controlPanel() : kAsioNotPresent;
}

int32_t ASIOOutputReady()
{
    IF_asioDriver* d = g_current;
    return d ? d->outputReady() : kAsioNotPresent;
}
