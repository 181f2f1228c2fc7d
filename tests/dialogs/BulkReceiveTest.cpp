// The bulk receive on the emulated device: what is stored on OK, what Cancel, an error reply
// and the device's silence leave behind, and how lost buffers affect the reception.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "MainWindowHarness.h"
#include "dialogs/BulkReceiveDialog.h"
#include "midi/MidiApp.h"
#include "midi/MidiPortState.h"
#include "protocol/GlobalMemory.h"
#include "resources/resource.h"
#include "support/ModalHook.h"
#include "support/Pump.h"

namespace
{
using Bytes = std::vector<unsigned char>;

class BulkReceiveTest : public MainWindowHarness
{
protected:
    // Runs a bulk receive into `file` as the current MIDI window; `during` acts inside the
    // modal run and is expected to end it. Returns DoModal's result.
    INT_PTR Receive(const std::string& file, const std::function<void(CBulkReceiveDialog&)>& during)
    {
        CBulkReceiveDialog dialog;
        dialog.m_fileName = file;
        return RunMidiDialog(dialog, during);
    }

    static bool CountReaches(CBulkReceiveDialog& dialog, std::size_t count, unsigned timeoutMs = 10000)
    {
        const std::string expected = std::to_string(count);
        return PumpUntil([&] { return TextOf(dialog, IDC_RECEIVED_COUNT) == expected; }, timeoutMs);
    }

    std::string StoredNote(const std::string& name) const { return Formatted(IDS_DUMP_STORED, {name}); }
};

TEST_F(BulkReceiveTest, OkStoresEveryDeliveredByteInOrderOfArrival)
{
    // Blocks of odd sizes end anywhere inside the messages, and every F7 ends one as well.
    m_driver->SetBlockSizeGenerator([next = 0]() mutable {
        static const std::size_t sizes[] = {1, 7, 333, 4096, 29, 1021, 2};
        return sizes[next++ % 7];
    });
    const Bytes dump = DeviceBulkDump();
    const std::string file = TempPath("Bulk.syx");

    const INT_PTR result = Receive(file, [&](CBulkReceiveDialog& dialog) {
        ASSERT_TRUE(CountReaches(dialog, dump.size()));
        // The last message has arrived, but only the user ends the reception.
        EXPECT_FALSE(dialog.IsEnding());
        EXPECT_EQ(1, m_driver->OpenInputPortCount());
        Press(dialog, IDOK);
    });

    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(dump, ReadFileBytes(file));
    EXPECT_TRUE(m_ui->ShowedOnly(StoredNote("Bulk.syx"), MB_NOTE_BOX, 0));
    ASSERT_EQ(1u, SentMessages().size());
    EXPECT_EQ((Bytes{0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x49, 0xF7}), SentMessages()[0]);
}

TEST_F(BulkReceiveTest, ReceptionThatHasStartedNeverTimesOut)
{
    SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    const Bytes message = ProgramMessage(7);
    const std::string file = TempPath("Late.syx");

    Receive(file, [&](CBulkReceiveDialog& dialog) {
        m_driver->InjectInput(message);
        ASSERT_TRUE(CountReaches(dialog, message.size()));
        const bool ended = PumpUntil([&] { return dialog.IsEnding() || !m_ui->boxes.empty(); },
                                     ReplyTimeoutMs() + 1000);
        EXPECT_FALSE(ended) << "the reception ended by itself";
        Press(dialog, IDOK);
    });

    EXPECT_EQ(message, ReadFileBytes(file));
    EXPECT_TRUE(m_ui->ShowedOnly(StoredNote("Late.syx"), MB_NOTE_BOX, 0));
}

TEST_F(BulkReceiveTest, OkBeforeAnyBlockStoresNothing)
{
    SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    const std::string file = TempPath("Nothing.syx");

    const INT_PTR result = Receive(file, [&](CBulkReceiveDialog& dialog) { Press(dialog, IDOK); });

    EXPECT_EQ(IDOK, result);
    EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_NOTHING_RECEIVED, MB_ERROR_BOX));
    EXPECT_FALSE(FileExists(file));
}

