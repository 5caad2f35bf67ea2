// The HRESULT a host or engine call fails with, for tables of cases.
#pragma once

#include <functional>

#include "src/platform/Types.h"

namespace testsupport {

// The error of the ComError `f` raises; S_OK when it raises none.
HRESULT ErrorOf(const std::function<void()>& f);

}  // namespace testsupport
