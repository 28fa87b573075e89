#include "face_render.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

namespace zor {
namespace bench {
namespace {

cv::Matx33d RotationX(double radians)
{
    const double c = std::cos(radians), s = std::sin(radians);
    return cv::Matx33d(1, 0, 0, 0, c, -s, 0, s, c);
}

cv::Matx33d RotationY(double radians)
{
    const double c = std::cos(radians), s = std::sin(radians);
    return cv::Matx33d(c, 0, s, 0, 1, 0, -s, 0, c);
}

cv::Matx33d RotationZ(double radians)
{
    const double c = std::cos(radians), s = std::sin(radians);
    return cv::Matx33d(c, -s, 0, s, c, 0, 0, 0, 1);
}

// Continuous image coordinates to the pixel-index coordinates of OpenCV's
// warps (whose pixel (i, j) is the point (i, j)).
cv::Point2f ToIndex(const cv::Point2f& p)
{
    return p - cv::Point2f(0.5f, 0.5f);
}

}  // namespace

cv::Matx33d HeadRotation(double yaw, double pitch, double roll)
{
    const double toRadians = CV_PI / 180.0;
    return RotationZ(roll * toRadians) * RotationY(-yaw * toRadians) * RotationX(-pitch * toRadians);
}

double RotationAngle(const cv::Matx33d& a, const cv::Matx33d& b)
{
    const cv::Matx33d between = a.t() * b;
    const double cosine = (cv::trace(between) - 1.0) / 2.0;
    return std::acos(std::max(-1.0, std::min(1.0, cosine))) * 180.0 / CV_PI;
}

cv::Matx33d Camera::Matrix() const
{
    return cv::Matx33d(focal, 0, principal.x, 0, focal, principal.y, 0, 0, 1);
}

Camera CameraFor(cv::Size size)
{
    Camera camera;
    camera.size = size;
    camera.focal = size.width;
    camera.principal = cv::Point2d(size.width / 2.0, size.height / 2.0);
    return camera;
}

std::vector<cv::Point3d> CameraAxesVertices(const FaceMesh& mesh)
{
    std::vector<cv::Point3d> points;
    points.reserve(mesh.vertices.size());
    for (const cv::Point3f& v : mesh.vertices) {
        points.emplace_back(v.x, -v.y, -v.z);
    }
    return points;
}

std::vector<cv::Point3d> PlacedVertices(const FaceMesh& mesh, const MeshPlacement& placement)
{
    std::vector<cv::Point3d> points = CameraAxesVertices(mesh);
    for (cv::Point3d& p : points) {
        p = placement.rotation * (p - placement.pivot) + placement.translation;
    }
    return points;
}

std::vector<cv::Point2f> Project(const std::vector<cv::Point3d>& points, const Camera& camera)
{
    std::vector<cv::Point2f> image;
    image.reserve(points.size());
    for (const cv::Point3d& p : points) {
        image.emplace_back(static_cast<float>(camera.focal * p.x / p.z + camera.principal.x),
                           static_cast<float>(camera.focal * p.y / p.z + camera.principal.y));
    }
    return image;
}

bool SurfacePointAt(const FaceMesh& mesh, const MeshPlacement& placement, const Camera& camera,
                    const cv::Point2f& image, cv::Point3d& surface)
{
    const std::vector<cv::Point3d> placed = PlacedVertices(mesh, placement);
    const std::vector<cv::Point2f> projected = Project(placed, camera);
    double nearest = std::numeric_limits<double>::infinity();
    for (const cv::Vec3i& tri : mesh.triangles) {
        const cv::Point2d a = projected[tri[0]], b = projected[tri[1]], c = projected[tri[2]];
        const double area = (b - a).cross(c - a);
        const double textureArea = (mesh.uv[tri[1]] - mesh.uv[tri[0]]).cross(mesh.uv[tri[2]] - mesh.uv[tri[0]]);
        if (area * textureArea <= 0.0) {
            continue;
        }
        const cv::Point2d p(image.x, image.y);
        const double wa = (b - p).cross(c - p) / area;
        const double wb = (c - p).cross(a - p) / area;
        const double wc = 1.0 - wa - wb;
        if (wa < 0.0 || wb < 0.0 || wc < 0.0) {
            continue;
        }
        const cv::Point3d point = placed[tri[0]] * wa + placed[tri[1]] * wb + placed[tri[2]] * wc;
        if (point.z < nearest) {
            nearest = point.z;
            surface = point;
        }
    }
    return std::isfinite(nearest);
}

cv::Mat TextureFromPhoto(const FaceMesh& mesh, const cv::Mat& photo, const std::vector<int>& anchors,
                         const std::vector<cv::Point2f>& photoPoints, int size, double& residual)
{
    std::vector<cv::Point2f> from, to;
    for (size_t i = 0; i < anchors.size(); ++i) {
        from.push_back(ToIndex(mesh.uv[anchors[i]] * static_cast<float>(size)));
        to.push_back(ToIndex(photoPoints[i]));
    }
    // The affine map from the texture to the photo, least squares over all
    // anchors: rows of [x y 1 0 0 0] and [0 0 0 x y 1].
    cv::Mat a(static_cast<int>(2 * from.size()), 6, CV_64F, cv::Scalar(0));
    cv::Mat b(static_cast<int>(2 * from.size()), 1, CV_64F);
    for (int i = 0; i < static_cast<int>(from.size()); ++i) {
        const double row[3] = {from[i].x, from[i].y, 1.0};
        for (int k = 0; k < 3; ++k) {
            a.at<double>(2 * i, k) = row[k];
            a.at<double>(2 * i + 1, 3 + k) = row[k];
        }
        b.at<double>(2 * i) = to[i].x;
        b.at<double>(2 * i + 1) = to[i].y;
    }
    cv::Mat solution;
    cv::solve(a, b, solution, cv::DECOMP_SVD);
    cv::Matx23d toPhoto;
    for (int i = 0; i < 6; ++i) {
        toPhoto(i / 3, i % 3) = solution.at<double>(i);
    }
    residual = 0.0;
    for (size_t i = 0; i < from.size(); ++i) {
        const cv::Vec3d p(from[i].x, from[i].y, 1.0);
        const cv::Vec2d mapped = toPhoto * p;
        residual += std::hypot(mapped[0] - to[i].x, mapped[1] - to[i].y);
    }
    residual /= static_cast<double>(from.size());
    cv::Mat texture;
    cv::warpAffine(photo, texture, toPhoto, cv::Size(size, size), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                   cv::BORDER_REPLICATE);
    return texture;
}

cv::Mat RenderMesh(const FaceMesh& mesh, const cv::Mat& texture, const MeshPlacement& placement,
                   const Camera& camera, const cv::Mat& background)
{
    cv::Mat image = background.clone();
    const std::vector<cv::Point3d> placed = PlacedVertices(mesh, placement);
    const std::vector<cv::Point2f> projected = Project(placed, camera);

    // Painter's order: the triangle whose centre is farthest first.
    std::vector<double> depth(mesh.triangles.size());
    for (size_t t = 0; t < mesh.triangles.size(); ++t) {
        const cv::Vec3i& tri = mesh.triangles[t];
        depth[t] = placed[tri[0]].z + placed[tri[1]].z + placed[tri[2]].z;
    }
    std::vector<size_t> order(mesh.triangles.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return depth[a] > depth[b]; });

