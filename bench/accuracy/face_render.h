#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "face_mesh.h"

namespace zor {
namespace bench {

// The rotation of a head at yaw, pitch and roll degrees in camera axes (x
// to the image's right, y down, z away from the camera), with the pose
// estimator's signs: R = Rz(roll) * Ry(-yaw) * Rx(-pitch), so that yaw is
// positive when the face turns toward the image's right, pitch when it
// tilts up, roll when it tilts clockwise in the image.
cv::Matx33d HeadRotation(double yaw, double pitch, double roll);

// The angle in degrees of the rotation that takes `a` to `b`.
double RotationAngle(const cv::Matx33d& a, const cv::Matx33d& b);

// A pinhole camera: focal length in pixels, principal point in continuous
// image coordinates (pixel (i, j) covers [i, i + 1) x [j, j + 1)).
struct Camera {
    cv::Size size;
    double focal = 0.0;
    cv::Point2d principal;

    cv::Matx33d Matrix() const;
};

// A camera with a focal length of the image's width, looking through the
// image's centre.
Camera CameraFor(cv::Size size);

// Where the mesh sits: each vertex v (in the mesh's axes) goes to
// rotation * (v - pivot in camera axes) + translation.
struct MeshPlacement {
    cv::Matx33d rotation = cv::Matx33d::eye();
    cv::Point3d pivot;        // in camera axes, centimetres
    cv::Point3d translation;  // in camera axes, centimetres
};

// The mesh's vertices in camera axes (x, -y, -z of the mesh's own axes).
std::vector<cv::Point3d> CameraAxesVertices(const FaceMesh& mesh);

// The vertices of the placed mesh in camera coordinates.
std::vector<cv::Point3d> PlacedVertices(const FaceMesh& mesh, const MeshPlacement& placement);

// Projects camera coordinates to continuous image coordinates.
std::vector<cv::Point2f> Project(const std::vector<cv::Point3d>& points, const Camera& camera);

// The point of the placed mesh's surface seen at `image` (continuous image
// coordinates), in camera coordinates: on the nearest triangle facing the
// camera that covers it, by its barycentric coordinates there. False when
// no triangle covers it.
bool SurfacePointAt(const FaceMesh& mesh, const MeshPlacement& placement, const Camera& camera,
                    const cv::Point2f& image, cv::Point3d& surface);

// The texture of the mesh (u, v in [0, 1] across its `size` x `size`
// pixels) cut out of a frontal photo by the affine map that takes the
// texture coordinates of the vertices `anchors` nearest (least squares) to
// the photo points `photoPoints` (continuous image coordinates). `residual`
// gets the mean distance in photo pixels that the map leaves.
cv::Mat TextureFromPhoto(const FaceMesh& mesh, const cv::Mat& photo, const std::vector<int>& anchors,
                         const std::vector<cv::Point2f>& photoPoints, int size, double& residual);

// Renders the textured mesh, placed by `placement`, over `background`
// (8-bit BGR, of the camera's size): each triangle that faces the camera is
// filled by an affine warp of its texture triangle, farther triangles
// first.
cv::Mat RenderMesh(const FaceMesh& mesh, const cv::Mat& texture, const MeshPlacement& placement,
                   const Camera& camera, const cv::Mat& background);

}  // namespace bench
}  // namespace zor
