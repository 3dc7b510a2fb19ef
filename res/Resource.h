// Resource ids shared by the resource script and the code. Plain defines: the resource
// compiler reads this file through its preprocessor.
#pragma once

// Destination dialog "InputDialog".
#define ID_DESTINATION_EDIT 101
#define ID_BROWSE_BUTTON    102
#define ID_CONFIRM_CHECK    103

// Progress window "DLG2FILEACTIONMIN". The label's id doubles as the command id of the
// progress updates.
#define ID_PROGRESS_LABEL 120
#define ID_STATUS_TEXT    130
#define ID_ENTRY_BAR      200
#define ID_OVERALL_BAR    210

// String table.
#define IDS_BROWSE_TITLE       1
#define IDS_FROM               2
#define IDS_TO                 3
#define IDS_FILE_EXISTS        4
#define IDS_NOTHING_TO_EXTRACT 5
#define IDS_ABORTED            6
#define IDS_NOT_SUCCESSFUL     7
#define IDS_WRITE_ERROR        8
#define IDS_WRITE_PROTECTED    9
#define IDS_CANNOT_START       10

// The shell's icon for the file; no code loads it.
#define IDI_PROGRAM 1

#define ID_MANIFEST 1
