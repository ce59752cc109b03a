// Frames fetched ahead on standby readers, against scripted readers: a
// hand-over serves the frame asked for, one frame is kept per standby in the
// order given, a frame a seek lands on is kept as a copy that a spare takes
// over from, readers are opened only as needed, a failed fetch falls back to
// the reader in use, destruction waits out a fetch under way, warming up
// touches no reader, and the fetches run as background work.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#endif

#include "gateshow/FrameLookahead.h"
#include "tests/fakes/ScriptedFrameReaders.h"

namespace {

using Calls = std::vector<ScriptedFrameReaders::Call>;

constexpr uint32_t LENGTH = 1000;

class FrameLookahead : public ::testing::Test {
protected:
    // Reader 0 in use; readers 1 to nStandby opened as the lookahead asks.
    std::unique_ptr<CFrameLookahead> Make(int nStandby) {
        auto open = [this] { return readers.Make(++opened, LENGTH); };
        return std::make_unique<CFrameLookahead>(readers.Make(0, LENGTH), open,
                                                 static_cast<size_t>(nStandby), LENGTH);
    }

    // The frames asked for on the lookahead's own thread, in order.
    std::vector<uint32_t> Fetched(const Calls& calls) const {
        std::vector<uint32_t> frames;
        for (const auto& call : calls)
            if (call.thread != caller) frames.push_back(call.nFrame);
        return frames;
    }
    bool WaitFetched(std::set<uint32_t> frames) const {
        return readers.WaitFor([&](const Calls& calls) {
            for (uint32_t n : Fetched(calls)) frames.erase(n);
            return frames.empty();
        });
    }
    bool FetchedOn(int nReader, uint32_t n) const {
        for (const auto& call : readers.Calls())
            if (call.thread != caller && call.nReader == nReader && call.nFrame == n) return true;
        return false;
    }

    // The frame lookahead gives for n, and which reader answered the call.
    std::vector<uint8_t> Get(CFrameLookahead& lookahead, uint32_t n, int* pServer) const {
        const uint8_t* bits = lookahead.GetFrame(n);
        *pServer = -1;
        for (const auto& call : readers.Calls())
            if (call.thread == caller) *pServer = call.nReader;
        const size_t size = ScriptedFrameReaders::Frame(0).size();
        return bits ? std::vector<uint8_t>(bits, bits + size) : std::vector<uint8_t>();
    }

