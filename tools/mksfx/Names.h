// The rules an archive name must meet before the packer writes it: what the stub can write on
// Windows, safely, under the destination folder. And names and paths as messages show them,
// so the terminal never gets bytes that are not UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// In UTF-16 units, as Windows counts: a path holds 32,767, of which the destination takes
// some; a name of a folder or file holds 255.
constexpr std::size_t NameLimit = 32000;
constexpr std::size_t ComponentLimit = 255;

bool NameIsAscii(const std::string& name);
// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool NameIsUtf8(const std::string& name);
// The name with each byte that is no part of UTF-8, and each control character, as \xNN
// bytes.
std::string ShownName(const std::string& name);
// ShownName of the path without the "/./", "//" and leading "./" that joining and typing put
// in: "big/./z.img" shows as "big/z.img".
std::string ShownPath(const std::string& path);

// Why the stub could not write this name ('/' separators, a folder's ends in '/'), or empty
// when it can.
std::string NameProblem(const std::string& name);

// The first pair of names that Windows would take for one file (equal ignoring ASCII case and
// a folder's trailing '/'); false when there is none.
bool FindCaseClash(const std::vector<std::string>& names, std::size_t& first, std::size_t& second);
