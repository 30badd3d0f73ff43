// The message queues: ns per put+get pair on each kind of queue, and the throughput of one
// producer thread feeding one consumer.
#include "sys/dispatch.h"

#include <benchmark/benchmark.h>

#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

void ensureDispatcher() {
    static std::once_flag once;
    std::call_once(once, [] { dispatch_init(); });
}

msg sample(u32 seq) {
    msg m{};
    msg_stuff_endofsong(&m, mVUpdate, 0, seq);
    return m;
}

void putGetPairs(benchmark::State &state, const std::string &name, q_type type) {
    ensureDispatcher();
    msgq *q = q_create(name.c_str(), type, 16);
    msg out{};
    u32 seq = 0;
    for (auto _ : state) {
        const msg in = sample(seq++);
        q_put(q, &in, Q_PRIORITY, 0);
        benchmark::DoNotOptimize(q_get(q, &out, nullptr, 0));
    }
    q_destroy(q);
}

void BM_FastPutGet(benchmark::State &state) {
    putGetPairs(state, "@bench_fast", Q_TYPE_FAST);
}

void BM_PollablePutGet(benchmark::State &state) {
    putGetPairs(state, "/bench" + std::to_string(getpid()), Q_TYPE_POLLABLE);
}

// Broadcast to the given number of registered fast queues, each then drained.
void BM_BroadcastPutGet(benchmark::State &state) {
    ensureDispatcher();
    const int count = static_cast<int>(state.range(0));
    const u16 id = mVUpdate;
    msgq *queues[Q_MAX_QUEUES] = {};
    for (int i = 0; i < count; ++i) {
        queues[i] = q_create("@bench_bc", Q_TYPE_FAST, 16);
        q_register(queues[i], &id, 1);
    }
    msg out{};
    for (auto _ : state) {
        const msg in = sample(0);
        q_put(nullptr, &in, Q_PRIORITY, 0);
        for (int i = 0; i < count; ++i) benchmark::DoNotOptimize(q_get(queues[i], &out, nullptr, 0));
    }
    for (int i = 0; i < count; ++i) {
        q_unregister(queues[i], &id, 1);
        q_destroy(queues[i]);
    }
}

// One producer thread puts a batch while this thread takes; items/s is the throughput.
// Arguments: ring depth, batch size. A producer that finds the ring full retries every
// 10 ms, which the small ring shows.
void BM_SpscThroughput(benchmark::State &state) {
    ensureDispatcher();
    const auto batch = static_cast<u32>(state.range(1));
    msgq *q = q_create("@bench_spsc", Q_TYPE_FAST, state.range(0));
    msg out{};
    for (auto _ : state) {
        std::thread producer([q, batch] {
            for (u32 seq = 0; seq < batch; ++seq) {
                const msg in = sample(seq);
                q_put(q, &in, Q_PRIORITY, Q_WAIT_FOREVER);
            }
        });
        for (u32 taken = 0; taken < batch; ++taken) q_get(q, &out, nullptr, Q_WAIT_FOREVER);
        producer.join();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * batch);
    q_destroy(q);
}

} // namespace

BENCHMARK(BM_FastPutGet);
BENCHMARK(BM_PollablePutGet);
BENCHMARK(BM_BroadcastPutGet)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(BM_SpscThroughput)->Args({256, 2560})->Args({32768, 100000})->UseRealTime();
