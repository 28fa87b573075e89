#pragma once

// The overview's histograms: the signed changes of each angle as inline SVG.

#include <string>
#include <vector>

#include "overview.h"

namespace zor::test::suite {

// One SVG per angle (yaw, pitch, roll), all three on one scale: the same
// span of degrees, symmetric around 0 and holding every change and
// allowance, and the same height per case. Each bar is a <rect
// class="bar" data-count="N">; the allowance is a band around 0 (the
// smallest allowance of the angle, and paler up to the largest).
std::vector<std::string> HistogramSvgs(const Overview& overview);

}  // namespace zor::test::suite
