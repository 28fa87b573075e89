#include "side_by_side.h"

#include <exception>

#include <opencv2/core/utility.hpp>

namespace zor {
namespace estimator {

void RunSideBySide(const std::function<void(int)>& task)
{
    // Two stripes of one task each. OpenCV runs the parallel loops nested in
    // a task (the dnn layers') on the task's own thread. Each task's
    // exception is kept to be thrown on the calling thread.
    std::exception_ptr failures[2];
    cv::parallel_for_(cv::Range(0, 2), [&task, &failures](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i) {
            try {
                task(i);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    }, 2.0);
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
}

}  // namespace estimator
}  // namespace zor
