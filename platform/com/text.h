// Text at the layer's edges: Windows-1252 bytes, UTF-16 (BSTRs) and UTF-8 (the bus), through the
// platform's one conversion (platform/text/text.h, which says what each function does).
#pragma once

#include "platform/text/text.h"

namespace platform::com {

using platform::text::cp1252_from_utf16;
using platform::text::cp1252_from_utf8;
using platform::text::utf16_from_cp1252;
using platform::text::utf16_from_utf8;
using platform::text::utf8_from_cp1252;
using platform::text::utf8_from_utf16;

}  // namespace platform::com
