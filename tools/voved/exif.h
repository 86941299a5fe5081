// The camera model from an EXIF block: the one tag the tool needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voved::tool {

// The Model tag (0x0110) of IFD0 in `tiff` (the TIFF bytes of an EXIF block:
// byte-order mark, 42, offset of IFD0, ...), with trailing spaces and NULs
// removed. Empty when the block is damaged or has no such tag.
std::string CameraModelFromExif(const std::vector<uint8_t>& tiff);

}  // namespace voved::tool
