#include "dialogs/AnchoredLayout.h"

#include <algorithm>

void CAnchoredLayout::Take(HWND window, const Anchor* anchors, std::size_t count)
{
    m_anchors = anchors;
    RECT client;
    GetClientRect(window, &client);
    m_templateClient = {client.right, client.bottom};
    RECT outer;
    GetWindowRect(window, &outer);
    m_minimumSize = {outer.right - outer.left, outer.bottom - outer.top};
    m_templatePlaces.clear();
    for (std::size_t i = 0; i < count; ++i)
    {
        HWND control = GetDlgItem(window, anchors[i].id);
        RECT place;
        GetWindowRect(control, &place);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
        m_templatePlaces.emplace_back(control, place);
    }
}

void CAnchoredLayout::Resize(int width, int height)
{
    if (m_templatePlaces.empty())
        return;
    const int dx = std::max(0, width - static_cast<int>(m_templateClient.cx));
    const int dy = std::max(0, height - static_cast<int>(m_templateClient.cy));
    HDWP moves = BeginDeferWindowPos(static_cast<int>(m_templatePlaces.size()));
    for (std::size_t i = 0; i < m_templatePlaces.size() && moves != nullptr; ++i)
    {
        const Anchor& anchor = m_anchors[i];
        const RECT& place = m_templatePlaces[i].second;
        moves = DeferWindowPos(moves, m_templatePlaces[i].first, nullptr, place.left + (anchor.moveX ? dx : 0),
                               place.top + (anchor.moveY ? dy : 0),
                               place.right - place.left + (anchor.stretchX ? dx : 0),
                               place.bottom - place.top + (anchor.stretchY ? dy : 0), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (moves != nullptr)
        EndDeferWindowPos(moves);
}

BOOL CAnchoredLayout::LimitSize(MINMAXINFO& limits) const
{
    if (m_minimumSize.cx <= 0)
        return FALSE;
    limits.ptMinTrackSize = {m_minimumSize.cx, m_minimumSize.cy};
    return TRUE;
}
