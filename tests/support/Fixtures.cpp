#include "support/Fixtures.h"

#include "context/SfxContext.h"
#include "inflate/InflateState.h"
#include "progress/ProgressDialog.h"
#include "text/Text.h"

#if !defined(_WIN32)
#include "support/HostControl.h"
#include "support/HostMessages.h"
#endif

void FreshState::SetUp()
{
    ResetPlatform();
#if !defined(_WIN32)
    HostMessagesReset();
#endif
    InflateStateReset();
    SfxContextReset();
    ProgressReset();
}

void FreshState::TearDown()
{
    ResetPlatform();
}

void InTempDir::SetUp()
{
    FreshState::SetUp();
    GetCurrentDirectoryA(MAX_PATH, SavedDirectory);
}

void InTempDir::TearDown()
{
    SetCurrentDirectoryA(SavedDirectory);
    FreshState::TearDown();
}

HeapBlocks::HeapBlocks()
{
#if !defined(_WIN32)
    Before = HostHeapBlocks();
#endif
}

void HeapBlocks::ExpectNoneAdded([[maybe_unused]] const std::string& what) const
{
#if !defined(_WIN32)
    EXPECT_EQ(HostHeapBlocks(), Before) << "heap blocks left: " << what;
#endif
}

void ExpectNothingLeft([[maybe_unused]] const std::string& after)
{
#if !defined(_WIN32)
    EXPECT_EQ(HostHeapBlocks(), 0u) << "heap blocks left after " << after;
    EXPECT_EQ(HostOpenFiles(), 0u) << "files left open after " << after;
#endif
}
