// accuracy_bench [--step DEGREES] [--renders DIR] MODEL MESH PHOTO: the
// pose estimator's accuracy against synthetic ground truth. The canonical
// face mesh (MESH, MediaPipe's geometry pipeline metadata) is textured from
// the frontal PHOTO and rendered at known yaw, pitch and roll (-60..60,
// -30..30, -30..30 in steps of DEGREES, 15 by default) with a camera whose
// focal length is the image width, the nose tip on the optical axis. The
// angles are the estimator's: the head's rotation seen along the line of
// sight, the ray from the camera to the centre of the face (the centroid of
// the points of the mesh under the landmarks the estimator's 3D face is
// made of); each render is turned so that it shows its angles exactly in
// that sense. Each render goes through the estimator of MODEL. Per angle
// value, over the central region (|yaw| <= 30, |pitch| <= 15), over all
// and at the frontal pose, the program prints the found rate, the mean
// absolute and signed error per angle, and these geodesic errors (degrees)
// and landmark errors (pixels) over the ten landmarks the pose is solved
// from:
//   est, worst  the estimator as it runs (detection, landmarks, pose);
//   lm px       distance of its landmarks from their ground truth: the
//               points of the mesh's surface under its landmarks on the
//               frontal render, projected at the render's pose;
//   gt2d        the estimator's pose solver on the true positions: the
//               error of its generic 3D face alone;
//   mesh10      its landmarks solved against their true 3D points: the
//               error of the landmarks alone; mesh9 the same without the
//               chin;
//   2nd, lm px  a second landmark look, the crop re-centred on the first
//               look's landmarks and turned by its roll;
//   warp, lm px a second look at the image warped to turn the face back
//               by the first pose, the landmarks mapped back.
// The generic 3D face and the mesh disagree on what looking straight is:
// the pose solved from the true points of the frontal render, the offset,
// is a fixed turn in the head's own axes, so a reading R of a head whose
// truth is T is about T * offset. The same figures follow with each
// reading (the estimator's and gt2d) taken as R * offset^-1.
// Then each landmark's error over all poses and the hard ones. With
// --renders, every render is written there as a PNG with the found (green)
// and true (red) landmarks marked.
// Exits non-zero when the renderer and the estimator's pose convention
// disagree: the true image positions, solved against the true 3D points
// and seen along the line of sight, must give back the true pose, the
// anchors must be the landmarks of the estimator's 3D face, and the
// frontal render must show the texture where the mesh's vertices fall.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "face_mesh.h"
#include "face_render.h"
#include "second_looks.h"
#include "facepose/estimator/head_pose.h"
#include "facepose/estimator/pose_model_file.h"

