// The bulk send on the emulated device: how a file is cut into pieces, what the counters show,
// when Cancel takes effect, and what stops a transfer before or during it.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "MainWindowHarness.h"
#include "dialogs/BulkSendDialog.h"
#include "midi/MidiApp.h"
#include "midi/MidiPortState.h"
#include "protocol/GlobalMemory.h"
#include "resources/resource.h"
#include "support/ModalHook.h"
#include "support/Pump.h"

namespace
{
using Bytes = std::vector<unsigned char>;

// Records what the dialog shows at each completion and how far the transfer had got when
// Cancel was pressed.
class RecordingSendDialog : public CBulkSendDialog
{
public:
    explicit RecordingSendDialog(const EmulatedMidiDriver& driver) : m_driver(driver) {}

    void OnMidiOut(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2) override
    {
        CBulkSendDialog::OnMidiOut(handle, message, instance, param1, param2);
        if (message == MOM_DONE)
            sentCounts.push_back(GetDlgItemText(IDC_SENT_COUNT));
    }

    std::vector<std::string> sentCounts;
    std::size_t piecesAtCancel = 0;

protected:
    void OnCancel() override
    {
        piecesAtCancel = m_driver.LongMessages().size();
        CBulkSendDialog::OnCancel();
    }

private:
    const EmulatedMidiDriver& m_driver;
};

// A program dump to device 1 of exactly `length` bytes (at least 2), F0 and F7 included.
Bytes Message(std::size_t length, unsigned char program = 0)
{
    static const unsigned char header[] = {0xF0, 0x00, 0x00, 0x10, 0x00, 0x41, 0x42, 0x00};
    Bytes message(length);
    for (std::size_t i = 0; i + 1 < length; ++i)
    {
        if (i < sizeof header)
            message[i] = header[i];
        else
            message[i] = i == sizeof header ? program : static_cast<unsigned char>(i & 0x7F);
    }
    message[length - 1] = 0xF7;
    return message;
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes joined;
    for (const Bytes& part : parts)
        joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

class BulkSendTest : public MainWindowHarness
{
protected:
    // Runs a bulk send of `file` as the current MIDI window; `during` acts inside the modal
    // run and is expected to end it. Returns DoModal's result.
    INT_PTR Send(RecordingSendDialog& dialog, const std::string& file,
                 const std::function<void(RecordingSendDialog&)>& during)
    {
        dialog.m_fileName = file;
        return RunMidiDialog(dialog, during);
    }

    INT_PTR Send(RecordingSendDialog& dialog, const std::string& file)
    {
        return Send(dialog, file, [](RecordingSendDialog& running) {
            Press(running, IDOK);
            EXPECT_TRUE(PumpUntil([&] { return running.IsEnding(); }, 20000));
        });
    }

    std::string WriteTempFile(const std::string& name, const Bytes& bytes)
    {
        const std::string path = TempPath(name);
        WriteFileBytes(path, bytes);
        return path;
    }

    // The sizes of the pieces sent, and all their bytes, from piece `from` on.
    std::vector<std::size_t> PieceSizes(std::size_t from = 0) const
    {
        std::vector<std::size_t> sizes;
        const std::vector<Bytes> pieces = SentMessages();
        for (std::size_t i = from; i < pieces.size(); ++i)
            sizes.push_back(pieces[i].size());
        return sizes;
    }

    Bytes SentBytes(std::size_t from = 0) const
    {
        Bytes sent;
        const std::vector<Bytes> pieces = SentMessages();
        for (std::size_t i = from; i < pieces.size(); ++i)
            sent.insert(sent.end(), pieces[i].begin(), pieces[i].end());
        return sent;
    }

    std::vector<Bytes> DeviceReceived()
    {
        std::vector<Bytes> received;
        m_driver->WithDevice([&](EmulatedDevice& device) {
            for (const auto& message : device.ReceivedMessages())
                received.emplace_back(message.begin(), message.end());
        });
        return received;
    }
};

TEST_F(BulkSendTest, SendsMessageByMessageInPiecesOfAtMost4096Bytes)
{
    const Bytes first = Message(10, 1);
    const Bytes second = Message(5000, 2);
    const Bytes third = Message(20, 3);
    const Bytes content = Join({first, second, third});
    const std::string file = WriteTempFile("Bulk.syx", content);
    RecordingSendDialog dialog(*m_driver);

    const INT_PTR result = Send(dialog, file, [&](RecordingSendDialog& running) {
        EXPECT_EQ("5030", TextOf(running, IDC_FILE_SIZE));
        EXPECT_EQ("0", TextOf(running, IDC_SENT_COUNT));
        EXPECT_TRUE(SentMessages().empty()) << "sent before OK";
        Press(running, IDOK);
        EXPECT_TRUE(PumpUntil([&] { return running.IsEnding(); }));
    });

    EXPECT_EQ(IDOK, result);
    EXPECT_EQ((std::vector<std::size_t>{10, 4096, 904, 20}), PieceSizes());
    EXPECT_EQ(content, SentBytes());
    EXPECT_EQ((std::vector<std::string>{"10", "4106", "5010", "5030"}), dialog.sentCounts);
    EXPECT_EQ((std::vector<Bytes>{first, second, third}), DeviceReceived());
    EXPECT_TRUE(m_ui->ShowedNothing());

    const auto pieces = m_driver->LongMessages();
    for (std::size_t i = 1; i < pieces.size(); ++i)
        EXPECT_GE(pieces[i].handedOver, pieces[i - 1].done) << "piece " << i << " overlapped the one before";
}

TEST_F(BulkSendTest, CutsPiecesAtEveryF7AndEvery4096Bytes)
{
    const struct
    {
        const char* name;
        Bytes content;
        std::vector<std::size_t> pieces;
    } splits[] = {
        {"bytes after the last F7", Join({Message(10), Bytes(5000, 0x11)}), {10, 4096, 904}},
        {"no F7", Bytes(9000, 0x22), {4096, 4096, 808}},
        {"two F7 in a row", Join({Message(6), {0xF7}, Message(8)}), {6, 1, 8}},
        {"messages around the buffer size", Join({Message(4096), Message(4097)}), {4096, 4096, 1}},
        {"one byte", {0xF7}, {1}},
    };
    for (const auto& split : splits)
    {
        SCOPED_TRACE(split.name);
        const std::size_t before = SentMessages().size();
        RecordingSendDialog dialog(*m_driver);
        EXPECT_EQ(IDOK, Send(dialog, WriteTempFile("Split.syx", split.content)));
        EXPECT_EQ(split.pieces, PieceSizes(before));
        EXPECT_EQ(split.content, SentBytes(before));
        ASSERT_FALSE(dialog.sentCounts.empty());
        EXPECT_EQ(std::to_string(split.content.size()), dialog.sentCounts.back());
    }
    EXPECT_TRUE(m_ui->ShowedNothing());
}

TEST_F(BulkSendTest, CancelBeforeOkSendsNothing)
{
    RecordingSendDialog dialog(*m_driver);

    const INT_PTR result = Send(dialog, WriteTempFile("Bulk.syx", Message(100)),
                                [](RecordingSendDialog& running) { Press(running, IDCANCEL); });

    EXPECT_EQ(IDCANCEL, result);
    EXPECT_TRUE(SentMessages().empty());
    EXPECT_TRUE(m_ui->ShowedNothing());
}

TEST_F(BulkSendTest, CancelDuringTheTransferStopsAfterThePieceInFlight)
{
    // At the wire rate a 2000-byte piece takes 640 ms: Cancel arrives while it is in flight.
    m_driver->SetPace(EmulatedMidiDriver::Pace::WireRate);
    const std::string file = WriteTempFile("Bulk.syx", Join({Message(2000, 1), Message(2000, 2), Message(2000, 3)}));
    RecordingSendDialog dialog(*m_driver);

    const INT_PTR result = Send(dialog, file, [&](RecordingSendDialog& running) {
        Press(running, IDOK);
        ASSERT_TRUE(PumpUntil([&] { return !SentMessages().empty(); }));
        Press(running, IDCANCEL);
        EXPECT_FALSE(running.IsEnding()) << "Cancel did not wait for the piece in flight";
        EXPECT_TRUE(PumpUntil([&] { return running.IsEnding(); }, 10000));
    });

    EXPECT_EQ(IDCANCEL, result);
    ASSERT_GE(dialog.piecesAtCancel, 1u);
    ASSERT_LT(dialog.piecesAtCancel, 3u);
    EXPECT_EQ(dialog.piecesAtCancel, SentMessages().size()) << "a piece went out after Cancel";
    EXPECT_EQ(std::to_string(2000 * dialog.piecesAtCancel), dialog.sentCounts.back());
    EXPECT_EQ(dialog.piecesAtCancel, DeviceReceived().size());
    EXPECT_TRUE(m_ui->ShowedNothing());
}

HGLOBAL WINAPI OnlySmallBlocks(UINT flags, SIZE_T bytes)
{
    return bytes <= MidiBufferSize ? GlobalAlloc(flags, bytes) : nullptr;
}

HGLOBAL WINAPI NoMemory(UINT, SIZE_T)
{
    return nullptr;
}

// Each of these ends the dialog with its message before any port is opened.
TEST_F(BulkSendTest, FileOrMemoryProblemsOpenNoPort)
{
    const std::string missing = "no such folder\\Bulk.syx";
    // Sparse: only its length is large, beyond what the byte counters hold.
    const std::string huge = TempPath("Huge.syx");
    HANDLE handle = CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    LARGE_INTEGER length;
    length.QuadPart = 0x100000000LL;
    const bool sized = SetFilePointerEx(handle, length, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
    CloseHandle(handle);
    ASSERT_TRUE(sized);
    const std::string twoMessages = WriteTempFile("Bulk.syx", Join({Message(3000), Message(3000)}));
    const struct
    {
        std::string file;
        decltype(GlobalMemoryApi::alloc) alloc;
        INT_PTR result;
        std::string text;
        UINT help;
    } cases[] = {
        {missing, nullptr, IDCANCEL, UiRecorder::Text(IDS_FILE_OPEN_FAILED) + missing + "!", 0},
        {WriteTempFile("Empty.syx", {}), nullptr, IDCANCEL, UiRecorder::Text(IDS_FILE_EMPTY) + "Empty.syx!", 0},
        {huge, nullptr, IDCANCEL, UiRecorder::Text(IDS_OUT_OF_MEMORY), IDS_OUT_OF_MEMORY},
        {twoMessages, OnlySmallBlocks, IDCANCEL, UiRecorder::Text(IDS_OUT_OF_MEMORY), IDS_OUT_OF_MEMORY},
        // The dump buffer itself cannot be made: the dialog does not even start.
        {twoMessages, NoMemory, -1, UiRecorder::Text(IDS_OUT_OF_MEMORY), IDS_OUT_OF_MEMORY},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.text);
        m_ui->boxes.clear();
        RecordingSendDialog dialog(*m_driver);
        const GlobalMemoryApi saved = GlobalMemoryApi::Current();
        if (c.alloc)
            GlobalMemoryApi::Current().alloc = c.alloc;
        const INT_PTR result = Send(dialog, c.file, nullptr);
        GlobalMemoryApi::Current() = saved;
        EXPECT_EQ(c.result, result);
        EXPECT_TRUE(m_ui->ShowedOnly(c.text, MB_ERROR_BOX, c.help));
    }
    DeleteFileA(huge.c_str());
    EXPECT_EQ(0, m_driver->CallCount(MidiCall::OutOpen));
}

TEST_F(BulkSendTest, DriverFailureEndsTheTransferWithItsMessage)
{
    const std::string refused = Formatted(IDS_SEND_REFUSED, {std::to_string(MMSYSERR_NOMEM)});
    const struct
    {
        MidiCall call;
        int skip;
        UINT stringId;
        std::string text;
        std::size_t piecesSent;
    } failures[] = {
        {MidiCall::OutOpen, 0, IDS_OUTPUT_OPEN_FAILED, UiRecorder::Text(IDS_OUTPUT_OPEN_FAILED), 0},
        {MidiCall::OutPrepareHeader, 0, IDS_OUTPUT_PREPARE_FAILED, UiRecorder::Text(IDS_OUTPUT_PREPARE_FAILED), 0},
        {MidiCall::OutPrepareHeader, 1, IDS_OUTPUT_PREPARE_FAILED, UiRecorder::Text(IDS_OUTPUT_PREPARE_FAILED), 1},
        {MidiCall::OutUnprepareHeader, 0, IDS_OUTPUT_UNPREPARE_FAILED, UiRecorder::Text(IDS_OUTPUT_UNPREPARE_FAILED), 1},
        // A refused piece never completes: the dialog must end by itself, port closed.
        {MidiCall::OutLongMsg, 0, IDS_SEND_REFUSED, refused, 0},
        {MidiCall::OutLongMsg, 1, IDS_SEND_REFUSED, refused, 1},
    };
    const std::string file = WriteTempFile("Bulk.syx", Join({Message(10), Message(20)}));
    for (const auto& failure : failures)
    {
        SCOPED_TRACE(std::to_string(failure.stringId) + ", skip " + std::to_string(failure.skip));
        m_ui->boxes.clear();
        const std::size_t before = SentMessages().size();
        m_driver->FailCall(failure.call, MMSYSERR_NOMEM, failure.skip);
        RecordingSendDialog dialog(*m_driver);
        EXPECT_EQ(IDCANCEL, Send(dialog, file));
        EXPECT_TRUE(m_ui->ShowedOnly(failure.text, MB_ERROR_BOX, failure.stringId));
        EXPECT_EQ(failure.piecesSent, SentMessages().size() - before);
        EXPECT_EQ(0, m_driver->PreparedHeaderCount());
        m_driver->ClearFailures();
    }
}

}
