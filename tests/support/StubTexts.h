// The stub's own texts as its resources hold them: the string table and the dialogs'
// captions, for the tests that give the program its texts or check what it loads and shows.
#pragma once

#include "Resource.h"

// The string table by id: no text for id 0, nor after the last id.
constexpr const char* StubStrings[] = {
    "",
    "Please select the destination dir:",         // IDS_BROWSE_TITLE
    "From: ",                                     // IDS_FROM
    "To:   ",                                     // IDS_TO
    "File exists, overwrite?",                    // IDS_FILE_EXISTS
    "Nothing to extract!",                        // IDS_NOTHING_TO_EXTRACT
    "Unzip aborted!",                             // IDS_ABORTED
    "Unzip NOT successful!",                      // IDS_NOT_SUCCESSFUL
    "Error writing target file!",                 // IDS_WRITE_ERROR
    "Target write protected, overwrite anyway?",  // IDS_WRITE_PROTECTED
    "Error starting program!",                    // IDS_CANNOT_START
};
constexpr unsigned StubStringCount = sizeof StubStrings / sizeof StubStrings[0];
static_assert(StubStringCount == IDS_CANNOT_START + 1, "a text for every id");

constexpr const char* DialogCaption = "Self extracting ZIP file";
constexpr const char* ProgressCaption = "Unpacking files...";
