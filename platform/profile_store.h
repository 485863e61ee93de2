// The per-user settings store. Here: ~/.config/<company>/<application>.conf (XDG_CONFIG_HOME
// honoured); on Windows the registry.
#pragma once

#include "platform/ini_file.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A profile integer as the program reads it: decimal, optional sign, surrounding blanks; anything
// else, or a number beyond 32 bits, is missing.
bool ParseProfileInt(const std::string& text, int& value);

class IProfileStore {
public:
    virtual ~IProfileStore() = default;
    virtual std::optional<std::string> Read(const std::string& section,
                                            const std::string& entry) = 0;
    // Takes effect for later reads at once; reaches the file only with Flush.
    virtual void Write(const std::string& section, const std::string& entry,
                       const std::string& value) = 0;
    // An integer, for stores that keep integers apart from texts (the registry's REG_DWORD).
    virtual void WriteInt(const std::string& section, const std::string& entry, int value) {
        Write(section, entry, std::to_string(value));
    }
    // Takes effect for later reads at once; reaches the file only with Flush.
    virtual void Erase(const std::string& section, const std::string& entry) = 0;
    // Takes back a write that could not be saved; before: the entry as it was. A store that
    // stages its writes forgets it, so that no later flush puts back a value that another copy
    // of the program may have saved meanwhile; one that writes at once writes before back.
    virtual void TakeBack(const std::string& section, const std::string& entry,
                          const std::optional<std::string>& before) {
        if (before)
            Write(section, entry, *before);
        else
            Erase(section, entry);
    }
    // Writes what was staged; true only when the file now holds it. Never leaves a
    // half-written file: the old one or the new one.
    virtual bool Flush() = 0;
    // Where the settings live, for messages; empty when nowhere.
    virtual std::string Location() const = 0;
};

// The current user's store of the application's settings: the settings file here
// (ProfilePath), the registry key Software\\<company>\\<application> on Windows.
std::shared_ptr<IProfileStore> OpenUserProfileStore(const std::string& company,
                                                    const std::string& application);

std::string ProfilePath(const std::string& company, const std::string& application);

class IniProfileStore : public IProfileStore {
public:
    // lockWait: how long a save waits for another copy's save before it fails. merged: called
    // when a save has read and merged the file and not yet replaced it, for a test to act then.
    explicit IniProfileStore(std::string path,
                             std::chrono::milliseconds lockWait = std::chrono::seconds(3),
                             std::function<void()> merged = {});
    std::optional<std::string> Read(const std::string& section, const std::string& entry) override;
    void Write(const std::string& section, const std::string& entry,
               const std::string& value) override;
    void Erase(const std::string& section, const std::string& entry) override;
    void TakeBack(const std::string& section, const std::string& entry,
                  const std::optional<std::string>& before) override;
    bool Flush() override;
    std::string Location() const override { return m_path; }

private:
    void LoadOnce();

    std::mutex m_mutex;
    std::string m_path;
    std::chrono::milliseconds m_lockWait;
    std::function<void()> m_merged;
    bool m_loaded = false;
    IniDocument m_doc;
    IniDocument m_pending;
    IniDocument m_erased; // the entries to take out of the file; values unused
};

// Kept in memory only; what tests use when the file itself is not the subject.
class MemoryProfileStore : public IProfileStore {
public:
    std::optional<std::string> Read(const std::string& section, const std::string& entry) override;
    void Write(const std::string& section, const std::string& entry,
               const std::string& value) override;
    void Erase(const std::string& section, const std::string& entry) override;
    bool Flush() override;
    std::string Location() const override { return {}; }

    // Seen by tests; read them once the UI thread is done with the store.
    bool failFlush = false; // the disk is full, the folder read-only
    int flushes = 0;
    IniDocument saved;               // what the last successful flush wrote
    std::vector<std::string> writes; // "Section/Entry=value", in order

private:
    std::mutex m_mutex;
    IniDocument m_doc;
};
