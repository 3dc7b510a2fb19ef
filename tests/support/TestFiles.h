// Files and folders for tests, made through the Win32 API so one source serves both targets.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

// A fresh folder under the temp path, removed with all it holds when the object goes.
struct TempDir
{
    TempDir();
    // Under another folder, such as a drive or share root; parent ends in '\'.
    explicit TempDir(const std::string& parent);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path;  // ends in '\'

    std::string operator/(const std::string& name) const
    {
        return Path + name;
    }
};

using Bytes = std::vector<unsigned char>;

void WriteBytes(const std::string& path, const Bytes& bytes);
bool PathExists(const std::string& path);
// The names in a folder (path ends in '\'), without "." and "..", sorted: by listing, so that
// no name normalisation of the system hides a blank.
std::vector<std::string> FolderListing(const std::string& folder);
Bytes ReadBytes(const std::string& path);
// Bytes of a fixed pseudo-random sequence: the same for a seed on every run.
Bytes RandomBytes(std::size_t size, unsigned seed = 1);
// The Windows form of a host path: Wine's drive Z: is the host's root.
std::string WindowsPath(std::string hostPath);
// A path to a peer-made archive, in the form the target's file API takes.
std::string PeerPath(const std::string& name);
// Puts the test platform back to its defaults (host layer state; nothing on Windows).
void ResetPlatform();

// A drive root ("T:\") and a network share root ("\\sfxsrv\share\") of the tests' own, or
// empty when there is none. On the host they map to folders made here; under Wine the test
// runner links them in the prefix's dosdevices folder and names them in SFX_WINE_DRIVE and
// SFX_WINE_SHARE.
struct TestRoots
{
    TestRoots();
    bool Missing() const;

    TempDir DriveFolder;
    TempDir ShareFolder;
    std::string Drive;
    std::string Share;
};
