#include "shared/model_loaded.h"

namespace zor::test::shared {
namespace {

// Names BaseNet's protected members, never made: a pointer to a protected
// member may be formed through a derived class and applied to any Facepose.
struct LoadedState : zor::vision::Facepose {
    LoadedState() = delete;

    static bool Of(const zor::vision::Facepose& network)
    {
        return network.*(&LoadedState::m_ready) && network.*(&LoadedState::m_sharedObject) != nullptr;
    }
};

}  // namespace

bool ModelLoaded(const zor::vision::Facepose& network)
{
    return LoadedState::Of(network);
}

}  // namespace zor::test::shared