namespace {

using zor::bench::FaceMesh;
using zor::estimator::PoseEstimate;
using zor::estimator::PoseEstimator;

// The ten landmarks the estimator's pose uses (numbers among the 68) and
// the canonical mesh's vertices at the same places.
struct Anchor {
    int landmark;
    int vertex;
    const char* name;
};
const Anchor kAnchors[] = {
    {30, 4, "nose tip"},
    {33, 2, "nose base"},
    {27, 168, "nose bridge"},
    {8, 152, "chin"},
    {36, 33, "eye L outer"},  // L: on the image's left
    {39, 133, "eye L inner"},
    {42, 362, "eye R inner"},
    {45, 263, "eye R outer"},
    {48, 61, "mouth L"},
    {54, 291, "mouth R"},
};
constexpr int kAnchorCount = sizeof kAnchors / sizeof kAnchors[0];
constexpr int kNoseVertex = 4;
constexpr int kChin = 8;
constexpr int kImageSize = 512;
constexpr double kDistanceCm = 40.0;

struct Pose {
    double yaw = 0.0, pitch = 0.0, roll = 0.0;
    cv::Matx33d Rotation() const { return zor::bench::HeadRotation(yaw, pitch, roll); }
};

Pose FromHeadPose(const zor::estimator::HeadPose& pose)
{
    return {pose.yaw, pose.pitch, pose.roll};
}

// The errors of one render.
struct Sample {
    Pose truth;
    cv::Matx33d truthRotation;  // seen along the line of sight
    bool found = false;
    cv::Matx33d readRotation;  // the estimator's
    bool modelOnlyFound = false;
    cv::Matx33d modelOnlyRotation;  // gt2d's
    Pose read;                // the estimator's angles
    Pose error;               // estimated minus true, per angle
    double rotation = 0.0;    // geodesic error of the estimator
    double landmarkPx = 0.0;  // mean anchor landmark error
    std::vector<double> anchorPx;  // each anchor landmark's error
    double modelOnly = 0.0;   // geodesic error, true 2D against the generic face
    double landmarksOnly = 0.0;  // geodesic error, estimated 2D against the mesh
    double noChin = 0.0;      // ... without the chin
    bool secondFound = false;
    double second = 0.0;      // geodesic error of the second look
    bool warpFound = false;
    double warp = 0.0;        // geodesic error of the frontalised look
    double warpLandmarkPx = 0.0;
    double secondLandmarkPx = 0.0;
    // The estimator's and gt2d's readings with the fixed offset between
    // the generic 3D face and the mesh removed.
    Pose offsetRead;
    Pose offsetError;
    double offsetRotation = 0.0;
    double offsetModelOnly = 0.0;
};

// A rotation in camera axes seen along the line of sight to `centre`
// (camera coordinates), as the estimator reports it.
cv::Matx33d SeenAlongSight(const cv::Matx33d& rotation, const cv::Point3d& centre)
{
    return zor::estimator::LineOfSight(cv::Vec3d(centre)).t() * rotation;
}

// The turn about the pivot that shows the mesh at `pose` seen along the
// line of sight to its centre (`centre` about the pivot, camera axes): the
// rotation R = LineOfSight(R * centre + translation) * pose, by fixed-point
// steps (the line of sight moves much less than the head turns).
cv::Matx33d TurnFor(const cv::Matx33d& pose, const cv::Point3d& centre, const cv::Point3d& translation)
{
    cv::Matx33d rotation = pose;
    for (int i = 0; i < 100; ++i) {
        const cv::Matx33d next = zor::estimator::LineOfSight(cv::Vec3d(rotation * centre + translation)) * pose;
        const double change = cv::norm(next - rotation);
        rotation = next;
        if (change < 1e-13) {
            break;
        }
    }
    return rotation;
}

// A pose from image points of the anchors against 3D points in camera
// axes, by SQPnP (a global solver: no starting guess), seen along the line
// of sight to `centre` (in the points' axes). False on failure.
bool SolveRotation(const std::vector<cv::Point3d>& model, const std::vector<cv::Point2f>& image,
                   const cv::Point3d& centre, const zor::bench::Camera& camera, cv::Matx33d& rotation)
{
    cv::Mat rvec, tvec;
    if (!cv::solvePnP(model, image, camera.Matrix(), cv::noArray(), rvec, tvec, false, cv::SOLVEPNP_SQPNP)) {
        return false;
    }
    cv::solvePnPRefineLM(model, image, camera.Matrix(), cv::noArray(), rvec, tvec);
    cv::Matx33d turn;
    cv::Rodrigues(rvec, turn);
    rotation = SeenAlongSight(turn, turn * centre + cv::Point3d(tvec.at<double>(0), tvec.at<double>(1),
                                                                 tvec.at<double>(2)));
    return true;
}

// The estimator's pose from the true image points of the anchors alone.
bool TruePointsPose(const PoseEstimator& estimator, const std::vector<cv::Point2f>& anchors, cv::Size size,
                    cv::Matx33d& rotation)
{
    PoseEstimate withTruth;
    withTruth.landmarks.assign(136, 0.0f);
    for (int i = 0; i < kAnchorCount; ++i) {
        withTruth.landmarks[2 * kAnchors[i].landmark] = anchors[i].x;
        withTruth.landmarks[2 * kAnchors[i].landmark + 1] = anchors[i].y;
    }
    if (!estimator.FindPose(size, withTruth)) {
        return false;
    }
    rotation = FromHeadPose(withTruth.pose).Rotation();
    return true;
}

std::vector<cv::Point2f> PointsOf(const std::vector<float>& landmarks, const std::vector<int>& numbers)
{
    std::vector<cv::Point2f> points;
    for (int i : numbers) {
        points.emplace_back(landmarks[2 * i], landmarks[2 * i + 1]);
    }
    return points;
}

std::vector<cv::Point2f> AnchorPoints(const std::vector<float>& landmarks)
{
    std::vector<int> numbers;
    for (const Anchor& a : kAnchors) {
        numbers.push_back(a.landmark);
    }
    return PointsOf(landmarks, numbers);
}

double MeanDistance(const std::vector<cv::Point2f>& a, const std::vector<cv::Point2f>& b)
{
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        sum += cv::norm(a[i] - b[i]);
    }
    return sum / static_cast<double>(a.size());
}

