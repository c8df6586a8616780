#pragma once

#include <optional>
#include <string>

namespace kv::converter {

// folder as output paths begin with it: with a path separator at its end.
std::string WithTrailingSeparator(std::string folder);

// The output path for sequence number n: folder, name, n, ".jpg" run together.
std::string OutputPath(const std::string &folder, const std::string &name, int n);

// Why name cannot be the base of output file names: a path separator would write outside the
// save folder, a control character would forge the lines that report each file, and on Windows
// the characters its file names cannot hold end a run with an error. Nothing when it can.
std::optional<std::string> SaveNameProblem(const std::string &name);

// True when the system would open a device rather than create a file under the file name: on
// Windows, imaging's IsDeviceName.
bool NamesADevice(const std::string &fileName);

} // namespace kv::converter
