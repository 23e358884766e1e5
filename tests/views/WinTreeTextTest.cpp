#include <gtest/gtest.h>
#include "views/wintree.h"
TEST(X, Z) {}
