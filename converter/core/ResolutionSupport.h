#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::converter {

// "1024 x 768": decimal width, " x ", decimal height, no padding.
std::string ResolutionLabel(std::int64_t width, std::int64_t height);

// The labels an edition supports, in the order they are tested; empty for any other title.
const std::vector<std::string> &SupportedResolutions(const std::string &edition);

// True when edition (compared exactly) lists the label of width x height.
bool ResolutionSupported(const std::string &edition, std::int64_t width, std::int64_t height);

} // namespace kv::converter
