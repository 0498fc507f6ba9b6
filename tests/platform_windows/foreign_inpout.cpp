// A DLL under the port driver's name that is not the port driver: no Inp32, no Out32.
extern "C" {
__declspec(dllexport) int foreign_value = 0;
}
