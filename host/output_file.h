// Writing the host's files so that a file under its final name is always
// complete: the bytes go to a temporary name in the same folder, which is
// renamed over the final name only once everything was written.
#pragma once

#include <functional>
#include <string>

#include "host/animation_writers.h"

// Checks, before a build, that a file can be created in the folder of path
// and that path is not a folder. On failure why says what is wrong.
bool CheckOutputWritable(const std::string& path, std::string& why);

// Runs encode with a sink onto a temporary file beside path, then renames it
// to path, replacing an older file, unless the run was interrupted meanwhile.
// On any failure or interruption nothing is left behind and why says what
// went wrong.
bool WriteFileAtomically(const std::string& path, const std::function<bool(ByteSink&)>& encode,
                         std::string& why);

// The text of a system error code, on one line.
std::string SystemErrorText(unsigned long code);
