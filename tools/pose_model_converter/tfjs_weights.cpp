#include "tfjs_weights.h"

#include <fstream>
#include <iterator>

#include <opencv2/core.hpp>

namespace zor {
namespace converter {
namespace {

std::string Folder(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool ReadFile(const std::string& path, std::vector<uchar>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool ReadGroup(const cv::FileNode& group, const std::string& folder,
               std::vector<estimator::QuantizedTensor>& tensors, std::string& error)
{
    // A group's weight files are one byte stream, cut into the tensors in
    // the order the manifest lists them.
    std::vector<uchar> data;
    for (const cv::FileNode& path : group["paths"]) {
        std::vector<uchar> part;
        if (!path.isString() || !ReadFile(folder + "/" + path.string(), part)) {
            error = "cannot read a weight file the manifest names";
            return false;
        }
        data.insert(data.end(), part.begin(), part.end());
    }
    size_t offset = 0;
    for (const cv::FileNode& weight : group["weights"]) {
        estimator::QuantizedTensor tensor;
        const cv::FileNode quantization = weight["quantization"];
        if (!weight["name"].isString() || !quantization.isMap() ||
            static_cast<std::string>(quantization["dtype"]) != "uint8") {
            error = "a tensor of the manifest is not 8-bit quantised";
            return false;
        }
        tensor.name = weight["name"].string();
        size_t total = 1;
        for (const cv::FileNode& dim : weight["shape"]) {
            tensor.shape.push_back(static_cast<int>(dim));
            total *= static_cast<size_t>(tensor.shape.back());
        }
        tensor.min = static_cast<double>(quantization["min"]);
        tensor.scale = static_cast<double>(quantization["scale"]);
        if (offset + total > data.size()) {
            error = "the weight files are shorter than the manifest says";
            return false;
        }
        tensor.q.assign(data.begin() + offset, data.begin() + offset + total);
        offset += total;
        tensors.push_back(std::move(tensor));
    }
    if (offset != data.size()) {
        error = "the weight files are longer than the manifest says";
        return false;
    }
    return true;
}

}  // namespace

bool ReadTfjsWeights(const std::string& manifestPath,
                     std::vector<estimator::QuantizedTensor>& tensors, std::string& error)
{
    std::vector<uchar> text;
    if (!ReadFile(manifestPath, text)) {
        error = "cannot read the manifest " + manifestPath;
        return false;
    }
    try {
        // OpenCV's JSON reader wants an object at the top; the manifest is
        // an array of weight groups.
        const std::string document =
            "{\"groups\": " + std::string(text.begin(), text.end()) + "}";
        cv::FileStorage manifest(document, cv::FileStorage::READ | cv::FileStorage::MEMORY |
                                               cv::FileStorage::FORMAT_JSON);
        const cv::FileNode groups = manifest["groups"];
        if (!manifest.isOpened() || !groups.isSeq()) {
            error = "cannot read the manifest " + manifestPath;
            return false;
        }
        for (const cv::FileNode& group : groups) {
            if (!ReadGroup(group, Folder(manifestPath), tensors, error)) {
                return false;
            }
        }
    } catch (const cv::Exception& e) {
        error = "cannot read the manifest " + manifestPath + ": " + e.err;
        return false;
    }
    return true;
}

}  // namespace converter
}  // namespace zor
