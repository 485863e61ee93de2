// pppd and NetworkManager as one service, so that the user only names an entry: the active
// connections are pppd's, then NetworkManager's; an entry with a pppd peer file is dialled
// through pppd, any other through NetworkManager.
#pragma once

#include "dialup/dialup_service.h"
#include "dialup/handle_table.h"

#include <memory>
#include <utility>

class PppdService;

class CombinedService : public IDialupService {
public:
    CombinedService(std::shared_ptr<PppdService> pppd, std::shared_ptr<IDialupService> nm);

    std::optional<std::vector<RASCONN>> EnumConnections() override;
    bool HangUp(HRASCONN handle) override;
    DialOutcome Dial(const std::string& entry, const CancelToken& cancel,
                     const DialProgress& progress) override;

private:
    std::shared_ptr<PppdService> m_pppd;
    std::shared_ptr<IDialupService> m_nm;
    HandleTable<std::pair<int, HRASCONN>> m_handles; // 0 pppd, 1 NetworkManager; its handle
};
