#pragma once
// A coroutine that runs on the main thread from its start to its end without anyone
// awaiting it: it starts at once, and its frame goes when it returns. Its awaits resume it on
// the main queue. An exception escaping it is a fault and ends the program.

#include "platform/Dispatch.h"

#include <chrono>
#include <coroutine>
#include <exception>

struct MainTask {
    struct promise_type {
        MainTask get_return_object() noexcept { return {}; }
        std::suspend_never initial_suspend() noexcept { return {}; }
        std::suspend_never final_suspend() noexcept { return {}; }
        void return_void() noexcept {}
        void unhandled_exception() noexcept { std::terminate(); }
    };
};

// `co_await MainQueuePause{seconds}`: resumes on the main queue after the pause.
struct MainQueuePause {
    double seconds = 0;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) const {
        platform::DispatchQueue::main()->asyncAfter(
            std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(seconds)),
            [handle] { handle.resume(); });
    }
    void await_resume() const noexcept {}
};
