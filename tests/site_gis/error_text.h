// The message of the Error a piece of the grid core throws, for tests that check what the user reads.
#pragma once

#include "errors.h"

#include <gtest/gtest.h>

#include <string>

namespace qm::test {

// The message of the Error `work` throws; "" (and a test failure) when it throws none.
template <typename Work>
std::string ErrorText(Work&& work)
{
    try {
        work();
    } catch (const Error& e) {
        return e.what();
    }
    ADD_FAILURE() << "no Error was thrown";
    return {};
}

} // namespace qm::test
