// Checks reseng.dll against the identifiers the program uses: every text, dialog,
// control and icon it asks for must be there, with the shape the program relies on.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

HMODULE g_module = nullptr;

std::string LoadText(UINT id)
{
    char buffer[1024] = {};
    int length = LoadStringA(g_module, id, buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? length : 0);
}

std::string ClassOf(HWND window)
{
    char buffer[64] = {};
    GetClassNameA(window, buffer, sizeof buffer);
    return buffer;
}

bool IsClass(HWND window, const char* name) { return lstrcmpiA(ClassOf(window).c_str(), name) == 0; }

LONG StyleOf(HWND window) { return GetWindowLongA(window, GWL_STYLE); }

std::string WindowText(HWND window)
{
    char buffer[512] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

INT_PTR CALLBACK SilentDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

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
        INITCOMMONCONTROLSEX controls = { sizeof controls, ICC_UPDOWN_CLASS | ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES };
        InitCommonControlsEx(&controls);
        char path[MAX_PATH] = {};
        std::string module(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
        g_module = LoadLibraryA((module.substr(0, module.find_last_of("\\/") + 1) + "reseng.dll").c_str());
    }
    static void TearDownTestSuite()
    {
        if (g_module)
            FreeLibrary(g_module);
        g_module = nullptr;
    }
    void SetUp() override { ASSERT_NE(g_module, nullptr) << "cannot load reseng.dll"; }
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
    IDS_NO_REPLY, IDS_DUMP_STORED, IDS_DUMP_FILE_TOO_LARGE, IDS_FILE_EMPTY, IDS_SEND_REFUSED, IDS_STILL_SENDING,
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

TEST_F(ResourceModule, EveryStringAndTheIconArePresentAnd212IsNot)
{
    EXPECT_NE(FindResource(g_module, MAKEINTRESOURCE(IDI_MAIN), RT_GROUP_ICON), nullptr);
    for (UINT id : kStrings)
        EXPECT_FALSE(LoadText(id).empty()) << "string " << id;
    for (UINT id : { 200u, 201u, 202u, 210u, 211u, 213u, 220u })
        EXPECT_FALSE(LoadText(id).empty()) << "device error text " << id;
    // The device error fallback is reachable only while 212 has no text.
    char buffer[16] = {};
    EXPECT_EQ(LoadStringA(g_module, 212, buffer, sizeof buffer), 0);
}

// printf would read the wrong arguments from a format whose conversions differ; %1/%2
// texts must carry their inserts, and every other text is shown as it stands.
TEST_F(ResourceModule, FormatStringsTakeExactlyTheProgramsArguments)
{
    using List = std::vector<std::string>;
    const std::map<UINT, List> printfFormats = {
        { IDS_MEMORY_FORMAT, { "llu" } }, { IDS_DISK_FREE_FORMAT, { "llu", "c" } },
        { IDS_DISK_FREE_NO_LETTER_FORMAT, { "llu" } }, { IDS_OS_VERSION_FORMAT, { "s", "u", "u", "u" } },
        { IDS_UNLISTED_PORT_FORMAT, { "u" } },
    };
    const std::map<UINT, List> placeholders = {
        { IDS_DUMP_STORED, { "%1" } }, { AFX_IDP_PARSE_INT_RANGE, { "%1", "%2" } },
        { AFX_IDP_PARSE_STRING_SIZE, { "%1" } }, { IDS_SEND_REFUSED, { "%1" } },
    };
    for (UINT id : kStrings) {
        const std::string text = LoadText(id);
        if (printfFormats.count(id))
            EXPECT_EQ(Conversions(text), printfFormats.at(id)) << "string " << id;
        else if (placeholders.count(id))
            for (const std::string& insert : placeholders.at(id))
                EXPECT_NE(text.find(insert), std::string::npos) << "string " << id << " lacks " << insert;
        else
            EXPECT_EQ(text.find('%'), std::string::npos) << "string " << id;
    }
    // Messages assembled as text + file name + "!" must lead straight into the name.
    for (UINT id : { IDS_FILE_OPEN_FAILED, IDS_FILE_WRITE_FAILED, IDS_FILE_READ_FAILED, IDS_DUMP_FILE_TOO_LARGE,
                     IDS_FILE_EMPTY }) {
        const std::string text = LoadText(id);
        EXPECT_TRUE(!text.empty() && text.back() == ' ') << "string " << id << ": \"" << text << "\"";
    }
}

enum class Kind { Edit, PushButton, RadioButton, DropList, Spin, Static };

struct ExpectedControls {
    UINT dialog;
    Kind kind;
    std::vector<int> ids;
};

const ExpectedControls kControls[] = {
    { IDD_MAIN, Kind::PushButton,
      { IDC_RECEIVE_PROGRAM, IDC_BROWSE_RECEIVE_PROGRAM, IDC_RECEIVE_ALGORITHM, IDC_BROWSE_RECEIVE_ALGORITHM,
        IDC_RECEIVE_BULK, IDC_BROWSE_RECEIVE_BULK, IDC_SEND_PROGRAM, IDC_BROWSE_SEND_PROGRAM, IDC_SEND_ALGORITHM,
        IDC_BROWSE_SEND_ALGORITHM, IDC_SEND_BULK, IDC_BROWSE_SEND_BULK, IDC_COMMAND21, IDC_MIDI_SETUP,
        IDC_PROGRAM_CHANGE, IDC_COMMAND22, IDCANCEL } },
    { IDD_MAIN, Kind::Edit,
      { IDC_RECEIVE_PROGRAM_FILE, IDC_RECEIVE_PROGRAM_NUMBER, IDC_RECEIVE_ALGORITHM_FILE, IDC_RECEIVE_ALGORITHM_NUMBER,
        IDC_RECEIVE_BULK_FILE, IDC_SEND_PROGRAM_FILE, IDC_SEND_PROGRAM_SLOT, IDC_SEND_ALGORITHM_FILE,
        IDC_SEND_ALGORITHM_NUMBER, IDC_SEND_BULK_FILE, IDC_PROGRAM_CHANGE_NUMBER } },
    { IDD_MIDI_SETUP, Kind::PushButton, { IDOK, IDCANCEL } },
    { IDD_MIDI_SETUP, Kind::DropList, { IDC_INPUT_PORT, IDC_OUTPUT_PORT } },
    { IDD_MIDI_SETUP, Kind::Edit, { IDC_DEVICE_NUMBER } },
    { IDD_ABOUT, Kind::Static,
      { IDC_TOTAL_PHYSICAL, IDC_FREE_DISK, IDC_AVAIL_PHYSICAL, IDC_TOTAL_VIRTUAL, IDC_AVAIL_VIRTUAL, IDC_OS_VERSION } },
    { IDD_ABOUT, Kind::PushButton, { IDOK } },
    { IDD_BULK_RECEIVE, Kind::PushButton, { IDOK, IDCANCEL } },
    { IDD_BULK_RECEIVE, Kind::Static, { IDC_RECEIVED_COUNT } },
    { IDD_BULK_SEND, Kind::PushButton, { IDOK, IDCANCEL } },
    { IDD_BULK_SEND, Kind::Static, { IDC_SENT_COUNT, IDC_FILE_SIZE } },
    { IDD_SELECTOR, Kind::RadioButton, { IDC_SELECTOR_FIRST } },
    { IDD_SELECTOR, Kind::PushButton, { IDOK, IDCANCEL } },
};

// Each spin and the edit it steps.
const std::map<int, int> kSpinBuddies = {
    { IDC_RECEIVE_PROGRAM_SPIN, IDC_RECEIVE_PROGRAM_NUMBER }, { IDC_RECEIVE_ALGORITHM_SPIN, IDC_RECEIVE_ALGORITHM_NUMBER },
    { IDC_SEND_PROGRAM_SPIN, IDC_SEND_PROGRAM_SLOT }, { IDC_SEND_ALGORITHM_SPIN, IDC_SEND_ALGORITHM_NUMBER },
    { IDC_PROGRAM_CHANGE_SPIN, IDC_PROGRAM_CHANGE_NUMBER }, { IDC_DEVICE_NUMBER_SPIN, IDC_DEVICE_NUMBER },
};

// Returns an empty string when the control is what the program expects, else why not.
std::string Mismatch(const Dialog& dialog, int id, Kind kind)
{
    static const std::map<Kind, const char*> classes = {
        { Kind::Edit, "Edit" }, { Kind::Static, "Static" }, { Kind::PushButton, "Button" },
        { Kind::RadioButton, "Button" }, { Kind::DropList, "ComboBox" }, { Kind::Spin, UPDOWN_CLASSA },
    };
    HWND control = dialog.Item(id);
    if (!control)
        return "missing";
    if (!IsClass(control, classes.at(kind)))
        return "class " + ClassOf(control);
    const LONG style = StyleOf(control);
    const LONG type = style & BS_TYPEMASK;
    switch (kind) {
    case Kind::PushButton:
        return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON ? "" : "button type " + std::to_string(type);
    case Kind::RadioButton:
        return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON ? "" : "button type " + std::to_string(type);
    case Kind::DropList: {
        if ((style & 3) != CBS_DROPDOWNLIST)
            return "not a drop-down list";
        if (style & CBS_SORT)
            return "sorted, but list positions are port numbers";
        // The template height of a drop-down list is the height of the open list.
        RECT dropped = {};
        SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
        return dropped.bottom - dropped.top >= 5 * SendMessageA(control, CB_GETITEMHEIGHT, 0, 0)
            ? ""
            : "open list shows fewer than four entries";
    }
    case Kind::Spin: {
        // An auto-buddy spin takes the control before it, so this also checks the order.
        HWND buddy = reinterpret_cast<HWND>(SendMessageA(control, UDM_GETBUDDY, 0, 0));
        if (!buddy || buddy != dialog.Item(kSpinBuddies.at(id)))
            return "buddy is not the edit " + std::to_string(kSpinBuddies.at(id));
        const LONG needed = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
        return (style & needed) == needed ? "" : "spin styles incomplete";
    }
    default:
        return "";
    }
}

TEST_F(ResourceModule, EveryDialogCreatesWithTheControlsTheProgramExpects)
{
    for (UINT id : kDialogs) {
        Dialog dialog(id);
        // 1400 here means Wine has no display: its server was started outside the virtual one.
        EXPECT_NE(dialog.Window(), nullptr) << "dialog " << id << ", error " << GetLastError();
    }
    for (const ExpectedControls& expected : kControls) {
        Dialog dialog(expected.dialog);
        ASSERT_NE(dialog.Window(), nullptr);
        for (int id : expected.ids)
            EXPECT_EQ(Mismatch(dialog, id, expected.kind), "") << "dialog " << expected.dialog << ", control " << id;
    }
    Dialog main(IDD_MAIN), setup(IDD_MIDI_SETUP);
    for (const auto& [spin, buddy] : kSpinBuddies)
        EXPECT_EQ(Mismatch(spin == IDC_DEVICE_NUMBER_SPIN ? setup : main, spin, Kind::Spin), "") << "spin " << spin;
    for (int id : { IDC_RECEIVE_PROGRAM_FILE, IDC_RECEIVE_ALGORITHM_FILE, IDC_RECEIVE_BULK_FILE,
                    IDC_SEND_PROGRAM_FILE, IDC_SEND_ALGORITHM_FILE, IDC_SEND_BULK_FILE })
        EXPECT_TRUE(StyleOf(main.Item(id)) & ES_AUTOHSCROLL) << "file edit " << id << " must scroll for long paths";
}

TEST_F(ResourceModule, SelectorChoiceIsAGroupOfThreeRadioButtons)
{
    Dialog dialog(IDD_SELECTOR);
    HWND first = dialog.Item(IDC_SELECTOR_FIRST);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(StyleOf(first) & (WS_GROUP | WS_TABSTOP), WS_GROUP | WS_TABSTOP);
    HWND button = first;
    for (int index = 1; index < 3; ++index) {
        button = GetWindow(button, GW_HWNDNEXT);
        ASSERT_NE(button, nullptr) << "option " << index;
        const LONG type = StyleOf(button) & BS_TYPEMASK;
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

// Layout: no control overlaps another or leaves the window (group boxes frame others by
// design, a spin sits on its edit's border), no mnemonic is used twice in a dialog, and
// every edit is named by a label with a mnemonic just before it.
TEST_F(ResourceModule, LayoutAndMnemonics)
{
    const auto mnemonic = [](const std::string& text) -> char {
        for (size_t i = 0; i + 1 < text.size(); ++i)
            if (text[i] == '&' && text[++i] != '&')
                return static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        return 0;
    };
    for (UINT id : kDialogs) {
        Dialog dialog(id);
        ASSERT_NE(dialog.Window(), nullptr);
        RECT client = {};
        GetClientRect(dialog.Window(), &client);
        std::vector<std::pair<HWND, RECT>> placed;
        std::map<char, std::string> keys;
        for (HWND child : dialog.Children()) {
            SCOPED_TRACE("dialog " + std::to_string(id) + ", control " + std::to_string(GetDlgCtrlID(child)) + " \""
                         + WindowText(child) + "\"");
            RECT rect = {};
            GetWindowRect(child, &rect);
            MapWindowPoints(nullptr, dialog.Window(), reinterpret_cast<POINT*>(&rect), 2);
            EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= client.right && rect.bottom <= client.bottom);
            const bool groupBox = IsClass(child, "Button") && (StyleOf(child) & BS_TYPEMASK) == BS_GROUPBOX;
            const HWND buddy = IsClass(child, UPDOWN_CLASSA)
                ? reinterpret_cast<HWND>(SendMessageA(child, UDM_GETBUDDY, 0, 0))
                : nullptr;
            for (const auto& [other, otherRect] : placed) {
                RECT overlap = {};
                EXPECT_TRUE(groupBox || other == buddy || !IntersectRect(&overlap, &rect, &otherRect))
                    << "overlaps control " << GetDlgCtrlID(other);
            }
            if (!groupBox)
                placed.emplace_back(child, rect);
            const char key = mnemonic(WindowText(child));
            if (key && !(IsClass(child, "Static") && (StyleOf(child) & SS_NOPREFIX))) {
                EXPECT_TRUE(keys.emplace(key, WindowText(child)).second) << "'" << key << "' used twice";
            }
            if (IsClass(child, "Edit") && (id == IDD_MAIN || id == IDD_MIDI_SETUP)) {
                HWND label = GetWindow(child, GW_HWNDPREV);
                ASSERT_NE(label, nullptr);
                EXPECT_TRUE(IsClass(label, "Static") && mnemonic(WindowText(label)) != 0) << "edit without a label";
            }
        }
    }
}

} // namespace