    ScriptedFrameReaders readers;
    std::atomic<int> opened{0};
    const std::thread::id caller = std::this_thread::get_id();
};

TEST_F(FrameLookahead, HandsOverAFetchedFrameAndTheReaderItReplacesStandsBy) {
    auto lookahead = Make(2);
    const uint32_t first[] = {100, 200};
    lookahead->Preload(first, 2);
    ASSERT_TRUE(WaitFetched({100, 200}));

    int server = -1;
    EXPECT_EQ(Get(*lookahead, 200, &server), ScriptedFrameReaders::Frame(200));
    EXPECT_NE(server, 0);
    EXPECT_TRUE(FetchedOn(server, 200));
    // The standby is the reader in use from now on.
    int next = -1;
    EXPECT_EQ(Get(*lookahead, 201, &next), ScriptedFrameReaders::Frame(201));
    EXPECT_EQ(next, server);

    const uint32_t later[] = {300, 400};
    lookahead->Preload(later, 2);
    ASSERT_TRUE(WaitFetched({300, 400}));
    EXPECT_TRUE(FetchedOn(0, 300) || FetchedOn(0, 400));
    EXPECT_EQ(readers.Overlaps(), 0);
}

TEST_F(FrameLookahead, KeepsOneFramePerStandbyInTheOrderGiven) {
    auto lookahead = Make(2);
    // Past the end, a repeat, and one frame more than there are readers.
    const uint32_t frames[] = {LENGTH, 10, 10, 20, 30};
    lookahead->Preload(frames, 5);
    ASSERT_TRUE(WaitFetched({10, 20}));
    // Each fetch reads the frame before first.
    EXPECT_EQ(Fetched(readers.Calls()), (std::vector<uint32_t>{9, 10, 19, 20}));

    // A new list leaves a standby the frame it holds.
    const uint32_t again[] = {20, 40};
    lookahead->Preload(again, 2);
    ASSERT_TRUE(WaitFetched({40}));
    EXPECT_EQ(Fetched(readers.Calls()), (std::vector<uint32_t>{9, 10, 19, 20, 39, 40}));
    int server = -1;
    EXPECT_EQ(Get(*lookahead, 20, &server), ScriptedFrameReaders::Frame(20));
    EXPECT_TRUE(FetchedOn(server, 20));
    EXPECT_EQ(Get(*lookahead, 40, &server), ScriptedFrameReaders::Frame(40));
    EXPECT_TRUE(FetchedOn(server, 40));
}

TEST_F(FrameLookahead, AFailedFetchFallsBackToTheReaderInUse) {
    readers.Fail(1, 50);
    auto lookahead = Make(1);
    const uint32_t frames[] = {50};
    lookahead->Preload(frames, 1);
    ASSERT_TRUE(WaitFetched({50}));
    int server = -1;
    EXPECT_EQ(Get(*lookahead, 50, &server), ScriptedFrameReaders::Frame(50));
    EXPECT_EQ(server, 0);

    // The spare cannot fetch the frame after a copy: the reader in use does.
    readers.KeyEvery(10);
    readers.Fail(1, 71);
    const uint32_t copy[] = {70};
    lookahead->Preload(copy, 1);
    ASSERT_TRUE(WaitFetched({70}));
    EXPECT_EQ(Get(*lookahead, 70, &server), ScriptedFrameReaders::Frame(70));
    ASSERT_TRUE(readers.WaitFor([](const Calls& calls) {
        return !calls.empty() && calls.back().nFrame == 71 && !calls.back().bDelivered;
    }));
    EXPECT_EQ(Get(*lookahead, 71, &server), ScriptedFrameReaders::Frame(71));
    EXPECT_EQ(server, 0);
}

// Frames a seek lands on are fetched once each, with no frame before, by
// one spare; the copy comes out as the frame, and the spare then fetches it
// and the frame after, and serves from there on.
TEST_F(FrameLookahead, AFrameASeekLandsOnIsCopiedAndTheSpareTakesOverAfterIt) {
    readers.KeyEvery(50);
    auto lookahead = Make(3);
    const uint32_t frames[] = {100, 150, 200};
    lookahead->Preload(frames, 3);
    ASSERT_TRUE(WaitFetched({100, 150, 200}));
    EXPECT_EQ(Fetched(readers.Calls()), (std::vector<uint32_t>{100, 150, 200}));
    EXPECT_EQ(opened.load(), 1);

    int server = -1;
    EXPECT_EQ(Get(*lookahead, 150, &server), ScriptedFrameReaders::Frame(150));
    EXPECT_EQ(server, -1);  // no reader was asked on the caller's thread
    // Copies named while the spare follows wait for the reader it frees.
    const uint32_t later[] = {250, 300};
    lookahead->Preload(later, 2);
    EXPECT_EQ(Get(*lookahead, 150, &server), ScriptedFrameReaders::Frame(150));
    ASSERT_TRUE(WaitFetched({151}));
    EXPECT_EQ(Get(*lookahead, 151, &server), ScriptedFrameReaders::Frame(151));
    EXPECT_EQ(server, 1);
    EXPECT_TRUE(FetchedOn(1, 150) && FetchedOn(1, 151));
    lookahead->Preload(later, 2);
    ASSERT_TRUE(WaitFetched({250, 300}));
    EXPECT_TRUE(FetchedOn(0, 250) && FetchedOn(0, 300));
    EXPECT_EQ(opened.load(), 1);
    EXPECT_EQ(Get(*lookahead, 152, &server), ScriptedFrameReaders::Frame(152));
    EXPECT_EQ(server, 1);
    EXPECT_EQ(readers.Overlaps(), 0);
}

// Frames a seek misses hold a standby each, but one reader stays spare
// while any copy is wanted; a frame beyond that is left out.
TEST_F(FrameLookahead, AReaderStaysSpareBesideTheFramesHeld) {
    readers.KeyEvery(50);
    auto lookahead = Make(2);
    const uint32_t frames[] = {120, 150, 170, 200};
    lookahead->Preload(frames, 4);
    ASSERT_TRUE(WaitFetched({120, 150, 200}));
    int server = -1;
    EXPECT_EQ(Get(*lookahead, 150, &server), ScriptedFrameReaders::Frame(150));
    ASSERT_TRUE(WaitFetched({151}));
    EXPECT_EQ(Get(*lookahead, 151, &server), ScriptedFrameReaders::Frame(151));
    EXPECT_TRUE(FetchedOn(server, 150) && !FetchedOn(server, 120));
    EXPECT_FALSE(FetchedOn(1, 170) || FetchedOn(2, 170));
    EXPECT_EQ(opened.load(), 2);
}

// The thread is inside a reader when the lookahead goes: the end waits for
// that call to return and then comes at once. AddressSanitizer and
// ThreadSanitizer see what it touches on the way.
TEST_F(FrameLookahead, DestructionDuringAFetchWaitsForItAndEnds) {
    auto lookahead = Make(2);
    readers.HoldNext(70);
    const uint32_t frames[] = {70, 80};
    lookahead->Preload(frames, 2);
    ASSERT_TRUE(readers.WaitHeld());

    std::promise<void> ended;
    std::future<void> done = ended.get_future();
    std::thread destroyer([p = lookahead.release(), ended = std::move(ended)]() mutable {
        delete p;
        ended.set_value();
    });
    // Time for the destruction to reach its wait; it must not end before the call returns.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(done.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    readers.Release();
    if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        destroyer.detach();
        FAIL() << "the lookahead did not end";
    }
    destroyer.join();
    EXPECT_EQ(readers.Overlaps(), 0);
}

