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
    std::jthread completer([&wait] {
        EXPECT_TRUE(wait.Accepts(8));
        wait.Complete(8);
    });
    EXPECT_TRUE(wait.Wait(5s));
    completer.join();
    EXPECT_FALSE(wait.Accepts(8)) << "a transaction completes once";
}

TEST(CompletionWait, AfterAnAbortNothingIsAwaitedOrQueued) {
    CompletionWait wait;
    wait.Expect([] { return 1u; });
    wait.Abort();
    EXPECT_FALSE(wait.Accepts(1)) << "aborted before its waiter woke: nothing is awaited";
    bool queued = false;
    wait.Expect([&queued] {
        queued = true;
        return 2u;
    });
    EXPECT_FALSE(queued) << "an aborted run asks nothing more";
    EXPECT_FALSE(wait.Accepts(2));
    EXPECT_FALSE(wait.Wait(5s)) << "at once";
}

TEST(CompletionWait, AbortWakesAWaitInProgress) {
    CompletionWait wait;
    wait.Expect([] { return 1u; });
    std::jthread aborter([&wait] { wait.Abort(); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(wait.Wait(5s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    aborter.join();
}

} // namespace
} // namespace kalvo
