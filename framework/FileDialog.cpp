#include "framework/FileDialog.h"

#include <commdlg.h>

#include <vector>

#include "framework/Dialog.h"
#include "framework/Unicode.h"
#include "framework/WinApp.h"

namespace
{
std::function<FileDialogAnswer(const FileDialogRequest&)> g_hook;
}

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExtension, const char* fileName, DWORD flags,
                         const char* filter, CDialog* parent)
    : m_flags(flags | OFN_EXPLORER), m_open(openFileDialog != FALSE),
      m_defaultExtension(defaultExtension ? defaultExtension : ""),
      m_initialName(fileName ? fileName : ""), m_filter(filter ? filter : ""), m_parent(parent)
{
}

void CFileDialog::SetHook(std::function<FileDialogAnswer(const FileDialogRequest&)> hook)
{
    g_hook = std::move(hook);
}

INT_PTR CFileDialog::DoModal()
{
    // Owned like a message box: modal to the window the user works in, so that nothing behind
    // it (a Store button, say) can be used while it is open.
    HWND owner = m_parent != nullptr ? m_parent->GetSafeHwnd() : AfxGetActiveOwner();
    if (g_hook)
    {
        // The common dialog disables its owner while it runs; the hook stands in for it.
        const bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
        if (ownerWasEnabled)
            EnableWindow(owner, FALSE);
        const FileDialogAnswer answer =
            g_hook(FileDialogRequest{m_open, m_title, m_defaultExtension, m_initialName, m_filter, m_flags, owner,
                                     owner != nullptr && !IsWindowEnabled(owner)});
        if (ownerWasEnabled)
            EnableWindow(owner, TRUE);
        if (!answer.chosen)
            return IDCANCEL;
        m_pathName = answer.path;
        return IDOK;
    }

    // The filter's '|' separators become the NULs the platform expects.
    std::wstring filter = Widen(m_filter);
    for (wchar_t& c : filter)
        if (c == L'|')
            c = L'\0';
    filter.push_back(L'\0');
    const std::wstring title = Widen(m_title);
    const std::wstring extension = Widen(m_defaultExtension);

    std::vector<wchar_t> file(32768, L'\0');
    Widen(m_initialName).copy(file.data(), file.size() - 1);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    dialog.Flags = m_flags;
    if (!(m_open ? GetOpenFileNameW(&dialog) : GetSaveFileNameW(&dialog)))
        return IDCANCEL;
    m_pathName = Narrow(file.data());
    return IDOK;
}
