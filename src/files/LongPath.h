// The long names the file system stores for a path typed or passed in short form.
#pragma once

// Rewrites a drive-letter path in place with the long names the file system stores; other
// paths stay as they are.
void ExpandLongPath(char* path);
