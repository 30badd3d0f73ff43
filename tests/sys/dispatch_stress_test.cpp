// Many producers through one queue while broadcasts race queues being made and destroyed:
// nothing is lost, duplicated or reordered per producer on the queue that stays.
#include "dispatch_support.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

namespace {

using systest::named;
using systest::pollName;

constexpr int kProducers = 4;
constexpr u16 kStressId = mJogMotion;

// Every message carries its producer in the id and its number in the body.
class OrderCheck {
  public:
    // Returns false on a message that is not the next one of its producer.
    bool expectNext(const msg &m) {
        const u16 producer = m.sysex.id;
        if (producer >= kProducers || m.sysex.body.endofsong.index != next_[producer]) return false;
        ++next_[producer];
        return true;
    }
    // For a queue that may miss messages: numbers only rise.
    bool expectRising(const msg &m) {
        const u16 producer = m.sysex.id;
        if (producer >= kProducers || m.sysex.body.endofsong.index < next_[producer]) return false;
        next_[producer] = m.sysex.body.endofsong.index + 1;
        return true;
    }
    u32 next(int producer) const { return next_[static_cast<std::size_t>(producer)]; }

  private:
    std::array<u32, kProducers> next_{};
};

// Makes, fills a little, and destroys registered queues until told to stop.
void churn(const std::atomic<bool> &stop, std::atomic<int> &cycles, std::atomic<bool> &churn_ok) {
    while (!stop.load()) {
        msgq *q = q_create("@churn", Q_TYPE_FAST, 4096);
        q_register(q, &kStressId, 1);
        OrderCheck order;
        msg m{};
        for (int taken = 0, spins = 0; taken < 64 && spins < 4096; ++spins) {
            if (q_get(q, &m, nullptr, 0) > 0) {
                ++taken;
                if (!order.expectRising(m)) churn_ok = false;
            }
        }
        q_unregister(q, &kStressId, 1);
        while (q_get(q, &m, nullptr, 0) > 0) {
            if (!order.expectRising(m)) churn_ok = false;
        }
        q_destroy(q);
        ++cycles;
    }
}

void produce(msgq *target, int producer, u32 count, bool mix_broadcasts) {
    for (u32 seq = 0; seq < count; ++seq) {
        const msg m = named(kStressId, static_cast<u16>(producer), seq);
        // Mostly broadcasts, with targeted puts between them on the same ring.
        const bool targeted = !mix_broadcasts || seq % 8 == 7;
        q_put(targeted ? target : nullptr, &m, Q_PRIORITY, Q_WAIT_FOREVER);
    }
}

TEST(DispatchStress, FourProducersOneConsumerWhileQueuesComeAndGo) {
    constexpr u32 kTotal = 1'000'000;
    constexpr u32 kPerProducer = kTotal / kProducers;
    msgq *in = q_create("@stress_in", Q_TYPE_FAST, 4096);
    q_register(in, &kStressId, 1);

    std::atomic<bool> stop{false};
    std::atomic<int> cycles{0};
    std::atomic<bool> churn_ok{true};
    std::thread churner(churn, std::cref(stop), std::ref(cycles), std::ref(churn_ok));

    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) producers.emplace_back(produce, in, p, kPerProducer, true);

    OrderCheck order;
    u32 received = 0;
    u32 out_of_order = 0;
    msg m{};
    while (received < kTotal) {
        ASSERT_EQ(q_get(in, &m, nullptr, Q_WAIT_FOREVER), static_cast<int>(kMsgSize));
        if (!order.expectNext(m)) ++out_of_order;
        ++received;
    }
    for (std::thread &t : producers) t.join();
    stop = true;
    churner.join();

    EXPECT_EQ(out_of_order, 0u);
    for (int p = 0; p < kProducers; ++p) EXPECT_EQ(order.next(p), kPerProducer) << p;
    EXPECT_EQ(q_get(in, &m, nullptr, 0), -1); // nothing duplicated beyond the count
    EXPECT_TRUE(churn_ok.load());
    EXPECT_GT(cycles.load(), 0);
    q_unregister(in, &kStressId, 1);
    q_destroy(in);
}

TEST(DispatchStress, FourProducersThroughOnePollableQueue) {
    constexpr u32 kPerProducer = 5000;
    msgq *in = q_create(pollName("ps").c_str(), Q_TYPE_POLLABLE, 8);
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) producers.emplace_back(produce, in, p, kPerProducer, false);

    OrderCheck order;
    u32 out_of_order = 0;
    msg m{};
    for (u32 received = 0; received < kPerProducer * kProducers; ++received) {
        // Alternate the reader's blocking mode under the senders.
        int got = -1;
        while (got < 0) got = q_get(in, &m, nullptr, received % 2 == 0 ? 0 : Q_WAIT_FOREVER);
        ASSERT_EQ(got, static_cast<int>(kMsgSize));
        if (!order.expectNext(m)) ++out_of_order;
    }
    for (std::thread &t : producers) t.join();
    EXPECT_EQ(out_of_order, 0u);
    for (int p = 0; p < kProducers; ++p) EXPECT_EQ(order.next(p), kPerProducer) << p;
    EXPECT_EQ(q_get(in, &m, nullptr, 0), -1);
    q_destroy(in);
}

} // namespace
