#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "facepose/estimator/face_detector.h"

namespace {

using zor::estimator::DecodeDetections;
using zor::estimator::FaceBox;
using zor::estimator::FrontModelAnchors;
using zor::estimator::TileSquares;

TEST(FrontModelAnchors, TwoGridsCellByCell)
{
    const std::vector<cv::Point2f>& anchors = FrontModelAnchors();
    ASSERT_EQ(anchors.size(), 896u);
    // 16x16 grid, two anchors per cell.
    EXPECT_FLOAT_EQ(anchors[0].x, 0.5f / 16);
    EXPECT_EQ(anchors[0], anchors[1]);
    EXPECT_FLOAT_EQ(anchors[2].x, 1.5f / 16);
    EXPECT_FLOAT_EQ(anchors[32].y, 1.5f / 16);
    EXPECT_FLOAT_EQ(anchors[511].x, 15.5f / 16);
    // 8x8 grid, six anchors per cell.
    EXPECT_FLOAT_EQ(anchors[512].x, 0.5f / 8);
    EXPECT_EQ(anchors[512], anchors[517]);
    EXPECT_FLOAT_EQ(anchors[518].x, 1.5f / 8);
    EXPECT_FLOAT_EQ(anchors[895].y, 7.5f / 8);
}

// A synthetic detector output: every anchor far below threshold except the
// ones given.
struct Output {
    std::vector<float> scores = std::vector<float>(896, -10.0f);
    std::vector<float> regressors = std::vector<float>(896 * 16, 0.0f);

