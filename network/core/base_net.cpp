// The constructors of the base classes the header declares.

#include "network/base_net.h"
#include "network/net_tensor.h"

namespace zor {

NetTensor::NetTensor() = default;

InputTensor::InputTensor() = default;

BaseNet::BaseNet(const std::string& /*model*/, ZORCtx* ctx) : m_ctx(ctx) {}

}  // namespace zor
