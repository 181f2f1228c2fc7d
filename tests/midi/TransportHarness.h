#pragma once
#include <functional>
#include <vector>

#include "midi/MidiDialog.h"
#include "support/MidiTest.h"

// A MIDI window with nothing of its own: it runs the transport's transactions the way
// the program's windows do, and counts the completions of a reply.
class ProbeDialog : public CMidiDialog
{
public:
    ProbeDialog();
    int Completed();
    // What a single-dump receive does: completion action, ports, request, controls, timer.
    bool RequestProgram(int program);

    int completions = 0;
};

class TransportTest : public MidiTest
{
protected:
    // Runs `body` inside the probe's modal run, with the probe as the current MIDI window.
    void RunProbe(const std::function<void(ProbeDialog&)>& body);
    // Pumps until the probe has completed a reply or shown a box.
    bool WaitForOutcome(ProbeDialog& probe, unsigned timeoutMs = 5000);
    static Bytes Received(const ProbeDialog& probe);
};
