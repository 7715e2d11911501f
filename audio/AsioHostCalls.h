#pragma once
// The host calls: each forwards to the current driver (made current by
// AsioDrivers::loadDriver) and answers kAsioNotPresent (-1000) when there is
// none, setting its out-values to neutral ones.
//
// GUI thread, except ASIOOutputReady, which the buffer switch also calls on
// the driver's thread.
#include "IF_asioDriver.h"

// Initialises the current driver. Success: 0, the error message "No ASIO
// Driver Error", the driver's name and version. Failure: the driver's error
// message, the driver is released (no driver current), -1000. Without a
// driver: version 0, name "No ASIO Driver", -1000.
int32_t ASIOInit(ASIODriverInfo* info);
// Releases the current driver; 0 with or without one.
int32_t ASIOExit();
int32_t ASIOStart();
int32_t ASIOStop();
// Without a driver both counts are 0.
int32_t ASIOGetChannels(int32_t* inputs, int32_t* outputs);
// Without a driver all four are 0.
int32_t ASIOGetBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred, int32_t* granularity);
int32_t ASIOSetSampleRate(double sampleRate);
// Without a driver: group -1, type 0, name "None".
int32_t ASIOGetChannelInfo(ASIOChannelInfo* info);
// Without a driver both buffer pointers of all `count` infos are cleared.
int32_t ASIOCreateBuffers(ASIOBufferInfo* infos, int32_t count, int32_t frames,
                          const ASIOCallbacks* callbacks);
int32_t ASIODisposeBuffers();
int32_t ASIOControlPanel();
int32_t ASIOOutputReady();

// The driver the host calls reach; set by AsioDrivers only.
IF_asioDriver* asioCurrentDriver();
void asioSetCurrentDriver(IF_asioDriver* driver);
