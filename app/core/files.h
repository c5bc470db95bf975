// Small file-system helpers of the builder.
#pragma once

#include <string>

#include "panelle/atomicfile.h"

// Writes data to path through a temporary file beside it that replaces path only when
// everything was written; a failure leaves an existing file as it was.
bool WriteFileAtomically(const std::string& path, const std::string& data);

// Copies a file's bytes. Throws BuildError naming the file that cannot be opened or written.
void StreamCopyFile(const std::string& source, const std::string& destination);

bool FileExists(const std::string& path);

// Removes a folder and everything in it; quiet about what is already gone.
void RemoveTree(const std::string& path);

// The folder of the running executable (without a trailing separator).
std::string ExecutableFolder();
