#pragma once
// "Null Output Driver": an output driver built into the program that plays
// nothing. A thread paced by a steady clock switches the halves of its
// buffers at the pace of a sound card; before each switch the half is
// filled with 0xA5 bytes, so a half the host leaves alone shows.
//
// Keys in its registry group (read when the object is made):
//   buffer_frames  minimum = maximum = preferred buffer size (2048)
//   outputs        output channels (2)
//   sample_types   sample type per channel, comma-separated, the last one
//                  standing for the channels after it (16)
//   fail_init      1: init fails (with an error message)
//   reset_after    one reset request that many buffers into each stream
//                  (0: never)
//   capture        a WAV file that every played half of the channels in
//                  use is appended to, frame-interleaved, bytes as the host
//                  left them. When both channels carry one type of 16 to 20
//                  the header is the standard one for that sample format,
//                  else it has format tag 0. The first stream of the process
//                  that names the file starts it afresh, later ones (also of
//                  new driver objects) append while the format stays; the
//                  file is complete after every stop.
#include "IF_asioDriver.h"

namespace krm::drivers {

// The built-in class's factory.
IF_asioDriver* createNullOutputDriver(const char* registryPath, const char* group);

// Null Output Driver objects alive in the process (for leak checks).
int nullOutputDriverObjects();

}  // namespace krm::drivers
