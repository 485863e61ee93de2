// "Anschlüsse": which device stands behind COM1 to COM4. Each row offers the default (what the
// port stands for without an entry) and the devices the system has, and takes any path typed
// in; a path that is not there is kept, marked "nicht vorhanden". OK stores the rows the user
// changed, and erases the entry of a row set back to the default. While it is open, the lists
// follow devices plugged in or out.
#pragma once

#include "dialog/link_control_context.h"
#include "link/port_map.h"
#include "platform/dialog.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class IProfileStore;
class WorkerThread;

// "path (product)", or the path alone when the device names no product.
std::string DeviceText(const SerialDevice& device);
// What stands behind a COM port, in one line: "COM1: /dev/serial/by-id/... (FT232R USB UART)",
// "COM2: sim:power=on", "COM3: kein Gerät".
std::string PortToolTip(int nComPort, const ComPortBinding& binding, const StringLoader& load);

class CPortsDialog : public CDialog {
public:
    static constexpr int kRows = 4;

    CPortsDialog(CDialog& parent, IProfileStore& store, IPortDiscovery& discovery,
                 StringLoader load);
    ~CPortsDialog() override;

    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

protected:
    const MessageMap& GetMessageMap() const override;

private:
    // A row's value: a device path or whatever was typed; nothing for "no entry, the default".
    using Choice = std::optional<std::string>;
    struct Row {
        Choice stored; // as the dialog found it
        // The list as shown: item text and the value it stands for.
        std::vector<std::pair<std::string, Choice>> items;
    };

    Choice ChoiceOf(int row);
    // Fills the lists from devices; each row keeps the value it shows.
    void Fill(const std::vector<SerialDevice>& devices);
    // The word beside the row: whether the path it shows is there.
    void ShowPresence(int row);
    void StopWatching();

    IProfileStore& m_store;
    IPortDiscovery& m_discovery;
    StringLoader m_load;
    std::array<Row, kRows> m_rows;
    // UI thread only; joined before the dialog ends.
    std::unique_ptr<WorkerThread> m_pWatchThread;
};
