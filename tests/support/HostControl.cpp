// The fault switches and call counts behind the host port's file and heap seams.
#include "support/HostControl.h"

#include "support/HostMessages.h"
#include "support/HostWindows.h"

namespace {

struct FaultState
{
    unsigned FailAllocation = 0;
    unsigned ReadLimit = 0;
    long long WriteBudget = -1;
    HostCallCounts Calls;
};

FaultState& Faults()
{
    static FaultState state;
    return state;
}

bool FailAllocation()
{
    unsigned& fail = Faults().FailAllocation;
    return fail != 0 && --fail == 0;
}

DWORD ReadLimit(DWORD count)
{
    unsigned limit = Faults().ReadLimit;
    return limit != 0 && count > limit ? limit : count;
}

DWORD WriteRoom(DWORD count)
{
    long long& budget = Faults().WriteBudget;
    if (budget < 0)
        return count;
    DWORD room = static_cast<long long>(count) > budget ? static_cast<DWORD>(budget) : count;
    budget -= room;
    return room;
}

void Called(HostCall call, const char* name)
{
    HostCallCounts& calls = Faults().Calls;
    switch (call) {
        case HostCall::CreateFile:
            ++calls.CreateFile;
            break;
        case HostCall::CreateDirectory:
            ++calls.CreateDirectory;
            calls.DirectoryNames.push_back(name);
            break;
        case HostCall::FindFirstFile:
            ++calls.FindFirstFile;
            break;
        case HostCall::SetCurrentDirectory:
            ++calls.SetCurrentDirectory;
            break;
    }
}

void InstallSeams()
{
    HostSeam.FailAllocation = FailAllocation;
    HostSeam.ReadLimit = ReadLimit;
    HostSeam.WriteRoom = WriteRoom;
    HostSeam.Called = Called;
    HostInstallMessageSeams();
}

// A test that never resets still meets the scripted messages and the counts.
const bool SeamsInstalled = (InstallSeams(), true);

}  // namespace

void HostReset()
{
    HostPortReset();
    Faults() = FaultState{};
    InstallSeams();
    HostWindowsReset();
}

void HostFailAllocation(unsigned n)
{
    Faults().FailAllocation = n;
}

void HostLimitReads(unsigned maxBytes)
{
    Faults().ReadLimit = maxBytes;
}

void HostFailWritesAfter(long long bytes)
{
    Faults().WriteBudget = bytes;
}

HostCallCounts& HostCalls()
{
    return Faults().Calls;
}

void HostSetDirectorySize(unsigned long long size)
{
    HostSeam.DirectorySize = size;
}
