#include "platform/LastError.h"

#include <utility>

namespace platform {

namespace {
thread_local std::string lastError;
}

const std::string& LastErrorText() {
    return lastError;
}

void SetLastErrorText(std::string text) {
    lastError = std::move(text);
}

}  // namespace platform
