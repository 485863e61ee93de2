// pppd as the dial-up service. Entries are the files of the peers folder; dialling runs
// "pppd call NAME updetach linkname NAME", whose exit status says whether the link came up; an
// active connection is a ppp-NAME.pid in the run folder whose process is that link's pppd.
//
// Entry names reach pppd only as single arguments. A name that is empty, contains "/", or starts
// with "." or "-" is refused before it becomes a path or an argument: pppd would read a name
// starting with "-" as an option of its own.
#pragma once

#include "dialup/dialup_service.h"
#include "dialup/handle_table.h"

#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

struct PppdConfig {
    std::string program = "/usr/sbin/pppd";
    std::string peersDir = "/etc/ppp/peers";
    std::string runDir = "/var/run"; // /run on current systems, reached by the same link
};

bool IsUsablePeerName(std::string_view name);
// Whether a process's argument vector is the pppd of that link: a program named pppd given
// "linkname NAME" or "call NAME".
bool IsPppdOfLink(const std::vector<std::string>& cmdline, std::string_view link);
// The German sentence for a pppd exit status other than 0.
std::string PppdExitText(int status);
// The first device path in a peers file that does not exist; empty when there is none (or the
// file cannot be read).
std::string MissingDeviceOfPeersFile(const std::string& path);

class PppdService : public IDialupService {
public:
    explicit PppdService(PppdConfig config);

    // The program is there and may be run.
    bool Installed() const;
    // The peer file that dialling the entry would use, compared as FindConnection compares
    // names when no file has exactly that name; empty when there is none.
    std::string ResolvePeer(const std::string& entry) const;

    std::optional<std::vector<RASCONN>> EnumConnections() override;
    bool HangUp(HRASCONN handle) override;
    DialOutcome Dial(const std::string& entry, const CancelToken& cancel,
                     const DialProgress& progress) override;

private:
    PppdConfig m_config;
    HandleTable<std::pair<std::string, pid_t>> m_handles; // link name, pid
};
