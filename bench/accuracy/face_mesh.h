#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace zor {
namespace bench {

// MediaPipe's canonical face mesh: vertices in centimetres (x to the
// face's left as seen by the viewer, so the image's right; y up; z toward
// the viewer), a texture coordinate per vertex (u to the image's right,
// v down, both in [0, 1]) and triangles as vertex numbers.
struct FaceMesh {
    std::vector<cv::Point3f> vertices;
    std::vector<cv::Point2f> uv;
    std::vector<cv::Vec3i> triangles;
};

// Reads the mesh from MediaPipe's face geometry pipeline metadata
// (geometry_pipeline_metadata_landmarks.binarypb: a protocol buffer whose
// field 1 is the mesh, with its vertex buffer of x, y, z, u, v floats in
// field 3 and its triangle index buffer in field 4). False with `error`
// set when the file cannot be read or does not hold such a mesh.
bool ReadFaceMesh(const std::string& path, FaceMesh& mesh, std::string& error);

}  // namespace bench
}  // namespace zor
