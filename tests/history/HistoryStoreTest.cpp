// The history's store: what it lists after what it found in its folder and what was added.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "TempFolder.h"
#include "framework/MessageBox.h"
#include "framework/Strings.h"
#include "history/DumpHistory.h"
#include "resources/resource.h"
#include "support/UiRecorder.h"

namespace
{
namespace fs = std::filesystem;
const std::string Old1 = "20260101-090000-000_program-001_received.syx";
const std::string Old2 = "20260102-090000-000_bulk_before-slot-007.syx";
struct Added
{
    HistoryKind kind;
    int number, slot;
    std::size_t size;
    bool byAnotherInstance = false;  // the program running twice on one folder
};

// Each entry newest first as the part of its name after the time, and its size.
std::vector<std::string> Listed(CDumpHistory& history)
{
    std::vector<std::string> listed;
    for (const HistoryEntry& entry : history.Entries())
        listed.push_back(entry.fileName.substr(20) + ":" + std::to_string(entry.size));
    return listed;
}
}

TEST(HistoryStoreTest, FolderIndexAndLimit)
{
    const std::string rebuilt = LoadResString(IDS_HISTORY_INDEX_REBUILT);
    const struct Row
    {
        const char* what;
        std::vector<std::pair<std::string, std::size_t>> files;  // in the folder before
        const char* index;                                       // null: none
        std::vector<Added> adds;
        std::vector<std::string> listed;
        std::string notice;
        int limitMegabytes = CDumpHistory::DefaultLimitMegabytes;
        bool folderIsAFile = false;  // a folder that cannot be written
        bool writeUnderWay = false;  // another instance's, begun once this one has read the folder
    } rows[] = {
        {"newest first, each named by what, which and where from", {}, nullptr,
         {{HistoryKind::Program, 5, ReceivedFromDevice, 100}, {HistoryKind::Algorithm, 3, 3, 50},
          {HistoryKind::Bulk, 0, ReceivedFromDevice, 300}, {HistoryKind::Bulk, 0, BeforeBulkRestore, 30}},
         {"bulk_before-restore.syx:30", "bulk_received.syx:300", "algorithm-003_before-slot-003.syx:50",
          "program-005_received.syx:100"}, ""},
        {"a damaged index is rebuilt from the files and said", {{Old1, 10}}, "damaged\n", {},
         {"program-001_received.syx:10"}, rebuilt},
        {"an index whose size is not its file's is damaged", {{Old1, 10}}, "SysEx Dump history 1\n"
         "20260101-090000-000_program-001_received.syx\t11\n", {}, {"program-001_received.syx:10"}, rebuilt},
        {"a file the index lacks (a write killed before the index) is taken in", {{Old1, 10}},
         "SysEx Dump history 1\n", {}, {"program-001_received.syx:10"}, ""},
        {"a missing index is written anew without a word", {{Old1, 10}, {Old2, 20}}, nullptr, {},
         {"bulk_before-slot-007.syx:20", "program-001_received.syx:10"}, ""},
        {"an entry whose file has gone is said and dropped", {{Old2, 20}},
         "SysEx Dump history 1\n20260101-090000-000_program-001_received.syx\t10\n"
         "20260102-090000-000_bulk_before-slot-007.syx\t20\n",
         {}, {"bulk_before-slot-007.syx:20"}, LoadResString(IDS_HISTORY_FILES_MISSING, {"1", Old1})},
        {"over the limit the oldest go, and that is said", {{Old1, 600000}, {Old2, 300000}}, nullptr,
         {{HistoryKind::Program, 1, ReceivedFromDevice, 300000}},
         {"program-001_received.syx:300000", "bulk_before-slot-007.syx:300000"},
         LoadResString(IDS_HISTORY_OLD_REMOVED, {"1", "1"}), 1},
        {"a newest entry over the limit alone is kept", {}, nullptr, {{HistoryKind::Bulk, 0, ReceivedFromDevice, 1100000}},
         {"bulk_received.syx:1100000"}, "", 1},
        {"a clock set back years still lists the new entry first, at once", {{"20990101-090000-000_program-001_received.syx", 10}},
         nullptr, {{HistoryKind::Algorithm, 2, ReceivedFromDevice, 5}},
         {"algorithm-002_received.syx:5", "program-001_received.syx:10"}, ""},
        {"a killed write's temporary file is removed, never listed", {{Old1, 10}, {Old2 + ".tmp", 5}, {"notes.txt", 3}},
         nullptr, {}, {"program-001_received.syx:10"}, ""},
        {"another instance's entries are listed and count towards the limit", {}, nullptr,
         {{HistoryKind::Program, 1, 1, 400000}, {HistoryKind::Program, 2, 2, 400000, true}, {HistoryKind::Program, 3, 3, 400000}},
         {"program-003_before-slot-003.syx:400000", "program-002_before-slot-002.syx:400000"}, LoadResString(IDS_HISTORY_OLD_REMOVED, {"1", "1"}), 1},
        {"a folder that cannot be written is said once", {}, nullptr,
         {{HistoryKind::Program, 1, ReceivedFromDevice, 10}, {HistoryKind::Bulk, 0, ReceivedFromDevice, 10}}, {},
         "", CDumpHistory::DefaultLimitMegabytes, true},
        {"another instance's write under way is left alone", {{Old1, 10}}, nullptr, {{HistoryKind::Bulk, 0, ReceivedFromDevice, 5}},
         {"bulk_received.syx:5", "program-001_received.syx:10"}, "", CDumpHistory::DefaultLimitMegabytes, false, true},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        TempFolder folder;
        for (const auto& [name, size] : row.files)
            TempFolder::WriteBytes(folder.File(name), std::vector<std::uint8_t>(size, 0xF0));
        if (row.index != nullptr)
            TempFolder::WriteBytes(folder.File("index.txt"), std::vector<std::uint8_t>(row.index, row.index + std::strlen(row.index)));
        if (row.folderIsAFile)
            TempFolder::WriteBytes(folder.File("file"), {});
        const std::string place = row.folderIsAFile ? folder.File("file") : folder.Path();
        UiRecorder ui;
        CDumpHistory history, another;
        history.SetFolder(place), another.SetFolder(place);
        history.SetLimitMegabytes(row.limitMegabytes);
        if (row.writeUnderWay)
            history.Entries(), TempFolder::WriteBytes(folder.File(Old2 + ".tmp"), {0xF0});
        for (const Added& add : row.adds)
            EXPECT_EQ(!row.folderIsAFile, !!(add.byAnotherInstance ? another : history).Add(add.kind, add.number, add.slot,
                                                         std::vector<unsigned char>(add.size, 0xF7).data(), add.size));
        EXPECT_EQ(row.listed, Listed(history));
        const std::string blocked = LoadResString(IDS_HISTORY_WRITE_FAILED, {DisplayPath(place)});
        EXPECT_EQ(row.folderIsAFile ? blocked : row.notice, history.TakeNotices());
        EXPECT_EQ(row.folderIsAFile ? std::vector<Box>{ErrorText(blocked)} : std::vector<Box>{}, ui.boxes);
        // The disk holds what is listed, and the next start finds the same without a word.
        std::size_t onDisk = 0, temporary = 0;
        for (const auto& file : fs::directory_iterator(fs::u8path(folder.Path())))
            onDisk += file.path().extension() == ".syx", temporary += file.path().extension() == ".tmp";
        EXPECT_EQ(row.listed.size(), onDisk);
        EXPECT_EQ(row.writeUnderWay ? 1u : 0u, temporary);
        CDumpHistory again;
        again.SetFolder(place);
        EXPECT_EQ(row.listed, Listed(again));
        EXPECT_EQ("", again.TakeNotices());
    }
}
