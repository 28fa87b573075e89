#pragma once

#include <cstdint>
#include <string>

namespace zor {

// A named tensor slot of a network: its shape and where its data lives.
class NetTensor {
public:
    NetTensor();
    virtual ~NetTensor() {}

    int32_t m_batch = 0;
    int32_t m_channels = 0;
    int32_t m_height = 0;
    int32_t m_width = 0;
    float* m_data = nullptr;  // not owned
    std::string m_name;
};

// A tensor that receives network input, with the scaling applied to it.
class InputTensor : public NetTensor {
public:
    InputTensor();
    virtual ~InputTensor() {}

    float m_scale = 1.0f;
    float m_mean = 0.0f;
};

}  // namespace zor
