#include "acquisition/completion_wait.h"

#include <gtest/gtest.h>
#include <thread>

namespace kalvo {
namespace {

using namespace std::chrono_literals;

TEST(CompletionWait, OnlyTheAwaitedTransactionCompletesTheWait) {
    CompletionWait wait;
    wait.Expect([] { return 7u; });
    EXPECT_FALSE(wait.Accepts(6)) << "a late completion of an earlier transaction";
    wait.Complete(6);
    EXPECT_FALSE(wait.Wait(50ms));
    EXPECT_FALSE(wait.Accepts(7)) << "its wait has timed out: nothing is awaited any more";

    wait.Expect([] { return 8u; });
    std::thread completer([&wait] {
        ASSERT_TRUE(wait.Accepts(8));
        wait.Complete(8);
    });
    EXPECT_TRUE(wait.Wait(5s));
    completer.join();
    EXPECT_FALSE(wait.Accepts(8)) << "a transaction completes once";
}

TEST(CompletionWait, AbortWakesTheWaitAtOnce) {
    CompletionWait wait;
    wait.Expect([] { return 1u; });
    std::thread aborter([&wait] { wait.Abort(); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(wait.Wait(5s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    aborter.join();
}

} // namespace
} // namespace kalvo
