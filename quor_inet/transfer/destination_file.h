#pragma once
// The destination of a download, handled so that nothing the user had there is lost: the copy
// is written into a new file beside it and put in its place only once it is complete.

#include <string>

#include "quor_inet/transfer/download.h"

enum class DestinationKind {
    kMissing,      // nothing there yet (or the folder is missing: the creation will tell)
    kRegularFile,  // a file that the finished copy replaces
    kFolder,       // never written to
    kOther,        // a device, a pipe...: never written to
};

DestinationKind KindOfDestination(const char* path);

// Makes a new empty file beside path, under a name that nothing had (never an existing file),
// and gives its name. False when none can be made there.
bool MakeFileBeside(const std::string& path, std::string& madeOut);

// Puts the file from in the place of to, replacing a file there at once where the system can
// (elsewhere removing it first). False when it cannot; from is then still there.
bool PutFileInPlace(const std::string& from, const std::string& to);

void RemoveFile(const std::string& path);

// Why the latest file call of this thread failed (the system's own error, as a kind).
FileTrouble LastFileTrouble();
