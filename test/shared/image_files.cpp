#include "shared/image_files.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string>

namespace zor::test::shared {

bool IsImageFile(const std::filesystem::path& path)
{
    static const char* const kImageExtensions[] = {".png", ".jpg",  ".jpeg", ".bmp", ".tif",
                                                   ".tiff", ".webp", ".pgm", ".ppm"};
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(std::begin(kImageExtensions), std::end(kImageExtensions), extension) !=
           std::end(kImageExtensions);
}

}  // namespace zor::test::shared
