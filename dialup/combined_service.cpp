#include "dialup/combined_service.h"

#include "dialup/pppd_service.h"

CombinedService::CombinedService(std::shared_ptr<PppdService> pppd,
                                 std::shared_ptr<IDialupService> nm)
    : m_pppd(std::move(pppd)), m_nm(std::move(nm)) {}

std::optional<std::vector<RASCONN>> CombinedService::EnumConnections() {
    // One service that cannot tell does not hide what the other knows.
    auto fromPppd = m_pppd->EnumConnections();
    auto fromNm = m_nm->EnumConnections();
    if (!fromPppd && !fromNm)
        return std::nullopt;
    std::vector<RASCONN> all;
    for (const auto& [index, list] : {std::pair{0, &fromPppd}, std::pair{1, &fromNm}})
        if (*list)
            for (const RASCONN& c : **list)
                all.push_back({m_handles.Handle({index, c.hrasconn}), c.szEntryName});
    return all;
}

bool CombinedService::HangUp(HRASCONN handle) {
    const auto key = m_handles.Find(handle);
    if (!key)
        return true;
    return key->first == 0 ? m_pppd->HangUp(key->second) : m_nm->HangUp(key->second);
}

DialOutcome CombinedService::Dial(const std::string& entry, const CancelToken& cancel,
                                  const DialProgress& progress) {
    if (!m_pppd->ResolvePeer(entry).empty())
        return m_pppd->Dial(entry, cancel, progress);
    return m_nm->Dial(entry, cancel, progress);
}