// The median difference (mean over the colour channels) between the render
// at each vertex's image position and the texture at its texture
// coordinates: a few grey levels when the texture lands where it belongs.
double MedianTextureMismatch(const FaceMesh& mesh, const cv::Mat& texture,
                             const zor::bench::MeshPlacement& placement, const zor::bench::Camera& camera,
                             const cv::Mat& render)
{
    const std::vector<cv::Point2f> image =
        zor::bench::Project(zor::bench::PlacedVertices(mesh, placement), camera);
    const cv::Rect renderRect(cv::Point(), render.size());
    const cv::Rect textureRect(cv::Point(), texture.size());
    std::vector<double> differences;
    for (size_t i = 0; i < image.size(); ++i) {
        const cv::Point at(cvFloor(image[i].x), cvFloor(image[i].y));
        const cv::Point uv(cvFloor(mesh.uv[i].x * texture.cols), cvFloor(mesh.uv[i].y * texture.rows));
        if (!renderRect.contains(at) || !textureRect.contains(uv)) {
            continue;
        }
        const cv::Vec3b a = render.at<cv::Vec3b>(at), b = texture.at<cv::Vec3b>(uv);
        differences.push_back((std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2])) / 3.0);
    }
    if (differences.empty()) {
        return 255.0;
    }
    std::nth_element(differences.begin(), differences.begin() + differences.size() / 2, differences.end());
    return differences[differences.size() / 2];
}

// Sums of one set of pose errors over the renders found: mean absolute and
// signed per angle, and the geodesic error of the pose and of gt2d's.
struct PoseErrorSums {
    double absYaw = 0, absPitch = 0, absRoll = 0, yaw = 0, pitch = 0, roll = 0;
    double rotation = 0, worst = 0, modelOnly = 0;

    void Add(const Pose& error, double rotationError, double modelOnlyError)
    {
        absYaw += std::abs(error.yaw);
        absPitch += std::abs(error.pitch);
        absRoll += std::abs(error.roll);
        yaw += error.yaw;
        pitch += error.pitch;
        roll += error.roll;
        rotation += rotationError;
        worst = std::max(worst, rotationError);
        modelOnly += modelOnlyError;
    }
};

struct Summary {
    int count = 0, found = 0, secondFound = 0;
    PoseErrorSums raw;
    PoseErrorSums offsetRemoved;
    double landmarkPx = 0, landmarksOnly = 0, noChin = 0, second = 0, secondLandmarkPx = 0, warp = 0,
           warpLandmarkPx = 0;
    int warpFound = 0;

    void Add(const Sample& s)
    {
        ++count;
        if (s.found) {
            ++found;
            raw.Add(s.error, s.rotation, s.modelOnly);
            offsetRemoved.Add(s.offsetError, s.offsetRotation, s.offsetModelOnly);
            landmarkPx += s.landmarkPx;
            landmarksOnly += s.landmarksOnly;
            noChin += s.noChin;
        }
        if (s.secondFound) {
            ++secondFound;
            second += s.second;
            secondLandmarkPx += s.secondLandmarkPx;
        }
        if (s.warpFound) {
            ++warpFound;
            warp += s.warp;
            warpLandmarkPx += s.warpLandmarkPx;
        }
    }

