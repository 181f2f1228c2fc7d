#include "framework/FileDialog.h"

#include <commdlg.h>

#include <vector>

#include "framework/Dialog.h"
#include "framework/WinApp.h"

namespace
{
std::function<FileDialogAnswer(const FileDialogRequest&)> g_hook;
}

CFileDialog::CFileDialog(BOOL, const char* defaultExtension, const char* fileName, DWORD flags, const char* filter,
                         CDialog* parent)
    : m_flags(flags | OFN_EXPLORER), m_defaultExtension(defaultExtension ? defaultExtension : ""),
      m_initialName(fileName ? fileName : ""), m_filter(filter ? filter : ""), m_parent(parent)
{
}

void CFileDialog::SetHook(std::function<FileDialogAnswer(const FileDialogRequest&)> hook)
{
    g_hook = std::move(hook);
}

INT_PTR CFileDialog::DoModal()
{
    if (g_hook)
    {
        const FileDialogAnswer answer =
            g_hook(FileDialogRequest{m_title, m_defaultExtension, m_initialName, m_filter, m_flags});
        if (!answer.chosen)
            return IDCANCEL;
        m_pathName = answer.path;
        return IDOK;
    }

    // The filter's '|' separators become the NULs the platform expects.
    std::string filter = m_filter;
    for (char& c : filter)
        if (c == '|')
            c = '\0';
    filter.push_back('\0');

    std::vector<char> file(32768, '\0');
    m_initialName.copy(file.data(), file.size() - 1);

    HWND owner = m_parent != nullptr ? m_parent->GetSafeHwnd() : nullptr;
    if (owner == nullptr && AfxGetApp() != nullptr && AfxGetApp()->m_pMainWnd != nullptr)
        owner = AfxGetApp()->m_pMainWnd->GetSafeHwnd();

    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = m_title.empty() ? nullptr : m_title.c_str();
    dialog.lpstrDefExt = m_defaultExtension.empty() ? nullptr : m_defaultExtension.c_str();
    dialog.Flags = m_flags;
    if (!GetOpenFileNameA(&dialog))
        return IDCANCEL;
    m_pathName = file.data();
    return IDOK;
}
