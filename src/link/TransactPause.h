// The pause of every transaction between writing a request and waiting for
// its answer: key "slps" of section "sysinf" in "syskor.ini" (default 5 ms).
// The value is bounded to 0..kMaxTransactPauseMs (an out-of-range value is
// logged and clamped), and the file is read again only when it changed
// (another inode, size, modification or change time, or another settings
// folder), not on every transaction.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace kv {

constexpr int kDefaultTransactPauseMs = 5;
constexpr int kMaxTransactPauseMs = 1000;

class CTransactPause {
public:
    // The pause to use now, in milliseconds.
    int Milliseconds();
    // How often the settings file was actually read.
    unsigned Reads() const;

private:
    struct FileKey {
        std::string path;
        bool exists = false;
        uint64_t dev = 0, ino = 0;
        int64_t size = 0;
        int64_t mtimeNs = 0, ctimeNs = 0;
        bool operator==(const FileKey&) const = default;
    };
    static FileKey KeyOf(const std::string& path);

    mutable std::mutex m_lock;
    bool m_bKnown = false;
    FileKey m_key;
    int m_nValue = kDefaultTransactPauseMs;
    unsigned m_nReads = 0;
};

// The one pause setting of the process: the port's transactions and the
// phonebook read's pause between batches both take it from here.
CTransactPause& SharedTransactPause();

} // namespace kv
