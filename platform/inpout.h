// The port driver on Windows: the InpOut32/InpOutx64 DLL, loaded at run time by
// port_access_open. Its two port functions, null until the DLL is open.
#pragma once

using InpOutRead = short(__stdcall *)(short port);
using InpOutWrite = void(__stdcall *)(short port, short value);

struct InpOut {
    InpOutRead inp32;
    InpOutWrite out32;
};
extern InpOut inpout;
