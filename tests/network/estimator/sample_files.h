#pragma once

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "facepose/estimator/pose_model_file.h"

// The fetched sample model and photos, and the committed reference figures.
namespace sample {

inline std::string ModelPath()
{
    return std::string(ZOR_SAMPLE_DIR) + "/pose-model/light_rpoly_lmp_iter_75000_w_scale.nmodel";
}

inline std::string PhotoPath(const std::string& name)
{
    return std::string(ZOR_SAMPLE_DIR) + "/photos/" + name + ".png";
}

inline std::string DataPath(const std::string& name)
{
    return std::string(ZOR_ESTIMATOR_DATA_DIR) + "/" + name;
}

// The sample model, loaded once; null (with a test failure) when it is
// missing: run scripts/fetch-pose-model.sh first.
inline zor::estimator::PoseEstimator* Estimator()
{
    static std::shared_ptr<zor::NetModel> model = [] {
        std::string error;
        cv::FileStorage storage(ModelPath(), cv::FileStorage::READ);
        std::shared_ptr<zor::NetModel> loaded;
        if (storage.isOpened()) {
            loaded = zor::estimator::ReadPoseModel(storage.root(), error);
        }
        return loaded;
    }();
    EXPECT_NE(model, nullptr) << "no usable " << ModelPath()
                              << "; run scripts/fetch-pose-model.sh BUILD_DIR";
    return dynamic_cast<zor::estimator::PoseEstimator*>(model.get());
}

inline cv::Mat Photo(const std::string& name)
{
    cv::Mat image = cv::imread(PhotoPath(name), cv::IMREAD_COLOR);
    EXPECT_FALSE(image.empty()) << "no " << PhotoPath(name)
                                << "; run scripts/fetch-pose-model.sh BUILD_DIR";
    return image;
}

// Reads a reference file: lines "x,y" (and "box,x,y,w,h"); '#' starts a comment.
inline std::vector<float> ReadPoints(const std::string& path, cv::Rect2f* box = nullptr)
{
    std::ifstream in(path);
    std::vector<float> values;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const bool isBox = line.rfind("box,", 0) == 0;
        std::istringstream fields(isBox ? line.substr(4) : line);
        std::vector<float> row;
        std::string field;
        while (std::getline(fields, field, ',')) {
            row.push_back(std::stof(field));
        }
        if (isBox && box && row.size() == 4) {
            *box = cv::Rect2f(row[0], row[1], row[2], row[3]);
        } else if (!isBox) {
            values.insert(values.end(), row.begin(), row.end());
        }
    }
    return values;
}

}  // namespace sample
