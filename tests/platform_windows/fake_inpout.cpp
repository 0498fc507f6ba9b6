#include <cstdio>
#include <cstring>
#include <windows.h>

extern "C" {
__declspec(dllexport) char trace[256] = "";
__declspec(dllexport) short __stdcall Inp32(short port) {
    std::snprintf(trace + std::strlen(trace), 32, "in %X, ", port & 0xFFFF);
    return static_cast<short>((port ^ 0xA5) & 0xFF);
}
__declspec(dllexport) void __stdcall Out32(short port, short value) {
    std::snprintf(trace + std::strlen(trace), 32, "out %X %02X, ", port & 0xFFFF, value & 0xFF);
}
__declspec(dllexport) BOOL __stdcall IsInpOutDriverOpen() {
    return GetEnvironmentVariableA("FAKE_INPOUT_DRIVER", nullptr, 0) == 0;
}
}
