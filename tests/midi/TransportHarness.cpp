#include "TransportHarness.h"

#include "framework/WinApp.h"
#include "midi/MidiApp.h"
#include "midi/MidiDriver.h"
#include "midi/MidiPortState.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"
#include "support/ModalHook.h"
#include "support/Pump.h"

ProbeDialog::ProbeDialog() : CMidiDialog(IDD_BULK_RECEIVE, nullptr)
{
}

int ProbeDialog::Completed()
{
    ++completions;
    return 1;
}

bool ProbeDialog::RequestProgram(int program)
{
    m_completionAction = static_cast<int (CMidiDialog::*)()>(&ProbeDialog::Completed);
    if (!OpenPorts(SysEx::ProgramDumpRequestLength))
        return false;
    MidiPortState& state = PortState();
    BuildProgramDumpRequest(state.outputBuffer, state.deviceNumber, program);
    EnableControls(FALSE);
    return SendOutputBuffer() && StartReplyTimer();
}

void TransportTest::RunProbe(const std::function<void(ProbeDialog&)>& body)
{
    ProbeDialog probe;
    SetCurrentMidiWindow(&probe);
    ModalHook hook([&](CDialog&) {
        body(probe);
        probe.EndDialog(IDCANCEL);
    });
    probe.DoModal();
    SetCurrentMidiWindow(nullptr);
}

bool TransportTest::WaitForOutcome(ProbeDialog& probe, unsigned timeoutMs)
{
    return PumpUntil([&] { return probe.completions > 0 || !m_ui->boxes.empty(); }, timeoutMs);
}

MidiTest::Bytes TransportTest::Received(const ProbeDialog& probe)
{
    return Bytes(probe.m_dumpBuffer.m_bytes, probe.m_dumpBuffer.m_bytes + probe.m_dumpBuffer.m_length);
}
