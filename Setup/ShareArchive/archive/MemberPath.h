// Target paths of extracted members. A member may only name a file below the
// destination folder: no absolute name, no drive, no ".." and no device name.
#pragma once
#include <stddef.h>

const size_t kArchivePathCapacity = 260; // at most 259 characters

// True when directory + fileName names a file inside the destination. Leading
// separators of directory are dropped here and in BuildTargetPath.
bool MemberPathIsSafe(const char* directory, const char* fileName);

// destination: the folder with a separator appended unless it is empty or its
// last character is "\" or "/". False when it does not fit.
bool BuildDestination(char* destination, size_t capacity, const char* folder);

// destination + directory + fileName in the platform's form. False when the
// result does not fit or the platform cannot name it.
bool BuildTargetPath(char* target, size_t capacity, const char* destination, const char* directory,
                     const char* fileName);
