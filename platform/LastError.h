#pragma once
// The text of the last failure of a platform call on this thread, in the manner of the
// Windows GetLastError: a failing call sets it, a succeeding call leaves it alone.

#include <string>
#include <string_view>

namespace platform {

const std::string& LastErrorText();
void SetLastErrorText(std::string text);

}  // namespace platform
