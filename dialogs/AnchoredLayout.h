#pragma once
#include <windows.h>

#include <cstddef>
#include <utility>
#include <vector>

// How a control follows its window's size: moved right or down, stretched wide or high.
struct Anchor
{
    int id;
    bool moveX, moveY, stretchX, stretchY;
};

// Lays a resizable dialog's controls out again from the places its template gives them; the
// template's size is the smallest the window may take.
class CAnchoredLayout
{
public:
    // Takes the window's size and the controls' places as they are now, from the template.
    void Take(HWND window, const Anchor* anchors, std::size_t count);
    void Resize(int width, int height);
    // For WM_GETMINMAXINFO: FALSE before Take.
    BOOL LimitSize(MINMAXINFO& limits) const;
    SIZE MinimumSize() const { return m_minimumSize; }

private:
    const Anchor* m_anchors = nullptr;
    SIZE m_templateClient{};
    SIZE m_minimumSize{};
    std::vector<std::pair<HWND, RECT>> m_templatePlaces;
};