    const cv::Rect imageRect(cv::Point(0, 0), image.size());
    const float textureSize = static_cast<float>(texture.cols);
    cv::Mat patch, mask;
    for (size_t t : order) {
        const cv::Vec3i& tri = mesh.triangles[t];
        cv::Point2f dst[3], src[3];
        for (int k = 0; k < 3; ++k) {
            dst[k] = ToIndex(projected[tri[k]]);
            src[k] = ToIndex(mesh.uv[tri[k]] * textureSize);
        }
        // Facing the camera: seen from the camera, a front triangle of the
        // mesh turns the way its texture triangle does.
        const float area = (dst[1] - dst[0]).cross(dst[2] - dst[0]);
        const float textureArea = (src[1] - src[0]).cross(src[2] - src[0]);
        if (area * textureArea <= 0.0f) {
            continue;
        }
        const std::vector<cv::Point2f> corners(dst, dst + 3);
        const cv::Rect box = cv::boundingRect(corners) & imageRect;
        if (box.empty()) {
            continue;
        }
        cv::Point2f local[3];
        for (int k = 0; k < 3; ++k) {
            local[k] = dst[k] - cv::Point2f(static_cast<float>(box.x), static_cast<float>(box.y));
        }
        const cv::Mat toTexture = cv::getAffineTransform(local, src);
        cv::warpAffine(texture, patch, toTexture, box.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                       cv::BORDER_REPLICATE);
        mask = cv::Mat::zeros(box.size(), CV_8U);
        // Sixteenth-pixel corners, so that the fill follows the triangle.
        cv::Point fixed[3];
        for (int k = 0; k < 3; ++k) {
            fixed[k] = cv::Point(cvRound(local[k].x * 16), cvRound(local[k].y * 16));
        }
        cv::fillConvexPoly(mask, fixed, 3, cv::Scalar(255), cv::LINE_8, 4);
        patch.copyTo(image(box), mask);
    }
    return image;
}

}  // namespace bench
}  // namespace zor
