// A failed allocation anywhere inside one estimate: the pose is the one
// found without failure, or Detect throws; never another pose, never an
// empty result. This binary replaces the global operator new, so it holds
// nothing else.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "network/facepose.h"

namespace {

// Allocations are counted while `armed`, cv::Mat's and operator new's
// apart; the one numbered `failAt` (from 1; 0 for none) of the kind
// `failing` fails.
enum Kind { kMat, kNew };
std::atomic<bool> armed{false};
std::atomic<long> counted[2];
std::atomic<int> failing{kMat};
std::atomic<long> failAt{0};

bool FailNow(Kind kind)
{
    if (!armed.load()) {
        return false;
    }
    const long number = ++counted[kind];
    return kind == failing.load() && number == failAt.load();
}

}  // namespace

// The replacements pair malloc with free; GCC, seeing operator new's
// result reach free once they are inlined, takes them for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    if (FailNow(kNew)) {
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

// The other plain forms go through the two above, so that every block is
// taken and given back by the same pair (a sanitizer's own forms would not
// match them).
void* operator new[](std::size_t size)
{
    return ::operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept
{
    return ::operator new(size, nothrow);
}

void operator delete[](void* p) noexcept
{
    ::operator delete(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    ::operator delete(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}

#pragma GCC diagnostic pop

namespace {

// cv::Mat's default allocator, counting into the same sequence.
class FailingMatAllocator : public cv::MatAllocator {
public:
    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                           cv::AccessFlag flags, cv::UMatUsageFlags usageFlags) const override
    {
        if (data == nullptr && FailNow(kMat)) {
            CV_Error(cv::Error::StsNoMem, "allocation refused by the test");
        }
        return m_std->allocate(dims, sizes, type, data, step, flags, usageFlags);
    }
    bool allocate(cv::UMatData* data, cv::AccessFlag accessFlags, cv::UMatUsageFlags usageFlags) const override
    {
        return m_std->allocate(data, accessFlags, usageFlags);
    }
    void deallocate(cv::UMatData* data) const override { m_std->deallocate(data); }

private:
    cv::MatAllocator* m_std = cv::Mat::getStdAllocator();
};

// The counting allocator and one OpenCV thread for as long as it lives.
class FailingAllocations {
public:
    FailingAllocations() : m_previous(cv::Mat::getDefaultAllocator()), m_threads(cv::getNumThreads())
    {
        cv::setNumThreads(1);
        cv::Mat::setDefaultAllocator(&m_allocator);
    }
    ~FailingAllocations()
    {
        cv::Mat::setDefaultAllocator(m_previous);
        cv::setNumThreads(m_threads);
    }
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;

private:
    FailingMatAllocator m_allocator;
    cv::MatAllocator* m_previous;
    int m_threads;
};

struct Outcome {
    bool threw = false;
    std::vector<float> result;
};

Outcome DetectWithFailureAt(zor::vision::Facepose& net, const cv::Mat& image, Kind kind, long at)
{
    Outcome outcome;
    std::vector<std::vector<float>> results;
    counted[kMat] = 0;
    counted[kNew] = 0;
    failing = kind;
    failAt = at;
    armed = true;
    try {
        net.Detect({image}, results);
    } catch (const std::exception&) {
        outcome.threw = true;
    }
    armed = false;
    if (!results.empty()) {
        outcome.result = results[0];
    }
    return outcome;
}

// The N-th allocation fails, for every N up to the count of cv::Mat's in
// one estimate and for about 250 N up to the count of operator new's, on a
// frontal face that the first look takes and on a tilted face that takes
// the further looks. One thread, so that the allocations come in one order.
TEST(AllocationFailure, GivesTheSamePoseOrAnErrorNeverAnother)
{
    const std::string dir = std::string(ZOR_SAMPLE_DIR);
    const cv::Mat astronaut = cv::imread(dir + "/photos/astronaut.png", cv::IMREAD_COLOR);
    const cv::Mat camera = cv::imread(dir + "/photos/camera.png", cv::IMREAD_COLOR);
    ASSERT_FALSE(astronaut.empty() || camera.empty()) << "run scripts/fetch-pose-model.sh BUILD_DIR";
    cv::Mat tilted;
    cv::warpAffine(camera, tilted, cv::getRotationMatrix2D(cv::Point2f(256, 256), 40, 1.0), camera.size());
    const FailingAllocations failingAllocations;
    zor::vision::Facepose net(dir + "/pose-model/light_rpoly_lmp_iter_75000_w_scale.nmodel", nullptr);
    for (const cv::Mat& image : {astronaut, tilted}) {
        const Outcome clean = DetectWithFailureAt(net, image, kMat, 0);
        ASSERT_FALSE(clean.threw);
        ASSERT_EQ(clean.result.size(), 139u);
        const long totals[2] = {counted[kMat], counted[kNew]};
        for (const Kind kind : {kMat, kNew}) {
            const long total = totals[kind];
            ASSERT_GT(total, 10);
            // An odd stride, not in step with loops over pairs of objects.
            const long stride = kind == kMat ? 1 : std::max(1L, total / 250) | 1L;
            long errors = 0;
            for (long at = 1; at <= total; at += stride) {
                const Outcome failed = DetectWithFailureAt(net, image, kind, at);
                if (failed.threw) {
                    ++errors;
                    continue;
                }
                ASSERT_EQ(failed.result, clean.result)
                    << (kind == kMat ? "cv::Mat" : "operator new") << " allocation " << at << " of " << total
                    << " failed";
            }
            EXPECT_GT(errors, 0) << total << " allocations";
        }
        // Nothing is left broken: without failure, the same pose again.
        EXPECT_EQ(DetectWithFailureAt(net, image, kMat, 0).result, clean.result);
    }
}

}  // namespace
