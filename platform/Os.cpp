#include "platform/Platform.h"

namespace velmor::platform {

IPlatform& Os() {
  return HostPlatform();
}

}  // namespace velmor::platform
