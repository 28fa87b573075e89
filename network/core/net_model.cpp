#include "net_model.h"

#include "network/base_net.h"
#include "network/net_tensor.h"

namespace zor {

NetTensor::NetTensor() = default;

InputTensor::InputTensor() = default;

BaseNet::BaseNet(const std::string& /*model*/, ZORCtx* ctx) : m_ctx(ctx) {}

}  // namespace zor
