// The alignment readout on a phone in the same network: a small web server that serves one
// read-only page and a stream of the link test's state to at most a few browsers. The page
// comes from the program's resources; nothing a browser sends can change anything here.
#pragma once

#include "platform/mono_image.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class IWebReadout {
public:
    virtual ~IWebReadout() = default;
    virtual int Port() const = 0;
    // "/<token>/": the one path that serves the page; its stream is "events" beneath it.
    virtual const std::string& Path() const = 0;
    // The latest state for every browser, as one line of JSON. Never waits for a socket: a
    // browser that has stopped taking states is dropped instead.
    virtual void Publish(const std::string& state) = 0;
    virtual int Clients() const = 0;
};

struct WebReadoutOptions {
    std::string page; // HTML, served as it is
    std::size_t maxClients = 8;
    std::size_t queueLength = 8; // states a browser may lag behind; the oldest go first
    // A browser that has taken nothing for this long while states came is dropped.
    std::chrono::milliseconds stalledAfter{5000};
    // Told on a server thread whenever a browser comes or goes.
    std::function<void(int clients)> clientsChanged;
};

class IWebReadoutService {
public:
    virtual ~IWebReadoutService() = default;
    // Listens on a free port on all addresses; null, with why in the system's words, if not.
    virtual std::unique_ptr<IWebReadout> Start(WebReadoutOptions options, std::string& why) = 0;
    // The machine's addresses in its networks, loopback last, as a phone would reach them.
    virtual std::vector<std::string> Addresses() = 0;
    // The QR code of text; an empty image if it cannot be made.
    virtual MonoImage QrCode(const std::string& text) = 0;
};

// Null where the program offers no readout in the network.
std::unique_ptr<IWebReadoutService> MakeWebReadoutService();
