#include "facepose/model_file.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>

#include <opencv2/core.hpp>

#include "core/fixed_model.h"
#include "facepose/document_guard.h"
#include "facepose/estimator/pose_model_file.h"

namespace zor {
namespace vision {
namespace {

// OpenCV's parser messages may span lines; the report must stay on one.
std::string OnOneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

std::shared_ptr<NetModel> ReadModelOfKind(const cv::FileNode& document, std::string& error)
{
    const cv::FileNode kindNode = document["kind"];
    if (!kindNode.isString()) {
        error = "no string \"kind\"";
        return nullptr;
    }
    const std::string kind = kindNode.string();
    if (kind == "fixed") {
        return ReadFixedModel(document, error);
    }
    if (kind == estimator::kPoseModelKind) {
        return estimator::ReadPoseModel(document, error);
    }
    error = "unknown kind \"" + kind + "\"";
    return nullptr;
}

}  // namespace

std::shared_ptr<NetModel> LoadFaceposeModel(const std::string& path)
{
    std::string error;
    std::shared_ptr<NetModel> model;
    try {
        // Read once: the checks and the reader see the same bytes.
        std::ifstream file(path, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        error = file.is_open() ? CheckBase64Headers(text) : "the file cannot be opened";
        if (error.empty()) {
            error = TrialRead(text);
        }
        if (error.empty()) {
            cv::FileStorage storage(text, cv::FileStorage::READ | cv::FileStorage::MEMORY);
            if (!storage.isOpened()) {
                error = "not a readable model document";
            } else {
                model = ReadModelOfKind(storage.root(), error);
            }
        }
    } catch (const cv::Exception& e) {
        error = "not a readable model document (" + OnOneLine(e.err) + ")";
    } catch (const std::exception& e) {
        error = OnOneLine(e.what());
    }
    if (!model) {
        std::cerr << "zor_facepose: cannot load model file " << path << ": " << error << std::endl;
    }
    return model;
}

}  // namespace vision
}  // namespace zor