    void Set(int anchor, float logit, float dx, float dy, float w, float h)
    {
        scores[anchor] = logit;
        float* r = &regressors[anchor * 16];
        r[0] = dx;
        r[1] = dy;
        r[2] = w;
        r[3] = h;
    }
};

TEST(DecodeDetections, BoxAndKeyPointsAreRelativeToTheirAnchorInInputPixels)
{
    Output out;
    out.Set(600, 3.0f, 12.8f, -6.4f, 32.0f, 64.0f);
    for (int k = 0; k < 6; ++k) {
        out.regressors[600 * 16 + 4 + 2 * k] = 1.28f * k;
        out.regressors[600 * 16 + 5 + 2 * k] = -2.56f * k;
    }
    const std::vector<FaceBox> faces =
        DecodeDetections(FrontModelAnchors(), out.scores, out.regressors, 128.0f, 0.5f, 0.3f);
    ASSERT_EQ(faces.size(), 1u);
    const cv::Point2f anchor = FrontModelAnchors()[600];
    EXPECT_NEAR(faces[0].box.x + faces[0].box.width / 2, anchor.x + 0.1f, 1e-5);
    EXPECT_NEAR(faces[0].box.y + faces[0].box.height / 2, anchor.y - 0.05f, 1e-5);
    EXPECT_NEAR(faces[0].box.width, 0.25f, 1e-5);
    EXPECT_NEAR(faces[0].box.height, 0.5f, 1e-5);
    EXPECT_NEAR(faces[0].score, 1.0f / (1.0f + std::exp(-3.0f)), 1e-6);
    for (int k = 0; k < 6; ++k) {
        EXPECT_NEAR(faces[0].keypoints[k].x, anchor.x + 0.01f * k, 1e-5) << k;
        EXPECT_NEAR(faces[0].keypoints[k].y, anchor.y - 0.02f * k, 1e-5) << k;
    }
}

TEST(DecodeDetections, OverlapsAreBlendedByScoreAndSeparateFacesStay)
{
    Output out;
    out.Set(100, 1.0f, 0.0f, 0.0f, 20.0f, 20.0f);  // same place as the next
    out.Set(101, 2.0f, 1.0f, 0.0f, 20.0f, 20.0f);
    out.regressors[100 * 16 + 4] = 0.0f;  // the first key point, apart by 2 pixels
    out.regressors[101 * 16 + 4] = 2.0f;
    out.Set(700, 0.5f, 0.0f, 0.0f, 20.0f, 20.0f);  // elsewhere
    out.Set(300, -1.0f, 0.0f, 0.0f, 20.0f, 20.0f);  // below threshold
    const std::vector<FaceBox> faces =
        DecodeDetections(FrontModelAnchors(), out.scores, out.regressors, 128.0f, 0.5f, 0.3f);
    ASSERT_EQ(faces.size(), 2u);
    const float weak = 1.0f / (1.0f + std::exp(-1.0f));
    const float strong = 1.0f / (1.0f + std::exp(-2.0f));
    EXPECT_NEAR(faces[0].score, strong, 1e-6);
    // Moved from the weaker toward the stronger by its share of the weight.
    const float share = strong / (weak + strong);
    EXPECT_NEAR(faces[0].box.x + faces[0].box.width / 2,
                FrontModelAnchors()[101].x + share / 128, 1e-5);
    EXPECT_NEAR(faces[0].box.width, 20.0f / 128, 1e-5);
    EXPECT_NEAR(faces[0].keypoints[0].x, FrontModelAnchors()[101].x + 2.0f * share / 128, 1e-5);
    EXPECT_GT(faces[0].score, faces[1].score);
    EXPECT_NEAR(faces[1].box.y + faces[1].box.height / 2, FrontModelAnchors()[700].y, 1e-5);
}

TEST(MirroredFace, MirrorsTheBoxAndSwapsThePairedKeyPoints)
{
    FaceBox face;
    face.box = cv::Rect2f(10, 20, 30, 40);
    face.keypoints = {cv::Point2f(15, 30), cv::Point2f(35, 31), cv::Point2f(25, 40),
                      cv::Point2f(24, 50), cv::Point2f(11, 35), cv::Point2f(39, 36)};
    const FaceBox mirrored = zor::estimator::MirroredFace(face, 100.0f);
    EXPECT_EQ(mirrored.box, cv::Rect2f(60, 20, 30, 40));
    // Eyes and tragions swap, so the first of each pair stays on the left.
    const decltype(face.keypoints) expected = {
        cv::Point2f(65, 31), cv::Point2f(85, 30), cv::Point2f(75, 40),
        cv::Point2f(76, 50), cv::Point2f(61, 36), cv::Point2f(89, 35)};
    EXPECT_EQ(mirrored.keypoints, expected);
}

TEST(DecodeDetections, OutputsOfTheWrongSizeGiveNothing)
{
    Output out;
    out.Set(5, 5.0f, 0.0f, 0.0f, 20.0f, 20.0f);
    out.regressors.pop_back();
    EXPECT_TRUE(DecodeDetections(FrontModelAnchors(), out.scores, out.regressors, 128.0f, 0.5f,
                                 0.3f)
                    .empty());
}

// The parts of an image are looked at in squares that reach both ends of
// each side and overlap by at least half: a small face in a far corner
// lies wholly in one of them.
TEST(TileSquares, ReachBothEndsOverlappingByHalf)
{
    const struct {
        cv::Size size;
        float tile;
        int columns, rows;
    } cases[] = {
        {cv::Size(640, 480), 0.4f, 4, 3},
        {cv::Size(640, 480), 0.25f, 7, 5},
        {cv::Size(512, 512), 0.4f, 4, 4},
        {cv::Size(100, 30), 0.4f, 4, 1},
    };
    int checked = 0;
    for (const auto& c : cases) {
        const std::vector<cv::RotatedRect> squares = TileSquares(c.size, c.tile);
        ASSERT_EQ(squares.size(), static_cast<size_t>(c.columns * c.rows)) << c.size;
        const float side = std::max(c.size.width, c.size.height) * c.tile;
        const cv::Point2f last = squares.back().center;
        EXPECT_FLOAT_EQ(squares.back().size.width, side);
        EXPECT_NEAR(last.x + side / 2, c.size.width, 1e-3) << c.size << " tile " << c.tile;
        if (c.rows > 1) {
            EXPECT_NEAR(squares.front().center.y, side / 2, 1e-3) << c.size;
            EXPECT_NEAR(last.y + side / 2, c.size.height, 1e-3) << c.size << " tile " << c.tile;
        } else {
            EXPECT_NEAR(last.y, c.size.height / 2.0f, 1e-3) << c.size;
        }
        EXPECT_NEAR(squares.front().center.x, side / 2, 1e-3) << c.size;
        for (size_t i = 1; i < squares.size(); ++i) {
            const cv::Point2f step = squares[i].center - squares[i - 1].center;
            if (step.x > 0) {
                EXPECT_LE(step.x, side / 2 + 1e-3) << c.size << " square " << i;
            }
        }
        ++checked;
    }
    EXPECT_EQ(checked, 4);
}

}  // namespace
