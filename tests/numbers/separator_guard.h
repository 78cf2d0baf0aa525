// Runs each test under a chosen decimal separator and puts the process's separator back after it.
#pragma once

#include "field_value.h"

#include <gtest/gtest.h>

namespace qm::test {

class SeparatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = DecimalSeparator();
        SetDecimalSeparator('.');
    }
    void TearDown() override { SetDecimalSeparator(saved_); }

private:
    char saved_ = '.';
};

} // namespace qm::test
