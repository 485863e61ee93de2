// Opens what a port-map value names: a value with a registered prefix goes to its provider
// (the program registers its simulated transceiver for "sim:"), "" is a port that is not
// available, anything else a device path.
#pragma once

#include "link/serial_port.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class CancelToken;

class PortOpener {
public:
    // Opens the value with its prefix taken off.
    using Provider =
        std::function<OpenResult(const std::string& rest, std::shared_ptr<CancelToken> cancel)>;
    // Passes every port it opens through, e.g. to inject failures in tests.
    using Wrapper = std::function<std::unique_ptr<ISerialPort>(std::unique_ptr<ISerialPort>)>;

    void AddProvider(std::string prefix, Provider provider);
    void SetWrapper(Wrapper wrap);

    OpenResult Open(const std::string& portValue, std::shared_ptr<CancelToken> cancel) const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<std::string, Provider>> m_providers;
    Wrapper m_wrap;
};
