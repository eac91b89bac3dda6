#pragma once
// Where the program and its data live on this machine.

#include <string>

namespace camfleet {

// Folder that holds the running executable, without a trailing separator.
// The display-string files and (when writable) the log files lie here.
// Never empty: falls back to the current directory when it cannot be found.
std::string ProgramDirectory();

// Overrides ProgramDirectory() for the rest of the process (tests, embedded use).
// An empty text restores the detected folder.
void SetProgramDirectory(const std::string& dir);

// True when files can be created in `dir`.
bool IsDirectoryWritable(const std::string& dir);

}  // namespace camfleet
