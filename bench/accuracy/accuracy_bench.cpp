// accuracy_bench [--step DEGREES] [--seed N] [--renders DIR] MODEL MESH PHOTO: the
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
// --seed, as many renders at random poses in the same ranges instead, each
// over a grey of its own and lit unevenly (brightness 0.7 to 1.3 times,
// changing by up to 0.4 across the image), a set no setting was tuned on.
// With
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
#include <memory>
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

// The tables of errors per angle value (to the nearest `step`) and per
// region, raw or with the offset removed.
void PrintTables(const std::vector<Sample>& samples, bool offsetRemoved, double step)
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
            // Random poses fall into the row of the nearest step.
            const double value = std::round(s.truth.*axis.second / step) * step;
            rows[value == 0.0 ? 0.0 : value].Add(s);
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

struct Options {
    double step = 15.0;
    unsigned seed = 0;  // 0: the grid of poses; otherwise random poses and light
    std::string rendersDir;
    std::string model, mesh, photo;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    int arg = 1;
    for (; arg + 1 < argc && argv[arg][0] == '-'; arg += 2) {
        const std::string option = argv[arg];
        if (option == "--step") {
            options.step = std::atof(argv[arg + 1]);
        } else if (option == "--seed") {
            options.seed = static_cast<unsigned>(std::strtoul(argv[arg + 1], nullptr, 10));
        } else if (option == "--renders") {
            options.rendersDir = argv[arg + 1];
        } else {
            break;
        }
    }
    if (argc - arg != 3 || !(options.step > 0.0)) {
        std::fprintf(stderr, "usage: %s [--step DEGREES] [--seed N] [--renders DIR] MODEL MESH PHOTO\n", argv[0]);
        return false;
    }
    options.model = argv[arg];
    options.mesh = argv[arg + 1];
    options.photo = argv[arg + 2];
    return true;
}

// One render to make: the pose and the light on it.
struct Shot {
    Pose truth;
    int background = 128;  // grey level
    double gain = 1.0;     // brightness at the image's centre
    cv::Point2d slope;     // brightness change across the image's width and height
};

// The grid of poses under even light, or with a seed as many random poses,
// each over its own grey and lit from its own side.
std::vector<Shot> Shots(const Options& options)
{
    std::vector<Shot> shots;
    for (double yaw : Steps(60, options.step)) {
        for (double pitch : Steps(30, options.step)) {
            for (double roll : Steps(30, options.step)) {
                Shot shot;
                shot.truth = {yaw, pitch, roll};
                shots.push_back(shot);
            }
        }
    }
    if (options.seed == 0) {
        return shots;
    }
    cv::RNG rng(options.seed);
    for (Shot& shot : shots) {
        shot.truth = {rng.uniform(-60.0, 60.0), rng.uniform(-30.0, 30.0), rng.uniform(-30.0, 30.0)};
        shot.background = rng.uniform(64, 193);
        shot.gain = rng.uniform(0.7, 1.3);
        shot.slope = cv::Point2d(rng.uniform(-0.4, 0.4), rng.uniform(-0.4, 0.4));
    }
    return shots;
}

// The render under the shot's light: every pixel scaled by the gain plus
// the slopes times its distance from the centre (in image sides).
cv::Mat Lit(const cv::Mat& render, const Shot& shot)
{
    if (shot.gain == 1.0 && shot.slope == cv::Point2d()) {
        return render;
    }
    cv::Mat lit(render.size(), render.type());
    for (int y = 0; y < render.rows; ++y) {
        for (int x = 0; x < render.cols; ++x) {
            const double factor = shot.gain + shot.slope.x * ((x + 0.5) / render.cols - 0.5) +
                                  shot.slope.y * ((y + 0.5) / render.rows - 0.5);
            const cv::Vec3b& from = render.at<cv::Vec3b>(y, x);
            for (int c = 0; c < 3; ++c) {
                lit.at<cv::Vec3b>(y, x)[c] = cv::saturate_cast<uchar>(from[c] * factor);
            }
        }
    }
    return lit;
}

