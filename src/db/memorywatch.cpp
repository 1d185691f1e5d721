#include "db/memorywatch.h"

#include "base/platform.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// Between two looks at the memory left: a driver copying a result fills
// a few megabytes in that time, far less than the reserve.
constexpr std::chrono::milliseconds WatchInterval(10);

bool roomShort()
{
    const qint64 room = platform::obtainableBytes();
    return room >= 0 && std::uint64_t(room) < ListReserveBytes;
}

} // namespace

struct MemoryWatch::State
{
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool tripped = false;
    std::thread thread;
};

MemoryWatch::MemoryWatch(SQLHSTMT statement)
    : m_state(std::make_unique<State>())
{
    if (platform::obtainableBytes() < 0)
        return; // the system does not tell
    State &state = *m_state;
    try {
        state.thread = std::thread([&state, statement] {
            std::unique_lock<std::mutex> lock(state.mutex);
            while (!state.wake.wait_for(lock, WatchInterval, [&state] { return state.stopping; })) {
                if (roomShort()) {
                    state.tripped = true;
                    SQLCancel(statement); // stop() waits for it: the statement outlives the call
                    return;
                }
            }
        });
    } catch (const std::system_error &) {
        // No thread to watch with: the fetch's room check is left.
    }
}

MemoryWatch::~MemoryWatch()
{
    stop();
}

bool MemoryWatch::stop()
{
    State &state = *m_state;
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        state.stopping = true;
    }
    state.wake.notify_all();
    if (state.thread.joinable())
        state.thread.join();
    return state.tripped;
}
