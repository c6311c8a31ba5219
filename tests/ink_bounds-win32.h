// Where a drawing's ink reaches, as Windows bounds what is drawn (wine: the letters' ink, not their widths).
#pragma once

#include <windows.h>

#include <functional>

inline RECT ink_bounds(const std::function<void(HDC)>& draw)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, CreateCompatibleBitmap(screen, 4000, 2000));
    SetBoundsRect(dc, nullptr, DCB_ENABLE | DCB_RESET);
    draw(dc);
    RECT bounds{};
    GetBoundsRect(dc, &bounds, 0);
    DeleteObject(SelectObject(dc, old));
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return bounds;
}
