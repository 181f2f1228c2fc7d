#pragma once
#include <windows.h>

#include <cstddef>
#include <utility>
#include <vector>

// How a control follows its window's size: moved right or down, stretched wide or high.
struct ControlAnchor
{
    int id;
    bool moveX, moveY, stretchX, stretchY;
};

// Keeps a resizable dialog's controls at the places its template gives them, as anchored to
// the window's edges; the template's size is the smallest the window takes.
class CAnchorLayout
{
public:
    // After the dialog's initialisation, at the template's size.
    void Capture(HWND dialog, const ControlAnchor* anchors, std::size_t count);
    // WM_SIZE and WM_GETMINMAXINFO; true when the message is answered.
    bool OnMessage(UINT message, LPARAM lParam);
    SIZE MinimumSize() const { return m_minimumSize; }

private:
    void Resize(int width, int height);

    SIZE m_templateClient{};
    SIZE m_minimumSize{};
    std::vector<std::pair<ControlAnchor, HWND>> m_controls;
    std::vector<RECT> m_places;
};
