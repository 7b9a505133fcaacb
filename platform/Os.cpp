#include "platform/Platform.h"

namespace velmor::platform {
namespace {
IPlatform* current = nullptr;
}  // namespace

IPlatform& Os() { return current ? *current : HostPlatform(); }

ScopedPlatform::ScopedPlatform(IPlatform& replacement) : previous_(current) { current = &replacement; }

ScopedPlatform::~ScopedPlatform() { current = previous_; }

}  // namespace velmor::platform
