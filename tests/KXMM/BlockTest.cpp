#include "KXMM/KXMM.h"
#include <gtest/gtest.h>
TEST(Smoke, Allocate) {
  KXMM::Partition p;
  char* x = p.NewPtr(10);
  ASSERT_NE(x, nullptr);
  p.DisposePtr(x);
}
