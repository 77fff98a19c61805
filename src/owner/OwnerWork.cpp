#include "owner/OwnerWork.h"

namespace kv {

COwnerWork::COwnerWork(Post post) : m_post(std::move(post)), m_in(std::make_shared<Inner>()) {}

COwnerWork::~COwnerWork() { Close(); }

void COwnerWork::Queue(std::function<void()> run, std::function<void()> dropped)
{
    {
        std::lock_guard<std::mutex> g(m_in->lock);
        if (!m_in->closed) {
            m_in->jobs.push_back(Job{std::move(run), std::move(dropped)});
            dropped = nullptr;
        }
    }
    if (dropped) {
        dropped();
        return;
    }
    PostDrain();
}

void COwnerWork::PostDrain()
{
    {
        std::lock_guard<std::mutex> g(m_in->lock);
        if (m_in->posted || m_in->running || m_in->closed)
            return;
        m_in->posted = true;
    }
    std::weak_ptr<Inner> weak = m_in;
    m_post([weak] {
        if (auto in = weak.lock())
            Drain(in);
    });
}

void COwnerWork::Drain(const std::shared_ptr<Inner>& in)
{
    for (;;) {
        Job job;
        {
            std::lock_guard<std::mutex> g(in->lock);
            in->posted = false;
            // Entered again from inside a job's wait: the job under way
            // takes the next one when it is done.
            if (in->running || in->closed || in->jobs.empty())
                return;
            job = std::move(in->jobs.front());
            in->jobs.pop_front();
            in->running = true;
        }
        job.run();
        std::lock_guard<std::mutex> g(in->lock);
        in->running = false;
    }
}

void COwnerWork::Close()
{
    std::deque<Job> jobs;
    {
        std::lock_guard<std::mutex> g(m_in->lock);
        m_in->closed = true;
        jobs.swap(m_in->jobs);
    }
    for (Job& j : jobs)
        if (j.dropped)
            j.dropped();
}

size_t COwnerWork::Waiting() const
{
    std::lock_guard<std::mutex> g(m_in->lock);
    return m_in->jobs.size();
}

} // namespace kv
