#pragma once
// Keeps a picture of a window as a 24-bit BMP file, for people to look at
// after a test run (the runner collects them under the build folder).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

inline bool SaveWindowPicture(HWND window, const std::string& path) {
  RECT r{};
  if (!::GetWindowRect(window, &r)) return false;
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;
  ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME | RDW_INVALIDATE);
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files hold rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap && bits) {
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ok = ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != 0;
    ::SelectObject(memory, old);
    ::GdiFlush();
    const DWORD stride = ((width * 3) + 3) & ~3u;
    const DWORD imageSize = stride * height;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;
    if (std::FILE* f = ok ? std::fopen(path.c_str(), "wb") : nullptr) {
      ok = std::fwrite(&file, sizeof file, 1, f) == 1 &&
           std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f) == 1 &&
           std::fwrite(bits, 1, imageSize, f) == imageSize;
      ok = std::fclose(f) == 0 && ok;
    } else {
      ok = false;
    }
  }
  if (bitmap) ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return ok;
}
