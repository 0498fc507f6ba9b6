// A stand-in for the InpOut port driver's DLL: it records the port accesses that reach it
// instead of making them, and reads answer port ^ 0xA5. Its kernel driver reads as not
// running while the environment variable FAKE_INPOUT_DRIVER is "closed".
#include <cstdio>
#include <cstring>
#include <string>
#include <windows.h>

namespace {

std::string trace;

void record(const char *format, unsigned port, unsigned value) {
    char entry[32];
    std::snprintf(entry, sizeof entry, format, port, value);
    if (!trace.empty()) trace += ", ";
    trace += entry;
}

} // namespace

extern "C" {

__declspec(dllexport) short __stdcall Inp32(short port) {
    const auto number = static_cast<unsigned short>(port);
    record("in %X", number, 0);
    return static_cast<short>((number ^ 0xA5) & 0xFF);
}

__declspec(dllexport) void __stdcall Out32(short port, short value) {
    record("out %X %02X", static_cast<unsigned short>(port), static_cast<unsigned short>(value));
}

__declspec(dllexport) BOOL __stdcall IsInpOutDriverOpen() {
    char state[16] = "";
    GetEnvironmentVariableA("FAKE_INPOUT_DRIVER", state, sizeof state);
    return std::strcmp(state, "closed") != 0;
}

// The accesses so far, as "out 301 08, in 300".
__declspec(dllexport) const char *fake_inpout_trace() {
    return trace.c_str();
}
}
