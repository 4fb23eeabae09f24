// The tool's output device, voice and volume.
#pragma once

#include <windows.h>

#include "keyboard/instance.h"

// At creation, before the record is attached: counts the devices, opens the
// chosen output device and sends the voice and the volume.
void SetUpToolSound(ToolInstance* record);

// Sends the record's program on its channel.
UINT SendProgramChange(ToolInstance* record);

// Sets the output volume of the record's open device from its volume.
UINT ApplyVolume(ToolInstance* record);

// When the tool goes away: ends a sounding note and closes the device.
void ReleaseToolSound(ToolInstance* record);
