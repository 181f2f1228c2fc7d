#include <gtest/gtest.h>

#include "framework/DataExchange.h"
#include "framework/Dialog.h"
#include "framework/Strings.h"
#include "resources/resource.h"
#include "support/ModalHook.h"
#include "support/Pump.h"
#include "support/UiRecorder.h"

TEST(ParseDialogInteger, AcceptsBlanksSignAndDigitsOnly)
{
    int value = -7;
    EXPECT_TRUE(ParseDialogInteger(" 12 ", value));
    EXPECT_EQ(12, value);
    EXPECT_TRUE(ParseDialogInteger("\t-1\t", value));
    EXPECT_EQ(-1, value);
    EXPECT_TRUE(ParseDialogInteger("+5", value));
    EXPECT_EQ(5, value);
    EXPECT_TRUE(ParseDialogInteger("0", value));
    EXPECT_EQ(0, value);

    value = 99;
    for (const char* bad : {"12a", "", "   ", "-", "+", "a12", "1 2", "0x10", "1.5", "-0", "+0"})
    {
        EXPECT_FALSE(ParseDialogInteger(bad, value)) << '"' << bad << '"';
        EXPECT_EQ(99, value) << "a refused text leaves the value alone";
    }
    // 30 blanks, then "7", then junk past the 31st character: only "...7" is read.
    EXPECT_TRUE(ParseDialogInteger(std::string(30, ' ') + "7xyz", value));
    EXPECT_EQ(7, value);
    // Out-of-range digit strings saturate, so that a range check refuses them.
    EXPECT_TRUE(ParseDialogInteger("99999999999", value));
    EXPECT_EQ(INT_MAX, value);
}

namespace
{
// The setup dialog's template has one edit (1002) and two combo boxes: enough to exercise
// every exchange the framework offers.
class ExchangeDialog : public CDialog
{
public:
    ExchangeDialog() : CDialog(IDD_MIDI_SETUP) {}
    void DoDataExchange(CDataExchange* dx) override
    {
        DDX_Text(dx, IDC_DEVICE_NUMBER, number);
        DDV_MinMaxInt(dx, number, 1, 16);
        DDX_CBIndex(dx, IDC_INPUT_PORT, selection);
            }
    int number = 3;
    int selection = 5;
};

struct Outcome
{
    BOOL saved;
    HWND focus;
    DWORD selection;
};

Outcome SaveWithText(ExchangeDialog& dialog, const char* text)
{
    Outcome outcome{};
    ModalHook hook([&](CDialog& running) {
        running.SetDlgItemText(IDC_DEVICE_NUMBER, text);
        outcome.saved = running.UpdateData(TRUE);
        outcome.focus = GetFocus();
        outcome.selection = static_cast<DWORD>(
            SendMessageA(running.GetDlgItem(IDC_DEVICE_NUMBER), EM_GETSEL, 0, 0));
        running.EndDialog(IDCANCEL);
    });
    dialog.DoModal();
    return outcome;
}
}

// A refusal selects the whole field and stops the exchange there; a field that held a
// number keeps it in its member, one without a number keeps the old value.
TEST(DataExchange, RefusalsShowTheirPromptAndStopAtTheField)
{
    UiRecorder ui;
    ExchangeDialog notANumber;
    Outcome outcome = SaveWithText(notANumber, "abc");
    EXPECT_FALSE(outcome.saved);
    EXPECT_TRUE(ui.ShowedOnly(UiRecorder::Text(AFX_IDP_PARSE_INT), MB_OK, AFX_IDP_PARSE_INT));
    EXPECT_EQ(3, notANumber.number);
    EXPECT_EQ(MAKELONG(0, 3), outcome.selection);
    EXPECT_NE(nullptr, outcome.focus);

    ui.boxes.clear();
    ExchangeDialog outOfRange;
    outcome = SaveWithText(outOfRange, "17");
    EXPECT_FALSE(outcome.saved);
    const std::string expected = FormatPlaceholders(UiRecorder::Text(AFX_IDP_PARSE_INT_RANGE), {"1", "16"});
    EXPECT_TRUE(ui.ShowedOnly(expected, MB_OK | MB_ICONEXCLAMATION, AFX_IDP_PARSE_INT_RANGE));
    EXPECT_EQ(17, outOfRange.number);
    EXPECT_EQ(5, outOfRange.selection) << "nothing after the failing field is read";
    EXPECT_EQ(MAKELONG(0, 2), outcome.selection);

    ui.boxes.clear();
    ExchangeDialog valid;
    EXPECT_TRUE(SaveWithText(valid, " 16 ").saved);
    EXPECT_TRUE(ui.ShowedNothing());
    EXPECT_EQ(16, valid.number);
    EXPECT_EQ(-1, valid.selection) << "an empty combo box has no selection";
}

TEST(DataExchange, TextLongerThanTheLimitIsRefused)
{
    class TextDialog : public CDialog
    {
    public:
        TextDialog() : CDialog(IDD_MIDI_SETUP) {}
        void DoDataExchange(CDataExchange* dx) override
        {
            DDX_Text(dx, IDC_DEVICE_NUMBER, text);
            DDV_MaxChars(dx, text, 4);
        }
        std::string text = "ab";
    };
    UiRecorder ui;
    TextDialog dialog;
    BOOL saved = TRUE;
    LRESULT limit = 0;
    ModalHook hook([&](CDialog& running) {
        limit = SendMessageA(running.GetDlgItem(IDC_DEVICE_NUMBER), EM_GETLIMITTEXT, 0, 0);
        running.SetDlgItemText(IDC_DEVICE_NUMBER, "abcde");
        saved = running.UpdateData(TRUE);
        running.EndDialog(IDCANCEL);
    });
    dialog.DoModal();
    EXPECT_EQ(4, limit) << "filling the dialog limits the field's input";
    EXPECT_FALSE(saved);
    const std::string expected = FormatPlaceholders(UiRecorder::Text(AFX_IDP_PARSE_STRING_SIZE), {"4"});
    EXPECT_TRUE(ui.ShowedOnly(expected, MB_OK | MB_ICONEXCLAMATION, AFX_IDP_PARSE_STRING_SIZE));
}

TEST(DataExchange, RadioGroupReadsTheCheckedPosition)
{
    class RadioDialog : public CDialog
    {
    public:
        RadioDialog() : CDialog(IDD_SELECTOR) {}
        void DoDataExchange(CDataExchange* dx) override { DDX_Radio(dx, IDC_SELECTOR_FIRST, choice); }
        int choice = 1;
    };
    RadioDialog dialog;
    int shownChecked = -1;
    ModalHook hook([&](CDialog& running) {
        HWND first = running.GetDlgItem(IDC_SELECTOR_FIRST);
        HWND second = GetWindow(first, GW_HWNDNEXT);
        HWND third = GetWindow(second, GW_HWNDNEXT);
        shownChecked = SendMessageA(second, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
        SendMessageA(second, BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessageA(third, BM_SETCHECK, BST_CHECKED, 0);
        PostMessageA(running.GetSafeHwnd(), WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(1, shownChecked) << "filling checks the button at the member's position";
    EXPECT_EQ(2, dialog.choice);
}
