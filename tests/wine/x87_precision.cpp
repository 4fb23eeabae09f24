// Sets the x87 unit's precision before any test runs, as the host would have
// left it: MORVA_X87_PRECISION=53 as an MSVC-built host leaves it, 64 as a
// MinGW-built one does. Only the 32-bit build has a precision to set.
#include <float.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

int SetX87Precision()
{
    const char* wanted = getenv("MORVA_X87_PRECISION");
    if (wanted == nullptr || *wanted == '\0') {
        return 0;
    }
#if defined(__i386__)
    const unsigned int precision = strcmp(wanted, "53") == 0 ? _PC_53 : _PC_64;
    _controlfp(precision, _MCW_PC);
    fprintf(stderr, "x87 precision: %s bits (control word %#x)\n", wanted,
            _controlfp(0, 0) & _MCW_PC);
#endif
    return 1;
}

const int x87PrecisionSet = SetX87Precision();

}  // namespace
