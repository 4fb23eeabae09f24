// Resource numbers of morvahost.exe, shared by its resource script and code.
#pragma once

// The program's icon, its only icon group (Explorer shows the first).
#define IDI_MORVAHOST 1
