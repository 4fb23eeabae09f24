// Packing of a MIDI short (channel) message into the word the system sends.
#pragma once

#include <cstdint>

// Low byte status | channel, then the two data bytes, top byte zero.
inline uint32_t PackShortMsg(uint32_t status, uint32_t channel, uint32_t data1, uint32_t data2)
{
    return ((status & 0xFFu) | (channel & 0xFFu)) | ((data1 & 0xFFu) << 8) |
           ((data2 & 0xFFu) << 16);
}
