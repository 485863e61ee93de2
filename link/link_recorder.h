// Keeps every link test: follows the test's every cycle and, when it ends, writes its record as
// one file in the records folder, the oldest going beyond a count and a size.
#pragma once

#include "link/link_record.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Writes text to path so that the path holds the old file or the new one, never a part;
// false with the reason in the system's words. Tests put a failing one in its place.
using RecordWriter = std::function<bool(const std::filesystem::path& path, const std::string& text,
                                        std::string& error)>;
bool WriteFileAtomically(const std::filesystem::path& path, const std::string& text,
                         std::string& error);

class LinkRecordStore {
public:
    static constexpr std::size_t kMaxFiles = 200;
    static constexpr std::uintmax_t kMaxBytes = 20u * 1024 * 1024;

    explicit LinkRecordStore(std::filesystem::path folder, RecordWriter write = WriteFileAtomically)
        : m_folder(std::move(folder)), m_write(std::move(write)) {}

    // name: unique and growing with time, so that names sort as the tests ran.
    bool Save(const std::string& name, const LinkRecord& record, std::string& error) const;
    // The record files, newest first.
    std::vector<std::filesystem::path> List() const;
    const std::filesystem::path& Folder() const { return m_folder; }

private:
    void Prune() const;
    std::filesystem::path m_folder;
    RecordWriter m_write;
};

// Reads one record; a file that cannot be read comes back empty and damaged.
LinkRecord ReadLinkRecord(const std::filesystem::path& path);

class LinkRecorder : public ILinkTestObserver {
public:
    // A test by hand of hours at eleven cycles a second stays whole; a longer one keeps its
    // first cycles and says in its duration how long it ran.
    static constexpr std::size_t kMaxCycles = 200000;

    struct Environment {
        std::string version;
        std::string host;
        std::function<std::string()> localTime;         // "2026-12-10T08:30:00+0100"
        std::function<std::string()> fileName;          // unique and growing with time
        std::function<void(const std::string&)> report; // a write that failed, in words
    };

    LinkRecorder(LinkRecordStore store, Environment environment)
        : m_store(std::move(store)), m_env(std::move(environment)) {}

    void TestStarted(const LinkHistory& history) override;
    void Cycle(const LinkHistory& history) override;
    void TestEnded(const LinkHistory& history) override;

private:
    LinkRecordStore m_store;
    Environment m_env;
    LinkRecord m_record;
};
