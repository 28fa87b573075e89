#pragma once

#include <string>
#include <string_view>

namespace zor {
namespace vision {

// OpenCV 4.6's document reader never returns on some malformed documents.
// These checks run on a model document's text before it reaches the reader;
// each gives the problem it found, or an empty string.

// Base64 data whose header names no element type.
std::string CheckBase64Headers(std::string_view text);

// Reads the document in a child process and gives up on it when the read
// does not finish in time or crashes the child, or when no child process can
// be started.
std::string TrialRead(const std::string& text);

}  // namespace vision
}  // namespace zor
