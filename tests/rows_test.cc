#include <gtest/gtest.h>

#include "rows/data_col.h"
TEST(DataValueTest, Placeholder) { EXPECT_EQ(tablog::DataValue("'a'").text(), "a"); }
