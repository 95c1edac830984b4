// Calls both exported interfaces through a translation unit compiled as C, linked to the
// shared library as a point-of-sale program would be.
#include <gtest/gtest.h>

extern "C" int tauravat_c_abi_check(void);

TEST(CInterface, ExportsWorkFromC) {
  EXPECT_EQ(tauravat_c_abi_check(), 0);
}
