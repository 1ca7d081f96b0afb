// A program that imports winmm statically, as Tolvek.exe once did: the planted-DLL test starts
// it from the Downloads folder to show that its planted winmm.dll is loaded by such a program.
#include <windows.h>
#include <mmsystem.h>

int main(void) { return PlaySoundW(NULL, NULL, 0) ? 0 : 1; }
