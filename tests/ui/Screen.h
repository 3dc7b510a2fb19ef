// Pictures of the screen for the UI tests: a capture through GDI, the pixels of a window in
// it, and PNG files a person can open.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Pixels as 0x00RRGGBB, rows from the top.
struct Image
{
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels;

    uint32_t At(int x, int y) const
    {
        return Pixels[static_cast<size_t>(y) * Width + x];
    }
};

// What paint draws into a device context over a bitmap of that size, cleared to black.
Image Paint(int width, int height, const std::function<void(HDC)>& paint);
// The whole screen as it is now.
Image CaptureScreen();
// The part of image inside rect (screen coordinates), clipped to the image.
Image Crop(const Image& image, RECT rect);
// A system colour (GetSysColor's index) in Image's pixel order.
uint32_t SystemPixel(int colorIndex);
// False when the file cannot be written.
bool SavePng(const Image& image, const std::string& path);
