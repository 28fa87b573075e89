#pragma once

#include <string>

#include "head_pose.h"

namespace zor {
namespace estimator {

// A generic adult face in camera axes (x to the image's right, y down, z
// away from the camera), in millimetres from the nose tip, from typical
// anthropometric proportions; each point under its number among the 68
// landmarks. It is left-right symmetric, so a mirrored face gets the
// mirrored pose. pose_model_converter writes it into the model files.
FaceModel3d GenericFace();

// Eight hexadecimal digits that change with any change of the face's
// landmark numbers or points.
std::string FaceModelFingerprint(const FaceModel3d& face);

}  // namespace estimator
}  // namespace zor