    void Print(const std::string& label) const
    {
        const double n = std::max(found, 1);
        const double m = std::max(secondFound, 1);
        const double w = std::max(warpFound, 1);
        std::printf("%-14s %3d/%-3d %5.1f %5.1f %5.1f  %+5.1f %+5.1f %+5.1f  %5.1f %5.1f  %5.1f %6.1f %6.1f"
                    " %6.1f  %5.1f %5.1f  %5.1f %5.1f\n",
                    label.c_str(), found, count, raw.absYaw / n, raw.absPitch / n, raw.absRoll / n, raw.yaw / n,
                    raw.pitch / n, raw.roll / n, raw.rotation / n, raw.worst, landmarkPx / n, raw.modelOnly / n,
                    landmarksOnly / n, noChin / n, second / m, secondLandmarkPx / m, warp / w, warpLandmarkPx / w);
    }

    void PrintOffsetRemoved(const std::string& label) const
    {
        const double n = std::max(found, 1);
        const PoseErrorSums& o = offsetRemoved;
        std::printf("%-14s %3d/%-3d %5.1f %5.1f %5.1f  %+5.1f %+5.1f %+5.1f  %5.1f %5.1f  %6.1f\n", label.c_str(),
                    found, count, o.absYaw / n, o.absPitch / n, o.absRoll / n, o.yaw / n, o.pitch / n, o.roll / n,
                    o.rotation / n, o.worst, o.modelOnly / n);
    }
};

void PrintHeader(const char* title)
{
    std::printf("\n%-14s %7s %5s %5s %5s  %5s %5s %5s  %5s %5s  %5s %6s %6s %6s  %5s %5s  %5s %5s\n", title,
                "found", "|yaw|", "|pit|", "|rol|", "yaw", "pitch", "roll", "est", "worst", "lm px", "gt2d",
                "mesh10", "mesh9", "2nd", "lm px", "warp", "lm px");
}

void PrintOffsetRemovedHeader(const char* title)
{
    std::printf("\n%-14s %7s %5s %5s %5s  %5s %5s %5s  %5s %5s  %6s\n", title, "found", "|yaw|", "|pit|",
                "|rol|", "yaw", "pitch", "roll", "est", "worst", "gt2d");
}

// The tables of errors per angle value and per region, raw or with the
// offset removed.
void PrintTables(const std::vector<Sample>& samples, bool offsetRemoved)
{
    const auto header = offsetRemoved ? PrintOffsetRemovedHeader : PrintHeader;
    const auto print = [offsetRemoved](const Summary& summary, const std::string& label) {
        if (offsetRemoved) {
            summary.PrintOffsetRemoved(label);
        } else {
            summary.Print(label);
        }
    };
    const std::pair<const char*, double Pose::*> axes[] = {
        {"yaw", &Pose::yaw}, {"pitch", &Pose::pitch}, {"roll", &Pose::roll}};
    for (const auto& axis : axes) {
        header(axis.first);
        std::map<double, Summary> rows;
        for (const Sample& s : samples) {
            rows[s.truth.*axis.second].Add(s);
        }
        for (const auto& row : rows) {
            char label[32];
            std::snprintf(label, sizeof label, "%+.0f", row.first);
            print(row.second, label);
        }
    }
    header("region");
    Summary all, central, frontal;
    for (const Sample& s : samples) {
        all.Add(s);
        if (std::abs(s.truth.yaw) <= 30 && std::abs(s.truth.pitch) <= 15) {
            central.Add(s);
        }
        if (s.truth.yaw == 0 && s.truth.pitch == 0 && s.truth.roll == 0) {
            frontal.Add(s);
        }
    }
    print(all, "all");
    print(central, "central");
    print(frontal, "frontal");
}