TEST_F(BulkReceiveTest, CancelDiscardsWhatArrived)
{
    const std::size_t size = DeviceBulkDump().size();
    const std::string file = TempPath("Cancelled.syx");

    const INT_PTR result = Receive(file, [&](CBulkReceiveDialog& dialog) {
        ASSERT_TRUE(CountReaches(dialog, size));
        Press(dialog, IDCANCEL);
    });

    EXPECT_EQ(IDCANCEL, result);
    EXPECT_FALSE(FileExists(file));
    EXPECT_TRUE(m_ui->ShowedNothing());
}

TEST_F(BulkReceiveTest, ErrorReplyShowsItsTextAndStoresNothing)
{
    m_driver->WithDevice([](EmulatedDevice& device) {
        device.SetReplyMode(EmulatedDevice::ReplyMode::ErrorReply);
        device.SetErrorCodes(2, 1);
    });
    // Two bytes a block: the refusal is recognised in the fourth block, its codes come later.
    m_driver->SetBlockLimit(2);
    const std::string file = TempPath("Refused.syx");

    const INT_PTR result = Receive(file, [&](CBulkReceiveDialog& dialog) {
        EXPECT_TRUE(PumpUntil([&] { return dialog.IsEnding(); }));
        EXPECT_EQ(0, m_driver->OpenInputPortCount()) << "the input stays open after the refusal";
    });

    EXPECT_EQ(IDCANCEL, result);
    EXPECT_TRUE(m_ui->ShowedOnly(UiRecorder::Text(IDS_DEVICE_ERROR_BASE + 21), MB_ERROR_BOX, 0));
    EXPECT_FALSE(FileExists(file));
}

// The device stays silent after the user confirmed replacing the file: the time-out ends the
// reception, and the file keeps its old content.
TEST_F(BulkReceiveTest, TimeOutLeavesTheExistingFileAsItWas)
{
    SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    const std::string file = TempPath("Existing.syx");
    const Bytes old = {0xF0, 0x01, 0x02, 0xF7};
    WriteFileBytes(file, old);
    bool ended = false;
    AnswerDialog(IDD_BULK_RECEIVE, [&](CDialog& dialog) {
        ended = PumpUntil([&] { return dialog.IsEnding(); }, ReplyTimeoutMs() + 3000);
    });

    RunMainWindow([&](CMainDialog& main) {
        Type(main, IDC_RECEIVE_BULK_FILE, file);
        main.OnReceiveBulk();
    });

    EXPECT_TRUE(ended);
    ASSERT_EQ(2u, m_ui->boxes.size());
    EXPECT_EQ(UINT(IDS_CONFIRM_OVERWRITE), m_ui->boxes[0].helpContext);
    EXPECT_EQ(UINT(IDS_NO_REPLY), m_ui->boxes[1].helpContext);
    EXPECT_EQ(UINT(MB_ERROR_BOX), m_ui->boxes[1].type);
    EXPECT_EQ(old, ReadFileBytes(file));
}

TEST_F(BulkReceiveTest, TwoReceptionsInARowDoNotMix)
{
    const std::string first = TempPath("First.syx");
    const std::string second = TempPath("Second.syx");
    const Bytes firstDump = DeviceBulkDump();
    Receive(first, [&](CBulkReceiveDialog& dialog) {
        ASSERT_TRUE(CountReaches(dialog, firstDump.size()));
        Press(dialog, IDOK);
    });

    m_driver->WithDevice([](EmulatedDevice& device) { device.SetProgramData(1, {0x01, 0x02, 0x03}); });
    const Bytes secondDump = DeviceBulkDump();
    ASSERT_NE(firstDump.size(), secondDump.size());
    Receive(second, [&](CBulkReceiveDialog& dialog) {
        ASSERT_TRUE(CountReaches(dialog, secondDump.size()));
        Press(dialog, IDOK);
    });

    EXPECT_EQ(firstDump, ReadFileBytes(first));
    EXPECT_EQ(secondDump, ReadFileBytes(second));
}

