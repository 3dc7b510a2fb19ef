#include "ui/Screen.h"

#include <zlib.h>

#include <algorithm>
#include <functional>

Image Paint(int width, int height, const std::function<void(HDC)>& paint)
{
    Image image;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        paint(memory);
        GdiFlush();
        const auto* pixels = static_cast<const uint32_t*>(bits);
        image.Width = width;
        image.Height = height;
        image.Pixels.assign(pixels, pixels + static_cast<size_t>(width) * height);
        for (uint32_t& pixel : image.Pixels)
            pixel &= 0x00FFFFFF;
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    return image;
}

Image CaptureScreen()
{
    HDC screen = GetDC(nullptr);
    int width = GetDeviceCaps(screen, HORZRES);
    int height = GetDeviceCaps(screen, VERTRES);
    Image image = Paint(width, height, [&](HDC memory) {
        BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    });
    ReleaseDC(nullptr, screen);
    return image;
}

Image Crop(const Image& image, RECT rect)
{
    rect.left = std::clamp<LONG>(rect.left, 0, image.Width);
    rect.right = std::clamp<LONG>(rect.right, rect.left, image.Width);
    rect.top = std::clamp<LONG>(rect.top, 0, image.Height);
    rect.bottom = std::clamp<LONG>(rect.bottom, rect.top, image.Height);
    Image part;
    part.Width = rect.right - rect.left;
    part.Height = rect.bottom - rect.top;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            part.Pixels.push_back(image.At(x, y));
    return part;
}

uint32_t SystemPixel(int colorIndex)
{
    COLORREF color = GetSysColor(colorIndex);
    return static_cast<uint32_t>(GetRValue(color)) << 16 |
           static_cast<uint32_t>(GetGValue(color)) << 8 | GetBValue(color);
}

static void PutBig32(std::string& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>(value >> shift & 0xFF);
}

static void PutChunk(std::string& out, const char* type, const std::string& data)
{
    PutBig32(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    PutBig32(out, static_cast<uint32_t>(
                      crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

bool SavePng(const Image& image, const std::string& path)
{
    // 8-bit RGB rows, each behind filter byte 0.
    std::string raw;
    raw.reserve(static_cast<size_t>(image.Height) * (image.Width * 3 + 1));
    for (int y = 0; y < image.Height; ++y) {
        raw += '\0';
        for (int x = 0; x < image.Width; ++x) {
            uint32_t pixel = image.At(x, y);
            raw += static_cast<char>(pixel >> 16 & 0xFF);
            raw += static_cast<char>(pixel >> 8 & 0xFF);
            raw += static_cast<char>(pixel & 0xFF);
        }
    }
    uLongf packedSize = compressBound(raw.size());
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), raw.size(), 6) != Z_OK)
        return false;
    packed.resize(packedSize);
    std::string header;
    PutBig32(header, static_cast<uint32_t>(image.Width));
    PutBig32(header, static_cast<uint32_t>(image.Height));
    header +=
        std::string("\x08\x02\x00\x00\x00", 5);  // depth 8, RGB, deflate, no filter, no interlace
    std::string png = "\x89PNG\r\n\x1a\n";
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", "");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, png.data(), static_cast<DWORD>(png.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == png.size();
}
