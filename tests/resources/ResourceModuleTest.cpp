// Checks reseng.dll against the identifiers the program uses: every text, dialog,
// control and icon it asks for must be there, with the shape the program relies on.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cctype>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

HMODULE g_module = nullptr;

std::string ModulePathBesideExecutable()
{
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string result(path, length);
    result.erase(result.find_last_of("\\/") + 1);
    return result + "reseng.dll";
}

std::string LoadText(UINT id)
{
    char buffer[1024] = {};
    int length = LoadStringA(g_module, id, buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? length : 0);
}

std::string WindowText(HWND window)
{
    char buffer[512] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

std::string ClassOf(HWND window)
{
    char buffer[64] = {};
    GetClassNameA(window, buffer, sizeof buffer);
    return buffer;
}

LONG StyleOf(HWND window)
{
    return GetWindowLongA(window, GWL_STYLE);
}

INT_PTR CALLBACK SilentDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

// A dialog made from the module, destroyed with the scope.
class Dialog {
public:
    explicit Dialog(UINT id)
        : m_window(CreateDialogParamA(g_module, MAKEINTRESOURCEA(id), nullptr, SilentDialogProc, 0))
    {
    }
    ~Dialog()
    {
        if (m_window)
            DestroyWindow(m_window);
    }
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    HWND Window() const { return m_window; }
    HWND Item(int id) const { return GetDlgItem(m_window, id); }

    std::vector<HWND> Children() const
    {
        std::vector<HWND> children;
        for (HWND child = GetWindow(m_window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            children.push_back(child);
        return children;
    }

private:
    HWND m_window;
};

class ResourceModule : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX controls = { sizeof controls,
                                          ICC_UPDOWN_CLASS | ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES };
        InitCommonControlsEx(&controls);
        g_module = LoadLibraryA(ModulePathBesideExecutable().c_str());
    }
    static void TearDownTestSuite()
    {
        if (g_module)
            FreeLibrary(g_module);
        g_module = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(g_module, nullptr) << "cannot load " << ModulePathBesideExecutable();
    }
};

const UINT kDialogs[] = { IDD_ABOUT, IDD_MIDI_SETUP, IDD_MAIN, IDD_BULK_RECEIVE, IDD_BULK_SEND, IDD_SELECTOR };

// Every string the program loads by number; device error texts are optional and not listed.
const UINT kStrings[] = {
    IDS_ABOUTBOX, IDS_CONFIRM_COMMAND21, IDS_RECEIVE_FILE_TITLE, IDS_SEND_FILE_TITLE,
    IDS_CONFIRM_COMMAND22_FIRST, IDS_CONFIRM_COMMAND22_SECOND, IDS_CONFIRM_COMMAND22_THIRD,
    IDS_MEMORY_FORMAT, IDS_DISK_FREE_FORMAT, IDS_DISK_FREE_UNKNOWN, IDS_OS_VERSION_UNKNOWN,
    IDS_OS_VERSION_FORMAT, IDS_DISK_FREE_NO_LETTER_FORMAT,
    IDS_OUTPUT_OPEN_FAILED, IDS_INPUT_OPEN_FAILED, IDS_NO_INPUT_PORTS, IDS_NO_OUTPUT_PORTS,
    IDS_NO_INPUT_LISTED, IDS_NO_OUTPUT_LISTED, IDS_OUTPUT_PREPARE_FAILED, IDS_INPUT_PREPARE_FAILED,
    IDS_INPUT_START_FAILED, IDS_INPUT_ADD_FAILED, IDS_OUTPUT_UNPREPARE_FAILED,
    IDS_INPUT_UNPREPARE_FAILED, IDS_NOTHING_RECEIVED,
    IDS_DEVICE_ERROR_UNKNOWN, IDS_NO_RECEIVE_FILE, IDS_NO_SEND_FILE, IDS_FILE_OPEN_FAILED,
    IDS_FILE_WRITE_FAILED, IDS_OUT_OF_MEMORY, IDS_FILE_READ_FAILED, IDS_CONFIRM_OVERWRITE,
    IDS_NO_REPLY, IDS_DUMP_STORED, IDS_DUMP_FILE_TOO_LARGE, IDS_FILE_EMPTY,
    IDS_TIP_OK, IDS_TIP_CANCEL, IDS_TIP_DEVICE_NUMBER, IDS_TIP_DEVICE_NUMBER_SPIN,
    IDS_TIP_INPUT_PORT, IDS_TIP_OUTPUT_PORT, IDS_UNLISTED_PORT_FORMAT,
    AFX_IDP_PARSE_INT, AFX_IDP_PARSE_INT_RANGE, AFX_IDP_PARSE_STRING_SIZE,
};

// The printf conversions of a format, e.g. "%s%u.%u" gives {"s", "u", "u"}.
std::vector<std::string> Conversions(const std::string& format)
{
    std::vector<std::string> result;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (i + 1 < format.size() && format[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t end = format.find_first_of("csdiuxXoeEfgGp", i + 1);
        size_t start = format.find_first_not_of("-+ #0123456789.*", i + 1);
        result.push_back(end == std::string::npos ? format.substr(i) : format.substr(start, end - start + 1));
        if (end != std::string::npos)
            i = end;
    }
    return result;
}

// Formats string id like the program does; a format whose conversions do not match the
// arguments is not run, since printf would read the wrong arguments.
template <typename... Args>
std::string Format(UINT id, const std::vector<std::string>& conversions, Args... args)
{
    std::string format = LoadText(id);
    if (Conversions(format) != conversions)
        return "(format does not match its arguments)";
    char buffer[512] = {};
    snprintf(buffer, sizeof buffer, format.c_str(), args...);
    return buffer;
}

TEST_F(ResourceModule, EveryStringTheProgramLoadsIsPresent)
{
    for (UINT id : kStrings)
        EXPECT_FALSE(LoadText(id).empty()) << "string " << id;
    for (UINT id : { 200u, 201u, 202u, 210u, 211u, 213u, 220u })
        EXPECT_FALSE(LoadText(id).empty()) << "device error text " << id;
}

TEST_F(ResourceModule, NoTextFor212SoTheDeviceErrorFallbackIsReachable)
{
    char buffer[16] = {};
    EXPECT_EQ(LoadStringA(g_module, 212, buffer, sizeof buffer), 0);
}

TEST_F(ResourceModule, FormatStringsTakeExactlyTheProgramsArguments)
{
    using List = std::vector<std::string>;
    EXPECT_EQ(Conversions(LoadText(IDS_MEMORY_FORMAT)), (List{ "llu" }));
    EXPECT_EQ(Conversions(LoadText(IDS_DISK_FREE_FORMAT)), (List{ "llu", "c" }));
    EXPECT_EQ(Conversions(LoadText(IDS_DISK_FREE_NO_LETTER_FORMAT)), (List{ "llu" }));
    EXPECT_EQ(Conversions(LoadText(IDS_OS_VERSION_FORMAT)), (List{ "s", "u", "u", "u" }));
    EXPECT_EQ(Conversions(LoadText(IDS_UNLISTED_PORT_FORMAT)), (List{ "u" }));
}

TEST_F(ResourceModule, FormatStringsShowTheirArguments)
{
    const std::vector<std::string> kb = { "llu" }, kbAndLetter = { "llu", "c" };
    EXPECT_NE(Format(IDS_MEMORY_FORMAT, kb, 32768ULL).find("32768"), std::string::npos);
    EXPECT_NE(Format(IDS_MEMORY_FORMAT, kb, 5000000000ULL).find("5000000000"), std::string::npos);

    std::string disk = Format(IDS_DISK_FREE_FORMAT, kbAndLetter, 5000000000ULL, 'C');
    EXPECT_NE(disk.find("5000000000"), std::string::npos) << disk;
    EXPECT_NE(disk.find('C'), std::string::npos) << disk;
    EXPECT_NE(Format(IDS_DISK_FREE_FORMAT, kbAndLetter, 1ULL, 'Q').find('Q'), std::string::npos);

    EXPECT_NE(Format(IDS_DISK_FREE_NO_LETTER_FORMAT, kb, 5000000000ULL).find("5000000000"), std::string::npos);

    std::string os = Format(IDS_OS_VERSION_FORMAT, { "s", "u", "u", "u" }, "Windows NT ", 10u, 0u, 19045u);
    EXPECT_NE(os.find("Windows NT 10.0"), std::string::npos) << os;
    EXPECT_NE(os.find("19045"), std::string::npos) << os;

    EXPECT_NE(Format(IDS_UNLISTED_PORT_FORMAT, { "u" }, 7u).find('7'), std::string::npos);
}

TEST_F(ResourceModule, TextsWithInsertsCarryTheirPlaceholders)
{
    EXPECT_NE(LoadText(IDS_DUMP_STORED).find("%1"), std::string::npos);
    EXPECT_NE(LoadText(AFX_IDP_PARSE_INT_RANGE).find("%1"), std::string::npos);
    EXPECT_NE(LoadText(AFX_IDP_PARSE_INT_RANGE).find("%2"), std::string::npos);
    EXPECT_NE(LoadText(AFX_IDP_PARSE_STRING_SIZE).find("%1"), std::string::npos);
}

TEST_F(ResourceModule, MessagesShownAsTheyStandHoldNoPlaceholders)
{
    const std::set<UINT> withInserts = { IDS_MEMORY_FORMAT, IDS_DISK_FREE_FORMAT, IDS_OS_VERSION_FORMAT,
                                         IDS_DISK_FREE_NO_LETTER_FORMAT, IDS_UNLISTED_PORT_FORMAT,
                                         IDS_DUMP_STORED, AFX_IDP_PARSE_INT_RANGE, AFX_IDP_PARSE_STRING_SIZE };
    for (UINT id : kStrings) {
        if (withInserts.count(id))
            continue;
        EXPECT_EQ(LoadText(id).find('%'), std::string::npos) << "string " << id;
    }
}

TEST_F(ResourceModule, AssembledMessagesLeadStraightIntoTheFileName)
{
    for (UINT id : { IDS_FILE_OPEN_FAILED, IDS_FILE_WRITE_FAILED, IDS_FILE_READ_FAILED,
                     IDS_DUMP_FILE_TOO_LARGE, IDS_FILE_EMPTY }) {
        std::string text = LoadText(id);
        ASSERT_FALSE(text.empty()) << "string " << id;
        EXPECT_EQ(text.back(), ' ') << "string " << id << ": \"" << text << "\"";
    }
}

TEST_F(ResourceModule, EveryDialogCreates)
{
    for (UINT id : kDialogs) {
        Dialog dialog(id);
        DWORD error = GetLastError();
        // 1400 here means Wine has no display: its server was started outside the virtual one.
        EXPECT_NE(dialog.Window(), nullptr) << "dialog " << id << ", error " << error;
    }
}

enum class Kind { Edit, PushButton, RadioButton, DropList, Spin, Static };

struct ExpectedControl {
    UINT dialog;
    int id;
    Kind kind;
    int buddy = 0; // spins only: the edit it steps
};

const ExpectedControl kControls[] = {
    { IDD_MAIN, IDC_RECEIVE_PROGRAM, Kind::PushButton },
    { IDD_MAIN, IDC_BROWSE_RECEIVE_PROGRAM, Kind::PushButton },
    { IDD_MAIN, IDC_RECEIVE_PROGRAM_FILE, Kind::Edit },
    { IDD_MAIN, IDC_RECEIVE_PROGRAM_NUMBER, Kind::Edit },
    { IDD_MAIN, IDC_RECEIVE_PROGRAM_SPIN, Kind::Spin, IDC_RECEIVE_PROGRAM_NUMBER },
    { IDD_MAIN, IDC_RECEIVE_ALGORITHM, Kind::PushButton },
    { IDD_MAIN, IDC_BROWSE_RECEIVE_ALGORITHM, Kind::PushButton },
    { IDD_MAIN, IDC_RECEIVE_ALGORITHM_FILE, Kind::Edit },
    { IDD_MAIN, IDC_RECEIVE_ALGORITHM_NUMBER, Kind::Edit },
    { IDD_MAIN, IDC_RECEIVE_ALGORITHM_SPIN, Kind::Spin, IDC_RECEIVE_ALGORITHM_NUMBER },
    { IDD_MAIN, IDC_RECEIVE_BULK, Kind::PushButton },
    { IDD_MAIN, IDC_BROWSE_RECEIVE_BULK, Kind::PushButton },
    { IDD_MAIN, IDC_RECEIVE_BULK_FILE, Kind::Edit },
    { IDD_MAIN, IDC_SEND_PROGRAM, Kind::PushButton },
    { IDD_MAIN, IDC_BROWSE_SEND_PROGRAM, Kind::PushButton },
    { IDD_MAIN, IDC_SEND_PROGRAM_FILE, Kind::Edit },
    { IDD_MAIN, IDC_SEND_PROGRAM_SLOT, Kind::Edit },
    { IDD_MAIN, IDC_SEND_PROGRAM_SPIN, Kind::Spin, IDC_SEND_PROGRAM_SLOT },
    { IDD_MAIN, IDC_SEND_ALGORITHM, Kind::PushButton },
    { IDD_MAIN, IDC_BROWSE_SEND_ALGORITHM, Kind::PushButton },
    { IDD_MAIN, IDC_SEND_ALGORITHM_FILE, Kind::Edit },
    { IDD_MAIN, IDC_SEND_ALGORITHM_NUMBER, Kind::Edit },
    { IDD_MAIN, IDC_SEND_ALGORITHM_SPIN, Kind::Spin, IDC_SEND_ALGORITHM_NUMBER },
    { IDD_MAIN, IDC_SEND_BULK, Kind::PushButton },
    { IDD_MAIN, IDC_BROWSE_SEND_BULK, Kind::PushButton },
    { IDD_MAIN, IDC_SEND_BULK_FILE, Kind::Edit },
    { IDD_MAIN, IDC_COMMAND21, Kind::PushButton },
    { IDD_MAIN, IDC_MIDI_SETUP, Kind::PushButton },
    { IDD_MAIN, IDC_PROGRAM_CHANGE_NUMBER, Kind::Edit },
    { IDD_MAIN, IDC_PROGRAM_CHANGE_SPIN, Kind::Spin, IDC_PROGRAM_CHANGE_NUMBER },
    { IDD_MAIN, IDC_PROGRAM_CHANGE, Kind::PushButton },
    { IDD_MAIN, IDC_COMMAND22, Kind::PushButton },
    { IDD_MAIN, IDCANCEL, Kind::PushButton },
    { IDD_MIDI_SETUP, IDOK, Kind::PushButton },
    { IDD_MIDI_SETUP, IDCANCEL, Kind::PushButton },
    { IDD_MIDI_SETUP, IDC_INPUT_PORT, Kind::DropList },
    { IDD_MIDI_SETUP, IDC_OUTPUT_PORT, Kind::DropList },
    { IDD_MIDI_SETUP, IDC_DEVICE_NUMBER, Kind::Edit },
    { IDD_MIDI_SETUP, IDC_DEVICE_NUMBER_SPIN, Kind::Spin, IDC_DEVICE_NUMBER },
    { IDD_ABOUT, IDC_TOTAL_PHYSICAL, Kind::Static },
    { IDD_ABOUT, IDC_FREE_DISK, Kind::Static },
    { IDD_ABOUT, IDC_AVAIL_PHYSICAL, Kind::Static },
    { IDD_ABOUT, IDC_TOTAL_VIRTUAL, Kind::Static },
    { IDD_ABOUT, IDC_AVAIL_VIRTUAL, Kind::Static },
    { IDD_ABOUT, IDC_OS_VERSION, Kind::Static },
    { IDD_ABOUT, IDOK, Kind::PushButton },
    { IDD_BULK_RECEIVE, IDOK, Kind::PushButton },
    { IDD_BULK_RECEIVE, IDCANCEL, Kind::PushButton },
    { IDD_BULK_RECEIVE, IDC_RECEIVED_COUNT, Kind::Static },
    { IDD_BULK_SEND, IDOK, Kind::PushButton },
    { IDD_BULK_SEND, IDCANCEL, Kind::PushButton },
    { IDD_BULK_SEND, IDC_SENT_COUNT, Kind::Static },
    { IDD_BULK_SEND, IDC_FILE_SIZE, Kind::Static },
    { IDD_SELECTOR, IDC_SELECTOR_FIRST, Kind::RadioButton },
    { IDD_SELECTOR, IDOK, Kind::PushButton },
    { IDD_SELECTOR, IDCANCEL, Kind::PushButton },
};

// Returns an empty string when the control is what the program expects, else why not.
std::string Mismatch(const Dialog& dialog, const ExpectedControl& expected)
{
    HWND control = dialog.Item(expected.id);
    if (!control)
        return "missing";
    std::string className = ClassOf(control);
    LONG style = StyleOf(control);
    auto expectClass = [&](const char* name) {
        return lstrcmpiA(className.c_str(), name) == 0 ? std::string() : "class " + className + ", not " + name;
    };
    switch (expected.kind) {
    case Kind::Edit:
        return expectClass("Edit");
    case Kind::Static:
        return expectClass("Static");
    case Kind::PushButton:
    case Kind::RadioButton: {
        std::string wrong = expectClass("Button");
        if (!wrong.empty())
            return wrong;
        LONG type = style & BS_TYPEMASK;
        bool ok = expected.kind == Kind::PushButton ? (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)
                                                    : (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON);
        return ok ? std::string() : "button type " + std::to_string(type);
    }
    case Kind::DropList: {
        std::string wrong = expectClass("ComboBox");
        if (!wrong.empty())
            return wrong;
        if ((style & 3) != CBS_DROPDOWNLIST)
            return "not a drop-down list";
        if (style & CBS_SORT)
            return "sorted, but list positions are port numbers";
        // The template height of a drop-down list is the height of the open list.
        RECT dropped = {};
        SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
        LRESULT item = SendMessageA(control, CB_GETITEMHEIGHT, 0, 0);
        if (dropped.bottom - dropped.top < 5 * item)
            return "open list shows fewer than four entries";
        return {};
    }
    case Kind::Spin: {
        std::string wrong = expectClass(UPDOWN_CLASSA);
        if (!wrong.empty())
            return wrong;
        // An auto-buddy spin takes the control before it, so this also checks the order.
        HWND buddy = reinterpret_cast<HWND>(SendMessageA(control, UDM_GETBUDDY, 0, 0));
        if (!buddy || buddy != dialog.Item(expected.buddy))
            return "buddy is not the edit " + std::to_string(expected.buddy);
        const LONG needed = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
        if ((style & needed) != needed)
            return "spin styles incomplete";
        return {};
    }
    }
    return "unknown kind";
}

TEST_F(ResourceModule, EveryControlHasTheKindTheProgramExpects)
{
    std::map<UINT, std::vector<ExpectedControl>> byDialog;
    for (const ExpectedControl& expected : kControls)
        byDialog[expected.dialog].push_back(expected);
    for (const auto& [id, expectations] : byDialog) {
        Dialog dialog(id);
        ASSERT_NE(dialog.Window(), nullptr) << "dialog " << id;
        for (const ExpectedControl& expected : expectations)
            EXPECT_EQ(Mismatch(dialog, expected), "") << "dialog " << id << ", control " << expected.id;
    }
}

TEST_F(ResourceModule, FileFieldsScrollForLongPaths)
{
    Dialog dialog(IDD_MAIN);
    ASSERT_NE(dialog.Window(), nullptr);
    for (int id : { IDC_RECEIVE_PROGRAM_FILE, IDC_RECEIVE_ALGORITHM_FILE, IDC_RECEIVE_BULK_FILE,
                    IDC_SEND_PROGRAM_FILE, IDC_SEND_ALGORITHM_FILE, IDC_SEND_BULK_FILE })
        EXPECT_TRUE(StyleOf(dialog.Item(id)) & ES_AUTOHSCROLL) << "edit " << id;
}

TEST_F(ResourceModule, SelectorChoiceIsAGroupOfThreeRadioButtons)
{
    Dialog dialog(IDD_SELECTOR);
    ASSERT_NE(dialog.Window(), nullptr);
    HWND first = dialog.Item(IDC_SELECTOR_FIRST);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(StyleOf(first) & (WS_GROUP | WS_TABSTOP), WS_GROUP | WS_TABSTOP);

    HWND button = first;
    for (int index = 1; index < 3; ++index) {
        button = GetWindow(button, GW_HWNDNEXT);
        ASSERT_NE(button, nullptr) << "option " << index;
        LONG type = StyleOf(button) & BS_TYPEMASK;
        EXPECT_TRUE(type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON) << "option " << index;
        EXPECT_FALSE(StyleOf(button) & WS_GROUP) << "option " << index << " starts a group of its own";
    }
    HWND after = GetWindow(button, GW_HWNDNEXT);
    ASSERT_NE(after, nullptr);
    EXPECT_TRUE(StyleOf(after) & WS_GROUP) << "the group does not end after the third option";

    // Arrow keys walk the group: from the first option it must come back after three steps.
    HWND walk = first;
    for (int step = 0; step < 3; ++step)
        walk = GetNextDlgGroupItem(dialog.Window(), walk, FALSE);
    EXPECT_EQ(walk, first);
}

TEST_F(ResourceModule, IconHasImagesDrawnForEachSize)
{
    HRSRC group = FindResource(g_module, MAKEINTRESOURCE(IDI_MAIN), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    auto* directory = static_cast<BYTE*>(LockResource(LoadResource(g_module, group)));
    ASSERT_NE(directory, nullptr);
    for (int size : { 16, 32, 48 }) {
        HANDLE icon = LoadImageA(g_module, MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr) << size << " px";
        if (icon)
            DestroyIcon(static_cast<HICON>(icon));

        // LoadImage would also scale another size; the best match must be this size itself.
        int imageId = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
        HRSRC image = FindResource(g_module, MAKEINTRESOURCE(imageId), RT_ICON);
        ASSERT_NE(image, nullptr) << size << " px";
        auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(g_module, image)));
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->biWidth, size);
        EXPECT_EQ(header->biHeight, 2 * size);
    }
}

