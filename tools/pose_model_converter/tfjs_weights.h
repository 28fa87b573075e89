#pragma once

#include <string>
#include <vector>

#include "facepose/estimator/pose_model_file.h"

namespace zor {
namespace converter {

// Reads a tfjs weights manifest (JSON) and the weight files it names, which
// lie beside it. Every tensor must be 8-bit quantised (uint8 with min and
// scale), the way face-api ships its weights. False with `error` set on a
// problem.
bool ReadTfjsWeights(const std::string& manifestPath,
                     std::vector<estimator::QuantizedTensor>& tensors, std::string& error);

}  // namespace converter
}  // namespace zor
