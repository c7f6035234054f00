// A DLL that loads fine but is no leader plug-in: the host must say so.
#include <windows.h>

extern "C" __declspec(dllexport) int SomethingElse() { return 42; }
