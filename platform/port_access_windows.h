// The diagnosis of port_access_open on Windows, checked on its own.
#pragma once
#include <string>
#include <string_view>

// The port driver's DLL of the InpOut32/InpOutx64 package for this build.
#ifdef _WIN64
constexpr char PORT_DRIVER_DLL[] = "inpoutx64.dll";
constexpr char PORT_DRIVER_BITS[] = "64-bit";
#else
constexpr char PORT_DRIVER_DLL[] = "inpout32.dll";
constexpr char PORT_DRIVER_BITS[] = "32-bit";
#endif

enum PortDriverFault {
    DRIVER_DLL_MISSING,    // the DLL is neither next to the program nor in the system folder
    DRIVER_DLL_UNLOADABLE, // it is there, but Windows cannot load it
    DRIVER_DLL_FOREIGN,    // it loads, but has no Inp32 and Out32
    DRIVER_NOT_OPEN,       // it loads, and reports that its kernel driver is not running
};

// The text for standard error. `dll` is the DLL's full path once it is loaded; `error` is the
// Windows error code of loading it (0 when it loaded).
std::string port_driver_diagnosis(PortDriverFault fault, std::string_view dll, unsigned long error,
                                  std::string_view exe_folder);