// The character a mnemonic underlines, or 0.
char Mnemonic(const std::string& text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 1])));
    }
    return 0;
}

bool IsGroupBox(HWND window)
{
    return lstrcmpiA(ClassOf(window).c_str(), "Button") == 0 && (StyleOf(window) & BS_TYPEMASK) == BS_GROUPBOX;
}

TEST_F(ResourceModule, MnemonicsAreUniqueWithinEachDialog)
{
    for (UINT id : kDialogs) {
        Dialog dialog(id);
        ASSERT_NE(dialog.Window(), nullptr);
        std::map<char, std::string> seen;
        for (HWND child : dialog.Children()) {
            std::string text = WindowText(child);
            char key = Mnemonic(text);
            if (!key || (ClassOf(child) == "Static" && (StyleOf(child) & SS_NOPREFIX)))
                continue;
            auto [it, fresh] = seen.emplace(key, text);
            EXPECT_TRUE(fresh) << "dialog " << id << ": '" << key << "' in \"" << text << "\" and \"" << it->second
                               << "\"";
        }
    }
}

TEST_F(ResourceModule, EveryEditIsNamedByTheLabelBeforeIt)
{
    for (UINT id : { IDD_MAIN, IDD_MIDI_SETUP }) {
        Dialog dialog(id);
        ASSERT_NE(dialog.Window(), nullptr);
        for (HWND child : dialog.Children()) {
            if (lstrcmpiA(ClassOf(child).c_str(), "Edit") != 0)
                continue;
            HWND label = GetWindow(child, GW_HWNDPREV);
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(ClassOf(label), "Static") << "dialog " << id << ", edit " << GetDlgCtrlID(child);
            EXPECT_NE(Mnemonic(WindowText(label)), 0) << "dialog " << id << ", edit " << GetDlgCtrlID(child);
        }
    }
}

