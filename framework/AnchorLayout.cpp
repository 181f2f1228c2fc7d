#include "framework/AnchorLayout.h"

#include <algorithm>

void CAnchorLayout::Capture(HWND dialog, const ControlAnchor* anchors, std::size_t count)
{
    RECT client;
    GetClientRect(dialog, &client);
    m_templateClient = {client.right, client.bottom};
    RECT window;
    GetWindowRect(dialog, &window);
    m_minimumSize = {window.right - window.left, window.bottom - window.top};
    // A modeless window opened again has new controls: those of the one before are gone.
    m_controls.clear();
    m_places.clear();
    for (std::size_t i = 0; i < count; ++i)
    {
        HWND control = GetDlgItem(dialog, anchors[i].id);
        RECT place;
        GetWindowRect(control, &place);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
        m_controls.emplace_back(anchors[i], control);
        m_places.push_back(place);
    }
}

bool CAnchorLayout::OnMessage(UINT message, LPARAM lParam)
{
    if (message == WM_SIZE)
        Resize(LOWORD(lParam), HIWORD(lParam));
    if (message != WM_GETMINMAXINFO || m_minimumSize.cx == 0)
        return false;
    reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {m_minimumSize.cx, m_minimumSize.cy};
    return true;
}

void CAnchorLayout::Resize(int width, int height)
{
    if (m_controls.empty())
        return;
    const int dx = std::max(0, width - static_cast<int>(m_templateClient.cx));
    const int dy = std::max(0, height - static_cast<int>(m_templateClient.cy));
    HDWP moves = BeginDeferWindowPos(static_cast<int>(m_controls.size()));
    for (std::size_t i = 0; i < m_controls.size() && moves != nullptr; ++i)
    {
        const ControlAnchor& anchor = m_controls[i].first;
        const RECT& place = m_places[i];
        moves = DeferWindowPos(moves, m_controls[i].second, nullptr, place.left + (anchor.moveX ? dx : 0),
                               place.top + (anchor.moveY ? dy : 0),
                               place.right - place.left + (anchor.stretchX ? dx : 0),
                               place.bottom - place.top + (anchor.stretchY ? dy : 0), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (moves != nullptr)
        EndDeferWindowPos(moves);
    // A moved control repaints only where it grew, which leaves stripes of the old picture in a
    // list's header: what stretches is drawn again whole.
    for (const auto& [anchor, control] : m_controls)
        if (anchor.stretchX || anchor.stretchY)
            RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}
