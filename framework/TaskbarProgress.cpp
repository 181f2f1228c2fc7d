#include "framework/TaskbarProgress.h"

#include <objbase.h>
#include <shobjidl.h>

namespace
{
ITaskbarList3* CreateShellTaskbar()
{
    ITaskbarList3* taskbar = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&taskbar))))
        return nullptr;
    return taskbar;
}

ITaskbarList3* (*g_createTaskbar)() = CreateShellTaskbar;
}

void CTaskbarProgress::SetFactory(ITaskbarList3* (*create)())
{
    g_createTaskbar = create != nullptr ? create : CreateShellTaskbar;
}

CTaskbarProgress::~CTaskbarProgress()
{
    Clear();
    if (m_taskbar != nullptr)
        m_taskbar->Release();
    if (m_comStarted)
        CoUninitialize();
}

void CTaskbarProgress::Attach(HWND window)
{
    m_button = GetAncestor(window, GA_ROOTOWNER);
    if (m_taskbar != nullptr)
        return;
    m_comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    m_taskbar = g_createTaskbar();
    // The object must be initialised before any other call; one that refuses is not used.
    if (m_taskbar != nullptr && FAILED(m_taskbar->HrInit()))
    {
        m_taskbar->Release();
        m_taskbar = nullptr;
    }
}

void CTaskbarProgress::Show(ULONGLONG done, ULONGLONG total)
{
    if (m_taskbar == nullptr || m_button == nullptr)
        return;
    m_taskbar->SetProgressState(m_button, TBPF_NORMAL);
    m_taskbar->SetProgressValue(m_button, done, total);
}

void CTaskbarProgress::ShowBusy()
{
    if (m_taskbar != nullptr && m_button != nullptr)
        m_taskbar->SetProgressState(m_button, TBPF_INDETERMINATE);
}

void CTaskbarProgress::Clear()
{
    if (m_taskbar != nullptr && m_button != nullptr)
        m_taskbar->SetProgressState(m_button, TBPF_NOPROGRESS);
}
