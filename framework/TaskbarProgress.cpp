#include "framework/TaskbarProgress.h"

#include <objbase.h>
#include <shobjidl.h>

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
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&m_taskbar))))
        m_taskbar = nullptr;
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
