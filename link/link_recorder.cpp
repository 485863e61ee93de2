#include "link/link_recorder.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {
constexpr const char* kExtension = ".linktest";
}

bool WriteFileAtomically(const fs::path& path, const std::string& text, std::string& error) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) {
        error = ec.message();
        return false;
    }
    fs::path temp = path;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            error = "cannot write " + temp.string();
            out.close();
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, path, ec);
    if (ec) {
        error = ec.message();
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

bool LinkRecordStore::Save(const std::string& name, const LinkRecord& record,
                           std::string& error) const {
    if (m_folder.empty()) {
        error = "the system names no folder for them";
        return false;
    }
    const bool saved = m_write(m_folder / (name + kExtension), FormatLinkRecord(record), error);
    Prune();
    return saved;
}

std::vector<fs::path> LinkRecordStore::List() const {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == kExtension)
            files.push_back(it->path());
    std::sort(files.begin(), files.end(), std::greater<>());
    return files;
}

void LinkRecordStore::Prune() const {
    std::uintmax_t bytes = 0;
    std::size_t kept = 0;
    std::error_code ec;
    for (const fs::path& file : List()) {
        const std::uintmax_t size = fs::file_size(file, ec);
        bytes += ec ? 0 : size;
        if (++kept > kMaxFiles || bytes > kMaxBytes)
            fs::remove(file, ec);
    }
}

LinkRecord ReadLinkRecord(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return ParseLinkRecord(text.str());
}

void LinkRecorder::TestStarted(const LinkHistory& history) {
    m_record = {};
    m_record.info = history.Info();
    if (m_record.info.startedAt.empty() && m_env.localTime)
        m_record.info.startedAt = m_env.localTime();
    m_record.version = m_env.version;
    m_record.host = m_env.host;
}

void LinkRecorder::Cycle(const LinkHistory& history) {
    if (const auto last = history.Last(); last && m_record.cycles.size() < kMaxCycles)
        m_record.cycles.push_back(*last);
}

void LinkRecorder::TestEnded(const LinkHistory& history) {
    m_record.end = history.Outcome();
    m_record.durationMs = history.DurationMs();
    std::string error;
    const std::string name = m_env.fileName ? m_env.fileName() : "linktest";
    if (!m_store.Save(name, m_record, error) && m_env.report)
        m_env.report("Quillmere: the link test's record " + (m_store.Folder() / name).string() +
                     " was not written: " + error);
}
