#include <gtest/gtest.h>

#include "platform/Types.h"

TEST(PlatformTypes, HresultMacros) {
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), (HRESULT)0x80070002L);
}
