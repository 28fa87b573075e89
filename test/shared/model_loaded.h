#pragma once

#include "network/facepose.h"

namespace zor::test::shared {

// Whether `network` holds a loaded model. The network library's declared
// interface has no such question: its constructor reports nothing, and a
// model that did not load shows only as empty results, as an image without a
// face does. This function is the one place that assumes how the library
// keeps a loaded model: BaseNet's m_sharedObject set and m_ready true, as our
// build of it does (network/facepose/facepose.cpp). For a build of the
// library that keeps it otherwise, this function is what changes.
bool ModelLoaded(const zor::vision::Facepose& network);

}  // namespace zor::test::shared
