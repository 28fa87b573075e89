#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "network/net_tensor.h"
#include "network/zor_ctx.h"

namespace zor {

// What a loaded model file runs; defined inside the library.
class NetModel;

// Owner of a block from the malloc family: frees it when not null.
struct MallocDeleter {
    void operator()(void* block) const noexcept { std::free(block); }
};
using MallocBuffer = std::unique_ptr<unsigned char, MallocDeleter>;

// One entry of a network's layer bookkeeping.
struct TensorRecord {
    int32_t m_index = 0;
    int32_t m_kind = 0;
    std::vector<int64_t> m_shape;
};

// Base of every network of the library: holds the loaded model and the
// buffers and tensor tables that running it needs.
class BaseNet {
public:
    BaseNet(const std::string& model, ZORCtx* ctx);
    virtual ~BaseNet() {}

    BaseNet(const BaseNet&) = delete;
    BaseNet& operator=(const BaseNet&) = delete;

protected:
    ZORCtx* m_ctx = nullptr;  // not owned
    bool m_ready = false;
    MallocBuffer m_rawBufferA;
    MallocBuffer m_rawBufferB;
    size_t m_rawBufferSize = 0;
    std::shared_ptr<NetModel> m_sharedObject;
    int32_t m_batchLimit = 1;
    std::vector<int32_t> m_plainListA;
    std::vector<TensorRecord> m_recordList;
    std::vector<InputTensor> m_inputTensors;
    std::vector<std::unordered_map<std::string, NetTensor>> m_tensorMaps;
    std::vector<int32_t> m_plainListB;
    int32_t m_runCount = 0;
};

}  // namespace zor
