#include <gtest/gtest.h>

#include "DCU_In.h"

TEST(Scanner, Placeholder) { SUCCEED(); }
