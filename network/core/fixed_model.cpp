#include "fixed_model.h"

#include <utility>

namespace zor {
namespace {

class FixedModel : public NetModel {
public:
    explicit FixedModel(std::vector<float> output) : m_output(std::move(output)) {}

    std::vector<float> Run(const cv::Mat& image) override
    {
        if (image.empty()) {
            return {};
        }
        return m_output;
    }

private:
    std::vector<float> m_output;
};

}  // namespace

std::shared_ptr<NetModel> ReadFixedModel(const cv::FileNode& document, std::string& error)
{
    const cv::FileNode output = document["output"];
    if (!output.isSeq()) {
        error = "\"output\" is not a sequence of numbers";
        return nullptr;
    }
    std::vector<float> values;
    values.reserve(output.size());
    for (const cv::FileNode& item : output) {
        if (!item.isReal() && !item.isInt()) {
            error = "\"output\" holds an element that is not a number";
            return nullptr;
        }
        values.push_back(static_cast<float>(item.real()));
    }
    return std::make_shared<FixedModel>(std::move(values));
}

}  // namespace zor
