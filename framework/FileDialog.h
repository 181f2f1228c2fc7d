#pragma once
#include <windows.h>
#include <commdlg.h>

#include <functional>
#include <string>

class CDialog;

// What a file dialog was asked to show; tests answer it through the hook.
struct FileDialogRequest
{
    bool open;  // an open-file dialog; a save-file dialog otherwise
    std::string title;
    std::string defaultExtension;
    std::string initialName;
    std::string filter; // '|'-separated pairs
    DWORD flags;
    HWND owner; // the window it belongs to
    bool modal; // that window was disabled while it showed
};

struct FileDialogAnswer
{
    bool chosen;
    std::string path;
};

// The common open-file or save-file dialog.
class CFileDialog
{
public:
    CFileDialog(BOOL openFileDialog, const char* defaultExtension, const char* fileName, DWORD flags,
                const char* filter, CDialog* parent = nullptr);

    INT_PTR DoModal(); // IDOK or IDCANCEL
    std::string GetPathName() const { return m_pathName; }

    std::string m_title;
    DWORD m_flags;

    static void SetHook(std::function<FileDialogAnswer(const FileDialogRequest&)> hook);

private:
    bool m_open;
    std::string m_defaultExtension;
    std::string m_initialName;
    std::string m_filter;
    std::string m_pathName;
    CDialog* m_parent;
};