// Group boxes frame other controls by design, and a spin sits on the border of its edit;
// everything else must have its own space.
TEST_F(ResourceModule, ControlsNeitherOverlapNorLeaveTheWindow)
{
    for (UINT id : kDialogs) {
        Dialog dialog(id);
        ASSERT_NE(dialog.Window(), nullptr);
        RECT client = {};
        GetClientRect(dialog.Window(), &client);
        std::vector<std::pair<HWND, RECT>> placed;
        for (HWND child : dialog.Children()) {
            RECT rect = {};
            GetWindowRect(child, &rect);
            MapWindowPoints(nullptr, dialog.Window(), reinterpret_cast<POINT*>(&rect), 2);
            EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= client.right && rect.bottom <= client.bottom)
                << "dialog " << id << ": control " << GetDlgCtrlID(child) << " \"" << WindowText(child)
                << "\" reaches outside the window";
            if (IsGroupBox(child))
                continue;
            for (const auto& [other, otherRect] : placed) {
                if (reinterpret_cast<HWND>(SendMessageA(child, UDM_GETBUDDY, 0, 0)) == other
                    && lstrcmpiA(ClassOf(child).c_str(), UPDOWN_CLASSA) == 0)
                    continue;
                RECT overlap = {};
                EXPECT_FALSE(IntersectRect(&overlap, &rect, &otherRect))
                    << "dialog " << id << ": \"" << WindowText(child) << "\" (" << GetDlgCtrlID(child)
                    << ") overlaps \"" << WindowText(other) << "\" (" << GetDlgCtrlID(other) << ")";
            }
            placed.emplace_back(child, rect);
        }
    }
}

} // namespace
