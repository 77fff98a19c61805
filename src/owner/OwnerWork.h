// The owner's queue of engine work: the actions and the feed's message
// check run here one after the other on the owner's UI thread. A job's
// waits pump that thread, so the queue may be entered again meanwhile: a
// job queued then waits its turn instead of running inside the one under way.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace kv {

class COwnerWork {
public:
    using Post = std::function<void(std::function<void()>)>;
    explicit COwnerWork(Post post);
    ~COwnerWork();
    COwnerWork(const COwnerWork&) = delete;
    COwnerWork& operator=(const COwnerWork&) = delete;

    // run goes on the UI thread in turn; dropped instead when the queue is
    // closed before it ran (any thread, at once when closed already).
    void Queue(std::function<void()> run, std::function<void()> dropped);
    // Drops every waiting job and every later one.
    void Close();
    size_t Waiting() const;

private:
    struct Job {
        std::function<void()> run;
        std::function<void()> dropped;
    };
    struct Inner {
        std::mutex lock;
        std::deque<Job> jobs;
        bool running = false;
        bool posted = false;
        bool closed = false;
    };
    static void Drain(const std::shared_ptr<Inner>& in);
    void PostDrain();

    Post m_post;
    std::shared_ptr<Inner> m_in;
};

} // namespace kv
