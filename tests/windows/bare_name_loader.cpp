// The control of the planting test: loads the two libraries by bare name, as a program that
// trusts the default search order would, and exits 0 only when neither planted copy ran.
#include <windows.h>

int main() {
  LoadLibraryW(L"cfgmgr32.dll");
  LoadLibraryW(L"SetupApi.dll");
  return 0;
}
