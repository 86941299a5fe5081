// The few EXIF tags the tool reads or changes, through libexif.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voved::tool {

// `tiff` holds the TIFF bytes of an EXIF block (byte-order mark, 42, offset
// of IFD0, ...), as stored after the "Exif\0\0" marker prefix.

// The Model tag (0x0110) of IFD0, with trailing spaces and NULs removed.
// Empty when the block is damaged or has no such tag.
std::string CameraModelFromExif(const std::vector<uint8_t>& tiff);

// The Orientation tag (0x0112) of IFD0: 1 (upright) to 8; 1 when the block
// has none or a value out of range.
int OrientationFromExif(const std::vector<uint8_t>& tiff);

// The block with its Orientation set to 1, for a picture already turned
// upright; the block as it is when it has no orientation or cannot be
// rewritten.
std::vector<uint8_t> UprightExif(const std::vector<uint8_t>& tiff);

}  // namespace voved::tool
