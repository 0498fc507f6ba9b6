// A stand-in for the port driver's DLL: it records the accesses that reach it instead of
// making them, reads answer port ^ 0xA5, and its kernel driver reads as not running while
// FAKE_INPOUT_DRIVER is "closed".
#include <cstdio>
#include <cstring>
#include <string>
#include <windows.h>

std::string trace; // the accesses so far, as "out 301 08, in 300"

void record(const char *format, short port, short value) {
    char entry[16];
    std::snprintf(entry, sizeof entry, format, port & 0xFFFF, value & 0xFF);
    trace += (trace.empty() ? "" : ", ") + std::string(entry);
}

extern "C" {
__declspec(dllexport) short __stdcall Inp32(short port) {
    record("in %X", port, 0);
    return static_cast<short>((port ^ 0xA5) & 0xFF);
}
__declspec(dllexport) void __stdcall Out32(short port, short value) {
    record("out %X %02X", port, value);
}
__declspec(dllexport) BOOL __stdcall IsInpOutDriverOpen() {
    char state[16] = "";
    GetEnvironmentVariableA("FAKE_INPOUT_DRIVER", state, sizeof state);
    return std::strcmp(state, "closed") != 0;
}
__declspec(dllexport) const char *fake_inpout_trace() {
    return trace.c_str();
}
}