// Warming up only reads what is held: it calls no reader, and it passes a
// frame still being fetched over rather than wait for it in the caller's
// tick.
TEST_F(FrameLookahead, WarmingUpCallsNoReaderAndWaitsForNoFetch) {
    readers.KeyEvery(50);
    auto lookahead = Make(2);
    const uint32_t frames[] = {150, 120};
    lookahead->Preload(frames, 2);
    ASSERT_TRUE(WaitFetched({150, 120}));
    const size_t calls = readers.Calls().size();
    for (uint32_t n : {150u, 120u, 300u}) lookahead->WarmUp(n);
    EXPECT_EQ(readers.Calls().size(), calls);

    readers.HoldNext(200);
    const uint32_t later[] = {200};
    lookahead->Preload(later, 1);
    ASSERT_TRUE(readers.WaitHeld());
    auto warm = std::async(std::launch::async, [&] { lookahead->WarmUp(200); });
    EXPECT_EQ(warm.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    readers.Release();
}

#if defined(__linux__)
// Its fetches run as background work, which never preempts the caller's
// thread on waking; the caller's own class is left alone.
TEST_F(FrameLookahead, ItsThreadRunsAsBackgroundWork) {
    std::atomic<int> policy{-1};
    auto open = [&] {
        policy = sched_getscheduler(0);
        return readers.Make(1, LENGTH);
    };
    CFrameLookahead lookahead(readers.Make(0, LENGTH), open, 1, LENGTH);
    const uint32_t frames[] = {40};
    lookahead.Preload(frames, 1);
    ASSERT_TRUE(WaitFetched({40}));
    EXPECT_EQ(policy, SCHED_BATCH);
    EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
}
#endif

}  // namespace