TEST_F(BulkReceiveTest, MalformedMessagesKeepTheirBuffersInTheRotation)
{
    SetReplyMode(EmulatedDevice::ReplyMode::Silent);
    const Bytes message = {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x42, 0x05, 0xF7};
    const std::string file = TempPath("AfterErrors.syx");

    Receive(file, [&](CBulkReceiveDialog& dialog) {
        // More malformed messages than there are buffers: each buffer must come back.
        for (int i = 0; i < MidiInputBufferCount + 1; ++i)
        {
            const int added = m_driver->CallCount(MidiCall::InAddBuffer);
            m_driver->InjectLongError();
            ASSERT_TRUE(PumpUntil([&] { return m_driver->CallCount(MidiCall::InAddBuffer) == added + 1; }));
        }
        m_driver->InjectInput(message);
        ASSERT_TRUE(CountReaches(dialog, message.size()));
        Press(dialog, IDOK);
    });

    EXPECT_EQ(message, ReadFileBytes(file));
    EXPECT_TRUE(m_ui->ShowedOnly(StoredNote("AfterErrors.syx"), MB_NOTE_BOX, 0));
}

// A buffer that cannot be given back is reported and leaves the rotation; the two others
// carry the rest of the dump.
TEST_F(BulkReceiveTest, LosesOneBufferAndReceivesTheRest)
{
    // Skips: the opening prepares and queues three buffers.
    const struct
    {
        MidiCall call;
        int skip;
        UINT stringId;
    } failures[] = {
        {MidiCall::InUnprepareHeader, 0, IDS_INPUT_UNPREPARE_FAILED},
        {MidiCall::InPrepareHeader, 3, IDS_INPUT_UNPREPARE_FAILED},
        {MidiCall::InAddBuffer, 3, IDS_INPUT_ADD_FAILED},
    };
    m_driver->SetBlockLimit(1000);
    const Bytes dump = DeviceBulkDump();
    const std::string file = TempPath("Bulk.syx");
    for (const auto& failure : failures)
    {
        SCOPED_TRACE(failure.stringId);
        m_ui->boxes.clear();
        m_driver->FailCall(failure.call, MMSYSERR_NOMEM, failure.skip);
        Receive(file, [&](CBulkReceiveDialog& dialog) {
            ASSERT_TRUE(CountReaches(dialog, dump.size()));
            Press(dialog, IDOK);
        });
        m_driver->ClearFailures();
        EXPECT_EQ(dump, ReadFileBytes(file));
        ASSERT_EQ(2u, m_ui->boxes.size());
        EXPECT_EQ(UiRecorder::Text(failure.stringId), m_ui->boxes[0].text);
        EXPECT_EQ(failure.stringId, m_ui->boxes[0].helpContext);
        EXPECT_EQ(StoredNote("Bulk.syx"), m_ui->boxes[1].text);
    }
}

HGLOBAL WINAPI NoMemory(UINT, SIZE_T)
{
    return nullptr;
}

TEST_F(BulkReceiveTest, PortOrMemoryFailureEndsTheDialogWithoutARequest)
{
    m_driver->FailCall(MidiCall::OutPrepareHeader, MMSYSERR_NOMEM);
    const std::string file = TempPath("Bulk.syx");
    EXPECT_EQ(IDCANCEL, Receive(file, nullptr));
    EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_OUTPUT_PREPARE_FAILED, MB_ERROR_BOX));

    // Without a dump buffer the dialog does not even start, and opens no port.
    m_ui->boxes.clear();
    const int outOpened = m_driver->CallCount(MidiCall::OutOpen);
    const int inOpened = m_driver->CallCount(MidiCall::InOpen);
    const GlobalMemoryApi saved = GlobalMemoryApi::Current();
    GlobalMemoryApi::Current().alloc = NoMemory;
    const INT_PTR result = Receive(file, nullptr);
    GlobalMemoryApi::Current() = saved;
    EXPECT_EQ(-1, result);
    EXPECT_TRUE(m_ui->ShowedOnlyString(IDS_OUT_OF_MEMORY, MB_ERROR_BOX));
    EXPECT_EQ(outOpened, m_driver->CallCount(MidiCall::OutOpen));
    EXPECT_EQ(inOpened, m_driver->CallCount(MidiCall::InOpen));
    EXPECT_TRUE(SentMessages().empty());
    EXPECT_FALSE(FileExists(file));
}
}
