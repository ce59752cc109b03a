// The liblo backend on loopback: the bounded queue, endpoints as users write
// them, messages both ways with their values, bad packets and floods on the
// way in, peers that are not there, and hosts the resolver cannot find or
// does not answer for.

#include <gtest/gtest.h>
#include <lo/lo.h>

#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/osc/LibloOsc.h"
#include "platform/osc/OscEndpoint.h"
#include "platform/osc/OscQueue.h"
#include "platform/osc/OscSender.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/fakes/RecordingOsc.h"
#include "tests/support/OscLoopback.h"

namespace {

LibloOsc::Config Listening(size_t nQueue = OSC_RECEIVE_QUEUE) {
    LibloOsc::Config config;
    config.strInPort = "0";
    config.nReceiveQueue = nQueue;
    return config;
}

LibloOsc::Config SendingTo(uint16_t port) {
    LibloOsc::Config config;
    config.strOutHost = "localhost";
    config.strOutPort = std::to_string(port);
    return config;
}

OscMessage Numbered(int n) {
    OscMessage msg("/zarn/play");
    msg.Int(n);
    return msg;
}

TEST(OscQueue, KeepsTheNewestInOrderAndCountsWhatItDropped) {
    OscQueue queue(4);
    std::vector<bool> room;
    for (int n = 0; n < 10; ++n) room.push_back(queue.Push(Numbered(n)));
    EXPECT_EQ(room, (std::vector<bool>{true, true, true, true, false, false, false, false, false,
                                       false}));
    EXPECT_EQ(queue.Dropped(), 6u);
    EXPECT_EQ(queue.Size(), 4u);
    queue.Close();
    std::vector<int> taken;
    for (OscMessage msg; queue.WaitPop(msg);) taken.push_back(msg.args[0].nValue);
    EXPECT_EQ(taken, (std::vector<int>{6, 7, 8, 9}));
    OscMessage msg;
    EXPECT_FALSE(queue.Pop(msg));
}

TEST(OscEndpoint, ReadsWhatUsersWrite) {
    struct Case {
        const char* text;
        const char* szDefault;
        bool ok;
        const char* host;
        const char* port;
    } cases[] = {
        {"localhost:9000", nullptr, true, "localhost", "9000"},
        {"192.168.1.20:57120", nullptr, true, "192.168.1.20", "57120"},
        {"[::1]:9000", nullptr, true, "::1", "9000"},
        {"9000", "127.0.0.1", true, "127.0.0.1", "9000"},
        {"9000", nullptr, false, "", ""},
        {"host:", nullptr, false, "", ""},
        {":9000", nullptr, false, "", ""},
        {"host:0", nullptr, false, "", ""},
        {"0.0.0.0:65536", "127.0.0.1", false, "", ""},
        {"host:90a0", nullptr, false, "", ""},
        {"::1:9000", nullptr, false, "", ""},
    };
    for (const Case& c : cases) {
        OscEndpoint endpoint;
        EXPECT_EQ(ParseOscEndpoint(c.text, c.szDefault, endpoint), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(endpoint.strHost, c.host) << c.text;
        EXPECT_EQ(endpoint.strPort, c.port) << c.text;
    }
}

// Every argument type both ways, in order, through two backends.
TEST(LibloOsc, MessagesArriveWithTheirValuesInOrder) {
    PostedCalls ui;
    KeptMessages kept;
    LibloOsc in(Listening(), ui.Poster());
    ASSERT_NE(in.ReceivePort(), 0);
    in.SetListener(&kept);
    std::vector<std::string> sent;
    {
        LibloOsc out(SendingTo(in.ReceivePort()), nullptr);
        ASSERT_TRUE(out.IsSending());
        OscMessage first("/zarn/show/start");
        first.String("clips/stage 1.avi").Int(-640).Int(2147483647).Float(29.97f);
        out.Send(first);
        sent.push_back(RecordingOsc::Text(first));
        for (int n = 0; n < 50; ++n) {
            OscMessage msg("/zarn/rank");
            msg.Int(n).Float(n + 0.5f).String(std::string(n, 'x'));
            out.Send(msg);
            sent.push_back(RecordingOsc::Text(msg));
        }
        out.Send(OscMessage("/zarn/show/end"));
        sent.push_back("/zarn/show/end");
    }
    ASSERT_TRUE(ui.RunUntil([&] { return kept.messages.size() >= sent.size(); }));
    std::vector<std::string> got;
    for (const OscMessage& msg : kept.messages) got.push_back(RecordingOsc::Text(msg));
    EXPECT_EQ(got, sent);
    EXPECT_EQ(kept.messages.front().strTypes, "siif");
    EXPECT_EQ(in.Stats().nReceived, sent.size());
}

// Waits until the receiver has taken no datagram for 300 ms (10 s at most):
// everything sent before has been read or lost.
void WaitQuiet(const LibloOsc& in) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    auto count = [&] { return in.Stats().nReceived + in.Stats().nMalformed; };
    for (uint64_t last = ~uint64_t{0}; count() != last;) {
        if (std::chrono::steady_clock::now() > deadline) return;
        last = count();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
}

// Serialised by liblo, sent through one socket so they arrive in order.
std::vector<uint8_t> Serialised(const char* path, lo_message m) {
    size_t size = 0;
    void* data = lo_message_serialise(m, path, nullptr, &size);
    std::vector<uint8_t> bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    free(data);
    lo_message_free(m);
    return bytes;
}

// Broken packets, bundles and blobs (which liblo reads past when cut short)
// are dropped with one line per kind however often they come; a message
// with other types the program never takes still arrives whole, with its
// full type string.
TEST(LibloOsc, BadPacketsCostOneLinePerKind) {
    PostedCalls ui;
    KeptMessages kept;
    LibloOsc in(Listening(), ui.Poster());
    in.SetListener(&kept);
    LoopbackUdpSocket raw;

    lo_message inner = lo_message_new();
    lo_message_add_int32(inner, 3);
    lo_bundle bundle = lo_bundle_new(LO_TT_IMMEDIATE);
    lo_bundle_add_message(bundle, "/zarn/play", inner);
    size_t bundleSize = 0;
    void* bundleBytes = lo_bundle_serialise(bundle, nullptr, &bundleSize);
    lo_bundle_free_recursive(bundle);
    lo_message odd = lo_message_new();
    lo_message_add_int64(odd, 1);
    lo_message_add_double(odd, 2.5);
    lo_message_add_true(odd);
    lo_message_add_string(odd, "x");
    const std::vector<uint8_t> oddBytes = Serialised("/zarn/play", odd);
    lo_message withBlob = lo_message_new();
    lo_blob blob = lo_blob_new(5, "abcde");
    lo_message_add_blob(withBlob, blob);
    const std::vector<uint8_t> blobBytes = Serialised("/zarn/play", withBlob);
    lo_blob_free(blob);
    const char shortBlob[] = "/zarn/play\0\0,ib\0\0\0\0\x03";

    testing::internal::CaptureStderr();
    const char garbage[] = "not osc at all";
    const char noTypes[] = "/zarn/play\0\0";
    for (int n = 0; n < 5; ++n) {
        raw.SendTo(in.ReceivePort(), garbage, sizeof garbage - 1);
        raw.SendTo(in.ReceivePort(), noTypes, sizeof noTypes - 1);
        raw.SendTo(in.ReceivePort(), bundleBytes, bundleSize);
        raw.SendTo(in.ReceivePort(), blobBytes.data(), blobBytes.size());
        raw.SendTo(in.ReceivePort(), shortBlob, sizeof shortBlob - 1);
    }
    raw.SendTo(in.ReceivePort(), oddBytes.data(), oddBytes.size());
    ASSERT_TRUE(ui.RunUntil([&] { return !kept.messages.empty(); }));
    const std::string err = testing::internal::GetCapturedStderr();
    free(bundleBytes);

    EXPECT_EQ(CountLinesWith(err, "not an OSC message"), 1) << err;
    EXPECT_EQ(CountLinesWith(err, "bundle"), 1) << err;
    EXPECT_EQ(CountLinesWith(err, "blob"), 1) << err;
    EXPECT_EQ(in.Stats().nMalformed, 25u);
    ASSERT_EQ(kept.messages.size(), 1u);
    EXPECT_EQ(kept.messages[0].strTypes, "hdTs");
    EXPECT_EQ(kept.messages[0].args[3].strValue, "x");
}

// 10,000 messages in about a second while the user-interface thread is
// busy: at most one hand-over waits, the inbox keeps its capacity, and one
// hand-over gives the listener that many, the newest, in order.
TEST(LibloOsc, AFloodStaysBounded) {
    constexpr size_t CAPACITY = 64;
    constexpr int FLOOD = 10000;
    PostedCalls ui;
    KeptMessages kept;
    LibloOsc in(Listening(CAPACITY), ui.Poster());
    in.SetListener(&kept);
    LoopbackUdpSocket raw;
    size_t mostPending = 0;
    for (int n = 0; n < FLOOD; ++n) {
        lo_message m = lo_message_new();
        lo_message_add_int32(m, n);
        const std::vector<uint8_t> bytes = Serialised("/zarn/play", m);
        raw.SendTo(in.ReceivePort(), bytes.data(), bytes.size());
        if (n % 100 == 99) {
            mostPending = std::max(mostPending, ui.Pending());
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    WaitQuiet(in);
    EXPECT_LE(std::max(mostPending, ui.Pending()), 1u);

    const OscStats stats = in.Stats();
    ASSERT_GE(stats.nReceived, CAPACITY);
    EXPECT_EQ(stats.nReceived - stats.nReceiveDropped, CAPACITY);
    ui.RunWaiting();
    ASSERT_EQ(kept.messages.size(), CAPACITY);
    EXPECT_EQ(ui.RunWaiting(), 0u);
    for (size_t i = 1; i < kept.messages.size(); ++i)
        EXPECT_LT(kept.messages[i - 1].args[0].nValue, kept.messages[i].args[0].nValue);
}

// A receiver that is not there, and a port someone else holds: no dialog,
// no more than one line each, and sending never waits.
TEST(LibloOsc, PeersThatAreNotThereCostOneLineAtMost) {
    RecordingMessageBox messages;
    platform::SetMessageBox(&messages);
    uint16_t closedPort = 0;
    {
        LoopbackUdpSocket gone;
        closedPort = gone.port;
    }
    LoopbackUdpSocket held;
    testing::internal::CaptureStderr();
    OscStats stats;
    {
        LibloOsc::Config config = SendingTo(closedPort);
        config.strInPort = std::to_string(held.port);
        LibloOsc osc(config, PostedCalls().Poster());
        EXPECT_EQ(osc.ReceivePort(), 0);
        for (int n = 0; n < 100; ++n) osc.Send(Numbered(n));
        stats = osc.Stats();
    }
    const std::string err = testing::internal::GetCapturedStderr();
    platform::SetMessageBox(nullptr);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(CountLinesWith(err, "cannot listen"), 1) << err;
    EXPECT_LE(CountLinesWith(err, "osc:"), 2) << err;
    EXPECT_EQ(stats.nQueued, 100u);
    EXPECT_EQ(stats.nSendDropped, 0u);
}

// A lookup that gets no answer until the test lets it go, as a resolver
// whose server never replies; then the host is not found.
struct HeldLookup {
    bool Wait(std::string& strError) {
        std::unique_lock<std::mutex> lock(mutex);
        bAsked = true;
        cv.notify_all();
        cv.wait(lock, [this] { return bReleased; });
        strError = "no answer";
        return false;
    }
    bool WaitAsked() {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(10), [this] { return bAsked; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex);
        bReleased = true;
        cv.notify_all();
    }

    std::mutex mutex;
    std::condition_variable cv;
    bool bAsked = false;
    bool bReleased = false;
};

OscLookup Held(const std::shared_ptr<HeldLookup>& pHeld) {
    return [pHeld](const std::string&, const std::string&, std::string&, std::string& strError) {
        return pHeld->Wait(strError);
    };
}

// The end does not wait for a resolver that never answers; the thread left
// in it lets go of everything it holds once the lookup returns.
TEST(OscSender, EndsWhileTheResolverGivesNoAnswer) {
    auto pHeld = std::make_shared<HeldLookup>();
    testing::internal::CaptureStderr();
    auto pSender = std::make_unique<OscSender>("osc.example", "9000", 16, Held(pHeld));
    for (int n = 0; n < 3; ++n) pSender->Send(Numbered(n));
    ASSERT_TRUE(pHeld->WaitAsked());
    auto ended = std::async(std::launch::async, [&pSender] { pSender.reset(); });
    const bool bReturned = ended.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    pHeld->Release();
    ended.wait();
    EXPECT_TRUE(bReturned) << "the end waited for the resolver";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pHeld.use_count() > 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(pHeld.use_count(), 1) << "the sending thread never ended";
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLinesWith(err, "osc.example"), 2) << err;
}

// A host that is not found: one line, and every message counts as failed.
TEST(OscSender, AHostNotFoundIsSaidOnceAndItsMessagesFail) {
    testing::internal::CaptureStderr();
    {
        OscSender sender(
            "osc.example", "9000", 16,
            [](const std::string&, const std::string&, std::string&, std::string& strError) {
                strError = "Name or service not known";
                return false;
            });
        for (int n = 0; n < 5; ++n) sender.Send(Numbered(n));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (sender.Failed() < 5 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(sender.Failed(), 5u);
        EXPECT_EQ(sender.Sent(), 0u);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLinesWith(err, "osc.example"), 1) << err;
    EXPECT_EQ(CountLinesWith(err, "Name or service not known"), 1) << err;
}

}  // namespace
