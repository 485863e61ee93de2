// The termination signals: the first is handed on and the process lives on; a second ends it.
#include "platform/termination_signals.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <future>

TEST(TerminationSignals, TheFirstSignalIsHandedOnAndASecondEndsTheProcessAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        EXPECT_EXIT(
            {
                std::promise<int> handed;
                TerminationSignals watch([&handed](int s) { handed.set_value(s); });
                std::raise(sig);
                auto first = handed.get_future();
                if (first.wait_for(std::chrono::seconds(10)) != std::future_status::ready ||
                    first.get() != sig || watch.Received() != sig)
                    std::_Exit(1);
                std::raise(SIGINT);
                std::_Exit(3); // not reached
            },
            ::testing::ExitedWithCode(128 + SIGINT), "")
            << sig;
    }
}
