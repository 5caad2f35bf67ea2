#include "tests/common/Errors.h"

#include "src/platform/ComError.h"

namespace testsupport {

HRESULT ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const platform::ComError& e) {
    return e.Error();
  }
  return S_OK;
}

}  // namespace testsupport
