// The tool's output device, voice and volume.
#include "keyboard/sound.h"

void SetUpToolSound(ToolInstance*) {}
UINT SendProgramChange(ToolInstance*) { return 0; }
UINT ApplyVolume(ToolInstance*) { return 0; }
void ReleaseToolSound(ToolInstance*) {}
