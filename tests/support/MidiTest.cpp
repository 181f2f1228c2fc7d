#include "support/MidiTest.h"

#include <windows.h>

#include <filesystem>

#include "dialogs/BulkReceiveDialog.h"
#include "dialogs/BulkSendDialog.h"
#include "framework/File.h"
#include "history/DumpHistory.h"
#include "midi/MidiDialog.h"
#include "midi/MidiDriver.h"
#include "midi/MidiPortState.h"
#include "midi/MidiSender.h"
#include "support/Pump.h"

namespace fs = std::filesystem;

namespace
{
// Long enough for a device at full speed on a busy machine, short enough to wait for.
constexpr UINT TestReplyTimeoutMs = 1000;
}

void MidiTest::SetUp()
{
    m_folder = std::make_unique<TempFolder>();
    ASSERT_TRUE(AllocateMidiBuffers());
    SetReplyTimeoutMs(TestReplyTimeoutMs);
    SetOverdueGraceMs(TestReplyTimeoutMs / 2);
    SetBackupSilenceMs(TestReplyTimeoutMs / 4);
    Fresh();
}

void MidiTest::TearDown()
{
    ExpectNothingLeftOpen();
    m_ui.reset();
    CFile::SetFaultHook(nullptr);
    FreeMidiBuffers();
    SetReplyTimeoutMs(DefaultReplyTimeoutMs);
    SetOverdueGraceMs(DefaultOverdueGraceMs);
    SetBackupSilenceMs(DefaultBackupSilenceMs);
    StopDriver();
}

void MidiTest::StopDriver() { SetMidiDriver(nullptr), m_driver.reset(), m_device.reset(); }

void MidiTest::Fresh()
{
    StopDriver();
    m_device = std::make_unique<EmulatedDevice>();
    m_driver = std::make_unique<EmulatedMidiDriver>(*m_device);
    SetMidiDriver(m_driver.get());
    MidiPortState& state = PortState();
    state.deviceNumber = 1, state.pauseMs = 0;
    state.inputPort = state.outputPort = std::nullopt;
    CMidiSender::Instance().NewLine();
    // An infinitely fast line, as the driver's full speed; not the Wine case.
    state.wireClock = WireClock{}, state.wireClock.SetByteTime(0);
    SetUnderWine(0);
    BackUpBeforeBulkSend() = false;
    m_ui.reset();  // before its successor installs its hooks
    m_ui = std::make_unique<UiRecorder>();
    CFile::SetFaultHook(nullptr);
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fs::u8path(m_folder->Path())))
        fs::remove_all(entry.path(), ignored);
    History().SetFolder(Path("history"));
    History().SetBackupBeforeOverwrite(false);  // rows about backups turn them on
    ForgetLastOverwritten();
}

void MidiTest::ExpectNothingLeftOpen()
{
    m_driver->WaitUntilIdle();
    PumpUntil([] { return false; }, 20);
    EXPECT_EQ(0, m_driver->OpenInputPortCount()) << "an input port was left open";
    EXPECT_EQ(0, m_driver->OpenOutputPortCount()) << "an output port was left open";
    EXPECT_EQ(0, m_driver->PreparedHeaderCount()) << "a header was left prepared";
}

std::string MidiTest::Path(const std::string& name) const { return m_folder->File(name); }

std::map<std::string, MidiTest::Bytes> MidiTest::Files() const
{
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::directory_iterator(fs::u8path(m_folder->Path())))
        if (entry.is_regular_file())
            files[entry.path().filename().u8string()] = TempFolder::ReadBytes(entry.path().u8string());
    return files;
}

void MidiTest::AtWireRate(EmulatedMidiDriver::Line line)
{
    m_driver->SetPace(EmulatedMidiDriver::Pace::WireRate), m_driver->SetLine(line);
    SetWireByteTime(WireClock::CableByteTime);
}

const std::vector<MidiTest::LinePath>& MidiTest::LinePaths()
{
    static const std::vector<LinePath> paths{{"Windows on the cable", EmulatedMidiDriver::Line::Cable, 0},
        {"Wine on alsa", EmulatedMidiDriver::Line::Alsa, 1}, {"Windows on the MIDI service", EmulatedMidiDriver::Line::Midisrv, 0},
        {"Wine on the MIDI service", EmulatedMidiDriver::Line::Midisrv, 1}};
    return paths;
}

void MidiTest::AtWireRate(const LinePath& path)
{ AtWireRate(path.line), m_driver->SetKernelBufferSize(8192), SetUnderWine(path.underWine); }

std::vector<MidiTest::Bytes> MidiTest::Received()
{ std::vector<Bytes> got; WithDevice([&](EmulatedDevice& device) { got = device.ReceivedMessages(); }); return got; }

void MidiTest::WithDevice(const std::function<void(EmulatedDevice&)>& action) { m_driver->WithDevice(action); }

void MidiTest::SetReplyMode(EmulatedDevice::ReplyMode mode)
{ WithDevice([mode](EmulatedDevice& device) { device.SetReplyMode(mode); }); }

std::vector<MidiTest::Bytes> MidiTest::Sent() const
{
    std::vector<Bytes> messages;
    for (const auto& message : m_driver->LongMessages())
        messages.push_back(message.bytes);
    return messages;
}
