// Decompressor state and services. While data flows, every read of compressed data goes
// through RefillInput, which with the stored copy is where messages are pumped and progress
// is sent; so the input-exhausted flag changes only there, and the abort flag there and at
// the entry's own 0 % and 100 % messages.
#include "inflate/InflateState.h"

#include "files/FileSystem.h"
#include "inflate/Crc32.h"

constinit InflateStateRecord InflateState = {};

constexpr u16 LowBitMask[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F,
                                0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF,
                                0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};
static_assert(sizeof(LowBitMask) / sizeof(LowBitMask[0]) == 17);

constexpr u32 ReadAheadSlack = 2;

void InflateStateReset()
{
    InflateState = InflateStateRecord{};
    InitCrcTable();
}

void EnsureBits(u8 n)
{
    SFX_ASSERT(n <= 16);
    while (InflateState.BitCount < n) {
        if (InflateState.InputPosition > InflateState.InputLastIndex)
            RefillInput();
        u8 next = InflateState.InputBuffer[InflateState.InputPosition];
        InflateState.InputPosition = static_cast<i16>(InflateState.InputPosition + 1);
        InflateState.BitBuffer |= static_cast<u32>(next) << InflateState.BitCount;
        InflateState.BitCount = static_cast<u8>(InflateState.BitCount + 8);
    }
}

void SkipBits(u8 n)
{
    SFX_ASSERT(n <= InflateState.BitCount);
    InflateState.BitBuffer >>= n;
    InflateState.BitCount = static_cast<u8>(InflateState.BitCount - n);
}

void CloseArchiveFile()
{
    if (InflateState.ArchiveFile != INVALID_HANDLE_VALUE)
        FsClose(InflateState.ArchiveFile);
    InflateState.ArchiveFile = INVALID_HANDLE_VALUE;
}

void RefillInput()
{
    // No sum wraps: an entry and the blocks read past it lie within a file under 4 GiB.
    if (InflateState.CompressedSize + ReadAheadSlack < InflateState.BytesRead) {
        InflateState.InputExhausted = true;
        InflateState.InputLastIndex = static_cast<i16>(InputBlockSize - 1);
        InflateState.InputPosition = 0;
        return;
    }
    ServiceMessagesWhenDue();
    ReportEntryProgress();
    u16 count = 0;
    // A handle closed by an earlier failure reads as another failure.
    bool failed = InflateState.ArchiveFile == INVALID_HANDLE_VALUE;
    if (!failed) {
        // Always a whole block: the read-ahead past the entry is never decoded.
        FsRead(InflateState.ArchiveFile, InflateState.InputBuffer, InputBlockSize, count);
        failed = FsLastError != 0 || count == 0;
    }
    if (failed) {
        CloseArchiveFile();
        InflateState.InputExhausted = true;
        count = InputBlockSize;  // stale bytes serve as filler
    }
    InflateState.BytesRead += count;
    InflateState.InputLastIndex = static_cast<i16>(count - 1);
    InflateState.InputPosition = 0;
}

bool EmitWindow(u16 count)
{
    SFX_ASSERT(count <= WindowSize);
    u16 written = 0;
    FsWrite(InflateState.TargetFile, InflateState.Window, count, written);
    bool ok = written == count && FsLastError == 0;
    if (!ok)
        MessageBeep(0);
    AddToCrc(InflateState.Window, count, InflateState.CrcAccumulator);
    return ok;
}

void ServiceMessages()
{
    InflateState.LastService = GetTickCount();
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (InflateState.ProgressWindow == nullptr ||
            IsDialogMessageA(InflateState.ProgressWindow, &message) == FALSE) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

void ServiceMessagesWhenDue()
{
    if (GetTickCount() - InflateState.LastService >= ServiceIntervalMs)
        ServiceMessages();
}

static i16 EntryPercentage()
{
    u32 size = InflateState.CompressedSize;
    u32 read = InflateState.BytesRead;
    // Any result above 100 is capped; also where the value would wrap into that range in 16
    // bits.
    if (read <= ProgressSwitchOver) {
        u32 percentage = read * 100 / size;
        return percentage > ProgressCap ? ProgressCap : static_cast<i16>(percentage);
    }
    double percentage = static_cast<double>(read) * 100.0 / static_cast<double>(size);
    return percentage >= ProgressCap + 1.0 ? ProgressCap : static_cast<i16>(percentage);
}

void ReportEntryProgress()
{
    if (InflateState.CompressedSize == 0)
        return;
    i16 percentage = EntryPercentage();
    if (percentage == InflateState.LastPercentage)
        return;
    InflateState.LastPercentage = percentage;
    if (InflateState.ProgressWindow != nullptr) {
        // The progress window's procedure runs inside this call and may call RequestAbort.
        SendMessageA(InflateState.ProgressWindow, WM_COMMAND,
                     static_cast<WPARAM>(static_cast<LPARAM>(InflateState.ProgressCommandId)),
                     static_cast<LPARAM>(percentage));
    } else if (InflateState.ProgressCommandId != 0) {
        InflateState.AbortFlag = GetAsyncKeyState(InflateState.ProgressCommandId) < 0;
    }
}

void RequestAbort()
{
    InflateState.AbortFlag = true;
}

i32 CopyStoredEntry()
{
    while (InflateState.BytesRead < InflateState.CompressedSize && !InflateState.AbortFlag) {
        u32 remaining = InflateState.CompressedSize - InflateState.BytesRead;
        u16 wanted = static_cast<u16>(remaining < WindowSize ? remaining : WindowSize);
        u16 got = 0;
        if (InflateState.ArchiveFile == INVALID_HANDLE_VALUE)
            return ResultReadFailed;
        FsRead(InflateState.ArchiveFile, InflateState.Window, wanted, got);
        if (FsLastError != 0)
            return ResultReadFailed;  // the archive stays open
        if (!EmitWindow(got))
            return ResultWriteFailed;
        InflateState.BytesRead += got;
        ServiceMessagesWhenDue();
        ReportEntryProgress();
        if (got != wanted) {
            CloseArchiveFile();
            return ResultReadFailed;
        }
    }
    return InflateState.AbortFlag ? ResultAborted : ResultOk;
}
