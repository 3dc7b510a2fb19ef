// Test controls of the host stand-in for Win32. Only host builds have these.
#pragma once

#include <cstddef>
#include <string>

// Restores every default: code page 1252 with OEM 437, drive C: at "/", no UNC shares, a
// heap that never fails, no open files, no windows, strings or scripted answers.
void HostReset();

// Selects the ANSI and OEM code pages the text functions follow: 1252 (OEM 437) or 932.
void HostSetCodePage(unsigned ansiCodePage);

// Maps a drive letter or a \\server\share root to a host directory.
void HostMapDrive(char letter, const std::string& directory);
void HostMapShare(const std::string& server, const std::string& share,
                  const std::string& directory);
// The host path a Win32 path stands for.
std::string HostPath(const char* win32Path);

// Makes the n-th heap request from now fail (1 = the next one); 0 never.
void HostFailAllocation(unsigned n);
// Heap blocks currently allocated through HeapAlloc.
std::size_t HostHeapBlocks();
// Files currently open through CreateFileA.
std::size_t HostOpenFiles();

// Limits every ReadFile to at most this many bytes (0: no limit), so tests can cross every
// refill boundary; and fails writes with ERROR_DISK_FULL once this many bytes were written
// in total (-1: never).
void HostLimitReads(unsigned maxBytes);
void HostFailWritesAfter(long long bytes);
