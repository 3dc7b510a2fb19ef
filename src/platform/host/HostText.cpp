// Code-page dependent text functions of the host port: the DBCS system metric and the
// conversions between code pages and UTF-16.
#include "platform/host/HostPort.h"
#include "platform/win32.h"

#include <cerrno>
#include <iconv.h>
#include <string>

namespace {

unsigned AnsiCodePage = 1252;

}  // namespace

void HostSetCodePage(unsigned ansiCodePage)
{
    AnsiCodePage = ansiCodePage;
}

int WINAPI GetSystemMetrics(int index)
{
    return index == SM_DBCSENABLED && AnsiCodePage == 932 ? 1 : 0;
}

// Letters compare without case in ASCII only: the tests' names need no more.
int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c & 0xFF; };
    for (;; ++a, ++b) {
        int d = lower(*a) - lower(*b);
        if (d != 0 || *a == 0)
            return d;
    }
}

namespace {

// The OEM code page goes with the ANSI one: 437 with 1252, 866 with 1251, and the double-byte
// system uses 932 for both.
const char* CharsetOf(UINT codePage)
{
    if (codePage == CP_UTF8)
        return "UTF-8";
    if (AnsiCodePage == 932)
        return "CP932";
    if (codePage == CP_OEMCP)
        return AnsiCodePage == 1251 ? "CP866" : "CP437";
    return AnsiCodePage == 1251 ? "CP1251" : "CP1252";
}

int Fail(DWORD code)
{
    SetLastError(code);
    return 0;
}

}  // namespace

// Through iconv, which knows every code page here; like the system's, the length -1 takes the
// terminator along, and the count 0 asks for the length only.
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide,
                               int wideLength)
{
    std::string in = length < 0 ? std::string(text, std::char_traits<char>::length(text) + 1)
                                : std::string(text, static_cast<std::size_t>(length));
    iconv_t convert = iconv_open("UTF-16LE", CharsetOf(codePage));
    std::u16string out;
    char* from = in.data();
    std::size_t fromLeft = in.size();
    while (fromLeft != 0) {
        char16_t unit[4];
        char* to = reinterpret_cast<char*>(unit);
        std::size_t toLeft = sizeof unit;
        std::size_t done = iconv(convert, &from, &fromLeft, &to, &toLeft);
        out.append(unit, (sizeof unit - toLeft) / 2);
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            if ((flags & MB_ERR_INVALID_CHARS) != 0) {
                iconv_close(convert);
                return Fail(ERROR_NO_UNICODE_TRANSLATION);
            }
            out.push_back(u'\xFFFD');
            ++from;
            --fromLeft;
        }
    }
    iconv_close(convert);
    if (wideLength == 0)
        return static_cast<int>(out.size());
    if (out.size() > static_cast<std::size_t>(wideLength))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    out.copy(reinterpret_cast<char16_t*>(wide), out.size());
    return static_cast<int>(out.size());
}

// No best fit: a character the code page lacks becomes the default character and is reported.
// NOLINTNEXTLINE(readability-function-size): the system's signature has eight parameters
int WINAPI WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideLength, LPSTR text,
                               int length, LPCSTR defaultChar, LPBOOL usedDefault)
{
    std::u16string in(wide, wideLength < 0 ? std::char_traits<char16_t>::length(wide) + 1
                                           : static_cast<std::size_t>(wideLength));
    iconv_t convert = iconv_open(CharsetOf(codePage), "UTF-16LE");
    std::string out;
    if (usedDefault != nullptr)
        *usedDefault = FALSE;
    for (std::size_t i = 0; i < in.size(); ++i) {
        // A surrogate pair goes as one character.
        std::size_t units = in[i] >= 0xD800 && in[i] < 0xDC00 && i + 1 < in.size() ? 2 : 1;
        char* from = reinterpret_cast<char*>(&in[i]);
        std::size_t fromLeft = units * 2;
        char bytes[8];
        char* to = bytes;
        std::size_t toLeft = sizeof bytes;
        if (iconv(convert, &from, &fromLeft, &to, &toLeft) == static_cast<std::size_t>(-1)) {
            out += defaultChar != nullptr ? *defaultChar : '?';
            if (usedDefault != nullptr)
                *usedDefault = TRUE;
        } else {
            out.append(bytes, sizeof bytes - toLeft);
        }
        i += units - 1;
    }
    iconv_close(convert);
    if (length == 0)
        return static_cast<int>(out.size());
    if (out.size() > static_cast<std::size_t>(length))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    out.copy(text, out.size());
    return static_cast<int>(out.size());
}
