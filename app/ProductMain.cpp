// The product: MIDI through winmm.
#include "app/DumpApp.h"
#include "midi/WinmmMidiDriver.h"

CDumpApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    static WinmmMidiDriver driver;
    SetMidiDriver(&driver);
    return AfxWinMain(instance);
}
