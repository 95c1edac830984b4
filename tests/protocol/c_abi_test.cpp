// Both exported interfaces called from a translation unit compiled as C.
#include <gtest/gtest.h>

extern "C" int tauravat_c_abi_check(void);

TEST(CInterface, ExportsWorkFromC) {
  EXPECT_EQ(tauravat_c_abi_check(), 0);
}
