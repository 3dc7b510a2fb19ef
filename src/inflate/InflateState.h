// The decompressor's one state record and its services: buffered bit input from the
// archive, the output window with its emission, the message pump, progress and abort.
// Re-entered only through the message pump and the progress message (RequestAbort).
#pragma once

#include <type_traits>

#include "Types.h"
#include "platform/win32.h"

constexpr u32 InputBlockSize = 2048;
constexpr u32 WindowSize = 32768;
constexpr u32 ProgressSwitchOver = 1000000;
constexpr i16 ProgressCap = 100;

struct InflateStateRecord
{
    u32 CrcTable[256];
    u8 InputBuffer[InputBlockSize];
    i16 InputPosition;
    i16 InputLastIndex;  // -1: empty
    HWND ProgressWindow;
    // With a progress window, the command id each percentage is sent with; without one, the
    // virtual key that aborts while held down (0: none). Only one of the two is ever in use.
    i16 ProgressCommandId;
    u16 WindowPosition;
    u32 BitBuffer;  // the next bit of the stream is bit 0
    u8 BitCount;
    HANDLE ArchiveFile;
    HANDLE TargetFile;
    char ArchivePath[PathBufferSize];
    u32 CompressedSize;
    u32 BytesRead;  // read-ahead included
    i16 LastPercentage;
    u32 CrcAccumulator;  // not inverted
    u16 LocalHeaderFlags;
    bool AbortFlag;
    bool InputExhausted;
    u8* Window;
    u32 LastService;  // the tick count of the last message pump
};

static_assert(std::is_trivially_copyable_v<InflateStateRecord>);

extern constinit InflateStateRecord InflateState;

extern const u16 LowBitMask[17];

// Back to the all-zero start state with the CRC table filled; for tests.
void InflateStateReset();

void EnsureBits(u8 n);
void SkipBits(u8 n);
void RefillInput();
bool EmitWindow(u16 count);
void ServiceMessages();
// The pump while data flows: by the clock, since under some systems an empty pump costs as
// much as decoding a block, and Cancel and redraws need an answer only within tens of ms.
void ServiceMessagesWhenDue();
constexpr u32 ServiceIntervalMs = 8;
void ReportEntryProgress();
void RequestAbort();
i32 CopyStoredEntry();
// Closes the archive file unless it is closed already, and marks it closed: the engine closes
// it after a failed read, and the entry's own close afterwards must then do nothing.
void CloseArchiveFile();
