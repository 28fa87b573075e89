#pragma once

#include <filesystem>

namespace zor::test::shared {

// Whether `path` names an image a case may hold, by its extension in any
// case (.png, .jpg, .jpeg, .bmp, .tif, .tiff, .webp, .pgm, .ppm), as the
// recorder, the suite and the CMake case functions know them.
bool IsImageFile(const std::filesystem::path& path);

}  // namespace zor::test::shared
