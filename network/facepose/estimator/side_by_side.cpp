#include "side_by_side.h"

#include <opencv2/core/utility.hpp>

namespace zor {
namespace estimator {

void RunSideBySide(const std::function<void(int)>& task)
{
    // Two stripes of one task each. OpenCV runs the parallel loops nested in
    // a task (the dnn layers') on the task's own thread.
    cv::parallel_for_(cv::Range(0, 2), [&task](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i) {
            task(i);
        }
    }, 2.0);
}

}  // namespace estimator
}  // namespace zor
