// The tool's output device, voice and volume.
#pragma once

#include <windows.h>

#include "keyboard/instance.h"

// At creation, before the record is attached: counts the devices, opens the
// chosen output device and sends the voice and the volume.
void SetUpToolSound(ToolInstance* record);

// Opens the output device the record's block names.
UINT OpenToolDevice(ToolInstance* record);

// Closes the record's output device.
UINT CloseToolDevice(ToolInstance* record);

// Sends the record's program on its channel.
UINT SendProgramChange(ToolInstance* record);

// Sets the output volume of the record's open device from its volume.
UINT ApplyVolume(ToolInstance* record);

// The output devices found when the last tool was set up.
UINT OutputDeviceCount();

// Reads the name of an output device into `name`; a failure is reported in a
// message box owned by the record's window.
UINT GetOutputDeviceName(const ToolInstance* record, UINT device, char* name);

// When the tool goes away: ends a sounding note and closes the device.
void ReleaseToolSound(ToolInstance* record);
