// Size negotiation with the host: ideal size and fitting to a given dimension.
#pragma once

#include <cstdint>

#include "include/morva.h"

// 32 pixels of width per octave for 20 of height.
uint32_t IdealToolSize(int32_t octaves);

// Fits the keyboard's proportion to the request. An octave count below 1 is
// raised to 1 in place, as the tool keeps it.
uint32_t FitToolSize(int32_t* octaves, const SizeFitRequest& request);
