// Opening the I/O ports on Windows. Since Windows NT a user program cannot execute port
// instructions: only a kernel driver can. ciflash uses the free InpOut32/InpOutx64 driver
// through its DLL, loaded at run time and never linked, so that without it the program still
// starts and says what is missing.
#include "platform/port_access_windows.h"
#include "platform/inpout.h"
#include "platform/port_access.h"
#include "platform/port_windows.h"

#include <cstdio>
#include <windows.h>

namespace {

using InpOutDriverOpen = BOOL(__stdcall *)();

template <typename Function> Function dll_function(HMODULE dll, const char *name) {
    // Through the generic function pointer type, which converts to any other.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(dll, name)));
}

std::string module_path(HMODULE module) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length == sizeof path) return {};
    return std::string(path, length);
}

std::string exe_folder() {
    const std::string path = module_path(nullptr);
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(0, slash);
}

bool diagnose(PortDriverFault fault, std::string_view dll, unsigned long error) {
    std::fputs(port_driver_diagnosis(fault, dll, error, exe_folder()).c_str(), stderr);
    return false;
}

} // namespace

std::string port_driver_diagnosis(PortDriverFault fault, std::string_view dll, unsigned long error,
                                  std::string_view exe_folder) {
    std::string text = port_refusal_headline();
    const std::string code = " (Windows error " + std::to_string(error) + ").\n";
    switch (fault) {
    case DRIVER_DLL_MISSING:
        text += "the port driver's DLL " + std::string(dll) + " was not found" + code;
        break;
    case DRIVER_DLL_UNLOADABLE:
        text += "the port driver's DLL " + std::string(dll) + " cannot be loaded" + code;
        break;
    case DRIVER_DLL_FOREIGN:
        text += std::string(dll) + " has no functions Inp32 and Out32: it is not the DLL of the "
                                   "InpOut port driver.\n";
        break;
    case DRIVER_NOT_OPEN:
        text += "the port driver's DLL " + std::string(dll) +
                " is loaded, but its kernel driver is not running.\n";
        break;
    }

    text += "Windows lets a program reach I/O ports only through a kernel driver. ciflash uses the "
            "free\nInpOut32/InpOutx64 driver; this ";
    text += PORT_DRIVER_BITS;
    text += " ciflash needs its DLL ";
    text += PORT_DRIVER_DLL;
    text += ".\n";
    if (fault != DRIVER_NOT_OPEN) {
        text += "Put ";
        text += PORT_DRIVER_DLL;
        text += " next to ciflash.exe, in " + std::string(exe_folder) +
                " (PATH and the current folder are not searched).\n";
    }
    text += "The DLL installs its driver the first time it runs with administrator rights: start "
            "ciflash\nonce as administrator (right-click, Run as administrator).\n";
    if (fault == DRIVER_NOT_OPEN)
        text += "If the driver still does not run, Windows refuses it, for instance with memory "
                "integrity\n(Core Isolation) switched on.\n";
    return text;
}

bool port_access_none() {
    return true;
}

bool port_access_open() {
    // The DLL installs a kernel driver with administrator rights: it is taken only from the
    // program's own folder or the system folder, never from PATH or the current folder, where
    // anyone who can write there could plant one.
    const HMODULE dll =
        LoadLibraryExA(PORT_DRIVER_DLL, nullptr,
                       LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (dll == nullptr) {
        const DWORD error = GetLastError();
        return diagnose(error == ERROR_MOD_NOT_FOUND ? DRIVER_DLL_MISSING : DRIVER_DLL_UNLOADABLE,
                        PORT_DRIVER_DLL, error);
    }
    const auto inp32 = dll_function<InpOutRead>(dll, "Inp32");
    const auto out32 = dll_function<InpOutWrite>(dll, "Out32");
    if (inp32 == nullptr || out32 == nullptr)
        return diagnose(DRIVER_DLL_FOREIGN, module_path(dll), 0);
    // Older versions of the DLL cannot tell; without their driver no module is found.
    const auto driver_open = dll_function<InpOutDriverOpen>(dll, "IsInpOutDriverOpen");
    if (driver_open != nullptr && !driver_open())
        return diagnose(DRIVER_NOT_OPEN, module_path(dll), 0);
    inpout = {inp32, out32};
    port_windows_open = true;
    return true;
}
