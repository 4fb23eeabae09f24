// Resource numbers of morvahost.exe, shared by its resource script and code.
#pragma once

// The program's icon. Explorer shows the first icon group of an executable;
// this is the only one.
#define IDI_MORVAHOST 1
