// CMidiDialog's sends that overwrite a program slot or an algorithm: what the device held
// there is asked for and kept in the history first, so that the send can be undone.
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "midi/MidiDialog.h"
#include "midi/MidiPortState.h"
#include "protocol/DumpFileCheck.h"
#include "protocol/SysExMessages.h"
#include "resources/resource.h"

namespace
{
std::optional<OverwrittenDump> g_lastOverwritten;
}

const std::optional<OverwrittenDump>& LastOverwritten()
{
    return g_lastOverwritten;
}

void ForgetLastOverwritten()
{
    g_lastOverwritten.reset();
}

std::string StoredName(HistoryKind kind, int number)
{
    return LoadResString(kind == HistoryKind::Program ? IDS_SLOT_NAME : IDS_ALGORITHM_NAME, {std::to_string(number)});
}

BOOL CMidiDialog::SendOverwriting(HistoryKind kind, int number, const std::vector<unsigned char>& dump,
                                  std::function<void()> afterSend)
{
    std::vector<unsigned char> message = dump;
    if (kind == HistoryKind::Program)
        StampProgramDump(message.data(), DeviceNumber(), number);
    else
        StampAlgorithmDump(message.data(), DeviceNumber());
    m_overwrite = PendingOverwrite{kind, number, std::move(message), std::move(afterSend), {}};
    if (!History().BackupBeforeOverwrite())
        return SendPendingOverwrite(false);
    m_targetFile = nullptr;
    if (RequestStored(kind == HistoryKind::Program, number, &CMidiDialog::KeepBackup))
        return TRUE;
    m_overwrite.reset();
    return FALSE;
}

int CMidiDialog::KeepBackup()
{
    m_completionAction = nullptr;
    const std::size_t stampLength =
        m_overwrite->kind == HistoryKind::Program ? SysEx::ProgramDumpStampLength : SysEx::AlgorithmDumpStampLength;
    const DumpFileCheck check = CheckDumpFile(m_dumpBuffer.m_bytes, m_dumpBuffer.m_length, stampLength);
    if (check.problem != DumpFileProblem::None || check.otherMaker)
        return BackupFailed(LoadResString(IDS_BACKUP_NOT_A_DUMP));
    m_overwrite->backup.assign(m_dumpBuffer.m_bytes, m_dumpBuffer.m_bytes + m_dumpBuffer.m_length);
    // A history that cannot be written says so itself; the send goes on, as a receive does.
    History().Add(m_overwrite->kind, m_overwrite->number, m_overwrite->number, m_dumpBuffer.m_bytes,
                  m_dumpBuffer.m_length);
    return SendPendingOverwrite(true);
}

BOOL CMidiDialog::BackupFailed(const std::string& why)
{
    // Only while the backup's own request waits: a send that never got that far leaves
    // nothing for a later request to ask about.
    if (!m_overwrite || m_completionAction != &CMidiDialog::KeepBackup)
        return FALSE;
    m_completionAction = nullptr;
    const std::string name = StoredName(m_overwrite->kind, m_overwrite->number);
    if (AfxMessageBox(IDS_BACKUP_FAILED, {name, why}, MB_QUESTION_BOX) == IDYES)
        SendPendingOverwrite(true);
    else
        m_overwrite.reset();
    return TRUE;
}

BOOL CMidiDialog::SendPendingOverwrite(bool afterRequest)
{
    // A quick device answers before the driver has handed this window's request back: the
    // dump goes once it has (OnSendEnded).
    m_overwriteWaits = afterRequest && CMidiSender::Instance().Busy() && CMidiSender::Instance().Carries(this);
    if (m_overwriteWaits)
        return TRUE;
    PendingOverwrite overwrite = std::move(*m_overwrite);
    m_overwrite.reset();
    if (!OpenOutputPortFor(overwrite.message))
        return FALSE;
    m_afterSend = [overwrite] {
        // Undo restores what this send overwrote, or nothing: an older backup would not undo it.
        g_lastOverwritten.reset();
        if (!overwrite.backup.empty())
            g_lastOverwritten = OverwrittenDump{overwrite.kind, overwrite.number, overwrite.backup};
        if (overwrite.afterSend)
            overwrite.afterSend();
    };
    return SendOutputBuffer();
}
