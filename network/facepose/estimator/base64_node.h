#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace zor {
namespace estimator {

// Binary data in a cv::FileStorage document as a sequence of base64 text
// lines. OpenCV's own binary nodes (a matrix written with
// FileStorage::BASE64) are read back one element at a time into a node
// each: for the pose model's 800 kB that took 18 times the instructions of
// reading short strings and decoding them here.

// Writes `bytes` under `name` as a sequence of base64 lines.
void WriteBase64(cv::FileStorage& storage, const std::string& name,
                 const std::vector<uchar>& bytes);

// Reads a sequence written by WriteBase64. False when the node is not a
// sequence of strings or the text is not well-formed base64 (characters
// outside the alphabet, padding in the middle, a length that is not a
// multiple of four).
bool ReadBase64(const cv::FileNode& node, std::vector<uchar>& bytes);

// The same on a plain string, for tests.
std::string EncodeBase64(const uchar* data, size_t size);
bool DecodeBase64(const std::string& text, std::vector<uchar>& bytes);

}  // namespace estimator
}  // namespace zor
