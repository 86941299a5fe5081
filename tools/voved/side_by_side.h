// The before | after picture, shown as a viewer shows the input: when the
// input's EXIF orientation turns it, both halves are turned upright and the
// pair's EXIF says it is upright, so that before and after sit side by side
// instead of one above the other.
#pragma once

#include <memory>

#include "image.h"

namespace voved::tool {

// The pair picture of `input`: its size, upright, and its metadata.
ImageInfo PairInfo(const ImageInfo& input);

// A writer that takes pair lines in the input's order (before and after,
// each input.width pixels of LineChannels(input.kind) bytes) and gives
// `writer`, made for PairInfo(input), the upright picture. A turned picture
// is held whole until Finish.
std::unique_ptr<LineWriter> UprightPairs(std::unique_ptr<LineWriter> writer,
                                         const ImageInfo& input);

}  // namespace voved::tool
