// The owner against the simulated modem: the headless engine session, the
// owner bundle over it, and a listener that records what the hub tells.
#pragma once

#include "SimFixture.h"
#include "owner/Owner.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kvtest {

class OwnerRecorder : public kv::IOwnerListener {
public:
    void OnOwnerChanged(const kv::OwnerSnapshot& now, const std::vector<std::string>&) override;
    void OnOwnerEvent(const kv::OwnerEvent& event) override;
    std::vector<kv::OwnerEvent> Events() const;
    // The first event of that kind, if any.
    std::optional<kv::OwnerEvent> First(kv::OwnerEventKind kind) const;
    int Count(kv::OwnerEventKind kind) const;
    int Changes() const;

private:
    mutable std::mutex m_lock;
    std::vector<kv::OwnerEvent> m_events;
    int m_changes = 0;
};

class OwnerFixture : public SimFixture {
protected:
    void TearDown() override;
    // The session (not started) and the owner over it.
    void MakeSession(bool readPhonebooks = false);
    bool StartModem() { return m_session->Start(); }
    // Simulator, session, owner, start-up, and the owner's first listing.
    void Begin(const std::function<void(kv::sim::ModemModel&)>& seed = {}, bool readPhonebooks = false);

    kv::COwner& Owner() { return *m_owner; }
    kv::CHeadlessHost& Host() { return m_session->Host(); }
    kv::OwnerSnapshot Snap() { return m_owner->Hub().Snapshot(); }
    // The snapshot in words, for failure messages.
    std::string Describe();

    OwnerRecorder m_rec;
    std::unique_ptr<kv::COwner> m_owner;
};

// Collects one action's completions: each call of done is counted.
template <class... A>
struct Completion {
    std::shared_ptr<std::mutex> lock = std::make_shared<std::mutex>();
    std::shared_ptr<int> calls = std::make_shared<int>(0);
    std::shared_ptr<kv::OwnerResult> result = std::make_shared<kv::OwnerResult>();
    std::shared_ptr<std::tuple<std::decay_t<A>...>> values = std::make_shared<std::tuple<std::decay_t<A>...>>();
    auto Fn()
    {
        auto l = lock;
        auto c = calls;
        auto r = result;
        auto v = values;
        return [l, c, r, v](const kv::OwnerResult& res, A... a) {
            std::lock_guard<std::mutex> g(*l);
            ++*c;
            *r = res;
            *v = std::make_tuple(a...);
        };
    }
    int Calls() const
    {
        std::lock_guard<std::mutex> g(*lock);
        return *calls;
    }
    bool Done() const { return Calls() > 0; }
    kv::OwnerResult Result() const
    {
        std::lock_guard<std::mutex> g(*lock);
        return *result;
    }
    template <size_t I>
    auto Get() const
    {
        std::lock_guard<std::mutex> g(*lock);
        return std::get<I>(*values);
    }
};

} // namespace kvtest
