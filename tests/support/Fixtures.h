// The fixtures the unit tests share, by what a test needs: the same ground to start from, a
// folder of its own, and the check that nothing was left open or allocated.
#pragma once

#include <cstddef>
#include <string>

#include <gtest/gtest.h>

#include "support/TestFiles.h"

// Starts from the host layer's defaults (files, heap, messages, windows, code page 1252) and
// every module's state reset, with the CRC table and the text module set up as start-up sets
// them. Puts the host layer's defaults back afterwards, for the tests without a fixture.
struct FreshState : ::testing::Test
{
    void SetUp() override;
    void TearDown() override;
};

// A fresh state and a folder of the test's own, which the test may make the current
// directory: the current directory is put back before the folder goes, since Windows cannot
// remove the current directory.
struct InTempDir : FreshState
{
    void SetUp() override;
    void TearDown() override;

    TempDir Dir;
    char SavedDirectory[MAX_PATH] = {};
};

// The host heap's block count when made, to check later that what ran since left no block
// behind; Windows has nothing to count.
struct HeapBlocks
{
    HeapBlocks();
    void ExpectNoneAdded(const std::string& what) const;

    std::size_t Before = 0;
};

// On the host, that no heap block and no file handle is left after what `after` names; the
// host layer counts both, Windows has nothing to count.
void ExpectNothingLeft(const std::string& after);