// Writes the render with the found anchor landmarks (green) and their true
// places (red) marked.
void WriteMarked(const std::string& folder, const Pose& pose, const cv::Mat& image,
                 const std::vector<cv::Point2f>& found, const std::vector<cv::Point2f>& truth)
{
    cv::Mat marked = image.clone();
    for (size_t i = 0; i < truth.size(); ++i) {
        if (i < found.size()) {
            cv::line(marked, found[i], truth[i], cv::Scalar(0, 255, 255));
            cv::circle(marked, found[i], 2, cv::Scalar(0, 255, 0), cv::FILLED);
        }
        cv::circle(marked, truth[i], 2, cv::Scalar(0, 0, 255), cv::FILLED);
    }
    char name[64];
    std::snprintf(name, sizeof name, "/y%+03.0f_p%+03.0f_r%+03.0f.png", pose.yaw, pose.pitch, pose.roll);
    cv::imwrite(folder + name, marked);
}

std::vector<double> Steps(double limit, double step)
{
    std::vector<double> values;
    for (double v = -limit; v <= limit + 1e-9; v += step) {
        values.push_back(std::abs(v) < 1e-9 ? 0.0 : v);
    }
    return values;
}

}  // namespace

int main(int argc, char** argv)
{
    double step = 15.0;
    std::string rendersDir;
    int arg = 1;
    for (; arg + 1 < argc && argv[arg][0] == '-'; arg += 2) {
        const std::string option = argv[arg];
        if (option == "--step") {
            step = std::atof(argv[arg + 1]);
        } else if (option == "--renders") {
            rendersDir = argv[arg + 1];
        } else {
            break;
        }
    }
    if (argc - arg != 3 || !(step > 0.0)) {
        std::fprintf(stderr, "usage: %s [--step DEGREES] [--renders DIR] MODEL MESH PHOTO\n", argv[0]);
        return 2;
    }
    std::string error;
    cv::FileStorage storage(argv[arg], cv::FileStorage::READ);
    const std::shared_ptr<zor::NetModel> model = zor::estimator::ReadPoseModel(storage.root(), error);
    auto* estimator = dynamic_cast<PoseEstimator*>(model.get());
    if (estimator == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[arg], error.c_str());
        return 1;
    }
    FaceMesh mesh;
    if (!zor::bench::ReadFaceMesh(argv[arg + 1], mesh, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const cv::Mat photo = cv::imread(argv[arg + 2], cv::IMREAD_COLOR);
    const std::vector<float> photoResult = photo.empty() ? std::vector<float>() : estimator->Run(photo);
    if (photoResult.size() < 136) {
        std::fprintf(stderr, "no face found in %s\n", argv[arg + 2]);
        return 1;
    }
    std::vector<int> anchorVertices, anchorLandmarks;
    for (const Anchor& a : kAnchors) {
        anchorVertices.push_back(a.vertex);
        anchorLandmarks.push_back(a.landmark);
    }
    // The face's centre is the centroid of the anchors' true points, as the
    // estimator's is that of its 3D face's points: the same places.
    if (anchorLandmarks != estimator->FaceModel().landmarks) {
        std::fprintf(stderr, "the anchors are not the landmarks of the estimator's 3D face\n");
        return 1;
    }
    double textureResidual = 0.0;
    const cv::Mat texture = zor::bench::TextureFromPhoto(mesh, photo, anchorVertices, AnchorPoints(photoResult),
                                                         1024, textureResidual);
    std::printf("mesh: %zu vertices, %zu triangles; texture from %s, anchors fitted within %.1f px\n",
                mesh.vertices.size(), mesh.triangles.size(), argv[arg + 2], textureResidual);

    const zor::bench::Camera camera = zor::bench::CameraFor(cv::Size(kImageSize, kImageSize));
    const cv::Mat background(camera.size, CV_8UC3, cv::Scalar::all(128));
    const std::vector<cv::Point3d> cameraAxes = zor::bench::CameraAxesVertices(mesh);
    zor::bench::MeshPlacement placement;
    placement.pivot = cameraAxes[kNoseVertex];
    placement.translation = cv::Point3d(0.0, 0.0, kDistanceCm);
    // The first look on the frontal face: where its crop sits relative to
    // its landmarks, and the points of the mesh's surface under its ten
    // anchor landmarks. Those points, in camera axes about the pivot, are
    // the ground truth of the anchors at every pose (the exact 3D model):
    // the landmark error below is the drift from the frontal look, and the
    // pose error at the frontal pose is the generic 3D face's alone.
    zor::bench::CropRule rule;
    double textureMismatch = 0.0;
    double frontalSide = 0.0;
    std::vector<cv::Point3d> meshModel;
    cv::Point3d meshCentre;  // their centroid: the face's centre
    // The same without the chin, the one point of the jaw line.
    std::vector<int> noChinNumbers;
    std::vector<cv::Point3d> noChinModel;
    {
        const cv::Mat frontal = zor::bench::RenderMesh(mesh, texture, placement, camera, background);
        PoseEstimate estimate;
        if (!estimator->FindFace(frontal, estimate) || !estimator->FindLandmarks(frontal, estimate) ||
            !estimator->FindPose(frontal.size(), estimate)) {
            std::fprintf(stderr, "no face found in the frontal render\n");
            return 1;
        }
        rule = zor::bench::LearnCropRule(estimate);
        textureMismatch = MedianTextureMismatch(mesh, texture, placement, camera, frontal);
        frontalSide = estimate.landmarkRegion.size.width;
        const std::vector<cv::Point2f> found = AnchorPoints(estimate.landmarks);
        std::vector<cv::Point3d> vertices;
        for (int i = 0; i < kAnchorCount; ++i) {
            cv::Point3d surface;
            if (!zor::bench::SurfacePointAt(mesh, placement, camera, found[i], surface)) {
                std::fprintf(stderr, "landmark %d of the frontal render is off the mesh\n", kAnchors[i].landmark);
                return 1;
            }
            meshModel.push_back(surface - placement.translation);
            meshCentre += meshModel.back() * (1.0 / kAnchorCount);
            vertices.push_back(cameraAxes[kAnchors[i].vertex] - placement.pivot + placement.translation);
        }
        for (int i = 0; i < kAnchorCount; ++i) {
            if (kAnchors[i].landmark != kChin) {
                noChinNumbers.push_back(kAnchors[i].landmark);
                noChinModel.push_back(meshModel[i]);
            }
        }
        std::printf("frontal render: the ten anchor landmarks lie %.1f px from the mesh vertices that stand for "
                    "them\n", MeanDistance(found, zor::bench::Project(vertices, camera)));
    }

    // The points of the placed mesh under the anchors, in camera
    // coordinates, and where it sits seen along the line of sight.
    const auto placeAnchors = [&](const cv::Matx33d& rotation) {
        std::vector<cv::Point3d> placed;
        for (const cv::Point3d& p : meshModel) {
            placed.push_back(rotation * p + placement.translation);
        }
        return placed;
    };
    const auto seenAlongSight = [&](const cv::Matx33d& rotation) {
        return SeenAlongSight(rotation, rotation * meshCentre + placement.translation);
    };

    // The offset: the estimator's pose from the true points of the face
    // at zero, against the truth.
    cv::Matx33d offset;
    {
        const cv::Matx33d turn = TurnFor(cv::Matx33d::eye(), meshCentre, placement.translation);
        cv::Matx33d read;
        if (!TruePointsPose(*estimator, zor::bench::Project(placeAnchors(turn), camera), camera.size, read)) {
            std::fprintf(stderr, "the true points of the frontal render give no pose\n");
            return 1;
        }
        offset = seenAlongSight(turn).t() * read;
    }

    std::vector<Sample> samples;
    double worstConvention = 0.0;
    for (double yaw : Steps(60, step)) {
        for (double pitch : Steps(30, step)) {
            for (double roll : Steps(30, step)) {
                Sample s;
                s.truth = {yaw, pitch, roll};
                placement.rotation = TurnFor(s.truth.Rotation(), meshCentre, placement.translation);
                s.truthRotation = seenAlongSight(placement.rotation);
                const cv::Matx33d& truth = s.truthRotation;
                const cv::Mat image = zor::bench::RenderMesh(mesh, texture, placement, camera, background);
                const std::vector<cv::Point2f> trueAnchors =
                    zor::bench::Project(placeAnchors(placement.rotation), camera);
                // The renderer and the estimator's convention agree when
                // the true points, solved and seen along the line of sight,
                // give back the true rotation, and the estimator's angles
                // of that rotation are the angles the render was made for.
                cv::Matx33d solved;
                if (SolveRotation(meshModel, trueAnchors, meshCentre, camera, solved)) {
                    worstConvention = std::max(worstConvention, zor::bench::RotationAngle(solved, truth));
                } else {
                    worstConvention = 180.0;
                }
                const Pose read = FromHeadPose(zor::estimator::PoseFromRotation(truth));
                worstConvention = std::max({worstConvention, std::abs(read.yaw - yaw), std::abs(read.pitch - pitch),
                                            std::abs(read.roll - roll)});

                const std::vector<float> result = estimator->Run(image);
                s.found = result.size() >= 139;
                if (s.found) {
                    const Pose found{result[136] * 90.0, result[137] * 90.0, result[138] * 90.0};
                    s.read = found;
                    s.readRotation = found.Rotation();
                    s.error = {found.yaw - yaw, found.pitch - pitch, found.roll - roll};
                    s.rotation = zor::bench::RotationAngle(s.readRotation, truth);
                    const std::vector<float> landmarks(result.begin(), result.begin() + 136);
                    s.landmarkPx = MeanDistance(AnchorPoints(landmarks), trueAnchors);
                    for (int i = 0; i < kAnchorCount; ++i) {
                        s.anchorPx.push_back(cv::norm(AnchorPoints(landmarks)[i] - trueAnchors[i]));
                    }

                    s.modelOnlyFound = TruePointsPose(*estimator, trueAnchors, image.size(), s.modelOnlyRotation);
                    s.modelOnly =
                        s.modelOnlyFound ? zor::bench::RotationAngle(s.modelOnlyRotation, truth) : 180.0;
                    s.landmarksOnly = SolveRotation(meshModel, AnchorPoints(landmarks), meshCentre, camera, solved)
                                          ? zor::bench::RotationAngle(solved, truth)
                                          : 180.0;
                    s.noChin = SolveRotation(noChinModel, PointsOf(landmarks, noChinNumbers), meshCentre, camera,
                                             solved)
                                   ? zor::bench::RotationAngle(solved, truth)
                                   : 180.0;
                    // Removing the offset: R * offset^-1.
                    const cv::Matx33d offsetRemoved = s.readRotation * offset.t();
                    s.offsetRead = FromHeadPose(zor::estimator::PoseFromRotation(offsetRemoved));
                    s.offsetError = {s.offsetRead.yaw - yaw, s.offsetRead.pitch - pitch, s.offsetRead.roll - roll};
                    s.offsetRotation = zor::bench::RotationAngle(offsetRemoved, truth);
                    s.offsetModelOnly =
                        s.modelOnlyFound ? zor::bench::RotationAngle(s.modelOnlyRotation * offset.t(), truth) : 180.0;

                    PoseEstimate first, second;
                    if (estimator->FindFace(image, first) && estimator->FindLandmarks(image, first) &&
                        estimator->FindPose(image.size(), first) &&
                        zor::bench::SecondLook(*estimator, image, rule, first, second)) {
                        s.secondFound = true;
                        PoseEstimate warped;
                        if (zor::bench::FrontalisedLook(*estimator, image, camera, kDistanceCm, frontalSide, first,
                                                        warped)) {
                            s.warpFound = true;
                            s.warp = zor::bench::RotationAngle(FromHeadPose(warped.pose).Rotation(), truth);
                            s.warpLandmarkPx = MeanDistance(AnchorPoints(warped.landmarks), trueAnchors);
                        }
                        s.second = zor::bench::RotationAngle(FromHeadPose(second.pose).Rotation(), truth);
                        s.secondLandmarkPx = MeanDistance(AnchorPoints(second.landmarks), trueAnchors);

                    }
                }
                if (!rendersDir.empty()) {
                    WriteMarked(rendersDir, s.truth, image,
                                s.found ? AnchorPoints(std::vector<float>(result.begin(), result.begin() + 136))
                                        : std::vector<cv::Point2f>(),
                                trueAnchors);
                }
                samples.push_back(s);
            }
        }
    }

    std::printf("renders: %dx%d, focal %d px, nose tip on the optical axis %.0f cm away; steps of %g degrees;\n"
                "angles seen along the line of sight to the face's centre, %.1f cm behind the nose tip\n",
                kImageSize, kImageSize, kImageSize, kDistanceCm, step, meshCentre.z);
    std::printf("errors in degrees (|...|: mean absolute; signed: mean; est, worst and the rest: geodesic), "
                "lm px in pixels;\ngt2d: the generic 3D face on the true points; mesh10, mesh9: the found points "
                "on their true 3D\npoints (mesh9 without the chin); 2nd: crop re-centred and turned by the first "
                "look; warp: face\nturned back by the first pose\n");
    PrintTables(samples, false);
    const Pose offsetAngles = FromHeadPose(zor::estimator::PoseFromRotation(offset));
    std::printf("\noffset removed: the true points of the frontal render read yaw %+.1f, pitch %+.1f, roll %+.1f "
                "(%.1f degrees),\nthe turn between the generic 3D face's zero pose and the mesh's, fixed in the "
                "head's axes; below,\nevery reading R of the estimator and of gt2d is taken as R * offset^-1\n",
                offsetAngles.yaw, offsetAngles.pitch, offsetAngles.roll,
                zor::bench::RotationAngle(offset, cv::Matx33d::eye()));
    PrintTables(samples, true);
    // The turns about one axis: the sign of each angle against the renders.
    std::printf("\n%-22s %22s %24s\n", "turn about one axis", "read yaw pitch roll", "offset removed");
    for (const Sample& s : samples) {
        const int turned = (s.truth.yaw != 0) + (s.truth.pitch != 0) + (s.truth.roll != 0);
        if (turned == 1) {
            std::printf("yaw %+3.0f pitch %+3.0f roll %+3.0f", s.truth.yaw, s.truth.pitch, s.truth.roll);
            if (s.found) {
                std::printf("   %+6.1f %+6.1f %+6.1f   %+6.1f %+6.1f %+6.1f\n", s.read.yaw, s.read.pitch,
                            s.read.roll, s.offsetRead.yaw, s.offsetRead.pitch, s.offsetRead.roll);
            } else {
                std::printf("   not found\n");
            }
        }
    }

    // Which landmarks drift: each anchor's mean error in pixels, over all
    // poses and over the hard ones.
    struct Group {
        const char* label;
        bool (*in)(const Pose&);
    };
    const Group groups[] = {
        {"all", [](const Pose&) { return true; }},
        {"yaw<=-45", [](const Pose& p) { return p.yaw <= -45; }},
        {"yaw>=45", [](const Pose& p) { return p.yaw >= 45; }},
        {"pitch>=15", [](const Pose& p) { return p.pitch >= 15; }},
        {"pitch<=-15", [](const Pose& p) { return p.pitch <= -15; }},
    };
    std::printf("\n%-14s", "landmark px");
    for (const Group& g : groups) {
        std::printf(" %10s", g.label);
    }
    std::printf("\n");
    for (int i = 0; i < kAnchorCount; ++i) {
        std::printf("%-14s", kAnchors[i].name);
        for (const Group& g : groups) {
            double sum = 0.0;
            int n = 0;
            for (const Sample& s : samples) {
                if (s.found && g.in(s.truth)) {
                    sum += s.anchorPx[i];
                    ++n;
                }
            }
            std::printf(" %10.1f", sum / std::max(n, 1));
        }
        std::printf("\n");
    }
    std::printf("\nconvention check: true points give back the true pose within %.4f degrees; the frontal render "
                "differs from\nthe texture at the vertices by %.1f grey levels (median)\n",
                worstConvention, textureMismatch);
    if (worstConvention > 0.05 || textureMismatch > 10.0) {
        std::fprintf(stderr, "the renderer and the estimator's pose convention disagree\n");
        return 1;
    }
    return 0;
}
