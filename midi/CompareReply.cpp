// CMidiDialog's comparison of a dump with what the device holds.
#include <cstdio>

#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "midi/MidiDialog.h"
#include "midi/MidiPortState.h"
#include "protocol/BankIndex.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"

namespace
{
std::string Hex(std::size_t byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(byte));
    return text;
}
}

std::string ShownDumpText(const unsigned char* dump, std::size_t length)
{
    const std::string text = DumpText(dump, length);
    return text.size() > ShownTextLength ? text.substr(0, ShownTextLength) + "..." : text;
}

std::string WithDumpText(const std::string& what, const unsigned char* dump, std::size_t length)
{
    const std::string text = ShownDumpText(dump, length);
    return text.empty() ? what : LoadResString(IDS_DUMP_WITH_TEXT, {what, text});
}

BOOL CMidiDialog::RequestDump(unsigned requestLength, void (*build)(unsigned char*, int, int), int number,
                              int (CMidiDialog::*action)())
{
    m_completionAction = action;
    if (!OpenPorts(requestLength))
        return FALSE;
    EnableControls(FALSE);
    if (SendRequest(requestLength, [&](unsigned char* request, int device) { build(request, device, number); }) &&
        StartReplyTimer())
        return TRUE;
    CloseTransaction();
    EnableControls(TRUE);
    return FALSE;
}

BOOL CMidiDialog::RequestStored(bool program, int number, int (CMidiDialog::*action)())
{
    return program ? RequestDump(SysEx::ProgramDumpRequestLength, BuildProgramDumpRequest, number, action)
                   : RequestDump(SysEx::AlgorithmDumpRequestLength, BuildAlgorithmDumpRequest, number, action);
}

BOOL CMidiDialog::CompareWithDevice(HistoryKind kind, int number, const std::vector<unsigned char>& expected,
                                    const std::string& name)
{
    const bool program = kind == HistoryKind::Program;
    m_expectedReply = expected;
    m_compareSkip = program ? SysEx::ProgramDumpStampLength : SysEx::AlgorithmDumpStampLength;
    m_comparedName = name;
    m_targetFile = nullptr;
    return RequestStored(program, number, &CMidiDialog::CompareReply);
}

int CMidiDialog::CompareReply()
{
    const DumpDifference difference = CompareDumps(m_expectedReply.data(), m_expectedReply.size(), m_dumpBuffer.m_bytes,
                                                   m_dumpBuffer.m_length, m_compareSkip);
    // Named by what was sent or chosen: the text the device holds may be what differs.
    const std::string compared = WithDumpText(m_comparedName, m_expectedReply.data(), m_expectedReply.size());
    switch (difference.result)
    {
    case DumpComparison::Same: AfxMessageBox(IDS_COMPARE_SAME, {compared}, MB_NOTE_BOX); break;
    case DumpComparison::Differs:
        AfxMessageBox(IDS_COMPARE_DIFFERS,
                      {compared, std::to_string(difference.offset), Hex(difference.expected), Hex(difference.actual)},
                      MB_ERROR_BOX);
        break;
    case DumpComparison::DifferentLength:
        AfxMessageBox(IDS_COMPARE_LENGTH,
                      {compared, std::to_string(difference.expected), std::to_string(difference.actual)},
                      MB_ERROR_BOX);
        break;
    }
    m_completionAction = nullptr;
    return difference.result == DumpComparison::Same;
}

std::function<void()> CMidiDialog::CompareAfterSend(const std::vector<unsigned char>& dump, int slot)
{
    return [this, dump, slot] {
        if (m_closeWhenSent)
            return;  // the window is closing: nothing waits for the answer
        CompareWithDevice(HistoryKind::Program, slot, dump, StoredName(HistoryKind::Program, slot));
    };
}
