// A stand-in for the InpOut port driver's DLL: it records the port accesses that reach it
// instead of making them, and reads answer port ^ 0xA5. Its kernel driver reads as not
// running while the environment variable FAKE_INPOUT_DRIVER is "closed".
#include <cstdio>
#include <cstring>
#include <string>
#include <windows.h>

std::string trace; // the accesses so far, as "out 301 08, in 300"

void record(const char *format, short port, short value) {
    char entry[32];
    std::snprintf(entry, sizeof entry, format, static_cast<unsigned>(port),
                  static_cast<unsigned>(value));
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
