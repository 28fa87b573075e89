#include "generic_face.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace zor {
namespace estimator {

FaceModel3d GenericFace()
{
    FaceModel3d face;
    face.landmarks = {30, 33, 27, 8, 36, 39, 42, 45, 48, 54};
    face.points = {
        {0.0f, 0.0f, 0.0f},       // nose tip
        {0.0f, 8.0f, 15.0f},      // base of the nose
        {0.0f, -40.0f, 22.0f},    // top of the nose bridge
        {0.0f, 75.0f, 25.0f},     // chin
        {-45.0f, -37.0f, 40.0f},  // outer corner of the eye on the image's left
        {-16.0f, -35.0f, 30.0f},  // its inner corner
        {16.0f, -35.0f, 30.0f},   // inner corner of the eye on the image's right
        {45.0f, -37.0f, 40.0f},   // its outer corner
        {-25.0f, 28.0f, 28.0f},   // mouth corner on the image's left
        {25.0f, 28.0f, 28.0f},    // mouth corner on the image's right
    };
    return face;
}

std::string FaceModelFingerprint(const FaceModel3d& face)
{
    // FNV-1a over the numbers as the model file writes them.
    uint32_t hash = 2166136261u;
    const auto add = [&hash](const char* text) {
        for (const char* c = text; *c != '\0'; ++c) {
            hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
        }
    };
    char text[96];
    for (size_t i = 0; i < face.landmarks.size(); ++i) {
        std::snprintf(text, sizeof text, "%d;", face.landmarks[i]);
        add(text);
    }
    for (const cv::Point3f& p : face.points) {
        std::snprintf(text, sizeof text, "%.9g,%.9g,%.9g;", p.x, p.y, p.z);
        add(text);
    }
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(hash));
    return digits;
}

}  // namespace estimator
}  // namespace zor