// What every render is measured against: the estimator, the textured mesh
// and where it sits, and what the frontal render and the true points of
// the face at zero tell.
struct Reference {
    std::shared_ptr<zor::NetModel> model;
    PoseEstimator* estimator = nullptr;
    FaceMesh mesh;
    cv::Mat texture;
    zor::bench::Camera camera;
    zor::bench::MeshPlacement placement;
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
    // The estimator's pose from the true points of the face at zero,
    // against the truth.
    cv::Matx33d offset;

    // The points of the placed mesh under the anchors, in camera
    // coordinates.
    std::vector<cv::Point3d> PlacedAnchors(const cv::Matx33d& rotation) const
    {
        std::vector<cv::Point3d> placed;
        for (const cv::Point3d& p : meshModel) {
            placed.push_back(rotation * p + placement.translation);
        }
        return placed;
    }

    // A turn of the mesh as seen along the line of sight to its centre.
    cv::Matx33d SeenAlongSightOf(const cv::Matx33d& rotation) const
    {
        return SeenAlongSight(rotation, rotation * meshCentre + placement.translation);
    }
};

// The estimator, the mesh and its texture from the photo.
bool LoadInputs(const Options& options, Reference& ref)
{
    std::string error;
    cv::FileStorage storage(options.model, cv::FileStorage::READ);
    ref.model = zor::estimator::ReadPoseModel(storage.root(), error);
    ref.estimator = dynamic_cast<PoseEstimator*>(ref.model.get());
    if (ref.estimator == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", options.model.c_str(), error.c_str());
        return false;
    }
    if (!zor::bench::ReadFaceMesh(options.mesh, ref.mesh, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    const cv::Mat photo = cv::imread(options.photo, cv::IMREAD_COLOR);
    const std::vector<float> photoResult = photo.empty() ? std::vector<float>() : ref.estimator->Run(photo);
    if (photoResult.size() < 136) {
        std::fprintf(stderr, "no face found in %s\n", options.photo.c_str());
        return false;
    }
    std::vector<int> anchorVertices, anchorLandmarks;
    for (const Anchor& a : kAnchors) {
        anchorVertices.push_back(a.vertex);
        anchorLandmarks.push_back(a.landmark);
    }
    // The face's centre is the centroid of the anchors' true points, as the
    // estimator's is that of its 3D face's points: the same places.
    if (anchorLandmarks != ref.estimator->FaceModel().landmarks) {
        std::fprintf(stderr, "the anchors are not the landmarks of the estimator's 3D face\n");
        return false;
    }
    double textureResidual = 0.0;
    ref.texture = zor::bench::TextureFromPhoto(ref.mesh, photo, anchorVertices, AnchorPoints(photoResult), 1024,
                                               textureResidual);
    std::printf("mesh: %zu vertices, %zu triangles; texture from %s, anchors fitted within %.1f px\n",
                ref.mesh.vertices.size(), ref.mesh.triangles.size(), options.photo.c_str(), textureResidual);
    ref.camera = zor::bench::CameraFor(cv::Size(kImageSize, kImageSize));
    return true;
}

// The first look on the frontal render (see Reference).
bool ReadFrontal(Reference& ref)
{
    const std::vector<cv::Point3d> cameraAxes = zor::bench::CameraAxesVertices(ref.mesh);
    ref.placement.pivot = cameraAxes[kNoseVertex];
    ref.placement.translation = cv::Point3d(0.0, 0.0, kDistanceCm);
    const cv::Mat background(ref.camera.size, CV_8UC3, cv::Scalar::all(128));
    const cv::Mat frontal = zor::bench::RenderMesh(ref.mesh, ref.texture, ref.placement, ref.camera, background);
    PoseEstimate estimate;
    if (!ref.estimator->FindFace(frontal, estimate) || !ref.estimator->FindLandmarks(frontal, estimate) ||
        !ref.estimator->FindPose(frontal.size(), estimate)) {
        std::fprintf(stderr, "no face found in the frontal render\n");
        return false;
    }
    ref.rule = zor::bench::LearnCropRule(estimate);
    ref.textureMismatch = MedianTextureMismatch(ref.mesh, ref.texture, ref.placement, ref.camera, frontal);
    ref.frontalSide = estimate.landmarkRegion.size.width;
    const std::vector<cv::Point2f> found = AnchorPoints(estimate.landmarks);
    std::vector<cv::Point3d> vertices;
    for (int i = 0; i < kAnchorCount; ++i) {
        cv::Point3d surface;
        if (!zor::bench::SurfacePointAt(ref.mesh, ref.placement, ref.camera, found[i], surface)) {
            std::fprintf(stderr, "landmark %d of the frontal render is off the mesh\n", kAnchors[i].landmark);
            return false;
        }
        ref.meshModel.push_back(surface - ref.placement.translation);
        ref.meshCentre += ref.meshModel.back() * (1.0 / kAnchorCount);
        vertices.push_back(cameraAxes[kAnchors[i].vertex] - ref.placement.pivot + ref.placement.translation);
    }
    for (int i = 0; i < kAnchorCount; ++i) {
        if (kAnchors[i].landmark != kChin) {
            ref.noChinNumbers.push_back(kAnchors[i].landmark);
            ref.noChinModel.push_back(ref.meshModel[i]);
        }
    }
    std::printf("frontal render: the ten anchor landmarks lie %.1f px from the mesh vertices that stand for "
                "them\n", MeanDistance(found, zor::bench::Project(vertices, ref.camera)));
    return true;
}

// The offset (see Reference).
bool MeasureOffset(Reference& ref)
{
    const cv::Matx33d turn = TurnFor(cv::Matx33d::eye(), ref.meshCentre, ref.placement.translation);
    cv::Matx33d read;
    if (!TruePointsPose(*ref.estimator, zor::bench::Project(ref.PlacedAnchors(turn), ref.camera), ref.camera.size,
                        read)) {
        std::fprintf(stderr, "the true points of the frontal render give no pose\n");
        return false;
    }
    ref.offset = ref.SeenAlongSightOf(turn).t() * read;
    return true;
}

// The worst disagreement between the renderer and the estimator's
// convention on one render: the true points, solved and seen along the
// line of sight, must give back the true rotation, and the estimator's
// angles of that rotation must be the angles the render was made for.
double ConventionError(const Reference& ref, const Pose& truth, const cv::Matx33d& truthRotation,
                       const std::vector<cv::Point2f>& trueAnchors)
{
    double worst = 180.0;
    cv::Matx33d solved;
    if (SolveRotation(ref.meshModel, trueAnchors, ref.meshCentre, ref.camera, solved)) {
        worst = zor::bench::RotationAngle(solved, truthRotation);
    }
    const Pose read = FromHeadPose(zor::estimator::PoseFromRotation(truthRotation));
    return std::max({worst, std::abs(read.yaw - truth.yaw), std::abs(read.pitch - truth.pitch),
                     std::abs(read.roll - truth.roll)});
}

// The estimator's errors on one render (Sample), from its result.
void MeasureReading(const Reference& ref, const cv::Mat& image, const std::vector<float>& result,
                    const std::vector<cv::Point2f>& trueAnchors, Sample& s)
{
    const cv::Matx33d& truth = s.truthRotation;
    const Pose found{result[136] * 90.0, result[137] * 90.0, result[138] * 90.0};
    s.found = true;
    s.read = found;
    s.readRotation = found.Rotation();
    s.error = {found.yaw - s.truth.yaw, found.pitch - s.truth.pitch, found.roll - s.truth.roll};
    s.rotation = zor::bench::RotationAngle(s.readRotation, truth);
    const std::vector<cv::Point2f> landmarks = AnchorPoints(std::vector<float>(result.begin(), result.begin() + 136));
    s.landmarkPx = MeanDistance(landmarks, trueAnchors);
    for (int i = 0; i < kAnchorCount; ++i) {
        s.anchorPx.push_back(cv::norm(landmarks[i] - trueAnchors[i]));
    }
    s.modelOnlyFound = TruePointsPose(*ref.estimator, trueAnchors, image.size(), s.modelOnlyRotation);
    s.modelOnly = s.modelOnlyFound ? zor::bench::RotationAngle(s.modelOnlyRotation, truth) : 180.0;
    cv::Matx33d solved;
    s.landmarksOnly = SolveRotation(ref.meshModel, landmarks, ref.meshCentre, ref.camera, solved)
                          ? zor::bench::RotationAngle(solved, truth)
                          : 180.0;
    s.noChin = SolveRotation(ref.noChinModel, PointsOf(std::vector<float>(result.begin(), result.begin() + 136),
                                                       ref.noChinNumbers),
                             ref.meshCentre, ref.camera, solved)
                   ? zor::bench::RotationAngle(solved, truth)
                   : 180.0;
    // Removing the offset: R * offset^-1.
    const cv::Matx33d offsetRemoved = s.readRotation * ref.offset.t();
    s.offsetRead = FromHeadPose(zor::estimator::PoseFromRotation(offsetRemoved));
    s.offsetError = {s.offsetRead.yaw - s.truth.yaw, s.offsetRead.pitch - s.truth.pitch,
                     s.offsetRead.roll - s.truth.roll};
    s.offsetRotation = zor::bench::RotationAngle(offsetRemoved, truth);
    s.offsetModelOnly =
        s.modelOnlyFound ? zor::bench::RotationAngle(s.modelOnlyRotation * ref.offset.t(), truth) : 180.0;
}

// The two second looks of the benchmark on one render.
void MeasureSecondLooks(Reference& ref, const cv::Mat& image, const std::vector<cv::Point2f>& trueAnchors,
                        Sample& s)
{
    PoseEstimate first, second;
    if (!ref.estimator->FindFace(image, first) || !ref.estimator->FindLandmarks(image, first) ||
        !ref.estimator->FindPose(image.size(), first) ||
        !zor::bench::SecondLook(*ref.estimator, image, ref.rule, first, second)) {
        return;
    }
    s.secondFound = true;
    PoseEstimate warped;
    if (zor::bench::FrontalisedLook(*ref.estimator, image, ref.camera, kDistanceCm, ref.frontalSide, first,
                                    warped)) {
        s.warpFound = true;
        s.warp = zor::bench::RotationAngle(FromHeadPose(warped.pose).Rotation(), s.truthRotation);
        s.warpLandmarkPx = MeanDistance(AnchorPoints(warped.landmarks), trueAnchors);
    }
    s.second = zor::bench::RotationAngle(FromHeadPose(second.pose).Rotation(), s.truthRotation);
    s.secondLandmarkPx = MeanDistance(AnchorPoints(second.landmarks), trueAnchors);
}

// Renders one shot, runs the estimator on it and measures its errors;
// `worstConvention` grows to the renderer's disagreement with the
// estimator's convention.
Sample MeasureShot(Reference& ref, const Shot& shot, const std::string& rendersDir, double& worstConvention)
{
    Sample s;
    s.truth = shot.truth;
    ref.placement.rotation = TurnFor(s.truth.Rotation(), ref.meshCentre, ref.placement.translation);
    s.truthRotation = ref.SeenAlongSightOf(ref.placement.rotation);
    const cv::Mat background(ref.camera.size, CV_8UC3, cv::Scalar::all(shot.background));
    const cv::Mat image =
        Lit(zor::bench::RenderMesh(ref.mesh, ref.texture, ref.placement, ref.camera, background), shot);
    const std::vector<cv::Point2f> trueAnchors =
        zor::bench::Project(ref.PlacedAnchors(ref.placement.rotation), ref.camera);
    worstConvention = std::max(worstConvention, ConventionError(ref, s.truth, s.truthRotation, trueAnchors));

    const std::vector<float> result = ref.estimator->Run(image);
    if (result.size() >= 139) {
        MeasureReading(ref, image, result, trueAnchors, s);
        MeasureSecondLooks(ref, image, trueAnchors, s);
    }
    if (!rendersDir.empty()) {
        WriteMarked(rendersDir, s.truth, image,
                    s.found ? AnchorPoints(std::vector<float>(result.begin(), result.begin() + 136))
                            : std::vector<cv::Point2f>(),
                    trueAnchors);
    }
    return s;
}

// The turns about one axis: the sign of each angle against the renders.
void PrintOneAxisTurns(const std::vector<Sample>& samples)
{
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
}

// Which landmarks drift: each anchor's mean error in pixels, over all
// poses and over the hard ones.
void PrintLandmarkDrift(const std::vector<Sample>& samples)
{
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
}

void PrintReport(const Options& options, const Reference& ref, const std::vector<Sample>& samples)
{
    if (options.seed == 0) {
        std::printf("renders: %dx%d, focal %d px, nose tip on the optical axis %.0f cm away; steps of %g degrees;\n",
                    kImageSize, kImageSize, kImageSize, kDistanceCm, options.step);
    } else {
        std::printf("renders: %dx%d, focal %d px, nose tip on the optical axis %.0f cm away; %zu random poses and "
                    "lights of seed %u (rows: nearest %g degrees);\n",
                    kImageSize, kImageSize, kImageSize, kDistanceCm, samples.size(), options.seed, options.step);
    }
    std::printf("angles seen along the line of sight to the face's centre, %.1f cm behind the nose tip\n",
                ref.meshCentre.z);
    std::printf("errors in degrees (|...|: mean absolute; signed: mean; est, worst and the rest: geodesic), "
                "lm px in pixels;\ngt2d: the generic 3D face on the true points; mesh10, mesh9: the found points "
                "on their true 3D\npoints (mesh9 without the chin); 2nd: crop re-centred and turned by the first "
                "look; warp: face\nturned back by the first pose\n");
    PrintTables(samples, false, options.step);
    const Pose offsetAngles = FromHeadPose(zor::estimator::PoseFromRotation(ref.offset));
    std::printf("\noffset removed: the true points of the frontal render read yaw %+.1f, pitch %+.1f, roll %+.1f "
                "(%.1f degrees),\nthe turn between the generic 3D face's zero pose and the mesh's, fixed in the "
                "head's axes; below,\nevery reading R of the estimator and of gt2d is taken as R * offset^-1\n",
                offsetAngles.yaw, offsetAngles.pitch, offsetAngles.roll,
                zor::bench::RotationAngle(ref.offset, cv::Matx33d::eye()));
    PrintTables(samples, true, options.step);
    PrintOneAxisTurns(samples);
    PrintLandmarkDrift(samples);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        return 2;
    }
    Reference ref;
    if (!LoadInputs(options, ref) || !ReadFrontal(ref) || !MeasureOffset(ref)) {
        return 1;
    }
    std::vector<Sample> samples;
    double worstConvention = 0.0;
    for (const Shot& shot : Shots(options)) {
        samples.push_back(MeasureShot(ref, shot, options.rendersDir, worstConvention));
    }
    PrintReport(options, ref, samples);
    std::printf("\nconvention check: true points give back the true pose within %.4f degrees; the frontal render "
                "differs from\nthe texture at the vertices by %.1f grey levels (median)\n",
                worstConvention, ref.textureMismatch);
    if (worstConvention > 0.05 || ref.textureMismatch > 10.0) {
        std::fprintf(stderr, "the renderer and the estimator's pose convention disagree\n");
        return 1;
    }
    return 0;
}
