// Resource numbers of morvahost.exe, shared by its resource script and code.
#pragma once

#define IDI_MORVAHOST 1  // the only icon group, the first that Explorer shows
