// A library planted beside a program or in its working folder under the name of a system
// library. Loading it ends the process at once with a code that no real answer uses.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD AReason, LPVOID) {
  if (AReason == DLL_PROCESS_ATTACH) ExitProcess(77);
  return TRUE;
}
